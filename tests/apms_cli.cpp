// velmora_apms as its users meet it: the real binary in a scratch directory,
// its stdout bytes, exit status and the weight files it leaves behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
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
  using vt::TempDir::TempDir;
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
                                 "<connessioni_efferenti.w> [epoche] [tasso] [verifica.csv] [opzioni]\n\n",
                        0),
            0u);
  for (const char* testo : {"(predefinito: 15)", "(predefinito: 0.3)", "--costo quadratico|entropia",
                            "(predefinito: quadratico)", "--lotto N", "--seme S", "(predefinito: 20260101)",
                            "--da H.w O.w", "--validazione P", "--ricetta", "--fili N",
                            "(predefinito: tutti i core disponibili)"})
    EXPECT_NE(r.out.find(testo), std::string::npos) << testo;
  EXPECT_EQ(d.apms({"a.csv", "--ricetta", "h.w"}).out, r.out) << "options are not positional arguments";

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

TEST(ApmsCli, BadOptionValuesNameTheOptionAndStopBeforeReadingAnything) {
  Cartella d;
  const std::pair<std::vector<std::string>, std::string> casi[] = {
      {{"--costo", "assoluto"}, "Costo non valido: assoluto (quadratico o entropia)"},
      {{"--decadimento", "-1e-4"}, "Decadimento non valido: -1e-4 (un numero da 0 in su)"},
      {{"--decadimento", "inf"}, "Decadimento non valido: inf (un numero da 0 in su)"},
      {{"--inizio", "casuale"}, "Inizio non valido: casuale (fisso o scalato)"},
      {{"--riduzione", "1.5"}, "Riduzione del tasso non valida: 1.5 (F oppure F,N: un fattore maggiore di 0 e al "
                               "massimo 1, ogni N epoche da 1 a 100000)"},
      {{"--riduzione", "0.5,0"}, "Riduzione del tasso non valida: 0.5,0 (F oppure F,N: un fattore maggiore di 0 e al "
                                 "massimo 1, ogni N epoche da 1 a 100000)"},
      {{"--lotto", "0"}, "Lotto non valido: 0 (da 1 a 1000 righe)"},
      {{"--lotto", "1001"}, "Lotto non valido: 1001 (da 1 a 1000 righe)"},
      {{"--spostamenti", "3"}, "Spostamenti non validi: 3 (0, 1 o 2)"},
      {{"--media", "101"}, "Media non valida: 101 (da 0 a 100 epoche)"},
      {{"--seme", "-1"}, "Seme non valido: -1 (un intero da 0 a 18446744073709551615)"},
      {{"--seme", "18446744073709551616"},
       "Seme non valido: 18446744073709551616 (un intero da 0 a 18446744073709551615)"},
      {{"--validazione", "0"}, "Quota di validazione non valida: 0 (una percentuale maggiore di 0 e al massimo 50)"},
      {{"--epoche", "0"}, "Numero di epoche non valido: 0 (da 1 a 100000)"},
      {{"--tasso", "-2"}, "Tasso di apprendimento non valido: -2 (un numero maggiore di 0)"},
      {{"--ricetta", "--lotto", "x"}, "Lotto non valido: x (da 1 a 1000 righe)"},
      {{"--velocita", "2"}, "Opzione sconosciuta: --velocita"},
      {{"--fili", "0"}, "Numero di fili non valido: 0 (da 1 a 64)"},
      {{"--fili", "65"}, "Numero di fili non valido: 65 (da 1 a 64)"},
      {{"--fili", "2x"}, "Numero di fili non valido: 2x (da 1 a 64)"},
  };
  for (const auto& [opzione, messaggio] : casi) {
    std::vector<std::string> args{"manca.csv", "h.w", "o.w"};
    args.insert(args.begin() + 1, opzione.begin(), opzione.end());
    const auto r = d.apms(args);
    EXPECT_EQ(r.out, BANNER + messaggio + "\n");
    EXPECT_EQ(r.status, 1) << messaggio;
  }
  auto r = d.apms({"manca.csv", "h.w", "o.w", "--da", "h0.w"});
  EXPECT_EQ(r.out, BANNER + "Manca il valore dell'opzione --da\n");
  // A warm start's files are read before the rows, with velmora_pms's checks.
  vt::write_file(d / "corto.w", std::string(8000, '\0'));
  vt::write_file(d / "o0.w", std::string(8000, '\0'));
  r = d.apms({"manca.csv", "h.w", "o.w", "--da", "corto.w", "o0.w"});
  EXPECT_EQ(r.out, BANNER + "File corto.w: dimensione errata (8000 byte, attesi 627200)\n");
  r = d.apms({"manca.csv", "h.w", "o.w", "--da", "o0.w", "nessuno.w"});
  EXPECT_EQ(r.out, BANNER + "File o0.w: dimensione errata (8000 byte, attesi 627200)\n");
  EXPECT_FALSE(vt::file_exists(d / "h.w"));
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

namespace {
uint64_t fnv(const std::string& b) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : b) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}
}  // namespace

TEST(ApmsTraining, TheDefaultRunWritesTheBytesOfTheLandedTrainer) {
  // FNV-1a of what the trainer as it landed, before its options, wrote and
  // printed for this run.
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(200, 31));
  vt::write_file(d / "test.csv", righe_blocchi(60, 32));
  const auto r = d.apms({"train.csv", "h.w", "o.w", "4", "0.3", "test.csv"});
  EXPECT_EQ(fnv(vt::read_file(d / "h.w")), 0x064f00a07f979195ULL);
  EXPECT_EQ(fnv(vt::read_file(d / "o.w")), 0x97d265d2a0d25ca0ULL);
  // Since then the matrix's title takes two lines, so that it fits 80 columns.
  std::string stampato = r.out;
  const std::string titolo = "test.csv\n(righe: etichetta, colonne: cifra riconosciuta)\n";
  const size_t t = stampato.find(titolo);
  ASSERT_NE(t, std::string::npos) << r.out;
  stampato.replace(t, titolo.size(), "test.csv (righe: etichetta, colonne: cifra riconosciuta):\n");
  // And the screen is cleared only on a terminal: the landed trainer cleared it everywhere.
  stampato.insert(0, "\33[2J\33[1;1H");
  EXPECT_EQ(fnv(stampato), 0x87db7e42c355f888ULL) << r.out;
}

TEST(ApmsTraining, EveryOptionWritesTheSameBytesInEveryBuild) {
  // The weight files this run wrote when its options landed: the release
  // build and the sanitizer build (-O0) must both write them.
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(200, 31));
  const auto r = d.apms({"train.csv", "h.w", "o.w", "4", "0.5", "--costo", "entropia", "--inizio", "scalato", "--lotto",
                         "7", "--decadimento", "1e-3", "--riduzione", "0.5,2", "--spostamenti", "2", "--media", "2",
                         "--seme", "11"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(fnv(vt::read_file(d / "h.w") + vt::read_file(d / "o.w")), 0xe2c649330bb196ebULL);
}

TEST(ApmsTraining, TheFastBuildWritesTheBytesOfTheStraightforwardOne) {
  // An ordinary run evaluated after every epoch, a rate that saturates the
  // network at once, and every option of the step; each build in a folder
  // of its own.
  const std::vector<std::vector<std::string>> prove = {
      {"3", "0.3"},
      {"2", "1e100"},
      {"--ricetta", "--epoche", "3", "--validazione", "10", "--lotto", "7", "--riduzione", "0.5", "--media", "2"},
      {"2", "0.05", "--costo", "entropia", "--decadimento", "1e-3", "--spostamenti", "1", "--seme", "9"},
  };
  for (const auto& prova : prove) {
    const std::string tasso = prova[0] + " " + prova[1];
    Cartella veloce, diretta;
    for (Cartella* d : {&veloce, &diretta}) {
      vt::write_file(*d / "train.csv", righe_blocchi(160, 21));
      vt::write_file(*d / "test.csv", righe_blocchi(50, 22));
    }
    std::vector<std::string> args{"train.csv", "h.w", "o.w", "--verifica", "test.csv"};
    args.insert(args.end(), prova.begin(), prova.end());
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

TEST(ApmsTraining, AnyNumberOfThreadsWritesTheBytesOfTheStraightforwardBuild) {
  // Online, the recipe's batches with decay and copies, batches that do not
  // divide the rows, and decay on single rows: the threaded step with one,
  // two, three (13 blocks of hidden neurons unevenly shared) and eight
  // threads (more than the cores here) prints and writes what the
  // straightforward build does, and so does the default (every core).
  const std::vector<std::vector<std::string>> prove = {
      {"3", "0.3"},
      {"--ricetta", "--epoche", "3"},
      {"2", "0.5", "--lotto", "7", "--decadimento", "1e-3", "--costo", "entropia", "--media", "2"},
      {"2", "0.1", "--decadimento", "1e-2", "--spostamenti", "1", "--validazione", "10"},
  };
  for (const auto& prova : prove) {
    std::string nome;
    for (const auto& a : prova) nome += a + " ";
    Cartella diretta;
    vt::write_file(diretta / "train.csv", righe_blocchi(130, 23));
    vt::write_file(diretta / "test.csv", righe_blocchi(40, 24));
    std::vector<std::string> args{"train.csv", "h.w", "o.w", "--verifica", "test.csv"};
    args.insert(args.end(), prova.begin(), prova.end());
    vt::RunOptions o;
    o.cwd = diretta.path.string();
    const auto r = vt::run(APMS_RIFERIMENTO, args, o);
    ASSERT_EQ(r.status, 0) << nome << r.out;
    for (const char* fili : {"1", "2", "3", "8", ""}) {
      Cartella d;
      vt::write_file(d / "train.csv", righe_blocchi(130, 23));
      vt::write_file(d / "test.csv", righe_blocchi(40, 24));
      std::vector<std::string> con_fili = args;
      if (*fili) con_fili.insert(con_fili.end(), {"--fili", fili});
      const auto v = d.apms(con_fili);
      EXPECT_EQ(v.status, 0) << nome << fili;
      EXPECT_EQ(v.out, r.out) << nome << fili;
      EXPECT_EQ(vt::read_file(d / "h.w"), vt::read_file(diretta / "h.w")) << nome << fili;
      EXPECT_EQ(vt::read_file(d / "o.w"), vt::read_file(diretta / "o.w")) << nome << fili;
    }
  }
}

TEST(ApmsTraining, OptionsStandAnywhereAndExplicitValuesWinOverTheRecipe) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(120, 41));
  auto r = d.apms({"train.csv", "h.w", "o.w", "--ricetta", "--epoche", "2", "--lotto", "5", "--seme", "3"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nRighe di addestramento: 120 (train.csv)\nEpoche: 2, tasso di apprendimento: 0.5, seme: 3\n"
                       "Costo: entropia, decadimento: 0.0001, pesi iniziali: scalati, riduzione del tasso: x0.5 ogni "
                       "20 epoche, lotto: 5, spostamenti: 2, media delle ultime 20 epoche, validazione: nessuna\n\n"
                       "Epoca 1 di 2: "),
            std::string::npos)
      << r.out;
  const std::string h = vt::read_file(d / "h.w");
  // The same settings in another order, the positional epochs given before
  // --ricetta: the same run.
  auto r2 = d.apms({"--lotto", "5", "train.csv", "2", "--seme", "3", "--ricetta", "o.w"});
  EXPECT_EQ(r2.out.find("Numero di epoche"), std::string::npos);
  auto r3 = d.apms({"--lotto", "5", "train.csv", "h.w", "--seme", "3", "o.w", "2", "--ricetta"});
  EXPECT_EQ(r3.out, r.out);
  EXPECT_EQ(vt::read_file(d / "h.w"), h);
  // Of two values for one setting the later counts.
  auto r4 = d.apms({"train.csv", "h.w", "o.w", "1", "--lotto", "9", "--costo", "entropia", "--lotto", "4"});
  EXPECT_NE(r4.out.find(", lotto: 4, "), std::string::npos) << r4.out;
}

TEST(ApmsTraining, TheMeanOfTheLastEpochsIsTheirWeightsSummedInOrderAndDivided) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(80, 71));
  const auto pesi = [&](const std::string& epoche, const std::string& media) {
    const auto r = d.apms({"train.csv", "h.w", "o.w", epoche, "0.5", "--lotto", "3", "--media", media});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string b = vt::read_file(d / "h.w") + vt::read_file(d / "o.w");
    std::vector<double> w(b.size() / 8);
    std::memcpy(w.data(), b.data(), b.size());
    return w;
  };
  // Training does not depend on the mean: the weights after epoch 2 of 4
  // are those of a run of 2 epochs.
  const auto w2 = pesi("2", "1"), w3 = pesi("3", "0"), w4 = pesi("4", "0"), media = pesi("4", "3");
  ASSERT_EQ(media.size(), w2.size());
  size_t diversi = 0;
  for (size_t z = 0; z < media.size(); ++z) {
    diversi += w2[z] != w4[z];
    ASSERT_EQ(media[z], (((0.0 + w2[z]) + w3[z]) + w4[z]) / 3.0) << z;
  }
  EXPECT_GT(diversi, media.size() / 2);
}

TEST(ApmsTraining, TheHeldOutRowsNeverChooseTheWeightsAndValidationRowsAreNotTrainedOn) {
  // The best epoch is chosen on a share of the training rows: the weights
  // written are the same whatever held-out file is given, or none.
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(200, 51));
  vt::write_file(d / "a.csv", righe_blocchi(40, 52));
  vt::write_file(d / "b.csv", righe_blocchi(70, 53));
  const std::vector<std::string> opzioni{"--epoche", "4", "--validazione", "25", "--tasso", "0.05"};
  std::vector<std::string> pesi;
  for (const std::string verifica : {"", "a.csv", "b.csv", "train.csv"}) {
    std::vector<std::string> args{"train.csv", "h.w", "o.w"};
    args.insert(args.end(), opzioni.begin(), opzioni.end());
    if (!verifica.empty()) args.insert(args.end(), {"--verifica", verifica});
    const auto r = d.apms(args);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Righe di addestramento: 200 (train.csv), 50 tenute da parte per la validazione\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nAddestramento: "), std::string::npos);
    EXPECT_NE(r.out.find(" righe riconosciute su 150 ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Validazione: "), std::string::npos);
    EXPECT_TRUE(
        std::regex_search(r.out, std::regex("\nPesi dell'epoca [1-4], la migliore sulle righe di validazione\n")));
    pesi.push_back(vt::read_file(d / "h.w") + vt::read_file(d / "o.w"));
  }
  for (const auto& p : pesi) EXPECT_EQ(p, pesi[0]);
  const auto r = d.apms({"train.csv", "h.w", "o.w", "--validazione", "0.4"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.ends_with("Quota di validazione troppo piccola: il 0.4% di 200 righe non ne tiene da parte nessuna\n"))
      << r.out;
}

TEST(ApmsTraining, AWarmStartBeginsFromThePairAsReadTailsAtZero) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(60, 61));
  // A pair whose tails in the files are not zero: only the values a file
  // holds are read, and a rate too small to move any weight writes back
  // exactly what was read.
  vt::Pesi p;
  for (size_t k = 0; k < p.h.size(); ++k) p.h[k] = (k % 2 ? 0.01 : -0.01) * static_cast<double>(1 + k % 97);
  for (size_t k = 0; k < p.o.size(); ++k) p.o[k] = (k % 3 ? 0.02 : -0.02) * static_cast<double>(1 + k % 89);
  p.scrivi(d);
  // A file of any other length than its layer's is refused: a longer one
  // too, as the hidden layer's file given for the output layer would be.
  vt::write_file(d / "h0.w", vt::read_file(d / "h.w") + std::string(800, '\x11'));
  vt::write_file(d / "o0.w", vt::read_file(d / "o.w"));
  auto r = d.apms({"train.csv", "h1.w", "o1.w", "1", "1e-300", "--da", "h0.w", "o0.w"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.ends_with("File h0.w: dimensione errata (628000 byte, attesi 627200)\n")) << r.out;
  EXPECT_FALSE(vt::file_exists(d / "h1.w"));
  vt::write_file(d / "h0.w", vt::read_file(d / "h.w"));
  r = d.apms({"train.csv", "h1.w", "o1.w", "1", "1e-300", "--da", "h0.w", "o0.w"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("pesi iniziali: da h0.w e o0.w, "), std::string::npos) << r.out;
  EXPECT_EQ(vt::read_file(d / "h1.w"), vt::read_file(d / "h.w"));
  EXPECT_EQ(vt::read_file(d / "o1.w"), vt::read_file(d / "o.w"));
  // Training on from a run's own files, in place.
  r = d.apms({"train.csv", "h1.w", "o1.w", "2", "--da", "h1.w", "o1.w"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(vt::read_file(d / "h1.w"), vt::read_file(d / "h.w"));
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

// The screen is cleared only on a terminal, and only for a run: a mistyped
// line there prints its one message and leaves the screen as it was. On a
// pipe the banner comes without the escapes (the other tests' BANNER).
TEST(ApmsTraining, TheScreenIsClearedOnlyOnATerminalAndOnlyForARun) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(20, 3));
  vt::RunOptions o;
  o.cwd = d.path.string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> casi = {
      {{"train.csv", "h.w", "o.w", "1", "--boh"}, "Opzione sconosciuta: --boh\n"},
      {{"train.csv", "h.w", "o.w", "3x"}, "Numero di epoche non valido: 3x (da 1 a 100000)\n"},
      {{"train.csv", "p.w", "./p.w"}, "I due file dei pesi devono essere diversi: p.w\n"},
  };
  for (auto& [args, messaggio] : casi) {
    auto r = vt::run_pty(APMS, args, 24, 80, o);
    EXPECT_EQ(r.out, messaggio);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(d.apms(args).out, BANNER + messaggio);
  }
  auto r = vt::run_pty(APMS, {"train.csv", "h.w", "o.w", "1"}, 24, 80, o);
  EXPECT_TRUE(r.out.starts_with(vt::BANNER_APMS_TERMINALE)) << r.out;
  EXPECT_EQ(r.out.find("\33[2J", 1), std::string::npos);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(d.apms({"train.csv", "h.w", "o.w", "1"}).out.find("\33"), std::string::npos);
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

// ---- --ripresa ------------------------------------------------------------------------------

namespace {

// Starts a run in d and waits until its resume file exists, so that at
// least one epoch is kept; then sends sig. The exit status.
int ferma_dopo_un_epoca(Cartella& d, const std::vector<std::string>& args, int sig) {
  const pid_t p = vt::avvia(APMS, args, vt::in_dir(d));
  while (!vt::file_exists(d / "r.bin")) {
    int st = 0;
    if (waitpid(p, &st, WNOHANG) == p) return vt::detail::decode_status(st);
    usleep(200);
  }
  kill(p, sig);
  return vt::attendi(p);
}

// Output from the first line of epoch n on.
std::string da_epoca(const std::string& out, int n) {
  const size_t i = out.find("Epoca " + std::to_string(n) + " di ");
  return i == std::string::npos ? "" : out.substr(i);
}

}  // namespace

TEST(ApmsResume, AStoppedRunGoesOnToTheWeightsLinesAndPageOfOneThatNeverStopped) {
  struct caso {
    int sig;
    std::vector<std::string> impostazioni;
  };
  const caso casi[] = {
      {SIGINT, {"40", "0.3"}},
      {SIGTERM, {"--fili", "2", "--epoche", "40", "--lotto", "7", "--media", "3", "--validazione", "10", "--riduzione", "0.9,7",
                 "--spostamenti", "1", "--verifica", "test.csv"}},
      {SIGKILL, {"--ricetta", "--epoche", "40", "--media", "2", "--validazione", "5"}},
  };
  for (const caso& c : casi) {
    Cartella intera(vt::cartella_veloce()), fermata(vt::cartella_veloce());
    for (Cartella* d : {&intera, &fermata}) {
      vt::write_file(*d / "train.csv", righe_blocchi(800, 51));
      vt::write_file(*d / "test.csv", righe_blocchi(100, 52));
    }
    // The page and the table draw the history the resume file keeps.
    std::vector<std::string> args{"train.csv", "h.w", "o.w", "--rapporto", "p.html", "--curva", "c.tsv"};
    args.insert(args.end(), c.impostazioni.begin(), c.impostazioni.end());
    const auto attesa = intera.apms(args);
    ASSERT_EQ(attesa.status, 0) << attesa.out;
    args.insert(args.end(), {"--ripresa", "r.bin"});
    // Stopped at any step after the first epoch: tried until the stop
    // lands before the run's end.
    int stato = 0;
    for (int prova = 0; prova < 5 && (stato = ferma_dopo_un_epoca(fermata, args, c.sig)) == 0; ++prova)
      std::filesystem::remove(fermata / "h.w");
    ASSERT_EQ(stato, c.sig == SIGKILL ? 128 + SIGKILL : 1) << c.sig;
    ASSERT_FALSE(vt::file_exists(fermata / "h.w"));
    // Resumed on one thread: the weights do not depend on how many.
    args.insert(args.end(), {"--fili", "1"});
    const auto ripresa = fermata.apms(args);
    ASSERT_EQ(ripresa.status, 0) << ripresa.out;
    const int fatte = numero_dopo(ripresa.out, "Ripresa da r.bin:");
    ASSERT_GE(fatte, 1) << ripresa.out;
    EXPECT_NE(ripresa.out.find("\nRipresa da r.bin: " + std::to_string(fatte) + " epoche di 40 gia' fatte\nEpoca " +
                               std::to_string(fatte + 1) + " di 40: "),
              std::string::npos)
        << ripresa.out;
    EXPECT_EQ(da_epoca(ripresa.out, fatte + 1),
              da_epoca(attesa.out, fatte + 1) + "Ripresa r.bin rimossa: l'addestramento e' finito\n");
    EXPECT_EQ(vt::read_file(fermata / "h.w"), vt::read_file(intera / "h.w")) << c.sig;
    EXPECT_EQ(vt::read_file(fermata / "o.w"), vt::read_file(intera / "o.w")) << c.sig;
    EXPECT_EQ(vt::read_file(fermata / "c.tsv"), vt::read_file(intera / "c.tsv")) << c.sig;
    EXPECT_EQ(vt::read_file(fermata / "p.html"), vt::read_file(intera / "p.html")) << c.sig;
    EXPECT_FALSE(vt::file_exists(fermata / "r.bin"));
  }
}

namespace {

// A resume file as version 1 wrote it: the same state without the history
// (its two counts and 11 words per epoch before the check), the check
// made anew. The epochs it holds, or -1 when it is not a version 2 file.
int come_versione_1(const std::string& path) {
  const std::string b = vt::read_file(path);
  std::vector<uint64_t> w((b.size() - 16) / 8);
  std::memcpy(w.data(), b.data() + 16, w.size() * 8);
  if (w.empty() || w[0] != 2) return -1;
  for (size_t k = 1; 11 * k + 3 <= w.size(); ++k) {
    const size_t n = w.size() - 2 - 11 * k;
    if (w[n] != k || w[n - 1] != 0 || w[n + 1] != 1) continue;
    std::vector<uint64_t> v(w.begin(), w.begin() + static_cast<long>(n - 1));
    v[0] = 1;
    uint64_t h = 0xCBF29CE484222325ull;
    for (const uint64_t x : v) h = (h ^ x) * 0x100000001B3ull;
    v.push_back(h);
    std::string out = b.substr(0, 16);
    out.append(reinterpret_cast<const char*>(v.data()), v.size() * 8);
    vt::write_file(path, out);
    return static_cast<int>(k);
  }
  return -1;
}

}  // namespace

TEST(ApmsResume, AVersionOneFileResumesToTheSameWeightsWithoutItsHistory) {
  Cartella intera(vt::cartella_veloce()), fermata(vt::cartella_veloce());
  for (Cartella* d : {&intera, &fermata}) vt::write_file(*d / "train.csv", righe_blocchi(600, 55));
  std::vector<std::string> args{"train.csv", "h.w", "o.w", "30", "--curva", "c.tsv", "--rapporto", "p.html"};
  ASSERT_EQ(intera.apms(args).status, 0);
  args.insert(args.end(), {"--ripresa", "r.bin"});
  int stato = 0;
  for (int prova = 0; prova < 5 && (stato = ferma_dopo_un_epoca(fermata, args, SIGKILL)) == 0; ++prova)
    std::filesystem::remove(fermata / "h.w");
  ASSERT_EQ(stato, 128 + SIGKILL);
  const int fatte = come_versione_1(fermata / "r.bin");
  ASSERT_GE(fatte, 1);
  const auto ripresa = fermata.apms(args);
  ASSERT_EQ(ripresa.status, 0) << ripresa.out;
  EXPECT_EQ(vt::read_file(fermata / "h.w"), vt::read_file(intera / "h.w"));
  EXPECT_EQ(vt::read_file(fermata / "o.w"), vt::read_file(intera / "o.w"));
  // The table lacks the epochs before the resume, and the page says so.
  const std::string tutte = vt::read_file(intera / "c.tsv");
  size_t da = 0;
  for (int i = 0; i <= fatte; ++i) da = tutte.find('\n', da) + 1;
  EXPECT_EQ(vt::read_file(fermata / "c.tsv"), tutte.substr(0, tutte.find('\n') + 1) + tutte.substr(da));
  EXPECT_NE(vt::read_file(fermata / "p.html").find("Le prime " + std::to_string(fatte) + " epoche vengono da una ripresa"),
            std::string::npos);
}

TEST(ApmsResume, AFileThatIsNotThisRunsResumeIsRefusedAndLeftAsItIs) {
  Cartella d;
  vt::write_file(d / "train.csv", righe_blocchi(300, 53));
  vt::write_file(d / "altre.csv", righe_blocchi(300, 54));
  vt::write_file(d / "testo.txt", "appunti");
  const std::vector<std::string> corsa{"train.csv", "h.w", "o.w", "100000", "--ripresa", "r.bin"};
  ASSERT_EQ(ferma_dopo_un_epoca(d, corsa, SIGKILL), 128 + SIGKILL);
  const std::string tenuta = vt::read_file(d / "r.bin");
  vt::write_file(d / "corta.bin", tenuta.substr(0, tenuta.size() - 8));
  std::string guasta = tenuta;
  guasta[10000] ^= 1;  // a weight
  vt::write_file(d / "guasta.bin", guasta);
  const auto resta = [](const std::string& f) {
    return "Il file " + f + " resta com'e': per ricominciare da capo, cancellalo o scegli un altro file di ripresa\n";
  };
  const std::string ricomincia = resta("r.bin");
  struct caso {
    std::vector<std::string> args;
    std::string messaggio;
  };
  const caso casi[] = {
      {{"train.csv", "h.w", "o.w", "--ripresa", "train.csv"},
       "Il file train.csv non puo' tenere la ripresa: e' il file di righe train.csv\n"},
      {{"train.csv", "h.w", "o.w", "--ripresa", "./o.w"}, "Il file ./o.w non puo' tenere la ripresa: e' il file dei pesi o.w\n"},
      {{"train.csv", "h.w", "o.w", "--ripresa", "testo.txt"},
       "Il file testo.txt non puo' tenere la ripresa: esiste e non e' una ripresa di velmora_apms\n"},
      {{"train.csv", "h.w", "o.w", "--ripresa", "-"},
       "Il file - non puo' tenere la ripresa: la ripresa si tiene solo in un file, non su standard output\n"},
      {{"train.csv", "h.w", "o.w", "99999", "--ripresa", "r.bin"},
       "Il file r.bin e' di un altro addestramento: epoche 100000 nella ripresa, 99999 ora\n" + ricomincia},
      {{"train.csv", "h.w", "o.w", "100000", "--ripresa", "r.bin", "--seme", "7"},
       "Il file r.bin e' di un altro addestramento: seme 20260101 nella ripresa, 7 ora\n" + ricomincia},
      {{"altre.csv", "h.w", "o.w", "100000", "--ripresa", "r.bin"},
       "Il file r.bin e' di un altro addestramento: righe di addestramento diverse\n" + ricomincia},
      {{"train.csv", "h.w", "o.w", "100000", "0.3", "altre.csv", "--ripresa", "r.bin"},
       "Il file r.bin e' di un altro addestramento: righe di verifica diverse\n" + ricomincia},
      {{"train.csv", "h.w", "o.w", "100000", "--ripresa", "corta.bin"},
       "Il file corta.bin non e' una ripresa di velmora_apms: troncato\n" + resta("corta.bin")},
      {{"train.csv", "h.w", "o.w", "100000", "--ripresa", "guasta.bin"},
       "Il file guasta.bin non e' una ripresa di velmora_apms: il controllo dei byte non torna\n" + resta("guasta.bin")},
  };
  const auto prima = vt::istantanea(d.path);
  for (const caso& c : casi) {
    const auto r = d.apms(c.args);
    EXPECT_EQ(r.status, 1) << c.messaggio;
    EXPECT_TRUE(r.out.ends_with(c.messaggio)) << r.out;
    EXPECT_EQ(vt::istantanea(d.path), prima) << c.messaggio;
  }
}
