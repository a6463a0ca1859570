// velmora_bow when the disk refuses its writes: a file size limit at every
// point of the model and of the cleaned text, a full file system, a working
// folder that no longer exists. The previous model must survive byte for
// byte, the program must say so and exit 1, and nothing may be left behind.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <random>

#include "bow_reference.h"
#include "fault_util.h"
#include "run_util.h"

namespace {

using ref::NO_MODELLO;
using ref::record;
using ref::totali;

vt::RunResult aggiungi(const vt::TempDir& dir, const std::string& testo, long limite) {
  return vt::run(VELMORA_BOW_BIN, {"aggiungi", testo, "1"}, vt::in_dir(dir, limite));
}

// "w" and n in decimal with the letters a ... j for the digits: words in
// the order of their numbers, made of bytes the cleaning leaves.
std::string parola_numero(int n) {
  std::string s(1, 'w');
  for (const char c : std::to_string(n)) s += static_cast<char>('a' + (c - '0'));
  return s;
}

// An old model of 200 words in class 0 (14400 bytes): larger than many of
// the limits below, so a model cut short would show.
std::string vecchio_modello() {
  std::string m;
  for (int i = 0; i < 200; ++i) {
    const std::string parola = parola_numero(1000 + i);
    m += record(parola, {3});
  }
  return m;
}

}  // namespace

TEST(FaultBow, EveryFileSizeLimitEitherSavesAllOrKeepsTheOldModel) {
  const std::string vecchio = vecchio_modello();
  std::string testo;
  for (char a = 'a'; a <= 'z'; ++a) testo += std::string(2, a) + "\n";  // 26 new words, 78 bytes
  const long nuovo = static_cast<long>(vecchio.size()) + 26 * 72;

  for (long limite = 0; limite <= nuovo; limite += (limite < 200 ? 13 : 331)) {
    SCOPED_TRACE("limite " + std::to_string(limite));
    vt::TempDir dir;
    vt::write_file(dir / "Bow.txt", vecchio);
    vt::write_file(dir / "t.txt", testo);
    auto r = aggiungi(dir, "t.txt", limite);
    // The line aggiungi always printed, then the cause on standard error.
    if (limite < static_cast<long>(testo.size())) {
      EXPECT_EQ(r.out, "File t.txt.clean non trovato\n");
      EXPECT_EQ(r.err, "Impossibile scrivere il file t.txt.clean: File too large\n");
    } else {
      EXPECT_EQ(r.out, NO_MODELLO);
      EXPECT_EQ(r.err, "Impossibile scrivere il file Bow.txt: File too large\n");
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
    // A cleaned text that could not be written whole is not left half-written.
    std::vector<std::string> attesi{"Bow.txt", "t.txt", "t.txt.clean"};
    if (limite < static_cast<long>(testo.size())) attesi.pop_back();
    EXPECT_EQ(vt::elenco(dir.path.string()), attesi);
    if (HasFailure()) return;
  }

  // Exactly enough room: the whole new model is written.
  vt::TempDir dir;
  vt::write_file(dir / "Bow.txt", vecchio);
  vt::write_file(dir / "t.txt", testo);
  auto r = aggiungi(dir, "t.txt", nuovo);
  EXPECT_EQ(r.out, totali({600, 26}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt").size(), static_cast<size_t>(nuovo));
}

TEST(FaultBow, ACleanedTextCutShortIsNeverCounted) {
  // 400 repetitions of one word: the model (one record) fits under the limit,
  // the cleaned text does not. Counting the part that was written would
  // report a wrong total as success.
  vt::TempDir dir;
  const std::string vecchio = record("ab", {0, 7});
  vt::write_file(dir / "Bow.txt", vecchio);
  std::string testo;
  for (int i = 0; i < 400; ++i) testo += "ab ";
  vt::write_file(dir / "t.txt", testo);
  auto r = aggiungi(dir, "t.txt", 600);
  EXPECT_EQ(r.out, "File t.txt.clean non trovato\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);

  r = aggiungi(dir, "t.txt", static_cast<long>(testo.size()));
  EXPECT_EQ(r.out, totali({0, 407}));
  EXPECT_EQ(r.status, 0);
}

TEST(FaultBow, AFullFileSystemKeepsTheOldModel) {
  if (!ft::tmpfs_disponibile()) GTEST_SKIP() << "no user namespaces here: a full tmpfs cannot be made";
  const std::string vecchio = vecchio_modello();
  vt::TempDir fuori, copia, punto;
  vt::write_file(fuori / "vecchio", vecchio);
  vt::write_file(fuori / "t.txt", "uno due tre quattro\n");

  // The model's folder is full; the text and its cleaned copy lie elsewhere.
  const std::string script = std::string(ft::MONTA) + "cp \"$2\" \"$1/Bow.txt\"\n" + ft::RIEMPI +
                             "cd \"$1\"\nset +e\n\"$3\" aggiungi \"$4\" 1\nst=$?\n"
                             "cp \"$1/Bow.txt\" \"$5/\"\nls -A \"$1\" > \"$5/elenco\"\nexit $st\n";
  auto r = ft::in_namespace(script, {punto.path.string(), fuori / "vecchio", VELMORA_BOW_BIN, fuori / "t.txt",
                                     copia.path.string()});
  EXPECT_EQ(r.out, NO_MODELLO);
  EXPECT_EQ(r.err, "Impossibile scrivere il file Bow.txt: No space left on device\n");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(vt::read_file(copia / "Bow.txt"), vecchio);
  EXPECT_EQ(vt::read_file(copia / "elenco"), "Bow.txt\nriempitivo\n");

  // The text lies in the full folder too: its cleaned copy cannot be written.
  const std::string script2 = std::string(ft::MONTA) + "cp \"$2\" \"$1/Bow.txt\"\ncp \"$4\" \"$1/t.txt\"\n" +
                              ft::RIEMPI + "cd \"$1\"\nset +e\n\"$3\" aggiungi t.txt 1\nst=$?\n"
                              "cp \"$1/Bow.txt\" \"$5/\"\nexit $st\n";
  r = ft::in_namespace(script2, {punto.path.string(), fuori / "vecchio", VELMORA_BOW_BIN, fuori / "t.txt",
                                 copia.path.string()});
  EXPECT_EQ(r.out, "File t.txt.clean non trovato\n");
  EXPECT_EQ(r.err, "Impossibile scrivere il file t.txt.clean: No space left on device\n");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(vt::read_file(copia / "Bow.txt"), vecchio);
}

TEST(FaultBow, AWorkingFolderThatVanishedIsReported) {
  // The folder is removed after the program has made it its working folder:
  // the model can be neither read nor saved there.
  vt::TempDir fuori, via;
  vt::write_file(fuori / "t.txt", "uno due\n");
  auto r = vt::run("/bin/sh", {"-c", "mkdir \"$1\" && cd \"$1\" && rmdir \"$1\" && exec \"$2\" aggiungi \"$3\" 1", "sh",
                               via / "cartella", VELMORA_BOW_BIN, fuori / "t.txt"},
                   {});
  ASSERT_NE(r.status, 127) << r.err;
  EXPECT_EQ(r.out, NO_MODELLO + NO_MODELLO);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::elenco(fuori.path.string()), (std::vector<std::string>{"t.txt", "t.txt.clean"}));
}

namespace {

// A model of many words over all ten classes, and a text of words old and new.
std::string modello_grande(int parole) {
  std::string m;
  for (int i = 0; i < parole; ++i) {
    std::array<int32_t, CLASSI> c{};
    c[static_cast<size_t>(i % CLASSI)] = 1 + i % 7;
    const std::string parola = parola_numero(100000 + i);
    m += record(parola, c);
  }
  return m;
}

std::string testo_di(int classe, int parole) {
  std::string t;
  for (int i = 0; i < parole; ++i) {
    t += {'c', static_cast<char>('a' + classe), static_cast<char>('a' + i % 26), static_cast<char>('a' + i % 23)};
    t += i % 13 ? ' ' : '\n';
  }
  return t;
}

// t0.txt ... t9.txt
std::string testo_n(int k) {
  std::string nome = "t";
  nome += static_cast<char>('0' + k);
  return nome + ".txt";
}

bool e_temporaneo(const std::string& nome) { return nome.starts_with(".velmora-"); }

}  // namespace

TEST(FaultBow, RunsStartedTogetherAllCount) {
  // The sequential runs give the model every parallel run must give.
  vt::TempDir uno;
  for (int k = 0; k < CLASSI; ++k) vt::write_file(uno / testo_n(k), testo_di(k, 20000));
  for (int k = 0; k < CLASSI; ++k)
    ASSERT_EQ(vt::run(VELMORA_BOW_BIN, {"aggiungi", testo_n(k), std::to_string(k)},
                      vt::in_dir(uno)).status, 0);
  const std::string atteso = vt::read_file(uno / "Bow.txt");

  for (int giro = 0; giro < 5; ++giro) {
    SCOPED_TRACE("giro " + std::to_string(giro));
    vt::TempDir d;
    std::vector<pid_t> processi;
    for (int k = 0; k < CLASSI; ++k) vt::write_file(d / testo_n(k), testo_di(k, 20000));
    for (int k = 0; k < CLASSI; ++k)
      processi.push_back(vt::avvia(VELMORA_BOW_BIN, {"aggiungi", testo_n(k), std::to_string(k)},
                                   vt::in_dir(d)));
    for (pid_t p : processi) EXPECT_EQ(vt::attendi(p), 0);
    EXPECT_TRUE(vt::read_file(d / "Bow.txt") == atteso) << "a run's words were lost";
    EXPECT_EQ(vt::elenco(d.path.string()).size(), 1u + 2u * CLASSI);
  }
}

TEST(FaultBow, KilledAtAnyMomentTheModelIsOldOrNew) {
  // A model of 2.9 MB; the run loads it, counts the text and saves it again.
  const std::string vecchio = modello_grande(40000);
  const std::string testo = testo_di(3, 20000);
  vt::TempDir rif(vt::cartella_veloce());
  vt::write_file(rif / "Bow.txt", vecchio);
  vt::write_file(rif / "t.txt", testo);
  const auto inizio = std::chrono::steady_clock::now();
  ASSERT_EQ(aggiungi(rif, "t.txt", -1).status, 0);
  const auto durata = std::chrono::steady_clock::now() - inizio;
  const std::string nuovo = vt::read_file(rif / "Bow.txt");
  ASSERT_NE(nuovo, vecchio);

  vt::TempDir d(vt::cartella_veloce());
  vt::write_file(d / "t.txt", testo);
  std::mt19937 gen(20261208);
  const auto arco = std::chrono::duration_cast<std::chrono::microseconds>(durata * 13 / 10).count();
  int vecchi = 0, nuovi = 0;
  // SIGKILL 100 times, then the signals a save holds back until it is done.
  for (int giro = 0; giro < 115; ++giro) {
    const int segnale = giro < 100 ? SIGKILL : std::array{SIGINT, SIGTERM, SIGHUP}[giro % 3];
    SCOPED_TRACE("giro " + std::to_string(giro) + ", segnale " + std::to_string(segnale));
    vt::write_file(d / "Bow.txt", vecchio);
    const pid_t p = vt::avvia(VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, vt::in_dir(d));
    usleep(static_cast<useconds_t>(gen() % static_cast<uint32_t>(arco + 1)));
    kill(p, segnale);
    vt::attendi(p);
    const std::string dopo = vt::read_file(d / "Bow.txt");
    ASSERT_TRUE(dopo == vecchio || dopo == nuovo) << "the model is neither the old nor the new one";
    (dopo == vecchio ? vecchi : nuovi)++;
    for (const std::string& nome : vt::elenco(d.path.string())) {
      if (nome == "Bow.txt" || nome == "t.txt" || nome == "t.txt.clean") continue;
      // Only SIGKILL, between the naming of a temporary and its rename, can leave one; the next save removes it.
      ASSERT_TRUE(segnale == SIGKILL && e_temporaneo(nome)) << nome;
    }
  }
  EXPECT_GT(vecchi, 0);
  EXPECT_GT(nuovi, 0);
  ASSERT_EQ(aggiungi(d, "t.txt", -1).status, 0);
  EXPECT_EQ(vt::elenco(d.path.string()), (std::vector<std::string>{"Bow.txt", "t.txt", "t.txt.clean"}));
}
