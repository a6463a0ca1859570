// velmora_bpms as its users meet it: real runs in a scratch directory.
#include <gtest/gtest.h>

#include <tuple>

#include "rete_util.h"

namespace {

const std::string USO =
    "\nUSO:\n velmora_bpms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>\n\n"
    "\nPARAMETRI:\n<ingressi.csv>               file csv con i dati di test\n"
    "<connessioni_intercalari.w>  pesi delle connessioni tra i neuroni di afferenti e quelli intercalari\n"
    "<connessioni_efferenti.w>    pesi delle connessioni tra i neuroni intercalari e quelli efferenti\n"
    "\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms) \n "
    "uso: tq_lettore <digit.csv> <layer1.w> <layer2.w>";

// What one evaluated row prints, with the count after it.
std::string passo(int riconosciuti) {
  return "\33[6;1H______________________________________________\33[7;1H| benchmark h.w, o.w"
         "\33[9;1HRiconosciuti " + std::to_string(riconosciuti) + " di 10000\n";
}
// The closing status line when the rows end before row 10000.
std::string fine(int riconosciuti, int righe) {
  return "\33[9;1HRiconosciuti " + std::to_string(riconosciuti) + " di " + std::to_string(righe) + "\n";
}

vt::RunResult bpms(const std::string& righe, const vt::Pesi& pesi = vt::pesi_pixel()) {
  vt::TempDir dir;
  pesi.scrivi(dir);
  vt::write_file(dir / "r.csv", righe);
  return vt::run(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, vt::in_dir(dir));
}

}  // namespace

TEST(BpmsCli, UsageAndMissingFiles) {
  vt::TempDir dir;
  auto r = vt::run(VELMORA_BPMS_BIN, {"r.csv", "h.w"}, vt::in_dir(dir));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + USO);
  EXPECT_EQ(r.status, 1);
  r = vt::run(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, vt::in_dir(dir));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + "File h.w non trovato\n");
  EXPECT_EQ(r.status, 1);
  vt::Pesi{}.scrivi(dir);
  r = vt::run(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, vt::in_dir(dir));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + "File r.csv non trovato\n");
  vt::write_file(dir / "o.w", std::string(7999, '\0'));
  r = vt::run(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, vt::in_dir(dir));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + "File o.w: dimensione errata (7999 byte, attesi 8000)\n");
  EXPECT_EQ(r.status, 1);
}

// --help and --version among the three files answer without the banner,
// status 0, where no file has that name; words after the third are ignored.
TEST(BpmsCli, HelpAndVersionWhereNoFileHasTheirName) {
  vt::TempDir dir;
  vt::pesi_pixel().scrivi(dir);
  vt::write_file(dir / "r.csv", vt::riga(7, vt::immagine(7)));
  const std::vector<std::tuple<std::vector<std::string>, std::string, int>> casi = {
      {{"--help"}, USO, 0},
      {{"r.csv", "h.w", "--version"}, "velmora_bpms (velmora) 1.0.0\n", 0},
      {{"r.csv", "h.w", "o.w", "--help"}, vt::BANNER_BPMS + passo(1) + fine(1, 1), 0},
  };
  for (auto& [args, atteso, stato] : casi) {
    auto r = vt::run(VELMORA_BPMS_BIN, args, vt::in_dir(dir));
    EXPECT_EQ(r.out, atteso) << args[0];
    EXPECT_EQ(r.status, stato);
  }
  std::filesystem::copy_file(dir / "r.csv", dir / "--help");
  auto r = vt::run(VELMORA_BPMS_BIN, {"--help", "h.w", "o.w"}, vt::in_dir(dir));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + passo(1) + fine(1, 1));
  EXPECT_EQ(r.status, 0);
}

TEST(BpmsRun, CountsRowsWhoseBestClassIsTheLabel) {
  using vt::immagine, vt::riga;
  auto r = bpms(riga(7, immagine(7)) + riga(2, immagine(3)) + riga(3, immagine(3)) + riga(-1, immagine(5)));
  EXPECT_EQ(r.out, vt::BANNER_BPMS + passo(1) + passo(1) + passo(2) + passo(2) + fine(2, 4));
  EXPECT_EQ(r.status, 0);

  // With no output above 0.0 there is no class, not even one equal to a label of -1.
  vt::Pesi spenti;
  for (int k = 0; k < N_EFFERENTI; ++k) spenti.o_at(k, 0) = -1000.0;
  r = bpms(riga(-1, immagine()), spenti);
  EXPECT_EQ(r.out, vt::BANNER_BPMS + passo(0) + fine(0, 1));
}

TEST(BpmsRun, StopsAfter10000Rows) {
  std::string righe;
  for (int i = 0; i < 10000; ++i) righe += vt::riga(0, vt::immagine());
  auto r = bpms(righe + "this row is never read\n", vt::Pesi{});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.ends_with(passo(9999) + passo(10000))) << r.out.substr(r.out.size() - 200);
}

TEST(BpmsRun, InvalidRowsAreReportedWithTheirNumber) {
  const std::string buona = vt::riga(1, vt::immagine(1));
  std::string troncata = vt::riga(2, vt::immagine(2));
  troncata.resize(troncata.size() - 5);
  const std::vector<std::pair<std::string, int>> casi = {
      {"", 1},
      {"\n \n", 1},
      {"label,p0\n" + buona, 1},
      {buona + troncata, 2},
      {buona + troncata + "\n", 2},
      {buona + buona + vt::riga(1, std::vector<int>(500)) + buona, 3},
      {buona + "1,0,0.5\n" + buona, 2},
      // The row that holds more values or text after its last pixel, not the next one.
      {buona + buona.substr(0, buona.size() - 1) + ",7\n" + buona, 2},
      {buona.substr(0, buona.size() - 1) + " x\n" + buona, 1},
      {buona + buona + buona.substr(0, buona.size() - 1) + "," + buona, 3},
  };
  for (auto& [righe, n] : casi) {
    auto r = bpms(righe);
    std::string atteso = vt::BANNER_BPMS;
    for (int i = 1; i < n; ++i) atteso += passo(i);
    EXPECT_EQ(r.out, atteso + "Riga " + std::to_string(n) + " del file r.csv non valida\n") << righe.substr(0, 30);
    EXPECT_EQ(r.status, 1);
  }
}

TEST(BpmsRun, ShortFileOnATerminalErasesTheOldTotal) {
  vt::TempDir dir;
  vt::pesi_pixel().scrivi(dir);
  vt::write_file(dir / "r.csv", vt::riga(7, vt::immagine(7)) + vt::riga(3, vt::immagine(3)));
  auto r = vt::run_pty(VELMORA_BPMS_BIN, {"r.csv", "h.w", "o.w"}, 40, 80, vt::in_dir(dir));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, vt::BANNER_BPMS + passo(1) + passo(2) + "\33[9;1HRiconosciuti 2 di 2\33[K\n");
}
