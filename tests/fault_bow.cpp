// velmora_bow when the disk refuses its writes: a file size limit at every
// point of the model and of the cleaned text, a full file system, a working
// folder that no longer exists. The previous model must survive byte for
// byte, the program must say so and exit 1, and nothing may be left behind.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "fault_util.h"
#include "run_util.h"

namespace {

const std::string NO_MODELLO = "File <Bow.txt> non trovato\n";

std::string record(const std::string& parola, int32_t conteggio, int classe) {
  std::string r(72, '\0');
  std::memcpy(r.data(), parola.data(), parola.size());
  std::memcpy(r.data() + 32 + 4 * classe, &conteggio, 4);
  return r;
}

std::string totali(const std::array<long, 10>& t) {
  std::string s;
  for (int k = 0; k < 10; ++k) s += "Classe " + std::to_string(k) + ", parole totali:" + std::to_string(t[k]) + "\n";
  return s;
}

vt::RunResult aggiungi(const vt::TempDir& dir, const std::string& testo, long limite) {
  vt::RunOptions opt;
  opt.cwd = dir.path.string();
  opt.fsize_limit = limite;
  return vt::run(VELMORA_BOW_BIN, {"aggiungi", testo, "1"}, opt);
}

// An old model of 200 words in class 0 (14400 bytes): larger than many of
// the limits below, so a model cut short would show.
std::string vecchio_modello() {
  std::string m;
  for (int i = 0; i < 200; ++i) {
    std::string parola = "w";
    parola += std::to_string(1000 + i);
    m += record(parola, 3, 0);
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
    if (limite < static_cast<long>(testo.size())) {
      EXPECT_EQ(r.out, "File t.txt.clean non trovato\n");
    } else {
      EXPECT_EQ(r.out, NO_MODELLO);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
    // A cleaned text that could not be written whole is not left half-written.
    std::vector<std::string> attesi{"Bow.txt", "t.txt", "t.txt.clean"};
    if (limite < static_cast<long>(testo.size())) attesi.pop_back();
    EXPECT_EQ(ft::elenco(dir.path.string()), attesi);
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
  const std::string vecchio = record("ab", 7, 1);
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
  EXPECT_EQ(ft::elenco(fuori.path.string()), (std::vector<std::string>{"t.txt", "t.txt.clean"}));
}
