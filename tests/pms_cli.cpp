// velmora_pms as its users meet it: real runs in a scratch directory, on
// pipes and on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "rete_util.h"

namespace {

const std::string USO =
    "\nUSO:\n velmora_pms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>\n\n"
    "\nPARAMETRI:\n<ingressi.csv>               file csv con il dato da riconoscere\n"
    "<connessioni_intercalari.w>  pesi delle connessioni tra i neuroni di afferenti e quelli intercalari\n"
    "<connessioni_efferenti.w>    pesi delle connessioni tra i neuroni intercalari e quelli efferenti\n"
    "\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms) \n ";
const std::vector<std::string> ARGS = {"r.csv", "h.w", "o.w"};
const std::vector<std::string> META(10, "50.0");

vt::RunResult pms(const vt::TempDir& dir, const std::vector<std::string>& args = ARGS) {
  return vt::run(VELMORA_PMS_BIN, args, vt::in_dir(dir));
}

// A scratch directory with the given weights and rows file.
struct Caso {
  vt::TempDir dir;
  explicit Caso(const std::string& righe, const vt::Pesi& pesi = {}) {
    pesi.scrivi(dir);
    vt::write_file(dir / "r.csv", righe);
  }
};

}  // namespace

TEST(PmsCli, UsageText) {
  vt::TempDir dir;
  for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"r.csv", "h.w"}}) {
    auto r = pms(dir, args);
    EXPECT_EQ(r.out, vt::BANNER_PMS + USO);
    EXPECT_EQ(r.status, 1);
  }
}

// --help and --version among the three files answer without the banner,
// status 0; a file of that name is still a file, and words after the third
// are still ignored.
TEST(PmsCli, HelpAndVersionWhereNoFileHasTheirName) {
  Caso c(vt::riga(0, vt::immagine()));
  const std::string risultato = vt::BANNER_PMS + vt::blocco(META, "0");
  const std::vector<std::tuple<std::vector<std::string>, std::string, int>> casi = {
      {{"--help"}, USO, 0},
      {{"r.csv", "--help", "o.w"}, USO, 0},
      {{"--version"}, "velmora_pms (velmora) 1.0.0\n", 0},
      {{"r.csv", "h.w", "o.w", "--help"}, risultato, 0},
      {{"r.csv", "--", "--help"}, vt::BANNER_PMS + "File -- non trovato\n", 1},  // "--" ends the options
  };
  for (auto& [args, atteso, stato] : casi) {
    auto r = pms(c.dir, args);
    EXPECT_EQ(r.out, atteso) << args[0];
    EXPECT_EQ(r.status, stato);
  }
  vt::write_file(c.dir / "--help", vt::riga(0, vt::immagine()));
  auto r = pms(c.dir, {"--help", "h.w", "o.w"});
  EXPECT_EQ(r.out, risultato);
  EXPECT_EQ(r.status, 0);
}

TEST(PmsCli, MissingFilesAreReportedHiddenThenOutputThenRows) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> casi = {
      {{"r.csv"}, "h.w"}, {{"h.w"}, "o.w"}, {{"h.w", "o.w"}, "r.csv"}};
  for (auto& [presenti, mancante] : casi) {
    Caso c(vt::riga(0, vt::immagine()));
    for (auto f : ARGS)
      if (std::find(presenti.begin(), presenti.end(), f) == presenti.end()) std::filesystem::remove(c.dir / f);
    auto r = pms(c.dir);
    EXPECT_EQ(r.out, vt::BANNER_PMS + "File " + mancante + " non trovato\n") << mancante;
    EXPECT_EQ(r.status, 1);
  }
}

TEST(PmsCli, WeightFilesShorterThanTheLayerAreRefused) {
  Caso c(vt::riga(0, vt::immagine()));
  vt::write_file(c.dir / "h.w", std::string(627199, '\0'));
  std::filesystem::remove(c.dir / "o.w");
  auto r = pms(c.dir);
  EXPECT_EQ(r.out, vt::BANNER_PMS + "File h.w: dimensione errata (627199 byte, attesi 627200)\n");
  EXPECT_EQ(r.status, 1);

  vt::write_file(c.dir / "h.w", std::string(627200, '\0'));
  vt::write_file(c.dir / "o.w", "");
  r = pms(c.dir);
  EXPECT_EQ(r.out, vt::BANNER_PMS + "File o.w: dimensione errata (0 byte, attesi 8000)\n");
  EXPECT_EQ(r.status, 1);

  // Bytes past the layer are never read, whatever they hold.
  vt::write_file(c.dir / "h.w", std::string(627200, '\0') + std::string(800, '\xff'));
  vt::write_file(c.dir / "o.w", std::string(8000, '\0') + std::string(80, '\xff'));
  r = pms(c.dir);
  EXPECT_EQ(r.out, vt::BANNER_PMS + vt::blocco(META, "0"));
  EXPECT_EQ(r.status, 0);
}

TEST(PmsCli, ResultBlock) {
  // Only the first row counts: what follows it is never read.
  Caso zero(vt::riga(5, vt::immagine(3)) + "garbage\n");
  auto r = pms(zero.dir);
  EXPECT_EQ(r.out, vt::BANNER_PMS + vt::blocco(META, "0"));
  EXPECT_EQ(r.status, 0);

  std::vector<std::string> perc(10, "0.7");
  perc[7] = "99.3";
  Caso sette(vt::riga(0, vt::immagine(7)), vt::pesi_pixel());
  EXPECT_EQ(pms(sette.dir).out, vt::BANNER_PMS + vt::blocco(perc, "7"));

  vt::Pesi pari;
  pari.o_at(7, 0) = pari.o_at(3, 0) = 5.0;
  perc.assign(10, "50.0");
  perc[3] = perc[7] = "99.3";
  Caso tie(vt::riga(0, vt::immagine()), pari);
  EXPECT_EQ(pms(tie.dir).out, vt::BANNER_PMS + vt::blocco(perc, "3"));

  vt::Pesi spenti;
  for (int k = 0; k < N_EFFERENTI; ++k) spenti.o_at(k, 0) = -1000.0;
  Caso nessuno(vt::riga(0, vt::immagine()), spenti);
  r = pms(nessuno.dir);
  EXPECT_EQ(r.out, vt::BANNER_PMS + vt::blocco(std::vector<std::string>(10, "0.0"), "nessuno"));
  EXPECT_EQ(r.status, 0);
}

TEST(PmsCli, FirstRowThatIsNotCompleteIsRefused) {
  auto riga_corta = vt::riga(1, vt::immagine());
  riga_corta.resize(riga_corta.size() - 3);  // 783 pixels
  // 785 pixels, or text after the last one, as the manual says: refused.
  auto senza_fine = vt::riga(1, vt::immagine());
  senza_fine.pop_back();
  for (std::string righe : {std::string(), std::string("\n\n"), "label,p0\n" + vt::riga(1, vt::immagine()),
                            riga_corta + "\n" + vt::riga(1, vt::immagine()), std::string("7,0,0.5,0\n"),
                            senza_fine + ",0\n", senza_fine + " x\n", senza_fine + "," + vt::riga(1, vt::immagine())}) {
    Caso c(righe);
    auto r = pms(c.dir);
    EXPECT_EQ(r.out, vt::BANNER_PMS + "Riga 1 del file r.csv non valida\n") << righe.substr(0, 20);
    EXPECT_EQ(r.status, 1);
  }
}

TEST(PmsDrawing, ImageOnlyWhenTheTerminalIsWiderThan57Columns) {
  // The frame itself is checked on its buffer; this is the real path, on a
  // terminal. Four intensities: 0 is the lightest grey, 255 the darkest.
  const int valori[] = {0, 64, 128, 255}, toni[] = {255, 249, 243, 232};
  std::vector<int> px(N_AFFERENTI), grigi(N_AFFERENTI);
  for (int k = 0; k < N_AFFERENTI; ++k) {
    px[k] = valori[(k + k / 28) % 4];
    grigi[k] = toni[(k + k / 28) % 4];
  }
  const std::string testa = "\n___________________________________\n|Immagine caricata:";
  Caso c(vt::riga(0, px));
  auto stretto = vt::run_pty(VELMORA_PMS_BIN, ARGS, 40, 57, vt::in_dir(c.dir));
  EXPECT_EQ(stretto.out, vt::BANNER_PMS + vt::blocco(META, "0"));
  EXPECT_EQ(stretto.status, 0);
  auto largo = vt::run_pty(VELMORA_PMS_BIN, ARGS, 10, 58, vt::in_dir(c.dir));
  EXPECT_EQ(largo.out, vt::BANNER_PMS + testa + vt::celle(grigi) + vt::blocco(META, "0"));
  EXPECT_EQ(largo.status, 0);
}
