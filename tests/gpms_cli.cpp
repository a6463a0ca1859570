// velmora_gpms as its users meet it: real runs in a scratch directory, on
// pipes and on a pseudo-terminal, checked against velmora_bpms and against
// the library's straightforward forward pass.
#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdint>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <set>

#include "galleria.h"
#include "rete_util.h"

namespace {

const std::string BANNER =
    "\nvelmora_: galleria percettrone multistrato (gpms) \n\n" + std::string(VELMORA_ATTRIBUZIONE) + "\n";
const std::vector<std::string> ARGS = {"r.csv", "h.w", "o.w"};

struct Caso {
  vt::TempDir dir;
  explicit Caso(const std::string& righe, const vt::Pesi& pesi = vt::pesi_pixel()) {
    pesi.scrivi(dir);
    vt::write_file(dir / "r.csv", righe);
  }
  vt::RunResult gpms(std::vector<std::string> opzioni = {}) const {
    opzioni.insert(opzioni.begin(), ARGS.begin(), ARGS.end());
    return vt::run(VELMORA_GPMS_BIN, opzioni, vt::in_dir(dir));
  }
};

// The closing block: the confusion matrix of the (label, answer) pairs, the
// rows without an answer, and the count.
std::string coda(const std::vector<std::pair<int, int>>& coppie, const std::string& path = "r.csv") {
  std::array<std::array<int, 10>, 10> m{};
  int giuste = 0, nessuna = 0;
  for (auto [e, c] : coppie) {
    if (c < 0) ++nessuna;
    else ++m[e][c];
    giuste += e == c;
  }
  std::string s = "\nMatrice di confusione su " + path + "\n(righe: etichetta, colonne: cifra riconosciuta)\n    ";
  char b[16];
  for (int c = 0; c < 10; ++c) s += (std::snprintf(b, sizeof b, "%6d", c), b);
  for (int e = 0; e < 10; ++e) {
    s += (std::snprintf(b, sizeof b, "\n%2d |", e), b);
    for (int c = 0; c < 10; ++c) s += (std::snprintf(b, sizeof b, "%6d", m[e][c]), b);
  }
  s += "\n";
  if (nessuna) s += "Righe senza risposta: " + std::to_string(nessuna) + "\n";
  return s + "\nRiconosciuti " + std::to_string(giuste) + " di " + std::to_string(coppie.size()) + "\n";
}

// Four rows on pesi_pixel: a 7 read right, a 2 read as 3, a 3 read right, a
// blank 5 read as 0 (all ten outputs equal: the lower digit wins).
const std::string QUATTRO = vt::riga(7, vt::immagine(7)) + vt::riga(2, vt::immagine(3)) +
                            vt::riga(3, vt::immagine(3)) + vt::riga(5, vt::immagine());
const std::vector<std::pair<int, int>> COPPIE = {{7, 7}, {2, 3}, {3, 3}, {5, 0}};
const std::string RIGA_1 = "Riga 1: etichetta 7 (99.3%), riconosciuta 7 (99.3%)\n";
const std::string RIGA_2 = "Riga 2: etichetta 2 (0.7%), riconosciuta 3 (99.3%)\n";
const std::string RIGA_3 = "Riga 3: etichetta 3 (99.3%), riconosciuta 3 (99.3%)\n";
const std::string RIGA_4 = "Riga 4: etichetta 5 (0.7%), riconosciuta 0 (0.7%)\n";

}  // namespace

TEST(GpmsCli, ListingAndSheetOnKnownWeights) {
  Caso c(QUATTRO);
  const std::string testa = BANNER + "\nRighe riconosciute male: 2 di 4\n";
  auto r = c.gpms();
  EXPECT_EQ(r.out, testa + RIGA_2 + RIGA_4 + coda(COPPIE));
  EXPECT_EQ(r.status, 0);
  // Options anywhere among the files; the count and matrix always cover every row.
  r = vt::run(VELMORA_GPMS_BIN, {"--massimo", "1", "r.csv", "--schermo", "h.w", "o.w"}, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, testa + "Mostrate le prime 1\n" + RIGA_2 + coda(COPPIE));
  // A rows file that cannot seek (a pipe) goes through the other reader.
  vt::RunOptions tubo = vt::in_dir(c.dir);
  tubo.input = QUATTRO + "\n\n";
  r = vt::run(VELMORA_GPMS_BIN, {"/dev/stdin", "h.w", "o.w"}, tubo);
  EXPECT_EQ(r.out, testa + RIGA_2 + RIGA_4 + coda(COPPIE, "/dev/stdin"));

  // The sheet, in the listing's order: cells of 64 pixels, a 4-pixel frame,
  // each pixel a 2 x 2 square; the misread rows 2 and 4 framed in red.
  r = c.gpms({"--tutte", "--png", "s.png"});
  EXPECT_EQ(r.out, testa + "Mostrate tutte le righe\n" + RIGA_1 + RIGA_2 + RIGA_3 + RIGA_4 +
                       "Foglio PNG scritto in s.png: 4 cifre, 10 per riga\n" + coda(COPPIE));
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&im, (c.dir / "s.png").c_str())) << im.message;
  im.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(im));
  ASSERT_TRUE(png_image_finish_read(&im, nullptr, rgb.data(), 0, nullptr)) << im.message;
  ASSERT_EQ(std::make_pair(im.width, im.height), std::make_pair(4u * 64, 73u));
  const std::vector<std::tuple<int, int, int>> punti = {  // x, y, red value (green and blue: 30 in a red frame)
      {4 + 14, 4, 0}, {4 + 15, 5, 0}, {4 + 12, 4, 255}, {64 + 4 + 6, 4, 0}, {0, 0, 128},
      {64 + 1, 30, 220}, {128 + 1, 30, 128}, {192 + 62, 63, 220}, {192 + 30, 30, 255}};
  for (auto [x, y, rosso] : punti) {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * im.width + static_cast<size_t>(x)) * 3];
    const int resto = rosso == 220 ? 30 : rosso;
    EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), (std::array<int, 3>{rosso, resto, resto})) << x << "," << y;
  }
  // Under each digit its caption, black on white: "1 7>7", "2 2>3", ...:
  // ink in every caption, and no two captions alike.
  std::set<std::string> didascalie;
  for (unsigned cella = 0; cella < 4; ++cella) {
    std::string inchiostro;
    for (unsigned y = 60; y < 69; ++y)
      for (unsigned x = 64 * cella + 4; x < 64 * cella + 60; ++x)
        inchiostro += rgb[(y * im.width + x) * 3] == 0 ? '#' : '.';
    EXPECT_NE(inchiostro.find('#'), std::string::npos) << cella;
    didascalie.insert(inchiostro);
  }
  EXPECT_EQ(didascalie.size(), 4u);

  // No output above 0.0: no digit, and a row of its own under the matrix.
  vt::Pesi spenti;
  for (int k = 0; k < N_EFFERENTI; ++k) spenti.o_at(k, 0) = -1000.0;
  EXPECT_EQ(Caso(vt::riga(3, vt::immagine()), spenti).gpms().out,
            BANNER + "\nRighe riconosciute male: 1 di 1\nRiga 1: etichetta 3 (0.0%), riconosciuta: nessuna\n" +
                coda({{3, -1}}));
}

TEST(GpmsCli, RefusalsUseTheSuiteMessages) {
  const std::string buona = vt::riga(1, vt::immagine(1)), senza_fine = buona.substr(0, buona.size() - 1);
  const std::vector<std::pair<std::string, std::string>> righe = {
      {"", "Riga 1 del file r.csv non valida\n"},
      {buona + senza_fine.substr(0, 500) + "\n", "Riga 2 del file r.csv non valida\n"},
      {buona + senza_fine + ",0\n" + buona, "Riga 2 del file r.csv non valida\n"},  // the row itself, not the next
      {buona + senza_fine + " x\n", "Riga 2 del file r.csv non valida\n"},
      {buona + vt::riga(12, vt::immagine()), "Riga 2 del file r.csv: etichetta 12 fuori dall'intervallo 0 ... 9\n"},
  };
  for (auto& [testo, messaggio] : righe) {
    auto r = Caso(testo).gpms();
    EXPECT_EQ(r.out, BANNER + messaggio) << testo.substr(0, 20);
    EXPECT_EQ(r.status, 1);
  }

  Caso c(buona);
  const std::vector<std::pair<std::vector<std::string>, std::string>> opzioni = {
      {{"--boh"}, "Opzione sconosciuta: --boh\n"},
      {{"--massimo", "0"}, "Numero massimo di cifre non valido: 0 (da 1 a 2147483647)\n"},
      {{"--png"}, "Manca il valore dell'opzione --png\n"},
      {{"altro.csv"}, "Argomento in piu': altro.csv\n"},
      {{"--png", "manca/s.png"}, "Il file manca/s.png non puo' ricevere il foglio PNG: la sua cartella non esiste\n"
                                 "Impossibile scrivere il file manca/s.png\n"},
      {{"--png", "./r.csv"}, "Il file ./r.csv non puo' ricevere il foglio PNG: e' uno dei file di ingresso\n"
                             "Impossibile scrivere il file ./r.csv\n"},
  };
  for (auto& [args, messaggio] : opzioni) {
    auto r = c.gpms(args);
    EXPECT_EQ(r.out, BANNER + messaggio) << args[0];
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(vt::read_file(c.dir / "r.csv"), buona);

  // Weight files are checked as velmora_bpms checks them: hidden, output, rows.
  auto r = vt::run(VELMORA_GPMS_BIN, {"r.csv", "h.w"}, vt::in_dir(c.dir));
  EXPECT_TRUE(r.out.starts_with(BANNER + "\nUSO:\n velmora_gpms <ingresso.csv>")) << r.out;
  EXPECT_NE(r.out.find("--massimo N  mostra al massimo N cifre, le prime (predefinito: nessun limite)"),
            std::string::npos);
  EXPECT_EQ(r.status, 1);
  std::filesystem::remove(c.dir / "r.csv");
  vt::write_file(c.dir / "o.w", std::string(7999, '\0'));
  EXPECT_EQ(c.gpms().out, BANNER + "File o.w: dimensione errata (7999 byte, attesi 8000)\n");
  // Longer is refused too: the hidden layer's file given for the output layer.
  r = vt::run(VELMORA_GPMS_BIN, {"r.csv", "h.w", "h.w"}, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, BANNER + "File h.w: dimensione errata (627200 byte, attesi 8000)\n");
  EXPECT_EQ(r.status, 1);
  std::filesystem::remove(c.dir / "h.w");
  r = c.gpms();
  EXPECT_EQ(r.out, BANNER + "File h.w non trovato\n");
  EXPECT_EQ(r.status, 1);
}

// Two outputs are two files: names that lead to one file, through a link,
// a hard link or "./", are refused before anything is read, and neither
// file is written.
TEST(GpmsCli, TheSheetAndThePredictionsMustBeTwoFiles) {
  Caso c(QUATTRO);
  vt::write_file(c.dir / "vecchio.png", "vecchio");
  std::filesystem::create_symlink("x.png", c.dir / "y.tsv");
  std::filesystem::create_hard_link(c.dir / "vecchio.png", c.dir / "duro.tsv");
  const std::vector<std::array<std::string, 2>> casi = {
      {"x.png", "x.png"}, {"x.png", "y.tsv"}, {"y.tsv", "./x.png"}, {"vecchio.png", "duro.tsv"}};
  for (auto& [png, tsv] : casi) {
    auto r = c.gpms({"--png", png, "--predizioni", tsv});
    EXPECT_EQ(r.out, BANNER + "Il foglio PNG e le predizioni devono andare in due file diversi: " + png + " e " +
                         tsv + "\n");
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(vt::elenco(c.dir.path.string()),
            (std::vector<std::string>{"duro.tsv", "h.w", "o.w", "r.csv", "vecchio.png", "y.tsv"}));
  EXPECT_EQ(vt::read_file(c.dir / "vecchio.png"), "vecchio");
}

// With - for one output, standard output holds that data and nothing else:
// the other output's line, refusals and failures go to standard error.
TEST(GpmsCli, StandardOutputHoldsOnlyTheDataItWasGiven) {
  Caso c(QUATTRO);
  ASSERT_EQ(c.gpms({"--png", "s.png", "--predizioni", "p.tsv"}).status, 0);
  const std::string png = vt::read_file(c.dir / "s.png"), tsv = vt::read_file(c.dir / "p.tsv");
  struct caso {
    std::vector<std::string> args;
    std::string out, err;
    int stato;
  } casi[] = {
      {{"--png", "-", "--predizioni", "q.tsv"}, png, "Predizioni scritte in q.tsv: 4 righe\n", 0},
      {{"--png", "t.png", "--predizioni", "-"}, tsv, "Foglio PNG scritto in t.png: 2 cifre, 10 per riga\n", 0},
      {{"--predizioni", "-", "--boh"}, "", "Opzione sconosciuta: --boh\n", 1},
      {{"--png", "-", "--massimo", "0"}, "", "Numero massimo di cifre non valido: 0 (da 1 a 2147483647)\n", 1},
      {{"--png=-", "--png", "./r.csv"}, "",
       "Il file ./r.csv non puo' ricevere il foglio PNG: e' uno dei file di ingresso\n"
       "Impossibile scrivere il file ./r.csv\n", 1},
      {{"--predizioni", "-", "manca.w"}, "", "Argomento in piu': manca.w\n", 1},
  };
  for (const caso& k : casi) {
    auto r = c.gpms(k.args);
    EXPECT_EQ(r.out, k.out) << k.args[0] << k.args[1];
    EXPECT_EQ(r.err, k.err);
    EXPECT_EQ(r.status, k.stato);
  }
  EXPECT_EQ(vt::read_file(c.dir / "q.tsv"), tsv);
  EXPECT_EQ(vt::read_file(c.dir / "t.png"), png);
  // A full device: the failed write named, whichever output it was.
  for (const char* uscita : {"--png", "--predizioni"}) {
    auto r = vt::run("/bin/sh", {"-c", "exec \"$0\" r.csv h.w o.w \"$1\" - > /dev/full", VELMORA_GPMS_BIN, uscita},
                     vt::in_dir(c.dir));
    EXPECT_TRUE(r.err.ends_with("Errore di scrittura sullo standard output: No space left on device\n")) << r.err;
    EXPECT_EQ(r.status, 1);
  }
  // A weight file missing: its message on standard error, nothing on standard output.
  auto r = vt::run(VELMORA_GPMS_BIN, {"r.csv", "manca.w", "o.w", "--predizioni", "-"}, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "File manca.w non trovato\n");
  EXPECT_EQ(r.status, 1);
}

// A sheet holds at most CIFRE_MASSIME_FOGLIO digits: one more stops the run
// as soon as it is read, before the listing.
TEST(GpmsCli, ASheetTooLargeIsRefusedBeforeTheListing) {
  vt::TempDir d(vt::cartella_veloce());  // 250 MB of rows: in memory where the machine allows
  vt::Pesi().scrivi(d);                  // all zero: every row reads as 0
  {
    const std::string riga = vt::riga(1, vt::immagine());
    std::string blocco;
    for (int i = 0; i < 1000; ++i) blocco += riga;
    std::ofstream f(d / "r.csv", std::ios::binary);
    for (int i = 0; i <= CIFRE_MASSIME_FOGLIO / 1000; ++i) f << blocco;
  }
  auto r = vt::run(VELMORA_GPMS_BIN, {"r.csv", "h.w", "o.w", "--elenco", "--png", "s.png"}, vt::in_dir(d));
  std::filesystem::remove(d / "r.csv");
  EXPECT_EQ(r.out, BANNER + "Il foglio PNG puo' contenere al massimo " + std::to_string(CIFRE_MASSIME_FOGLIO) +
                       " cifre, e il file r.csv ne ha di piu' da mostrare:\n--massimo N limita le cifre mostrate\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(vt::file_exists(d / "s.png"));
}

// The same answers as the straightforward forward pass on every row, past
// the 10000 that velmora_bpms reads, and the same count where both read.
TEST(GpmsCli, RecognisesWhatBpmsRecognisesOnEveryRow) {
  uint32_t x = 2463534242u;
  auto rnd = [&x] { return x ^= x << 13, x ^= x >> 17, x ^= x << 5; };
  vt::Pesi pesi;
  for (double& w : pesi.h) w = (static_cast<int>(rnd() % 2001) - 1000) / 4000.0;
  for (double& w : pesi.o) w = (static_cast<int>(rnd() % 2001) - 1000) / 250.0;
  auto rete = crea_rete();  // the network the files give: the tails they do not hold stay zero
  std::copy_n(pesi.h.begin(), VALORI_INTERCALARI, rete->pesi_intercalari);
  std::copy_n(pesi.o.begin(), VALORI_EFFERENTI, rete->pesi_efferenti);

  // 50 sparse rows of 1- to 3-digit pixels, some with blanks after the commas,
  // repeated; every third one labelled with a digit the network does not give.
  struct modello {
    std::string riga, elenco;
    int etichetta, risposta;
  };
  std::vector<modello> modelli;
  std::set<int> diverse;
  for (int p = 0; p < 50; ++p) {
    std::vector<int> px(N_AFFERENTI, 0);
    for (int& v : px) v = rnd() % 4 == 0 ? static_cast<int>(rnd() % 256) : 0;
    std::copy(px.begin(), px.end(), rete->pixel);
    const int risposta = net_recognize(*rete), etichetta = p % 3 == 0 ? (risposta + 1) % 10 : risposta;
    ASSERT_GE(risposta, 0);
    char b[200];
    std::snprintf(b, sizeof b, ": etichetta %d (%.1f%%), riconosciuta %d (%.1f%%)\n", etichetta,
                  100.0 * rete->uscita_efferenti[etichetta], risposta, 100.0 * rete->uscita_efferenti[risposta]);
    modelli.push_back({vt::riga(etichetta, px, p % 7 == 0 ? ", " : ","), b, etichetta, risposta});
    diverse.insert(risposta);
  }
  ASSERT_GE(diverse.size(), 3u);
  std::string righe, elenco;
  std::vector<std::pair<int, int>> coppie;
  int giuste_bpms = 0, sbagliate = 0;
  for (int i = 0; i < 10050; ++i) {
    const modello& m = modelli[static_cast<size_t>(i) % modelli.size()];
    righe += m.riga;
    elenco += "Riga " + std::to_string(i + 1) + m.elenco;
    coppie.emplace_back(m.etichetta, m.risposta);
    sbagliate += m.etichetta != m.risposta;
    giuste_bpms += i < 10000 && m.etichetta == m.risposta;
  }
  Caso c(righe, pesi);
  auto r = c.gpms({"--tutte"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, BANNER + "\nRighe riconosciute male: " + std::to_string(sbagliate) + " di 10050\n"
                       "Mostrate tutte le righe\n" + elenco + coda(coppie));
  auto b = vt::run(VELMORA_BPMS_BIN, ARGS, vt::in_dir(c.dir));
  EXPECT_TRUE(b.out.ends_with("Riconosciuti " + std::to_string(giuste_bpms) + " di 10000\n"));

  // The predictions of every row, alone on standard output: the rows read
  // right among the first 10000 are velmora_bpms's count; in a file, the
  // same bytes beside the usual report.
  r = c.gpms({"--predizioni", "-"});
  EXPECT_EQ(r.status, 0);
  std::istringstream linee(r.out);
  std::string linea;
  std::getline(linee, linea);
  EXPECT_EQ(linea, "riga\tetichetta\triconosciuta\tu0\tu1\tu2\tu3\tu4\tu5\tu6\tu7\tu8\tu9");
  int lette = 0, giuste = 0;
  for (; std::getline(linee, linea); ++lette) {
    int riga = 0, etichetta = 0, risposta = 0;
    ASSERT_EQ(std::sscanf(linea.c_str(), "%d\t%d\t%d", &riga, &etichetta, &risposta), 3) << linea;
    ASSERT_EQ(riga, lette + 1);
    EXPECT_EQ(std::count(linea.begin(), linea.end(), '\t'), 12);
    giuste += riga <= 10000 && etichetta == risposta;
  }
  EXPECT_EQ(lette, 10050);
  EXPECT_EQ(giuste, giuste_bpms);
  auto f = c.gpms({"--predizioni", "p.tsv", "--massimo", "1"});
  EXPECT_NE(f.out.find("\nPredizioni scritte in p.tsv: 10050 righe\n"), std::string::npos);
  EXPECT_EQ(vt::read_file(c.dir / "p.tsv"), r.out);
  // The sheet alone on standard output.
  auto png = c.gpms({"--massimo", "3", "--png", "-"});
  EXPECT_EQ(png.out.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.out.find("velmora_"), std::string::npos);
}

namespace {

// A digit's 14 terminal lines when its only ink is a full pixel 3 in the
// first row and a half-grey pixel 33 in the second; otherwise blank.
std::string linea(int r, bool inchiostro) {
  const std::string chiaro = "\33[38;5;255;48;5;255m";
  std::string blocchi;
  for (int k = 0; k < 22; ++k) blocchi += "\u2580";
  if (r > 0 || !inchiostro) return chiaro + "\u2580\u2580\u2580\u2580\u2580\u2580" + blocchi + "\33[0m";
  return chiaro + "\u2580\u2580\u2580\33[38;5;232;48;5;255m\u2580" + chiaro + "\u2580\33[38;5;255;48;5;243m\u2580" +
         chiaro + blocchi + "\33[0m";
}

}  // namespace

TEST(GpmsCli, GalleryCellsOnATerminalAtTwoWidths) {
  std::vector<int> px = vt::immagine(3);
  px[33] = 128;
  Caso c(vt::riga(2, px) + vt::riga(5, vt::immagine()));
  const std::string testa = BANNER + "\nRighe riconosciute male: 2 di 2\n";
  const std::string riga_a = "riga 1, etichetta 2", riga_b = "riga 2, etichetta 5";
  const std::string risposta_a = "riconosciuta 3 (99.3%)", risposta_b = "riconosciuta 0 (0.7%)";

  // 58 columns hold two digits and the two blanks between them: one band,
  // printed after the matrix, so that on 80 x 24 the screen the run leaves
  // holds every digit of it whole.
  std::string fascia = "\n";
  for (int r = 0; r < 14; ++r) fascia += linea(r, true) + "  " + linea(r, false) + "\n";
  fascia += riga_a + std::string(28 - riga_a.size() + 2, ' ') + riga_b + "\n";
  fascia += risposta_a + std::string(28 - risposta_a.size() + 2, ' ') + risposta_b + "\n";
  for (unsigned short colonne : {58, 80}) {
    auto r = vt::run_pty(VELMORA_GPMS_BIN, ARGS, 24, colonne, vt::in_dir(c.dir));
    EXPECT_EQ(r.out, testa + coda({{2, 3}, {5, 0}}) + fascia);
    EXPECT_EQ(r.status, 0);
  }

  // 57 columns: one digit per band. The blank digit is flat: lightest, as velmora_pms paints it.
  std::string a = "\n", b = "\n";
  for (int r = 0; r < 14; ++r) {
    a += linea(r, true) + "\n";
    b += linea(r, false) + "\n";
  }
  auto r = vt::run_pty(VELMORA_GPMS_BIN, ARGS, 40, 57, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, testa + coda({{2, 3}, {5, 0}}) + a + riga_a + "\n" + risposta_a + "\n" + b + riga_b + "\n" +
                       risposta_b + "\n");

  // --schermo: one band of 17 lines and the prompt's line fit 24 rows, a
  // second band needs 35; --elenco: the listing.
  r = vt::run_pty(VELMORA_GPMS_BIN, {"r.csv", "h.w", "o.w", "--schermo"}, 24, 57, vt::in_dir(c.dir));
  EXPECT_EQ(r.out, testa + "Mostrate le prime 1\n" + coda({{2, 3}, {5, 0}}) + a + riga_a + "\n" + risposta_a + "\n");
  r = vt::run_pty(VELMORA_GPMS_BIN, {"r.csv", "h.w", "o.w", "--elenco"}, 40, 200, vt::in_dir(c.dir));
  EXPECT_TRUE(r.out.starts_with(testa + "Riga 1: etichetta 2 (0.7%), riconosciuta 3 (99.3%)\n")) << r.out;
}
