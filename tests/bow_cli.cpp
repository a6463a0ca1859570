// velmora_bow as its users meet it: the real program in a scratch directory,
// its exact output, exit status and the files it leaves.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>

#include "bow_reference.h"
#include "run_util.h"

namespace {

using ref::classificazione;
using ref::NO_MODELLO;
using ref::totali;
using ref::TROPPO_LUNGA;
using ref::USO;

vt::RunResult bow(const vt::TempDir& dir, std::vector<std::string> args, long fsize_limit = -1) {
  return vt::run(VELMORA_BOW_BIN, args, vt::in_dir(dir, fsize_limit));
}

const std::array<const char*, 10> ZERI = {"0.000000", "0.000000", "0.000000", "0.000000", "0.000000",
                                          "0.000000", "0.000000", "0.000000", "0.000000", "0.000000"};

size_t voci(const vt::TempDir& dir) { return vt::elenco(dir.path.string()).size(); }

TEST(BowCli, ArgumentsAreCheckedBeforeAnyFileIsTouched) {
  vt::TempDir dir;
  struct caso { std::vector<std::string> args; std::string out; int status; };
  const caso casi[] = {
      {{}, USO, 1},
      {{"classifica"}, USO, 1},
      {{"aggiungi", "t.txt"}, "Uso: bow aggiungi <file.txt> CLASS\nEs.: $./bow Odissea.txt 1\n", 0},
      {{"prova", "t.txt"}, "Azione prova non supportata:\n" + USO, 1},
      {{"Classifica", "t.txt"}, "Azione Classifica non supportata:\n" + USO, 1},
      {{"aggiungi", "t.txt", "10"}, "Classe 10 non supportata: le classi vanno da 0 a 9\n", 1},
      {{"aggiungi", "t.txt", "-1"}, "Classe -1 non supportata: le classi vanno da 0 a 9\n", 1},
      {{"aggiungi", "t.txt", "4294967296"}, "Classe 4294967296 non supportata: le classi vanno da 0 a 9\n", 1},
  };
  for (const caso& c : casi) {
    auto r = bow(dir, c.args);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.status, c.status);
  }
  EXPECT_EQ(voci(dir), 0u);
}

TEST(BowCli, WorkedExampleThroughBothCommands) {
  vt::TempDir dir;
  vt::write_file(dir / "zero.txt", "A a, a b\n");
  vt::write_file(dir / "uno.txt", "b\tB");
  vt::write_file(dir / "doc.txt", "a a b");
  auto r = bow(dir, {"aggiungi", "zero.txt", "0"});
  EXPECT_EQ(r.out, NO_MODELLO + totali({4}));
  r = bow(dir, {"aggiungi", "uno.txt", " +1"});  // read as atoi reads it
  EXPECT_EQ(r.out, totali({4, 2}));
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), ref::record("a", {3}) + ref::record("b", {1, 2}));

  r = bow(dir, {"classifica", "doc.txt", "ignorato"});
  auto p = ZERI;
  p[0] = "-1.212984";
  p[1] = "-1.602060";
  EXPECT_EQ(r.out, classificazione(p, 0));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(vt::read_file(dir / "doc.txt.clean"), "a a b");
}

TEST(BowCli, EmptyAndMissingModels) {
  vt::TempDir dir;
  vt::write_file(dir / "doc.txt", "");
  auto r = bow(dir, {"classifica", "doc.txt"});
  EXPECT_EQ(r.out, NO_MODELLO + classificazione(ZERI, 0));
  EXPECT_FALSE(vt::file_exists(dir / "Bow.txt"));

  // An empty text still writes the model; an empty model loads silently.
  r = bow(dir, {"aggiungi", "doc.txt", "3"});
  EXPECT_EQ(r.out, NO_MODELLO + totali({}));
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), "");

  // Only classes with data count; words unknown to the model change nothing.
  vt::write_file(dir / "Bow.txt", ref::record("x", {0, 0, 0, 2, 0, 0, 0, 7}));
  vt::write_file(dir / "doc.txt", "ignota");
  auto p = ZERI;
  p[3] = p[7] = "-1.000000";
  EXPECT_EQ(bow(dir, {"classifica", "doc.txt"}).out, classificazione(p, 3));
}

TEST(BowCli, CleaningAndTheThirtyCharacterRule) {
  vt::TempDir dir;
  // Every byte value, each one a word of its own.
  std::string tutti, atteso;
  for (int b = 0; b < 256; ++b) {
    tutti += {static_cast<char>(b), ' '};
    char c = b < 0x41 || b > 0x7F ? ' ' : static_cast<char>(b <= 0x5A ? b + 32 : b);
    atteso += {c, ' '};
  }
  const std::string l29(29, 'x'), l30(30, 'y');
  struct caso { std::string testo, pulito, out; int status; };
  const caso casi[] = {
      {"Ciao, Mondo!", "ciao  mondo ", totali({2}), 0},
      {"citt\xC3\xA0X", "citt  x", totali({2}), 0},
      {tutti, atteso, totali({63}), 0},
      {l29 + "\n" + l29 + "Z", l29 + " " + l29 + "z", totali({2}), 0},
      {"a " + l30, "a " + l30, totali({2}), 0},
      {l30 + "\n", l30, TROPPO_LUNGA, 1},
      {"ok " + l30 + "1 ancora", "ok " + l30, TROPPO_LUNGA, 1},
      {l30 + l29, l30, TROPPO_LUNGA, 1},
  };
  for (const caso& c : casi) {
    vt::write_file(dir / "Bow.txt", "vecchio");
    vt::write_file(dir / "t.txt", c.testo);
    auto r = bow(dir, {"aggiungi", "t.txt", "0"});
    EXPECT_EQ(r.out, c.out) << c.pulito;
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(vt::read_file(dir / "t.txt.clean"), c.pulito);
    if (c.status != 0) {
      EXPECT_EQ(vt::read_file(dir / "Bow.txt"), "vecchio");
    }
  }
}

// A text of n bytes or a little more: words of 1 to 29 letters drawn from
// a small vocabulary, so they repeat, between every kind of separator.
std::string testo_lungo(size_t n, unsigned seme) {
  std::mt19937 rng(seme);
  std::vector<std::string> vocabolario(300);
  for (auto& w : vocabolario)
    for (size_t l = 1 + rng() % 29; w.size() < l;) w += static_cast<char>("aeiouLMNRST[_~"[rng() % 14]);
  std::string t;
  while (t.size() < n) t += vocabolario[rng() % 300] + " \n,.7\xC3\xA8"[rng() % 7];
  return t;
}

TEST(BowCli, TextsLongerThanABlockGiveWhatTheStraightforwardReaderGives) {
  vt::TempDir dir;
  const std::string modello = ref::record("aeiou", {0, 5, 0, 0, 2}) + ref::record("zzz", {1});
  ref::bag atteso;
  ref::leggi(atteso, modello);
  auto aggiungi_ref = [&atteso](const std::string& testo, int classe) {
    bool troppo_lunga;
    for (const std::string& w : ref::parole(ref::pulisci(testo, troppo_lunga))) ref::aggiorna(atteso, w, classe);
  };
  auto totali_ref = [&atteso] {
    std::array<long, 10> t{};
    for (const ref::nodo& n : atteso)
      for (int k = 0; k < 10; ++k) t[k] += n.conteggi[k];
    return totali(t);
  };
  // Words are cut by the ends of the blocks wherever they fall.
  const std::string testo = testo_lungo(2 * BLOCCO_TESTO + 12345, 1);
  vt::write_file(dir / "Bow.txt", modello);
  vt::write_file(dir / "t.txt", testo);
  auto r = bow(dir, {"aggiungi", "t.txt", "4"});
  aggiungi_ref(testo, 4);
  EXPECT_EQ(r.out, totali_ref());
  bool troppo_lunga;
  EXPECT_EQ(vt::read_file(dir / "t.txt.clean"), ref::pulisci(testo, troppo_lunga));
  std::string file;
  for (const ref::nodo& n : atteso) file += ref::record(n.parola, n.conteggi);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), file);

  // A run of 30 that ends the text exactly at the end of a block is a word.
  std::string fino = testo_lungo(2 * BLOCCO_TESTO, 2).substr(0, 2 * BLOCCO_TESTO - 31) + " " + std::string(30, 'W');
  vt::write_file(dir / "t.txt", fino);
  r = bow(dir, {"aggiungi", "t.txt", "7"});
  aggiungi_ref(fino, 7);
  EXPECT_EQ(r.out, totali_ref());

  // Scoring a long text against that model: the same sums, in the same order.
  const std::string doc = testo_lungo(BLOCCO_TESTO + 777, 3);
  vt::write_file(dir / "doc.txt", doc);
  ref::bag documento;
  for (const std::string& w : ref::parole(ref::pulisci(doc, troppo_lunga))) ref::aggiorna(documento, w, 0);
  double p[CLASSI];
  ref::classifica(documento, atteso, p);
  std::array<std::string, 10> testi;
  std::array<const char*, 10> punteggi;
  for (int k = 0; k < 10; ++k) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", p[k]);
    testi[k] = buf;
    punteggi[k] = testi[k].c_str();
  }
  EXPECT_EQ(bow(dir, {"classifica", "doc.txt"}).out, classificazione(punteggi, classe_scelta(p)));
  EXPECT_EQ(vt::read_file(dir / "doc.txt.clean"), ref::pulisci(doc, troppo_lunga));

  // A run of 30 across the end of the first block, then more text: refused,
  // with the cleaned bytes up to the refusal left behind and the model as it was.
  const std::string vecchio = vt::read_file(dir / "Bow.txt");
  for (size_t dentro : {1, 15, 29, 30}) {
    std::string rifiutato = testo.substr(0, BLOCCO_TESTO - dentro - 1) + " " + std::string(30, 'k') + testo;
    vt::write_file(dir / "t.txt", rifiutato);
    r = bow(dir, {"aggiungi", "t.txt", "1"});
    EXPECT_EQ(r.out, TROPPO_LUNGA);
    EXPECT_EQ(r.status, 1);
    const std::string pulito = ref::pulisci(rifiutato, troppo_lunga);
    EXPECT_TRUE(troppo_lunga);
    EXPECT_EQ(vt::read_file(dir / "t.txt.clean"), pulito);
    EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
  }
}

TEST(BowCli, CraftedModelFiles) {
  vt::TempDir dir;
  const int32_t MAX = 2147483647;
  // Unsorted, repeated, negative, huge, unterminated and empty records, then a fragment.
  vt::write_file(dir / "Bow.txt", ref::record("zeta", {1, -5}) + ref::record("alfa", {MAX, 0, 2}) +
                                      ref::record("zeta", {2, 3}) + ref::record("vuota", {0, -1}) +
                                      ref::record("alfa", {MAX}) + ref::record(std::string(32, 'q'), {0, 0, 0, 1}) +
                                      ref::record("beta", {MAX}) + std::string(71, 'r'));
  vt::write_file(dir / "t.txt", "alfa");  // one more on a count already at the top
  auto r = bow(dir, {"aggiungi", "t.txt", "0"});
  // Class 0 holds far more than 2^31 - 1 words: its total stays at the top
  // instead of wrapping negative.
  EXPECT_EQ(r.out, totali({MAX, 3, 2, 1}));
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), ref::record("alfa", {MAX, 0, 2}) + ref::record("beta", {MAX}) +
                                                ref::record(std::string(31, 'q'), {0, 0, 0, 1}) +
                                                ref::record("zeta", {3, 3}));
  // ... and the class is still scored as a class with data.
  vt::write_file(dir / "doc.txt", "beta");
  auto p = ZERI;
  p[0] = "-1.000000";
  p[1] = "-1.477121";
  p[2] = "-1.301030";
  p[3] = "-1.000000";
  EXPECT_EQ(bow(dir, {"classifica", "doc.txt"}).out, classificazione(p, 0));
}

TEST(BowCli, AddingTwiceDoublesTheCounts) {
  vt::TempDir dir;
  vt::write_file(dir / "t.txt", "il gatto e il cane\n");
  bow(dir, {"aggiungi", "t.txt", "1"});
  // A model reached through a link is updated where it lies.
  std::filesystem::rename(dir / "Bow.txt", dir / "modello");
  std::filesystem::create_symlink("modello", dir / "Bow.txt");
  auto r = bow(dir, {"aggiungi", "t.txt", "1"});
  EXPECT_EQ(r.out, totali({0, 10}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "Bow.txt"));
  EXPECT_EQ(vt::read_file(dir / "modello"), ref::record("cane", {0, 2}) + ref::record("e", {0, 2}) +
                                                ref::record("gatto", {0, 2}) + ref::record("il", {0, 4}));
}

TEST(BowCli, FailuresNeverDestroyTheModel) {
  vt::TempDir dir;
  const std::string vecchio = ref::record("vecchio", {1});
  vt::write_file(dir / "Bow.txt", vecchio);
  std::string testo;
  for (char a = 'a'; a <= 'z'; ++a) testo += std::string(3, a) + " ";
  vt::write_file(dir / "t.txt", testo);

  // The new model outgrows the file size limit, the cleaned text does not.
  auto r = bow(dir, {"aggiungi", "t.txt", "2"}, 1000);
  EXPECT_EQ(r.out, NO_MODELLO);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
  EXPECT_EQ(voci(dir), 3u);  // no temporary file left behind

  r = bow(dir, {"aggiungi", "manca.txt", "2"});
  EXPECT_EQ(r.out, "File manca.txt non trovato\n");
  EXPECT_EQ(r.status, 1);
  std::filesystem::create_directory(dir / "cartella");
  EXPECT_EQ(bow(dir, {"classifica", "cartella"}).out, "File cartella non trovato\n");
  std::filesystem::remove(dir / "t.txt.clean");
  std::filesystem::create_directory(dir / "t.txt.clean");  // cannot be created
  r = bow(dir, {"aggiungi", "t.txt", "2"});
  EXPECT_EQ(r.out, "File t.txt.clean non trovato\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
}

TEST(BowCli, AnUnreadableModelIsNeverReplaced) {
  // A directory named Bow.txt exists but cannot be read, even by root.
  vt::TempDir dir;
  std::filesystem::create_directory(dir / "Bow.txt");
  vt::write_file(dir / "t.txt", "parola");
  auto r = bow(dir, {"aggiungi", "t.txt", "0"});
  EXPECT_EQ(r.out, NO_MODELLO);
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(vt::file_exists(dir / "t.txt.clean"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Bow.txt"));
  EXPECT_EQ(voci(dir), 2u);

  r = bow(dir, {"classifica", "t.txt"});
  EXPECT_EQ(r.out, NO_MODELLO + classificazione(ZERI, 0));
  EXPECT_EQ(r.status, 0);
}

TEST(BowCli, RunningOutOfMemoryIsReported) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer needs far more address space than the limit leaves";
#endif
  vt::TempDir dir;
  std::string modello;
  for (int i = 0; i < 250000; ++i) modello += ref::record(std::to_string(i), {1});
  vt::write_file(dir / "Bow.txt", modello);
  vt::write_file(dir / "t.txt", "parola");
  vt::RunOptions opt;
  opt.cwd = dir.path.string();
  opt.as_limit = 32L << 20;  // the model's words alone need more
  auto r = vt::run(VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, opt);
  EXPECT_EQ(r.out, "Memoria insufficiente\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), modello);
}

}  // namespace
