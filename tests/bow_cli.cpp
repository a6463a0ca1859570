// velmora_bow as its users meet it: the real program in a scratch directory,
// its exact output, exit status and the files it leaves.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include "bow_reference.h"
#include "corpus.h"
#include "file_lineare.h"
#include "lineare.h"
#include "pulizia.h"
#include "punteggi.h"
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

// Writes the files of a corpus: path relative to dir -> content.
void scrivi_corpus(const vt::TempDir& dir, const std::vector<std::pair<std::string, std::string>>& file) {
  for (const auto& [path, testo] : file) {
    std::filesystem::create_directories(std::filesystem::path(dir / path).parent_path());
    vt::write_file(dir / path, testo);
  }
}

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

  // Each action answers --help with its own usage, naming velmora_bow, and
  // --version, wherever they stand, with status 0...
  for (const char* azione : {"aggiungi", "classifica", "addestra", "valuta", "mostra", "spiega", "predici"}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{azione, "--help"},
                                                 std::vector<std::string>{azione, "t.txt", "--help"}}) {
      auto r = bow(dir, args);
      EXPECT_TRUE(r.out.starts_with(ref::uso_azione(azione))) << azione << ": " << r.out;
      EXPECT_EQ(r.out.find(" bow "), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("./bow"), std::string::npos) << r.out;
      EXPECT_EQ(r.status, 0) << azione;
    }
    auto r = bow(dir, {azione, "--version"});
    EXPECT_TRUE(r.out.starts_with("velmora_bow (velmora) ")) << azione << ": " << r.out;
    EXPECT_EQ(r.status, 0) << azione;
  }
  EXPECT_EQ(voci(dir), 0u);
  // ...but a file of that name, in the place where aggiungi and classifica
  // always took their text, is still that text; so is a word there that is
  // no option of theirs, and any word after "--".
  vt::write_file(dir / "--help", "alfa beta");
  vt::write_file(dir / "--x", "alfa beta");
  vt::write_file(dir / "Bow.txt", ref::record("alfa", {2}) + ref::record("beta", {0, 1}));
  const std::string attesa = bow(dir, {"classifica", "--x"}).out;
  EXPECT_TRUE(attesa.starts_with("CLASSIFICAZIONE:\n")) << attesa;
  EXPECT_EQ(bow(dir, {"classifica", "--help"}).out, attesa);
  EXPECT_EQ(bow(dir, {"classifica", "--", "--help"}).out, attesa);
  EXPECT_EQ(bow(dir, {"classifica", "--x", "--punteggio", "velmora"}).out, attesa);
  EXPECT_EQ(bow(dir, {"classifica", "--punteggio", "velmora", "--", "--x"}).out, attesa);
  EXPECT_EQ(bow(dir, {"aggiungi", "--help"}).out, "Uso: bow aggiungi <file.txt> CLASS\nEs.: $./bow Odissea.txt 1\n");
  EXPECT_EQ(bow(dir, {"aggiungi", "--x", "1"}).out, totali({2, 3}));
  EXPECT_EQ(bow(dir, {"aggiungi", "--", "--x", "1"}).out, totali({2, 5}));
  EXPECT_EQ(bow(dir, {"aggiungi", "--", "--x"}).out, "Uso: bow aggiungi <file.txt> CLASS\nEs.: $./bow Odissea.txt 1\n");
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
    const std::string vecchio = ref::record("vecchio", {});  // a word with no counts: nothing loads
    vt::write_file(dir / "Bow.txt", vecchio);
    vt::write_file(dir / "t.txt", c.testo);
    auto r = bow(dir, {"aggiungi", "t.txt", "0"});
    EXPECT_EQ(r.out, c.out) << c.pulito;
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(vt::read_file(dir / "t.txt.clean"), c.pulito);
    if (c.status != 0) {
      EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
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
  // Huge counts, a word of 31 bytes and a record without counts.
  vt::write_file(dir / "Bow.txt", ref::record("alfa", {MAX, 0, 2}) + ref::record("beta", {MAX}) +
                                      ref::record(std::string(31, 'q'), {0, 0, 0, 1}) + ref::record("vuota", {}) +
                                      ref::record("zeta", {3, 3}));
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

// Every action refuses a Bow.txt the suite did not write, naming its first
// bad record, and a class that is not a whole number from 0 to 9: status 1,
// and every file as it was.
TEST(BowCli, ModelsAndClassesThatAreNotTheSuitesAreRefused) {
  const std::string a = ref::record("alfa", {2}), b = ref::record("beta", {0, 1});
  std::string licenza;
  for (int i = 0; i < 30; ++i) licenza += "GNU GENERAL PUBLIC LICENSE, Version 3, 29 June 2007. ";
  std::string lungo;  // a model of 20 words, to be cut at 1000 bytes
  for (char c = 'a'; c < 'a' + 20; ++c) lungo += ref::record(std::string(3, c), {1});
  std::string vuota = b, senza_fine = b, maiuscola = b, negativa = b;
  vuota[0] = '\0';
  senza_fine.replace(0, 32, std::string(32, 'b'));
  maiuscola[0] = 'B';
  negativa[32 + 4 * 3 + 3] = '\xff';
  const std::string non_modello = "Il file Bow.txt non e' un modello di velmora_bow: record ";
  const std::vector<std::pair<std::string, std::string>> modelli = {
      {licenza, "1 (dal byte 0), parola senza terminatore nei suoi 32 byte\n"},
      {lungo.substr(0, 1000), "14 (dal byte 936), il file finisce a meta' del record (la lunghezza non e' un "
                              "multiplo di 72 byte)\n"},
      {a + b + b.substr(0, 20), "3 (dal byte 144), il file finisce a meta' del record (la lunghezza non e' un multiplo "
                                "di 72 byte)\n"},
      {b + a, "2 (dal byte 72), parola fuori ordine\n"},
      {a + a, "2 (dal byte 72), parola ripetuta\n"},
      {a + vuota, "2 (dal byte 72), parola vuota\n"},
      {a + senza_fine, "2 (dal byte 72), parola senza terminatore nei suoi 32 byte\n"},
      {a + maiuscola, "2 (dal byte 72), parola con il byte 0x42, che la pulizia non lascia\n"},
      {a + negativa, "2 (dal byte 72), conteggio negativo nella classe 3\n"},
  };
  const std::vector<std::vector<std::string>> azioni = {
      {"aggiungi", "t.txt", "1"}, {"classifica", "t.txt"}, {"addestra", "c"},
      {"valuta", "c"},            {"spiega", "t.txt"},     {"mostra", "1"}};
  for (const auto& [modello, motivo] : modelli) {
    vt::TempDir dir;
    scrivi_corpus(dir, {{"Bow.txt", modello}, {"t.txt", "alfa beta"}, {"c/1/x", "beta"}});
    const auto prima = vt::istantanea(dir.path);
    for (const auto& args : azioni) {
      auto r = bow(dir, args);
      EXPECT_EQ(r.out, non_modello + motivo) << args[0] << " " << motivo;
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(vt::istantanea(dir.path), prima) << args[0] << " " << motivo;
    }
  }

  vt::TempDir dir;
  scrivi_corpus(dir, {{"Bow.txt", a + b}, {"t.txt", "alfa beta"}});
  const auto prima = vt::istantanea(dir.path);
  for (const char* classe : {"abc", "", "1x", "1.5", "3 ", "0x3", "+", "- 3", "-1", "10"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"aggiungi", "t.txt", classe}, std::vector<std::string>{"mostra", classe}}) {
      auto r = bow(dir, args);
      EXPECT_EQ(r.out, "Classe " + std::string(classe) + " non supportata: le classi vanno da 0 a 9\n") << classe;
      EXPECT_EQ(r.status, 1);
    }
  }
  EXPECT_EQ(vt::istantanea(dir.path), prima);
  // The forms atoi reads in full are classes.
  for (const char* classe : {"03", "+3", " \t3", "-0"}) {
    auto r = bow(dir, {"mostra", classe});
    EXPECT_EQ(r.out, std::string(classe) == "-0" ? "alfa;2\nbeta;0\n" : "alfa;0\nbeta;0\n") << classe;
  }
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
  EXPECT_EQ(r.out, "Il file t.txt.clean non puo' ricevere il testo pulito: e' una cartella\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), vecchio);
}

// A Bow.txt that exists but cannot be read is never replaced, nor scored
// against as if it were empty: aggiungi and classifica refuse it, saying
// why, and change nothing. A FIFO in its place makes no run wait.
TEST(BowCli, AnUnreadableModelIsNeverReplaced) {
  struct porta {
    std::string tipo;
    std::string aggiungi;    // aggiungi's refusal
    std::string classifica;  // classifica's refusal
  };
  const std::string non_riceve = "Il file Bow.txt non puo' ricevere il modello: ";
  const std::string non_legge = "Il file Bow.txt non si puo' leggere: ";
  const porta porte[] = {
      {"cartella", non_riceve + "e' una cartella\n", non_legge + "e' una cartella\n"},
      {"FIFO", non_riceve + "e' una FIFO, non un file regolare\n", non_legge + "e' una FIFO, non un file regolare\n"},
      {"ciclo", non_riceve + "e' un ciclo di collegamenti simbolici\n",
       non_legge + "e' un ciclo di collegamenti simbolici\n"},
      {"0000", non_riceve + "non si ha il permesso di scriverlo\n", non_legge + "non si ha il permesso di leggerlo\n"},
      {"0200", non_legge + "non si ha il permesso di leggerlo\n", non_legge + "non si ha il permesso di leggerlo\n"},
  };
  for (const porta& p : porte) {
    for (const char* azione : {"aggiungi", "classifica"}) {
      SCOPED_TRACE(p.tipo + " " + azione);
      vt::TempDir dir;
      vt::write_file(dir / "t.txt", "parola");
      const std::string modello = dir / "Bow.txt";
      if (p.tipo == "cartella") {
        std::filesystem::create_directories(dir.path / "Bow.txt" / "dentro");
      } else if (p.tipo == "FIFO") {
        ASSERT_EQ(mkfifo(modello.c_str(), 0666), 0);
      } else if (p.tipo == "ciclo") {
        std::filesystem::create_symlink("Bow.txt", modello);
      } else {
        vt::write_file(modello, ref::record("vecchio", {1}));
        ASSERT_EQ(chmod(modello.c_str(), static_cast<mode_t>(std::stoi(p.tipo, nullptr, 8))), 0);
      }
      vt::RunOptions o = vt::in_dir(dir);
      o.secondi = 20;
      o.come_nessuno = p.tipo.starts_with("0");  // root reads and writes anything
      if (o.come_nessuno) vt::cedi_a_nessuno(dir.path);
      const auto prima = vt::istantanea(dir.path);
      auto r = vt::run(VELMORA_BOW_BIN, {azione, "t.txt", "1"}, o);
      EXPECT_EQ(r.out, azione == std::string("aggiungi") ? p.aggiungi : p.classifica);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(vt::istantanea(dir.path), prima);
    }
  }
}

TEST(BowCli, RunningOutOfMemoryIsReported) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer needs far more address space than the limit leaves";
#endif
  vt::TempDir dir;
  std::string modello;
  for (int i = 0; i < 250000; ++i)  // "aaaa", "aaab", ...: words in order
    modello += ref::record({char('a' + i / 17576), char('a' + i / 676 % 26), char('a' + i / 26 % 26), char('a' + i % 26)}, {1});
  vt::write_file(dir / "Bow.txt", modello);
  vt::write_file(dir / "t.txt", "parola");
  vt::RunOptions opt;
  opt.cwd = dir.path.string();
  opt.as_limit = 32L << 20;  // the model's words alone need more
  auto r = vt::run(VELMORA_BOW_BIN, {"aggiungi", "t.txt", "1"}, opt);
  EXPECT_EQ(r.out, "Memoria insufficiente\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), modello);

  // A list for predici whose second line, 200 MB, does not fit: the run
  // fails, its message outside the table, instead of taking the line for
  // the end of the list.
  r = vt::run("/bin/sh",
              {"-c", "{ echo t.txt; head -c 200000000 /dev/zero | tr '\\0' a; } 2>/dev/null | "
                     "{ ulimit -v 150000 && exec \"$1\" predici; }", "sh", VELMORA_BOW_BIN},
              vt::in_dir(dir));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Memoria insufficiente\n");
  // A line of predici --testo too long to hold.
  vt::write_file(dir / "Bow.txt", ref::record("ab", {1}));
  opt.input = "ab\n" + std::string(48 << 20, ' ') + "ab\n";
  r = vt::run(VELMORA_BOW_BIN, {"predici", "--testo", "--punteggio", "bayes"}, opt);
  EXPECT_TRUE(r.out.ends_with("\n1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n")) << r.out;
  EXPECT_EQ(r.err, "Memoria insufficiente\n");
  EXPECT_EQ(r.status, 1);
}

// ---- The actions on a corpus and on the model ------------------------------------------

// Every path under dir, relative: what a run left behind.
std::vector<std::string> albero(const vt::TempDir& dir) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.path))
    out.push_back(std::filesystem::relative(e.path(), dir.path).string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(BowCli, CorpusActionsRefuseBadCommandLinesAndFoldersBeforeTouchingAnything) {
  vt::TempDir dir;
  scrivi_corpus(dir, {{"t.txt", "testo"}, {"senza/10/a.txt", "a"}, {"vuoto/3/.nascosto", "a"}});
  std::filesystem::create_directories(dir / "vuoto/5/sotto");
  struct caso { std::vector<std::string> args; std::string out; std::string uso; };
  const caso casi[] = {
      {{"addestra"}, "Manca l'argomento CARTELLA\n", "addestra"},
      {{"mostra"}, "Manca l'argomento CLASSE\n", "mostra"},
      {{"spiega"}, "Manca l'argomento FILE\n", "spiega"},
      {{"valuta", "c", "--boh"}, "Opzione sconosciuta: --boh\n", "valuta"},
      {{"valuta", "--errori"}, "Manca l'argomento CARTELLA\n", "valuta"},
      {{"addestra", "c", "d"}, "Argomento in piu': d\n", "addestra"},
      {{"addestra", "c", "--errori"}, "Opzione sconosciuta: --errori\n", "addestra"},
      {{"addestra", "--lineare"}, "Manca l'argomento CARTELLA\n", "addestra"},
      {{"convalida"}, "Manca l'argomento CARTELLA\n", "convalida"},
      {{"convalida", "c", "--pieghe", "1"}, "Numero di pieghe non valido: 1 (da 2 a 100)\n", "convalida"},
      {{"convalida", "c", "--pieghe", "101"}, "Numero di pieghe non valido: 101 (da 2 a 100)\n", "convalida"},
      {{"convalida", "c", "--punteggio", "lineare", "--alfa", "1"},
       "La regola lineare non ha lisciatura: --alfa vale con --punteggio bayes o complemento\n", "convalida"},
      {{"mostra", "3", "--primi"}, "Manca il valore dell'opzione --primi\n", "mostra"},
      {{"mostra", "--primi", "0", "3"}, "Numero di parole non valido: 0 (da 1 a 2147483647)\n", "mostra"},
      {{"mostra", "3", "--primi", "2x"}, "Numero di parole non valido: 2x (da 1 a 2147483647)\n", "mostra"},
      {{"valuta", "c", "--punteggio", "bayesiano"}, "Punteggio sconosciuto: bayesiano (velmora, bayes, complemento o lineare)\n",
       "valuta"},
      {{"spiega", "t.txt", "--alfa", "1"},
       "La regola velmora non ha lisciatura: --alfa vale con --punteggio bayes o complemento\n", "spiega"},
      {{"spiega", "--alfa", "0", "t.txt", "--punteggio", "bayes"}, "Lisciatura non valida: 0 (un numero da 1e-10 a 1e+06)\n",
       "spiega"},
      {{"valuta", "c", "--punteggio", "complemento", "--alfa", "nan"},
       "Lisciatura non valida: nan (un numero da 1e-10 a 1e+06)\n", "valuta"},
      {{"valuta", "c", "--punteggio", "bayes", "--alfa", "1e308"},
       "Lisciatura non valida: 1e308 (un numero da 1e-10 a 1e+06)\n", "valuta"},
      {{"valuta", "c", "--punteggio", "bayes", "--alfa=8e-322"},
       "Lisciatura non valida: 8e-322 (un numero da 1e-10 a 1e+06)\n", "valuta"},
      {{"predici", "t.txt", "--punteggio", "lineare", "--alfa", "1"},
       "La regola lineare non ha lisciatura: --alfa vale con --punteggio bayes o complemento\n", "predici"},
      {{"spiega", "t.txt", "--parole", "-3"}, "Numero di parole non valido: -3 (da 1 a 2147483647)\n", "spiega"},
      {{"mostra", "10"}, "Classe 10 non supportata: le classi vanno da 0 a 9\n", ""},
      {{"mostra", "-1", "--primi", "3"}, "Classe -1 non supportata: le classi vanno da 0 a 9\n", ""},
      {{"addestra", "manca"}, "La cartella manca non esiste\n", ""},
      {{"valuta", "t.txt"}, "t.txt non e' una cartella\n", ""},
      {{"addestra", "senza"}, "La cartella senza non ha sottocartelle di classe (da 0 a 9)\n", ""},
      {{"valuta", "vuoto/"}, "Nessun testo nelle sottocartelle di classe di vuoto/\n", ""},
      {{"convalida", "senza"}, "La cartella senza non ha sottocartelle di classe (da 0 a 9)\n", ""},
  };
  const auto prima = albero(dir);
  for (const caso& c : casi) {
    auto r = bow(dir, c.args);
    // predici's standard output is its table alone: its messages go to standard error.
    const std::string& detto = c.args[0] == "predici" ? r.err : r.out;
    EXPECT_TRUE(detto.starts_with(c.out + (c.uso.empty() ? "" : ref::uso_azione(c.uso)))) << detto;
    if (c.uso.empty()) {
      EXPECT_EQ(detto, c.out);
    }
    if (c.args[0] == "predici") {
      EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(albero(dir), prima);
  // Without a model there is nothing to show or evaluate.
  scrivi_corpus(dir, {{"c/2/a", "a"}});
  EXPECT_EQ(bow(dir, {"mostra", "2"}).out, NO_MODELLO);
  EXPECT_EQ(bow(dir, {"valuta", "c"}).out,
            NO_MODELLO + "Senza un modello non c'e' niente da valutare: prima velmora_bow addestra\n");
  EXPECT_EQ(bow(dir, {"spiega", "t.txt"}).out,
            NO_MODELLO + "Senza un modello non c'e' niente da spiegare: prima velmora_bow addestra o aggiungi\n");
  // predici > out.tsv leaves no message inside the table.
  const auto p = bow(dir, {"predici", "t.txt"});
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, NO_MODELLO + "Senza un modello non c'e' niente da predire: prima velmora_bow addestra\n");
  EXPECT_EQ(p.status, 1);
}

TEST(BowCli, AddestraGivesTheModelOfOneAggiungiPerText) {
  // The same corpus twice: one aggiungi per text in name order, and one addestra.
  const std::vector<std::pair<std::string, std::string>> testi = {
      {"c/0/b.txt", testo_lungo(BLOCCO_TESTO + 999, 4)}, {"c/0/a.txt", "Uno DUE tre, uno."},
      {"c/0/.nascosto", "mai"},  {"c/0/a.txt.clean", "mai"},  {"c/2/z", ""},
      {"c/2/lunga", "ok " + std::string(30, 'k') + " no"}, {"c/3/x", testo_lungo(5000, 5)},
      {"c/9/ultima", "tre " + std::string(30, 'q')}, {"c/7/sotto/mai", "mai"}, {"c/11/mai", "mai"},
      {"c/2/x\nTesti aggiunti: 99 di 99", std::string(31, 'k')}};  // a name that would forge a line
  const std::string vecchio = ref::record("uno", {0, 0, 5}) + ref::record("zeta", {1});
  vt::TempDir uno, tutti;
  scrivi_corpus(uno, testi);
  scrivi_corpus(tutti, testi);
  // A text that opens but cannot be read: named, skipped and counted.
  std::filesystem::create_symlink("/proc/self/mem", tutti / "c/3/y");
  vt::write_file(uno / "Bow.txt", vecchio);
  vt::write_file(tutti / "Bow.txt", vecchio);
  const auto prima = albero(tutti);
  std::string totali_uno;
  for (const char* t : {"c/0/a.txt", "c/0/b.txt", "c/2/z", "c/3/x", "c/7/sotto/mai", "c/9/ultima"}) {
    auto r = bow(uno, {"aggiungi", t, std::string(1, t[2])});
    ASSERT_EQ(r.status, 0) << r.out;
    totali_uno = r.out;
  }
  auto r = bow(tutti, {"addestra", "c"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(vt::read_file(tutti / "Bow.txt"), vt::read_file(uno / "Bow.txt"));
  EXPECT_EQ(albero(tutti), prima) << "no .clean file, no temporary";

  // aggiungi's ten lines, each with the files of its class.
  const char* const file[CLASSI] = {"2, scartati:0", "0, scartati:0", "1, scartati:2", "1, scartati:1",
                                    "0, scartati:0", "0, scartati:0", "0, scartati:0", "1, scartati:0",
                                    "0, scartati:0", "1, scartati:0"};
  std::string atteso;
  std::istringstream righe(totali_uno);
  for (int k = 0; k < CLASSI; ++k) {
    std::string riga;
    std::getline(righe, riga);
    atteso += riga + ", file aggiunti:" + file[k] + "\n";
  }
  atteso += "Testi aggiunti: 6 di 9\n"
            "Voci ignorate nelle sottocartelle di classe: 2 (nascoste, copie .clean, cartelle, file speciali)\n"
            "File c/2/lunga scartato: una parola di 30 o piu' caratteri\n"
            "File c/2/x\\nTesti aggiunti: 99 di 99 scartato: una parola di 30 o piu' caratteri\n"
            "File c/3/y scartato: errore di lettura\n"
            "File scartati: 3 (2 per una parola di 30 o piu' caratteri, 1 illeggibili)\n";
  EXPECT_EQ(r.out, atteso);

  // Nothing that could be added: the model stays as it was.
  vt::TempDir niente;
  scrivi_corpus(niente, {{"c/4/lunga", std::string(31, 'k')}, {"Bow.txt", vecchio}});
  r = bow(niente, {"addestra", "c"});
  EXPECT_EQ(r.out, "File c/4/lunga scartato: una parola di 30 o piu' caratteri\n"
                   "File scartati: 1 (1 per una parola di 30 o piu' caratteri, 0 illeggibili)\n"
                   "Nessun testo aggiunto: Bow.txt non e' cambiato\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(niente / "Bow.txt"), vecchio);
  // A save that fails leaves the old model too.
  r = bow(tutti, {"addestra", "c"}, 4000);
  EXPECT_EQ(r.out, NO_MODELLO);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(vt::read_file(tutti / "Bow.txt"), vt::read_file(uno / "Bow.txt"));
}

// The class classifica names for the text at path (run in dir).
int classe_di_classifica(const vt::TempDir& dir, const std::string& path) {
  const std::string out = bow(dir, {"classifica", path}).out;
  const std::string chiave = "Il documento appartiene alla classe ";
  const size_t i = out.rfind(chiave);
  return i == std::string::npos ? -1 : std::stoi(out.substr(i + chiave.size()));
}

TEST(BowCli, ValutaNamesForEachTextTheClassClassificaNames) {
  // Classes 1 and 4 tie on every text, 0 and 5 have no data, the texts hold
  // words the model lacks, and some are empty or refused.
  std::string modello;
  std::mt19937 rng(9);
  const char* const parole[] = {"alfa", "beta", "delta", "eta", "gamma", "teta"};
  for (const char* p : parole) {
    std::array<int32_t, CLASSI> c{};
    c[1] = c[4] = static_cast<int32_t>(1 + rng() % 5);
    c[2] = static_cast<int32_t>(rng() % 4);
    c[6] = static_cast<int32_t>(rng() % 3);
    c[9] = static_cast<int32_t>(rng() % 2) * 40;
    modello += ref::record(p, c);
  }
  std::vector<std::pair<std::string, std::string>> testi = {
      {"c/0/vuoto", ""}, {"c/5/ignote", "mai visto"}, {"c/4/lunga", std::string(30, 'x') + "."}};
  for (int i = 0; i < 60; ++i) {
    std::string t;
    for (int n = static_cast<int>(rng() % 6); n > 0; --n) t += std::string(parole[rng() % 6]) + (rng() % 3 ? " " : " ignota ");
    testi.push_back({"c/" + std::to_string(rng() % 10) + "/t" + std::to_string(i), t});
  }
  vt::TempDir dir, copia;
  scrivi_corpus(dir, testi);
  scrivi_corpus(copia, testi);
  vt::write_file(dir / "Bow.txt", modello);
  vt::write_file(copia / "Bow.txt", modello);
  const auto prima = albero(dir);
  const auto r = bow(dir, {"valuta", "c", "--errori"});
  EXPECT_EQ(bow(dir, {"valuta", "--punteggio", "velmora", "c", "--errori"}).out, r.out);
  EXPECT_EQ(albero(dir), prima) << "valuta writes nothing";

  std::sort(testi.begin(), testi.end());  // corpus order: class, then name
  std::array<std::array<long, CLASSI>, CLASSI> m{};
  std::string sbagliati;
  long giusti = 0, errori = 0;
  for (const auto& [path, testo] : testi) {
    const int vera = path[2] - '0', scelta = classe_di_classifica(copia, path);
    if (path.ends_with("lunga")) continue;
    ++m[vera][scelta];
    giusti += vera == scelta;
    if (vera == scelta) continue;
    sbagliati += std::to_string(vera) + " " + std::to_string(scelta) + " " + path + "\n";
    ++errori;
  }
  EXPECT_TRUE(r.out.starts_with("File classificati male (classe vera, classe scelta, file): " +
                                std::to_string(errori) + "\n" + sbagliati + "\n")) << r.out;
  EXPECT_NE(r.out.find(ref::matrice(m) + "\nFile c/4/lunga scartato"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\nCorretti " + std::to_string(giusti) + " di 62\n")) << r.out;
  EXPECT_GT(m[1][1] + m[4][1] + m[0][1], 0);  // ties went to the lower class

  // predici names, under each rule, the class classifica names for every
  // text: a folder, walked in byte order, and paths on standard input give
  // the same lines; a text that cannot be classified reads "-" and ends the
  // run with status 1.
  for (const char* regola : {"velmora", "bayes", "complemento"}) {
    const auto p = bow(dir, {"predici", "c", "--punteggio", regola});
    EXPECT_EQ(p.status, 1) << regola;  // c/4/lunga, and why on standard error, outside the table
    EXPECT_EQ(p.err, "c/4/lunga: una parola di 30 o piu' caratteri\n");
    std::istringstream righe(p.out);
    std::string riga;
    std::getline(righe, riga);
    EXPECT_EQ(riga, "file\tclasse\tp0\tp1\tp2\tp3\tp4\tp5\tp6\tp7\tp8\tp9");
    std::string percorsi;
    for (const auto& [path, testo] : testi) {
      ASSERT_TRUE(std::getline(righe, riga)) << regola;
      const size_t tab = riga.find('\t');
      ASSERT_EQ(riga.substr(0, tab), path);
      percorsi += path + "\n";
      if (path.ends_with("lunga")) {
        EXPECT_EQ(riga.substr(tab), "\t-\t-\t-\t-\t-\t-\t-\t-\t-\t-\t-") << riga;
        continue;
      }
      const std::string out = bow(copia, {"classifica", path, "--punteggio", regola}).out;
      const size_t k = out.rfind("classe ");
      EXPECT_EQ(riga.substr(tab + 1, riga.find('\t', tab + 1) - tab - 1), out.substr(k + 7, out.size() - k - 8))
          << regola << " " << path;
    }
    vt::RunOptions da_stdin = vt::in_dir(dir);
    da_stdin.input = percorsi;
    EXPECT_EQ(vt::run(VELMORA_BOW_BIN, {"predici", "--punteggio", regola}, da_stdin).out, p.out) << regola;
  }
  EXPECT_EQ(albero(dir), prima) << "predici writes nothing";
}

TEST(BowCli, ValutaReportOnAHandMadeCorpus) {
  // Each text holds one word, seen by one class only: its class is known.
  vt::TempDir dir;
  scrivi_corpus(dir, {{"Bow.txt", ref::record("alfa", {4}) + ref::record("beta", {0, 4}) +
                                      ref::record("gamma", {0, 0, 4})},
                      {"c/0/a1", "alfa"}, {"c/0/a2", "Alfa!"}, {"c/0/a3", "alfa alfa"}, {"c/0/b", "beta"},
                      {"c/1/b1", "beta"}, {"c/1/b2", "beta"}, {"c/1/g", "gamma"}, {"c/3/a", "alfa"},
                      {"c/3/lunga", std::string(40, 'z')}});
  const std::string rapporto =
      "Classe       File   Corretti Precisione   Richiamo         F1\n"
      "     0          4          3      75.0%      75.0%      75.0%\n"
      "     1          3          2      66.7%      66.7%      66.7%\n"
      "     2          0          0       0.0%          -          -\n"
      "     3          1          0          -       0.0%          -\n"
      "     4          0          0          -          -          -\n"
      "     5          0          0          -          -          -\n"
      "     6          0          0          -          -          -\n"
      "     7          0          0          -          -          -\n"
      "     8          0          0          -          -          -\n"
      "     9          0          0          -          -          -\n"
      "Accuratezza: 62.50%\n" +
      ref::matrice({{{3, 1}, {0, 2, 1}, {}, {1}}}) +
      "\nFile c/3/lunga scartato: una parola di 30 o piu' caratteri\n"
      "File scartati: 1 (1 per una parola di 30 o piu' caratteri, 0 illeggibili)\n"
      "\nCorretti 5 di 8\n";
  auto r = bow(dir, {"valuta", "c"});
  EXPECT_EQ(r.out, rapporto);
  EXPECT_EQ(r.status, 0);
  r = bow(dir, {"valuta", "--errori", "c"});
  EXPECT_EQ(r.out, "File classificati male (classe vera, classe scelta, file): 3\n"
                   "0 1 c/0/b\n1 2 c/1/g\n3 0 c/3/a\n\n" + rapporto);
  // A name with a tab and one with a backslash then t print apart: the
  // backslash is escaped too, in the list and in predici's table.
  scrivi_corpus(dir, {{"e/0/a\tb", "beta"}, {"e/0/a\\tb", "beta"}});
  r = bow(dir, {"valuta", "--errori", "e"});
  EXPECT_TRUE(r.out.starts_with("File classificati male (classe vera, classe scelta, file): 2\n"
                                "0 1 e/0/a\\tb\n0 1 e/0/a\\\\tb\n\n")) << r.out;
  r = bow(dir, {"predici", "e"});
  EXPECT_NE(r.out.find("\ne/0/a\\tb\t1\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\ne/0/a\\\\tb\t1\t"), std::string::npos) << r.out;
  // Another rule says so first; the figures are its own.
  r = bow(dir, {"valuta", "c", "--punteggio", "bayes", "--alfa", "0.5"});
  EXPECT_TRUE(r.out.starts_with("Punteggio: bayes, alfa 0.5\nClasse ")) << r.out;
  EXPECT_TRUE(r.out.ends_with("\nCorretti 5 di 8\n")) << r.out;
  // On a terminal, a progress line cut to its width, erased before the report.
  r = vt::run_pty(VELMORA_BOW_BIN, {"valuta", "c"}, 24, 12, vt::in_dir(dir));
  EXPECT_TRUE(r.out.starts_with("\r\33[Kvaluta: 0 d\r\33[K")) << r.out;
  EXPECT_TRUE(r.out.ends_with("\r\33[K" + rapporto)) << r.out;
}

TEST(BowCli, MostraListsTheWordsOfAClass) {
  vt::TempDir dir;
  vt::write_file(dir / "Bow.txt", ref::record("a", {1, 2}) + ref::record("b", {0, 5}) + ref::record("c", {0, 2}) +
                                      ref::record("d", {3}) + ref::record("e", {0, 2}));
  auto r = bow(dir, {"mostra", "1"});
  EXPECT_EQ(r.out, "a;2\nb;5\nc;2\nd;0\ne;2\n");
  EXPECT_EQ(bow(dir, {"mostra", "1", "--primi", "3"}).out, "b;5\na;2\nc;2\n");
  EXPECT_EQ(bow(dir, {"mostra", "--primi", "9", "0"}).out, "d;3\na;1\n");
  EXPECT_EQ(bow(dir, {"mostra", "7", "--primi", "9"}).out, "");
}

TEST(BowCli, SpiegaShowsClassificaScoresAndTheWordsBehindThem) {
  vt::TempDir dir;
  vt::write_file(dir / "Bow.txt", ref::record("a", {3}) + ref::record("b", {1, 2}));
  vt::write_file(dir / "doc.txt", "a A, b ignota");
  auto r = bow(dir, {"spiega", "doc.txt", "--parole", "5"});
  auto p = ZERI;
  p[0] = "-1.212984";
  p[1] = "-1.602060";
  EXPECT_EQ(r.out, classificazione(p, 0) +
                       "\nPunteggio velmora: log10(c/T) x n / T per una parola che la classe ha visto, log10(1/T) x n "
                       "per una che non ha visto, poi -1\n"
                       "Parole del testo: 4, 3 diverse, 1 ignote al modello (non contano)\n"
                       "\nScelta: classe 0 (parole totali 4), punteggio -1.212984\n"
                       "parte fissa: -1\n"
                       "parola                           nel testo nella classe          termine\n"
                       "b                                        1            1        -0.150515\n"
                       "a                                        2            3        -0.062469\n"
                       "\nSeconda: classe 1 (parole totali 2), punteggio -1.602060\n"
                       "parte fissa: -1\n"
                       "parola                           nel testo nella classe          termine\n"
                       "a                                        2            0        -0.602060\n"
                       "b                                        1            2         0.000000\n"
                       "\nLe parole che separano di piu' le due classi (termine in 0 meno termine in 1):\n"
                       "parola                           nel testo      nella 0      nella 1       differenza\n"
                       "a                                        2            3            0         0.539591\n"
                       "b                                        1            1            2        -0.150515\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(voci(dir), 2u) << "spiega writes nothing";

  // On a long text against a model of two classes that share its words:
  // the very scores classifica prints.
  vt::TempDir reale;
  const std::string testo = testo_lungo(300000, 6);
  vt::write_file(reale / "t.txt", testo.substr(0, 200000));
  ASSERT_EQ(bow(reale, {"aggiungi", "t.txt", "4"}).status, 0);
  vt::write_file(reale / "t.txt", testo.substr(200000, 60000) + testo_lungo(30000, 7));
  ASSERT_EQ(bow(reale, {"aggiungi", "t.txt", "8"}).status, 0);
  vt::write_file(reale / "doc.txt", testo.substr(260000));
  const std::string attese = bow(reale, {"classifica", "doc.txt"}).out;
  r = bow(reale, {"spiega", "doc.txt"});
  EXPECT_TRUE(r.out.starts_with(attese + "\nPunteggio velmora")) << r.out;
  EXPECT_NE(attese.find("Class 4, p=-"), std::string::npos);
  // Other rules: the classes without data are named so, never chosen.
  r = bow(reale, {"spiega", "doc.txt", "--punteggio", "complemento"});
  EXPECT_NE(r.out.find("Class 3, senza dati\nClass 4, p="), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nPunteggio complemento, alfa 1: "), std::string::npos) << r.out;
  EXPECT_EQ(bow(dir, {"spiega", "manca.txt"}).out, "File manca.txt non trovato\n");
  vt::write_file(dir / "lunga.txt", std::string(31, 'x'));
  EXPECT_EQ(bow(dir, {"spiega", "lunga.txt"}).out, TROPPO_LUNGA);
}

// ---- addestra --lineare -------------------------------------------------------------------

// FNV-1a 64 of some bytes, as the model's fingerprints take them.
uint64_t fnv(const std::string& b, uint64_t h = 0xCBF29CE484222325ull) {
  for (unsigned char c : b) h = (h ^ c) * 0x100000001B3ull;
  return h;
}
std::string le64(uint64_t v) {
  std::string b(8, '\0');
  for (int i = 0; i < 8; ++i) b[i] = static_cast<char>(v >> (8 * i));
  return b;
}

template <class... T>
std::string formato(const char* f, T... v) {
  char b[256];
  return std::string(b, static_cast<size_t>(std::snprintf(b, sizeof b, f, v...)));
}

modello_lineare lineare_di(const vt::TempDir& dir) {
  modello_lineare m;
  EXPECT_EQ(carica_lineare(m, (dir / "Bow.lineare").c_str()), esito_lettura::letto);
  return m;
}

TEST(BowCli, AddestraLineareWritesTheSameBowTxtAndReportAndThenItsModel) {
  // A small corpus, a refused text and a hidden one.
  const std::vector<std::pair<std::string, std::string>> testi = {
      {"c/0/1", "Gatto gatto, topo."}, {"c/0/2", "gatto"}, {"c/2/1", "cane osso"}, {"c/2/2", "Cane!"},
      {"c/5/1", "topo formaggio"},     {"c/5/2", ""},      {"c/7/1", "..."},       {"c/7/lunga", std::string(31, 'x')},
      {"c/0/.nascosto", "mai"},        {"t.txt", "cane"}};
  vt::TempDir senza, con;
  scrivi_corpus(senza, testi);
  scrivi_corpus(con, testi);
  const auto a = bow(senza, {"addestra", "c"});
  auto b = bow(con, {"addestra", "--lineare", "c"});
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(vt::read_file(con / "Bow.txt"), vt::read_file(senza / "Bow.txt"));
  EXPECT_FALSE(vt::file_exists(senza / "Bow.lineare"));
  auto con_lineare = albero(senza);
  con_lineare.insert(con_lineare.begin(), "Bow.lineare");
  EXPECT_EQ(albero(con), con_lineare);

  // The model the library trains on the texts addestra accepted, in its
  // order; tied to the Bow.txt just saved and to these texts' bytes.
  std::vector<testo_lineare> accettati;
  std::string corpus;
  for (const char* nome : {"0/1", "0/2", "2/1", "2/2", "5/1", "5/2", "7/1"}) {
    const std::string byte = vt::read_file(con / ("c/" + std::string(nome)));
    accettati.push_back(testo_lineare_da(byte, nome[0] - '0'));
    corpus += le64(static_cast<uint64_t>(nome[0] - '0')) + le64(3) + nome + le64(byte.size()) + le64(fnv(byte));
  }
  modello_lineare atteso = addestra_lineare(accettati);
  const std::string bow_txt = vt::read_file(con / "Bow.txt");
  atteso.provenienza.bow = {fnv(bow_txt), bow_txt.size()};
  atteso.provenienza.fnv_corpus = fnv(corpus);
  const modello_lineare m = lineare_di(con);
  EXPECT_TRUE(m == atteso);
  // The report: addestra's, then the model and the settings the cross-validation chose.
  ASSERT_EQ(m.pieghe, 5u);
  EXPECT_EQ(b.out, a.out +
                       formato("Modello lineare scritto in Bow.lineare: %zu tratti (parole%s)\n", m.posti.size(),
                               m.scelta.coppie ? " e coppie di parole" : "") +
                       formato("Scelta per convalida incrociata (5 pieghe): C %g, coppie %s, rapporti NB %s, "
                               "accuratezza %.2f%%, temperatura %.4f\n",
                               m.scelta.c, m.scelta.coppie ? "si" : "no", m.scelta.rapporti ? "si" : "no",
                               100.0 * m.accuratezza_cv, m.temperatura));

  // --punteggio lineare: classifica, spiega and predici print the library's
  // scores and class for each text, valuta counts them.
  std::string tabella = "file\tclasse\tp0\tp1\tp2\tp3\tp4\tp5\tp6\tp7\tp8\tp9\n", percorsi;
  long giusti = 0;
  for (const testo_lineare& t : accettati) {
    const std::string path = "c/" + std::to_string(t.classe) + "/" + std::to_string(1 + (&t - accettati.data()) % 2);
    double s[CLASSI];
    punteggi_testo_lineare(m, t, s);
    const int k = classe_lineare(m, s);
    giusti += k == t.classe;
    std::string attesa = "CLASSIFICAZIONE:\n";
    tabella += path + "\t" + std::to_string(k);
    for (int j = 0; j < CLASSI; ++j) {
      char n[32];
      attesa += m.con_dati[j] ? formato("Class %d, p=%f\n", j, s[j]) : formato("Class %d, senza dati\n", j);
      tabella += '\t';
      tabella.append(n, std::to_chars(n, n + sizeof n, s[j]).ptr);
    }
    attesa += "\nIl documento appartiene alla classe " + std::to_string(k) + "\n";
    tabella += "\n";
    percorsi += path + "\n";
    EXPECT_EQ(bow(con, {"classifica", path, "--punteggio", "lineare"}).out, "Punteggio: lineare, da Bow.lineare\n" + attesa);
    if (!m.con_dati[k]) continue;
    const std::string spiegato = bow(con, {"spiega", path, "--punteggio", "lineare"}).out;
    EXPECT_TRUE(spiegato.starts_with(attesa + "\nPunteggio lineare: beta + somma")) << spiegato;
    EXPECT_NE(spiegato.find(formato("\nScelta: classe %d, punteggio %f\nparte fissa, beta: %f\n", k, s[k],
                                              m.bias[static_cast<size_t>(k)])),
              std::string::npos) << spiegato;
  }
  vt::RunOptions da_stdin = vt::in_dir(con);
  da_stdin.input = percorsi;
  EXPECT_EQ(vt::run(VELMORA_BOW_BIN, {"predici", "--punteggio", "lineare"}, da_stdin).out, tabella);
  const std::string valutato = bow(con, {"valuta", "c", "--punteggio", "lineare"}).out;
  EXPECT_NE(valutato.find("Punteggio: lineare, da Bow.lineare\n"), std::string::npos) << valutato;
  EXPECT_TRUE(valutato.ends_with("\nCorretti " + std::to_string(giusti) + " di 7\n")) << valutato;

  // Again, on the counts already in Bow.txt: the same weights, from this run's texts alone.
  b = bow(con, {"addestra", "c", "--lineare"});
  ASSERT_EQ(b.status, 0) << b.out;
  const modello_lineare di_nuovo = lineare_di(con);
  EXPECT_TRUE(di_nuovo.pesi == m.pesi && di_nuovo.bias == m.bias);
  EXPECT_TRUE(corrisponde(di_nuovo, (con / "Bow.txt").c_str()));
  EXPECT_FALSE(corrisponde(m, (con / "Bow.txt").c_str()));

  // Nothing else reads or writes it; what changes Bow.txt leaves it behind.
  const std::string secondo = vt::read_file(con / "Bow.lineare");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"classifica", "t.txt"},
                                               std::vector<std::string>{"aggiungi", "t.txt", "1"},
                                               std::vector<std::string>{"addestra", "c"}}) {
    ASSERT_EQ(bow(con, args).status, 0) << args[0];
    EXPECT_EQ(vt::read_file(con / "Bow.lineare"), secondo) << args[0];
    EXPECT_EQ(corrisponde(di_nuovo, (con / "Bow.txt").c_str()), args[0] == "classifica") << args[0];
  }
  // ...and then no action scores with it, nor without it.
  const std::string vecchio = "Il modello lineare Bow.lineare non e' stato addestrato accanto a questo Bow.txt, "
                              "cambiato dopo (da aggiungi o addestra): per rifarlo, velmora_bow addestra CARTELLA "
                              "--lineare\n";
  for (const char* azione : {"classifica", "spiega", "predici", "valuta"}) {
    const std::string arg = azione == std::string("valuta") ? "c" : "t.txt";
    const bool su_stderr = azione == std::string("predici");
    auto r = bow(con, {azione, arg, "--punteggio", "lineare"});
    EXPECT_EQ(su_stderr ? r.err : r.out, vecchio) << azione;
    EXPECT_EQ(r.status, 1) << azione;
    r = bow(senza, {azione, arg, "--punteggio", "lineare"});
    EXPECT_EQ(su_stderr ? r.err : r.out,
              "Manca il modello lineare Bow.lineare: prima velmora_bow addestra CARTELLA --lineare\n")
        << azione;
    EXPECT_EQ(r.status, 1) << azione;
  }

  // A Bow.lineare that cannot be written: Bow.txt and the report are the
  // run's, the old linear model stays, now behind Bow.txt; no temporary left.
  const auto prima = albero(con);
  b = bow(con, {"addestra", "c", "--lineare"}, 600);
  EXPECT_EQ(b.status, 1);
  EXPECT_TRUE(b.out.ends_with("File scartati: 1 (1 per una parola di 30 o piu' caratteri, 0 illeggibili)\n"
                              "Impossibile scrivere Bow.lineare: Bow.txt e' aggiornato, il modello lineare no\n"))
      << b.out;
  EXPECT_EQ(vt::read_file(con / "Bow.lineare"), secondo);
  EXPECT_EQ(albero(con), prima);
}

TEST(BowCli, AddestraLineareWritesTheSameBytesInEveryBuild) {
  // Bow.lineare as this corpus trained it when the rule became an SVM on
  // words and pairs: the release build and the sanitizer build (-O0) must
  // both write these bytes. Short texts over one vocabulary, each class
  // leaning to words of its own, so that the classes overlap and the
  // cross-validation has something to choose.
  vt::TempDir dir;
  std::mt19937 rng(23);
  std::vector<std::string> vocabolario(150);
  for (auto& w : vocabolario)
    for (size_t l = 1 + rng() % 9; w.size() < l;) w += static_cast<char>("aeiouLMNRST"[rng() % 11]);
  std::vector<std::pair<std::string, std::string>> testi;
  for (int i = 0; i < 120; ++i) {
    const unsigned k = rng() % 10;
    std::string t;
    for (int n = 1 + static_cast<int>(rng() % 40); n > 0; --n)
      t += vocabolario[rng() % 2 ? 12 * k + rng() % 30 : rng() % 150] + " \n,."[rng() % 4];
    testi.push_back({"c/" + std::to_string(k) + "/t" + std::to_string(i), t});
  }
  scrivi_corpus(dir, testi);
  const auto r = bow(dir, {"addestra", "c", "--lineare"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string file = vt::read_file(dir / "Bow.lineare");
  EXPECT_EQ(fnv(file), 0xdc17e4d50a15a56cull) << file.size();
}

// ---- convalida ------------------------------------------------------------------------------

TEST(BowCli, ConvalidaFoldsAreTheLibrarysAndNothingIsWritten) {
  // Three classes of short texts, each leaning on words of its own, a
  // refused text, and a model in place that convalida must not touch.
  vt::TempDir dir;
  std::mt19937 rng(5);
  const char* const proprie[] = {"mare onda sale barca", "monte neve roccia vetta", "citt\xC3\xA0 strada piazza tram"};
  const char* const comuni[] = {"il", "la", "di", "e", "un", "che", "non", "per"};
  std::vector<std::pair<std::string, std::string>> testi;
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 9 + k; ++i) {
      std::string t;
      for (int n = 0; n < 6; ++n) {
        std::string_view p = proprie[rng() % 3 == 0 ? rng() % 3 : k];
        const size_t da = 0;
        t += std::string(rng() % 2 ? comuni[rng() % 8] : p.substr(da, p.find(' '))) + " ";
        t += std::string(p.substr(p.rfind(' ') + 1)) + (n % 2 ? "\n" : " ");
      }
      testi.push_back({"c/" + std::to_string(k) + "/" + std::to_string(1000 - 7 * i), t});
    }
  testi.push_back({"c/1/lunga", std::string(31, 'x')});
  testi.push_back({"Bow.txt", ref::record("mare", {5})});
  scrivi_corpus(dir, testi);
  const auto prima = albero(dir);

  // The linear rule's figures: the library's, fold by fold, on the folds
  // assegna_pieghe makes from the texts' bytes.
  std::vector<testo_lineare> lineari;
  std::vector<int> classi;
  std::vector<uint64_t> impronte;
  for (const auto& [nome, byte] : testi) {
    if (!nome.starts_with("c/") || nome.ends_with("lunga")) continue;
    lineari.push_back(testo_lineare_da(byte, nome[2] - '0'));
    classi.push_back(lineari.back().classe);
    impronte.push_back(fnv(byte));
  }
  const std::vector<uint8_t> piega = assegna_pieghe(classi, impronte, 3);
  std::string pieghe;
  std::vector<double> a;
  for (uint8_t f = 0; f < 3; ++f) {
    std::vector<testo_lineare> dentro;
    for (size_t i = 0; i < lineari.size(); ++i)
      if (piega[i] != f) dentro.push_back(lineari[i]);
    const modello_lineare m = addestra_lineare(dentro);
    long giusti = 0, n = 0;
    for (size_t i = 0; i < lineari.size(); ++i) {
      if (piega[i] != f) continue;
      double s[CLASSI];
      punteggi_testo_lineare(m, lineari[i], s);
      giusti += classe_lineare(m, s) == lineari[i].classe;
      ++n;
    }
    a.push_back(static_cast<double>(giusti) / static_cast<double>(n));
    pieghe += formato(" %9s", formato("%.2f%%", 100.0 * a.back()).c_str());
  }
  const double media = (a[0] + a[1] + a[2]) / 3.0;
  const double dev = std::sqrt(((a[0] - media) * (a[0] - media) + (a[1] - media) * (a[1] - media) +
                                (a[2] - media) * (a[2] - media)) / 2.0);
  auto r = bow(dir, {"convalida", "c", "--punteggio", "lineare", "--pieghe", "3"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string attese =
      "Convalida incrociata a 3 pieghe su 30 testi (stratificate per classe, fissate dai byte dei testi)\n"
      "Punteggio       media  dev.std   piega 1   piega 2   piega 3\n" +
      formato("%-12s %8s %8s", "lineare", formato("%.2f%%", 100.0 * media).c_str(),
              formato("%.2f%%", 100.0 * dev).c_str()) +
      pieghe + "\n";
  EXPECT_TRUE(r.out.starts_with(attese + "Scelte della regola lineare per piega: 1: C ")) << r.out << attese;
  EXPECT_TRUE(r.out.ends_with("File c/1/lunga scartato: una parola di 30 o piu' caratteri\n"
                              "File scartati: 1 (1 per una parola di 30 o piu' caratteri, 0 illeggibili)\n"))
      << r.out;

  // Every rule, the same on every run; nothing written, Bow.txt not read.
  r = bow(dir, {"convalida", "c", "--pieghe", "3"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(bow(dir, {"convalida", "c", "--pieghe", "3"}).out, r.out);
  for (const char* riga : {"\nvelmora ", "\nbayes ", "\ncomplemento ", "\nlineare "})
    EXPECT_NE(r.out.find(riga), std::string::npos) << riga << r.out;
  EXPECT_NE(r.out.find(attese.substr(attese.find("\nlineare"))), std::string::npos) << r.out;
  EXPECT_EQ(albero(dir), prima);
  EXPECT_EQ(vt::read_file(dir / "Bow.txt"), ref::record("mare", {5}));
  r = bow(dir, {"convalida", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.starts_with(ref::uso_azione("convalida") + "CARTELLA [--pieghe K]")) << r.out;
}


// ---- predici: probabilities, the most likely classes, texts from a pipe --------------------

// An output's lines, each split at its tabs.
std::vector<std::vector<std::string>> tabella_di(const std::string& out) {
  std::vector<std::vector<std::string>> t;
  std::istringstream righe(out);
  for (std::string riga; std::getline(righe, riga);) {
    std::istringstream campi(riga);
    t.emplace_back();
    for (std::string c; std::getline(campi, c, '\t');) t.back().push_back(c);
  }
  return t;
}

// Short texts over a few words in classes 1, 2, 4, 6 and 9 (the others
// without data), an empty one among them, and one the model lacks.
std::vector<std::pair<std::string, std::string>> corpus_misto() {
  std::mt19937 rng(41);
  const char* const parole[] = {"alfa", "beta", "gamma", "delta", "eta", "teta", "iota", "kappa"};
  std::vector<std::pair<std::string, std::string>> testi = {{"c/4/vuoto", ""}, {"c/6/ignote", "mai visto"}};
  for (int i = 0; i < 40; ++i) {
    const int k = "12469"[i % 5] - '0';
    std::string t;
    for (int n = 1 + static_cast<int>(rng() % 7); n > 0; --n) t += std::string(parole[(k + rng() % 4) % 8]) + " ";
    testi.push_back({"c/" + std::to_string(k) + "/t" + std::to_string(i), t});
  }
  return testi;
}
const bool CON_DATI[CLASSI] = {false, true, true, false, true, false, true, false, false, true};

TEST(BowCli, PrediciProbabilitiesSumToOneAndRankAsTheScores) {
  vt::TempDir dir;
  scrivi_corpus(dir, corpus_misto());
  ASSERT_EQ(bow(dir, {"addestra", "c", "--lineare"}).status, 0);
  for (const std::string regola : {"bayes", "complemento", "lineare"}) {
    const auto s = tabella_di(bow(dir, {"predici", "c", "--punteggio", regola}).out);
    const auto q = tabella_di(bow(dir, {"predici", "c", "--punteggio", regola, "--probabilita"}).out);
    const auto primi = tabella_di(bow(dir, {"predici", "c", "--punteggio", regola, "--primi", "4"}).out);
    EXPECT_EQ(q[0][11], "prob9");
    EXPECT_EQ(primi[0], (std::vector<std::string>{"file", "classe1", "prob1", "classe2", "prob2", "classe3", "prob3",
                                                  "classe4", "prob4"}));
    for (size_t i = 1; i < s.size(); ++i) {
      // The classes as the scores rank them: with data first, the higher score, the lower class on a tie.
      double sc[CLASSI], p[CLASSI], e[CLASSI], m = -HUGE_VAL, somma = 0.0, somma_e = 0.0;
      int o[CLASSI];
      for (int k = 0; k < CLASSI; ++k) {
        sc[k] = std::strtod(s[i][2 + k].c_str(), nullptr);
        somma += p[k] = std::strtod(q[i][2 + k].c_str(), nullptr);
        if (CON_DATI[k]) m = std::max(m, sc[k]);
        o[k] = k;
      }
      std::stable_sort(o, o + CLASSI, [&](int a, int b) { return CON_DATI[a] != CON_DATI[b] ? CON_DATI[a] : CON_DATI[a] && sc[a] > sc[b]; });
      for (int k = 0; k < CLASSI; ++k) somma_e += e[k] = CON_DATI[k] ? std::exp(sc[k] - m) : 0.0;
      std::vector<std::string> attesa = {s[i][0], s[i][1]}, attesi_primi = {s[i][0]};
      for (int k = 0; k < CLASSI; ++k) {
        // bayes and complemento: the softmax of the printed scores; lineare: the model's own, 0 without data.
        attesa.push_back(regola == "lineare" && CON_DATI[k] ? q[i][2 + k] : formato("%.6f", e[k] / somma_e));
        if (k < 4) attesi_primi.insert(attesi_primi.end(), {std::to_string(o[k]), q[i][2 + o[k]]});
        if (k > 0) {
          EXPECT_GE(p[o[k - 1]], p[o[k]]) << regola << " " << s[i][0];
        }
      }
      EXPECT_EQ(q[i], attesa) << regola;
      EXPECT_NEAR(somma, 1.0, CLASSI * 0.5e-6 + 1e-12) << regola << " " << s[i][0];
      EXPECT_EQ(std::to_string(o[0]), s[i][1]) << "the most likely class is the class chosen";
      EXPECT_EQ(primi[i], attesi_primi) << regola;
    }
  }
  // The built-in rule gives no probabilities, and K is a number of classes.
  const std::string velmora = "La regola velmora non da' probabilita': --probabilita e --primi valgono con "
                              "--punteggio bayes, complemento o lineare\n";
  const std::pair<std::vector<std::string>, std::string> rifiuti[] = {
      {{"c", "--probabilita"}, velmora},
      {{"--primi", "3", "c", "--punteggio", "velmora"}, velmora},
      {{"c", "--punteggio", "bayes", "--primi", "0"}, "Numero di classi non valido: 0 (da 1 a 10)\n"},
      {{"c", "--punteggio", "lineare", "--primi=11"}, "Numero di classi non valido: 11 (da 1 a 10)\n"},
      {{"--testo", "c", "--punteggio", "bayes"}, "Con --testo i testi sono le righe dello standard input: niente "
                                                 "FILE o CARTELLA (c)\n"},
  };
  for (const auto& [args, out] : rifiuti) {
    std::vector<std::string> riga = {"predici"};
    riga.insert(riga.end(), args.begin(), args.end());
    const auto r = bow(dir, riga);
    EXPECT_TRUE(r.err.starts_with(out + ref::uso_azione("predici"))) << r.err;
    EXPECT_EQ(r.status, 1);
  }
}

TEST(BowCli, PrediciTestoGivesTheClassesOfFilesHoldingTheSameLines) {
  vt::TempDir dir;
  scrivi_corpus(dir, corpus_misto());
  ASSERT_EQ(bow(dir, {"addestra", "c", "--lineare"}).status, 0);
  std::string lungo = testo_lungo(BLOCCO_TESTO + 500, 7);
  std::replace(lungo.begin(), lungo.end(), '\n', ' ');
  // Each line on standard input, and in a file of its own; the last has no line feed.
  const std::vector<std::string> righe = {"alfa beta, ALFA!", "", "  gamma\tdelta\r", std::string("eta\0kappa iota", 14),
                                          lungo, "ok " + std::string(30, 'k') + " alfa", "teta \xC3\xA8 kappa"};
  vt::RunOptions da_stdin = vt::in_dir(dir);
  std::vector<std::string> file;
  for (size_t i = 0; i < righe.size(); ++i) {
    file.push_back(std::to_string(i + 1));
    vt::write_file(dir / file.back(), righe[i]);
    da_stdin.input += righe[i] + (i + 1 < righe.size() ? "\n" : "");
  }
  for (const std::string regola : {"velmora", "bayes", "complemento", "lineare"})
    for (const std::string forma : {"", "--probabilita", "--primi=3"}) {
      if (regola == "velmora" && !forma.empty()) continue;
      std::vector<std::string> args = {"predici", "--punteggio", regola};
      if (!forma.empty()) args.push_back(forma);
      std::vector<std::string> con_file = args;
      con_file.insert(con_file.end(), file.begin(), file.end());
      args.push_back("--testo");
      const auto a = bow(dir, con_file), b = vt::run(VELMORA_BOW_BIN, args, da_stdin);
      EXPECT_EQ(b.out, "riga" + a.out.substr(4)) << regola << " " << forma;  // the files are named as the lines' numbers
      EXPECT_EQ(b.err, "Riga 6 scartata: una parola di 30 o piu' caratteri\n");
      EXPECT_EQ(a.status, 1);
      EXPECT_EQ(b.status, 1);
    }
  // No line, no text; a read error ends the run, named on standard error.
  EXPECT_EQ(bow(dir, {"predici", "--testo", "--punteggio", "bayes", "--primi", "1"}).out, "riga\tclasse1\tprob1\n");
  const auto r = vt::run("/bin/sh", {"-c", "exec \"$0\" predici --testo < c", VELMORA_BOW_BIN}, vt::in_dir(dir));
  EXPECT_EQ(r.out, "riga\tclasse\tp0\tp1\tp2\tp3\tp4\tp5\tp6\tp7\tp8\tp9\n");
  EXPECT_EQ(r.err, "Impossibile leggere i testi da standard input: Is a directory\n");
  EXPECT_EQ(r.status, 1);
}

TEST(BowCli, ANestedCorpusTrainsWhatTheFlatOneWithTheSameTextsInPathOrderTrains) {
  // The texts at several depths, some refused (their names, listed, show the
  // order: the byte order of the paths), and the flat corpus of the same
  // texts under names numbered in that order.
  std::vector<std::pair<std::string, std::string>> annidati;
  for (const auto& [path, testo] : corpus_misto()) {
    const std::string sotto[] = {"a b/", "a/z/", "", "a-/x/", "B/", ""};  // by the path's length: t0 ... t9, t10 ...
    annidati.push_back({path.substr(0, 4) + sotto[path.size() % 6] + path.substr(4), testo});
  }
  std::set<std::string> rifiutati = {"c/1/a/y", "c/1/a.txt", "c/1/a b.txt", "c/1/B.txt", "c/1/a-b", "c/1/ab",
                                     "c/9/0/0/0/0/0/fondo"};
  for (const std::string& nome : rifiutati) annidati.push_back({nome, std::string(31, 'q')});
  std::sort(annidati.begin(), annidati.end());
  vt::TempDir annidato, piatto;
  std::string scartati;
  for (size_t i = 0; i < annidati.size(); ++i) {
    scrivi_corpus(annidato, {annidati[i]});
    scrivi_corpus(piatto, {{annidati[i].first.substr(0, 4) + formato("%03zu", i), annidati[i].second}});
    if (rifiutati.count(annidati[i].first)) scartati += "File " + annidati[i].first + " scartato: una parola di 30 o piu' caratteri\n";
  }
  // Left out, counted and never entered: a hidden folder, a link to a folder, a loop of links, a FIFO.
  scrivi_corpus(annidato, {{"c/2/.git/t", "alfa"}});
  std::filesystem::create_directory_symlink("../2", annidato / "c/4/a/su");
  std::filesystem::create_symlink("ciclo", annidato / "c/6/ciclo");
  ASSERT_EQ(mkfifo((annidato / "c/9/fifo").c_str(), 0600), 0);
  const std::string ignorate = "Voci ignorate nelle sottocartelle di classe: 4 (nascoste, copie .clean, cartelle, "
                               "file speciali)\n";
  // The same report but for the names of the texts refused and the entries left out.
  const auto come_il_piatto = [&](const std::string& piatto) {
    return piatto.substr(0, piatto.find("File c/")) + scartati + piatto.substr(piatto.find("File scartati: "));
  };
  const auto a = bow(annidato, {"addestra", "c", "--lineare"}), b = bow(piatto, {"addestra", "c", "--lineare"});
  EXPECT_EQ(a.out, come_il_piatto(b.out).insert(b.out.find("File c/"), ignorate)) << a.out;
  EXPECT_EQ(vt::read_file(annidato / "Bow.txt"), vt::read_file(piatto / "Bow.txt"));
  modello_lineare la = lineare_di(annidato), lb = lineare_di(piatto);
  EXPECT_NE(la.provenienza.fnv_corpus, lb.provenienza.fnv_corpus) << "the names are in the fingerprint";
  la.provenienza.fnv_corpus = lb.provenienza.fnv_corpus = 0;
  EXPECT_TRUE(la == lb) << "the same texts in the same order";
  for (const char* regola : {"velmora", "complemento", "lineare"})
    EXPECT_EQ(bow(annidato, {"valuta", "c", "--punteggio", regola}).out,
              ignorate + come_il_piatto(bow(piatto, {"valuta", "c", "--punteggio", regola}).out)) << regola;
  // A folder that cannot be read stops the run, named, before anything is written.
  ASSERT_EQ(chmod((annidato / "c/1/a/z").c_str(), 0), 0);
  vt::cedi_a_nessuno(annidato.path);
  vt::RunOptions o = vt::in_dir(annidato);
  o.come_nessuno = true;
  for (const char* azione : {"addestra", "valuta"})
    EXPECT_EQ(vt::run(VELMORA_BOW_BIN, {azione, "c"}, o).out, "La cartella c/1/a/z non si puo' leggere\n") << azione;
}

}  // namespace
