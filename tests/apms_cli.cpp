// velmora_apms as its users meet it: the real binary in a scratch directory,
// its stdout bytes, exit status and the weight files it leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "rete_util.h"

namespace {

const std::string APMS = VELMORA_APMS_BIN;
const std::string BPMS = VELMORA_BPMS_BIN;
const std::string APMS_RIFERIMENTO = VELMORA_APMS_RIFERIMENTO_BIN;
const std::string BANNER = vt::BANNER_APMS;
using vt::righe_blocchi;

int numero_dopo(const std::string& testo, const std::string& prima) {
  std::smatch m;
  if (!std::regex_search(testo, m, std::regex(prima + " ([0-9]+)"))) return -1;
  return std::stoi(m[1]);
}

struct Cartella : vt::TempDir {
  vt::RunResult apms(const std::vector<std::string>& args, long limite = -1) {
    return vt::run(APMS, args, vt::in_dir(*this, limite));
  }
};

}  // namespace

TEST(ApmsCli, UsageAndBadNumbersStopBeforeReadingAnything) {
  Cartella d;
  auto r = d.apms({"a.csv", "h.w"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind(BANNER + "\nUSO:\n velmora_apms <addestramento.csv> <connessioni_intercalari.w> "
                                 "<connessioni_efferenti.w> [epoche] [tasso] [verifica.csv]\n\n",
                        0),
            0u);
  EXPECT_NE(r.out.find("(predefinito: 15)"), std::string::npos);
  EXPECT_NE(r.out.find("(predefinito: 0.3)"), std::string::npos);

  // The numbers are checked before the rows file is even opened.
  r = d.apms({"manca.csv", "h.w", "o.w", "3x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, BANNER + "Numero di epoche non valido: 3x (da 1 a 100000)\n");
  r = d.apms({"manca.csv", "h.w", "o.w", "0"});
  EXPECT_EQ(r.status, 1);
  for (const char* t : {"0", "-0.1", "nan", "inf", ""}) {
    r = d.apms({"manca.csv", "h.w", "o.w", "2", t});
    EXPECT_EQ(r.out, BANNER + "Tasso di apprendimento non valido: " + t + " (un numero maggiore di 0)\n") << t;
    EXPECT_EQ(r.status, 1);
  }
  r = d.apms({"manca.csv", "p.w", "p.w"});
  EXPECT_EQ(r.out, BANNER + "I due file dei pesi devono essere diversi: p.w\n");
  r = d.apms({"manca.csv", "h.w", "o.w"});
  EXPECT_EQ(r.out, BANNER + "File manca.csv non trovato\n");
  EXPECT_EQ(r.status, 1);
}

TEST(ApmsCli, RefusedRowsNameTheRowAndTheFileAndWriteNothing) {
  Cartella d;
  const std::string buone = righe_blocchi(3, 7);
  struct Caso {
    std::string csv;
    std::string messaggio;
  } casi[] = {
      // The second row stops after 500 pixels.
      {righe_blocchi(1, 1) + [] { std::string s = "4"; for (int i = 0; i < 500; ++i) s += ",9"; return s + "\n"; }() +
           righe_blocchi(1, 2),
       "Riga 2 del file r.csv non valida\n"},
      // A value too many on the first row.
      {[&] { std::string s = buone; s.insert(s.find('\n'), ",5"); return s; }(), "Riga 1 del file r.csv non valida\n"},
      // A header line, as a spreadsheet exports it.
      {"label,pixel0\n" + buone, "Riga 1 del file r.csv non valida\n"},
      // A file that ends in the middle of its last row.
      {buone.substr(0, buone.size() - 40), "Riga 3 del file r.csv non valida\n"},
      {"10" + buone.substr(1), "Riga 1 del file r.csv: etichetta 10 fuori dall'intervallo 0 ... 9\n"},
      {buone + "-1" + buone.substr(1, buone.find('\n')), "Riga 4 del file r.csv: etichetta -1 fuori dall'intervallo 0 ... 9\n"},
      {"\n \n", "Il file r.csv non contiene righe\n"},
  };
  for (const auto& c : casi) {
    vt::write_file(d / "r.csv", c.csv);
    vt::write_file(d / "h.w", "vecchio");
    auto r = d.apms({"r.csv", "h.w", "o.w", "1"});
    EXPECT_EQ(r.status, 1) << c.messaggio;
    EXPECT_EQ(r.out, BANNER + c.messaggio);
    EXPECT_EQ(vt::read_file(d / "h.w"), "vecchio");
    EXPECT_FALSE(vt::file_exists(d / "o.w"));
  }
  // A bad held-out file is refused the same way, before any training.
  vt::write_file(d / "r.csv", buone);
  vt::write_file(d / "v.csv", "3,1,2\n");
  auto r = d.apms({"r.csv", "h.w", "o.w", "1", "0.5", "v.csv"});
  EXPECT_EQ(r.out, BANNER + "Riga 1 del file v.csv non valida\n");
  EXPECT_FALSE(vt::file_exists(d / "o.w"));
}

TEST(ApmsTraining, LearnsConstructedDigitsAndTheWrittenFilesRecogniseAlike) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(300, 11));
  vt::write_file(d / "test.csv", righe_blocchi(100, 99));
  auto r = d.apms({"train.csv", "h.w", "o.w", "4", "0.5", "test.csv"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Righe di addestramento: 300 (train.csv)\nRighe di verifica: 100 (test.csv)\n"
                       "Epoche: 4, tasso di apprendimento: 0.5, seme: 20260101\n\nEpoca 1 di 4: accuratezza "),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find('\r'), std::string::npos) << "no progress bar off a terminal";
  EXPECT_NE(r.out.find("\n 9 |     0     0     0     0     0     0     0     0     0    10\n"), std::string::npos)
      << r.out;
  const int su_test = numero_dopo(r.out, "Verifica:");
  EXPECT_GE(su_test, 98) << r.out;
  EXPECT_TRUE(r.out.ends_with("\nPesi scritti in h.w e o.w\n"));
  EXPECT_EQ(vt::read_file(d / "h.w").size(), 627200u);
  EXPECT_EQ(vt::read_file(d / "o.w").size(), 8000u);

  // velmora_bpms with the written files recognises exactly the same rows.
  vt::RunOptions o;
  o.cwd = d.path.string();
  auto b = vt::run(BPMS, {"test.csv", "h.w", "o.w"}, o);
  EXPECT_EQ(b.status, 0);
  EXPECT_TRUE(b.out.ends_with("Riconosciuti " + std::to_string(su_test) + " di 100\n")) << b.out;

  // A second run on the same inputs: the same bytes everywhere.
  Cartella d2;
  vt::write_file(d2 / "train.csv", righe_blocchi(300, 11));
  vt::write_file(d2 / "test.csv", righe_blocchi(100, 99));
  auto r2 = d2.apms({"train.csv", "h.w", "o.w", "4", "0.5", "test.csv"});
  EXPECT_EQ(r2.out, r.out);
  EXPECT_EQ(vt::read_file(d2 / "h.w"), vt::read_file(d / "h.w"));
  EXPECT_EQ(vt::read_file(d2 / "o.w"), vt::read_file(d / "o.w"));
}

TEST(ApmsTraining, TheFastBuildWritesTheBytesOfTheStraightforwardOne) {
  // An ordinary run evaluated after every epoch, and a rate that saturates
  // the network at once; each build in a folder of its own.
  for (const auto& [epoche, tasso] : {std::pair{"3", "0.3"}, std::pair{"2", "1e100"}}) {
    Cartella veloce, diretta;
    for (Cartella* d : {&veloce, &diretta}) {
      vt::write_file(*d / "train.csv", righe_blocchi(160, 21));
      vt::write_file(*d / "test.csv", righe_blocchi(50, 22));
    }
    const std::vector<std::string> args{"train.csv", "h.w", "o.w", epoche, tasso, "test.csv"};
    vt::RunOptions o;
    o.cwd = diretta.path.string();
    const auto v = veloce.apms(args);
    const auto r = vt::run(APMS_RIFERIMENTO, args, o);
    EXPECT_EQ(v.status, 0) << tasso;
    EXPECT_EQ(v.out, r.out) << tasso;
    EXPECT_EQ(vt::read_file(veloce / "h.w"), vt::read_file(diretta / "h.w")) << tasso;
    EXPECT_EQ(vt::read_file(veloce / "o.w"), vt::read_file(diretta / "o.w")) << tasso;
  }
}

TEST(ApmsTraining, ProgressBarOnATerminalOnlyAndNeverWiderThanIt) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(500, 3));
  vt::RunOptions o;
  o.cwd = d.path.string();
  auto r = vt::run_pty(APMS, {"train.csv", "h.w", "o.w", "1"}, 24, 100, o);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("\r\33\\[KEpoca 1/1 \\[##########\\.{10}\\] 250/500 righe  [0-9]+/s  giuste [0-9.]+%\r")))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\r\33\\[KEpoca 1 di 1: accuratezza [0-9.]+%, [0-9.]+ s\n")));
  EXPECT_NE(r.out.find("Tempo di addestramento: "), std::string::npos);

  // On 40 columns the bar line is cut to 39, so the carriage return still
  // reaches its start.
  r = vt::run_pty(APMS, {"train.csv", "h.w", "o.w", "1"}, 24, 40, o);
  EXPECT_NE(r.out.find("\r\33[KEpoca 1/1 [##########..........] 250/50\r"), std::string::npos) << r.out;
}

TEST(ApmsWeightFiles, AFailedWriteLeavesTheOldFilesAndNoLitter) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(20, 5));
  vt::write_file(d / "h.w", "vecchio h");
  vt::write_file(d / "o.w", "vecchio o");
  // Room for the output file but not for the hidden one.
  auto r = d.apms({"train.csv", "h.w", "o.w", "1"}, 100000);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.ends_with("\nImpossibile scrivere il file h.w\n")) << r.out;
  EXPECT_EQ(vt::read_file(d / "h.w"), "vecchio h");
  EXPECT_EQ(vt::read_file(d / "o.w"), "vecchio o");
  int voci = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(d.path)) ++voci;
  EXPECT_EQ(voci, 3) << "temporary files left behind";

  r = d.apms({"train.csv", "h.w", "manca/o.w", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.ends_with("\nImpossibile scrivere il file manca/o.w\n")) << r.out;
  EXPECT_EQ(vt::read_file(d / "h.w"), "vecchio h");
}
