// The fast paths of the word-bag library against the step-by-step forms, on
// seeded random bags, model files and texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "bow_lib.h"
#include "bow_reference.h"
#include "corpus.h"
#include "file.h"
#include "file_lineare.h"
#include "lineare.h"
#include "pulizia.h"
#include "punteggi.h"
#include "tabella_parole.h"
#include "run_util.h"

namespace {

// Adds every word of parole to the class at once: counted in a table, then
// merged into the bag; the same bag as one aggiorna_blocco per word.
void aggiungi_parole(bow_list& bag, const std::vector<std::string_view>& parole, int classe) {
  if (classe < 0 || classe >= CLASSI || parole.empty()) return;
  tabella_parole tabella;
  for (std::string_view p : parole) conta_parola(tabella, p);
  unisci_parole(bag, voci_ordinate(tabella), classe);
}

// Short words over a small alphabet collide often; a few run to 30 bytes.
std::string parola_casuale(std::mt19937& rng) {
  static const char alfabeto[] = "ab{|~_";
  int lunghezza = rng() % 20 == 0 ? 30 : 1 + static_cast<int>(rng() % 3);
  std::string w;
  for (int i = 0; i < lunghezza; ++i) w += alfabeto[rng() % 6];
  return w;
}

// A bag built both ways from the same seed, adding to what it already holds.
void riempi(std::mt19937& rng, borsa& veloce, ref::bag& lenta, int classi) {
  for (int giro = 0; giro < 3; ++giro) {
    std::vector<std::string> testo(rng() % 300);
    for (auto& w : testo) w = parola_casuale(rng);
    int classe = static_cast<int>(rng() % classi);
    std::vector<std::string_view> viste(testo.begin(), testo.end());
    aggiungi_parole(veloce.testa, viste, classe);
    for (auto& w : testo) ref::aggiorna(lenta, w, classe);
  }
}

TEST(BowBag, AddingATextMatchesOneWordAtATime) {
  for (unsigned seme = 1; seme <= 50; ++seme) {
    std::mt19937 rng(seme);
    borsa veloce;
    ref::bag lenta;
    riempi(rng, veloce, lenta, CLASSI);
    ASSERT_EQ(ref::da_lista(veloce.testa), lenta) << "seed " << seme;
    // A class outside the ten counts is ignored by every entry point.
    aggiorna_blocco(veloce.testa, "a", CLASSI);
    aggiungi_parole(veloce.testa, {"a", "nuova"}, -1);
    ASSERT_EQ(ref::da_lista(veloce.testa), lenta);
    ASSERT_EQ(conta_parole(veloce.testa, CLASSI), 0);
  }
}

TEST(BowModelFile, LoadingMatchesTheOccurrenceByOccurrenceRebuild) {
  vt::TempDir dir;
  const std::string path = dir / "Bow.txt";
  for (unsigned seme = 1; seme <= 50; ++seme) {
    std::mt19937 rng(seme);
    borsa veloce;
    ref::bag lenta;
    riempi(rng, veloce, lenta, 2);  // the bag already holds words
    // A model as the suite writes one: words in order, no count negative.
    std::set<std::string> parole;
    for (int r = static_cast<int>(rng() % 200); r > 0; --r) parole.insert(parola_casuale(rng));
    std::vector<std::string> record;
    for (const std::string& w : parole) {
      std::array<int32_t, CLASSI> c{};
      for (auto& x : c) x = static_cast<int32_t>(rng() % 4);  // zeros too
      record.push_back(ref::record(w, c));
    }
    std::string file;
    for (const std::string& r : record) file += r;
    vt::write_file(path, file);
    ASSERT_EQ(carica_bow(veloce.testa, path.c_str()), esito_lettura::letto);
    ref::leggi(lenta, file);
    ASSERT_EQ(ref::da_lista(veloce.testa), lenta) << "seed " << seme;

    // One record spoiled: the whole file is refused at that record, the bag untouched.
    if (!record.empty()) {
      const size_t i = rng() % record.size();
      std::string guasto = file;
      switch (rng() % 5) {
        case 0: guasto[i * LUNGHEZZA_RECORD] = 'A'; break;                         // a byte cleaning never leaves
        case 1: guasto[i * LUNGHEZZA_RECORD] = '\0'; break;                       // an empty word
        case 2: guasto.replace(i * LUNGHEZZA_RECORD, 32, std::string(32, 'q')); break;  // no terminator
        case 3: guasto[i * LUNGHEZZA_RECORD + 35] = '\x80'; break;                // a negative count
        default: guasto.resize(i * LUNGHEZZA_RECORD + 1 + rng() % 71); break;   // cut short
      }
      vt::write_file(path, guasto);
      difetto_modello d;
      ASSERT_EQ(carica_bow(veloce.testa, path.c_str(), &d), esito_lettura::non_modello);
      EXPECT_EQ(d.record, static_cast<long>(i) + 1) << d.motivo;
      ASSERT_EQ(ref::da_lista(veloce.testa), lenta);
    }
    // Written back and loaded into an empty bag: the same list, and the
    // bytes after each terminator are zeros.
    ASSERT_TRUE(scrivi_bow(veloce.testa, path.c_str()));
    borsa riletta;
    ASSERT_EQ(carica_bow(riletta.testa, path.c_str()), esito_lettura::letto);
    ASSERT_EQ(ref::da_lista(riletta.testa), lenta);
    std::string scritto = vt::read_file(path);
    ASSERT_EQ(scritto.size(), lenta.size() * LUNGHEZZA_RECORD);
    for (size_t i = 0; i < lenta.size(); ++i)
      ASSERT_EQ(scritto.substr(i * LUNGHEZZA_RECORD, LUNGHEZZA_RECORD),
                ref::record(lenta[i].parola, lenta[i].conteggi));
  }
}

TEST(BowScoring, MatchesTheLinearSearchBitForBit) {
  for (unsigned seme = 1; seme <= 50; ++seme) {
    std::mt19937 rng(seme);
    borsa model, doc;
    ref::bag model_ref, doc_ref;
    riempi(rng, model, model_ref, 1 + static_cast<int>(rng() % CLASSI));
    riempi(rng, doc, doc_ref, 1);
    double veloce[CLASSI], lento[CLASSI];
    classifica_testo(doc.testa, model.testa, veloce);
    ref::classifica(doc_ref, model_ref, lento);
    ASSERT_EQ(0, std::memcmp(veloce, lento, sizeof veloce)) << "seed " << seme;
    // The same text scored many at a time against the indexed model.
    std::vector<voce_parola> voci;
    for (const ref::nodo& n : doc_ref) {
      voce_parola v{};
      std::memcpy(v.parola, n.parola.data(), n.parola.size());
      v.n = n.conteggi[0];
      voci.push_back(v);
    }
    if (seme == 1 && !voci.empty()) voci[0].n = int64_t{1} << 32;  // counted past what the bag keeps
    const modello_indicizzato m = indicizza_modello(model.testa);
    punteggi_velmora(m, voci, posizioni_nel_modello(m, voci), veloce);
    if (seme == 1 && !voci.empty()) {
      doc_ref[0].conteggi[0] = CONTEGGIO_MAX;
      ref::classifica(doc_ref, model_ref, lento);
    }
    ASSERT_EQ(0, std::memcmp(veloce, lento, sizeof veloce)) << "seed " << seme;
  }
}

TEST(BowScoring, EachRuleOnAModelWorkedOutByHand) {
  // Class 1 holds a 3 times and b once, class 3 holds b twice, the others
  // nothing: T1 = 4, T3 = 2, T = 6, V = 2. The text is "a a b z"; z is not
  // in the model and counts under no rule.
  borsa modello;
  aggiungi_parole(modello.testa, {"a", "a", "a", "b"}, 1);
  aggiungi_parole(modello.testa, {"b", "b"}, 3);
  const modello_indicizzato m = indicizza_modello(modello.testa);
  tabella_parole t;
  for (const char* w : {"a", "a", "b", "z"}) conta_parola(t, w);
  const std::vector<voce_parola> testo = voci_ordinate(t), vuoto;
  struct caso { punteggio p; double uno, tre; };
  const double l = std::log(2.0 / 3.0);  // ln(4/6) = ln((3 + 1) / (4 + 2))
  const caso casi[] = {
      {{regola::velmora}, std::log10(0.75) * 2 / 4 + std::log10(0.25) / 4 - 1, std::log10(0.5) * 2 + 0.0 - 1},
      // ln(T_k / T) + n ln((c + 1) / (T_k + 2))
      {{regola::bayes, 1.0}, l + 2 * l + std::log(2.0 / 6.0), std::log(2.0 / 6.0) + 2 * std::log(0.25) + std::log(0.75)},
      // the other class's counts: for 1 those of 3 (a 0, b 2, T' 2), for 3 those of 1 (a 3, b 1, T' 4)
      {{regola::complemento, 1.0}, -2 * std::log(0.25) - std::log(0.75), -2 * l - std::log(2.0 / 6.0)},
      {{regola::complemento, 1.0, true}, (-2 * std::log(0.25) - std::log(0.75)) / (-std::log(0.25) - std::log(0.75)),
       (-2 * l - std::log(2.0 / 6.0)) / (-l - std::log(2.0 / 6.0))},
  };
  for (const caso& c : casi) {
    SCOPED_TRACE(nome_regola(c.p.tipo));
    const pesi_regola r = prepara_regola(m, c.p);
    double s[CLASSI];
    punteggi_regola(m, r, testo, posizioni_nel_modello(m, testo), s);
    EXPECT_NEAR(s[1], c.uno, 1e-12);
    EXPECT_NEAR(s[3], c.tre, 1e-12);
    for (int k : {0, 2, 4, 5, 6, 7, 8, 9}) EXPECT_EQ(s[k], 0.0);
    EXPECT_EQ(classe_regola(r, s), c.uno >= c.tre ? 1 : 3);
    // An empty text: the priors for bayes, -1 for velmora, 0 and a tie for
    // complemento; class 0, without data, is never chosen.
    punteggi_regola(m, r, vuoto, {}, s);
    EXPECT_EQ(classe_regola(r, s), 1);
  }
  // velmora_bow's rule is classifica_testo's, bit for bit.
  borsa doc;
  unisci_parole(doc.testa, testo, 0);
  double a[CLASSI], b[CLASSI];
  classifica_testo(doc.testa, modello.testa, a);
  punteggi_regola(m, prepara_regola(m, {}), testo, posizioni_nel_modello(m, testo), b);
  EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
}

// What conta_testo made of a text read in blocks of the given size: the
// cleaned bytes it wrote, what it met, and the words it counted.
struct contato {
  std::string pulito;
  esito_testo esito;
  std::vector<std::pair<std::string, int64_t>> parole;
};

contato conta(std::string testo, size_t blocco) {
  file_ptr in(testo.empty() ? std::fopen("/dev/null", "rb") : fmemopen(testo.data(), testo.size(), "rb"));
  char* scritto = nullptr;
  size_t n = 0;
  file_ptr out(open_memstream(&scritto, &n));
  tabella_parole tabella;
  contato c;
  c.esito = conta_testo(in.get(), out.get(), tabella, blocco);
  out.reset();
  c.pulito.assign(scritto, n);
  std::free(scritto);
  for (const voce_parola& v : voci_ordinate(tabella)) c.parole.emplace_back(v.parola, v.n);
  return c;
}

// The straightforward reader: the whole text cleaned, then read word by word.
void confronta(const std::string& testo, size_t blocco) {
  bool troppo_lunga;
  const std::string atteso = ref::pulisci(testo, troppo_lunga);
  std::map<std::string, int64_t> parole;
  for (const std::string& w : ref::parole(atteso)) ++parole[w];
  const contato c = conta(testo, blocco);
  ASSERT_EQ(c.pulito, atteso) << "block " << blocco;
  ASSERT_EQ(c.esito.puliti, atteso.size());
  ASSERT_EQ(c.esito.troppo_lunga, troppo_lunga);
  ASSERT_FALSE(c.esito.errore_lettura || c.esito.errore_scrittura);
  ASSERT_EQ(c.parole, (std::vector<std::pair<std::string, int64_t>>(parole.begin(), parole.end())))
      << "block " << blocco;
}

TEST(BowText, CleaningInBlocksMatchesTheByteByByteForm) {
  for (unsigned seme = 1; seme <= 200; ++seme) {
    std::mt19937 rng(seme);
    std::string testo(rng() % 2000, '\0');
    // Mostly letters, so runs of 29, 30 and more turn up.
    for (char& c : testo) c = static_cast<char>(rng() % 4 ? 'A' + rng() % 58 : rng() % 256);
    bool troppo_lunga;
    const std::string atteso = ref::pulisci(testo, troppo_lunga);

    stato_pulizia stato;
    std::string pulito(testo.size(), '?');
    size_t fatto = 0;
    while (fatto < testo.size()) {
      // Blocks from 1 byte to a few groups of 64, the way the fast path takes them.
      size_t blocco = std::min<size_t>(1 + rng() % 300, testo.size() - fatto);
      size_t n = pulisci_testo(stato, testo.data() + fatto, blocco, pulito.data() + fatto);
      fatto += n;
      if (n < blocco) break;
    }
    pulito.resize(fatto);
    ASSERT_EQ(pulito, atteso) << "seed " << seme;
    ASSERT_EQ(fatto < testo.size(), troppo_lunga);
  }
}

TEST(BowText, CountingInBlocksMatchesTheStraightforwardReader) {
  for (unsigned seme = 1; seme <= 150; ++seme) {
    std::mt19937 rng(seme);
    // Words of 1 to 31 letters over a small alphabet, so they repeat, and
    // every kind of separator; one text in three is refused somewhere.
    std::string testo;
    for (size_t n = rng() % 3000; testo.size() < n;) {
      testo += std::string(1 + rng() % (seme % 3 == 0 ? 31 : 29), static_cast<char>("abAB{~"[rng() % 6]));
      testo += static_cast<char>(" \n,9\xC3\x80"[rng() % 6]);
    }
    if (!testo.empty() && rng() % 2) testo.pop_back();  // the text may end inside a word
    SCOPED_TRACE("seed " + std::to_string(seme));
    confronta(testo, 1 + rng() % 200);
    confronta(testo, BLOCCO_TESTO);
    // Two halves counted apart and their tables merged: the table of the whole.
    const size_t meta = testo.find(' ', testo.size() / 2);
    if (meta == std::string::npos) continue;
    tabella_parole tutta, prima, dopo;
    for (const std::string& w : ref::parole(testo)) conta_parola(tutta, w);
    for (const std::string& w : ref::parole(testo.substr(0, meta))) conta_parola(prima, w);
    for (const std::string& w : ref::parole(testo.substr(meta))) conta_parola(dopo, w);
    unisci_tabelle(prima, dopo);
    const auto a = voci_ordinate(tutta), b = voci_ordinate(prima);
    ASSERT_TRUE(a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
  }
  // A block's end inside a word, on either side of a run of 30, and at the
  // end of the text, for block sizes around the groups of 64.
  const std::string l30(30, 'q');
  for (size_t blocco : {1, 2, 29, 30, 31, 63, 64, 65, 128}) {
    for (size_t prima = 0; prima < 70; ++prima) {
      const std::string testa = std::string(prima % 7, 'x') + " " + std::string(prima, 'a').substr(0, prima % 29);
      for (const std::string& coda : {std::string(), std::string(" z"), std::string("Z"), std::string("\n")})
        confronta(testa + " " + l30 + coda, blocco);
    }
  }
}

TEST(BowText, ReadAndWriteFailuresAreReported) {
  // Writing to a stream open for reading fails; reading one open for writing does too.
  file_ptr in(std::tmpfile());
  std::fputs("Una parola, due PAROLE", in.get());
  std::rewind(in.get());
  file_ptr sola_lettura(std::fopen("/dev/null", "r"));
  tabella_parole tabella;
  esito_testo e = conta_testo(in.get(), sola_lettura.get(), tabella, 5);
  EXPECT_TRUE(e.errore_scrittura);
  EXPECT_FALSE(e.errore_lettura || e.troppo_lunga);
  EXPECT_EQ(e.puliti, 22u);  // cleaned and counted all the same
  EXPECT_EQ(voci_ordinate(tabella).size(), 4u);

  file_ptr sola_scrittura(std::fopen("/dev/null", "w"));
  tabella_parole vuota;
  e = conta_testo(sola_scrittura.get(), nullptr, vuota);
  EXPECT_TRUE(e.errore_lettura);
  EXPECT_EQ(e.puliti, 0u);

  // A corpus entry that became a FIFO or a device since it was listed is
  // refused on its open descriptor: nothing waits for a writer.
  vt::TempDir d;
  ASSERT_EQ(mkfifo((d / "fifo").c_str(), 0600), 0);
  alarm(10);
  EXPECT_EQ(leggi_e_conta(d / "fifo", vuota), lettura::non_regolare);
  EXPECT_EQ(leggi_e_conta("/dev/null", vuota), lettura::non_regolare);
  alarm(0);
}

}  // namespace

// ---- The linear rule ---------------------------------------------------------------------

namespace {

uint64_t bit(double x) { return std::bit_cast<uint64_t>(x); }

std::vector<std::string> parole_di(std::string_view testo) {
  std::vector<std::string> out;
  parole_lineari(testo, [&](std::string_view w) { out.emplace_back(w); });
  return out;
}

// n texts of class k, each the words given plus a filler word of its own
// (seen once in the corpus, so it decides nothing).
void aggiungi_testi(std::vector<testo_lineare>& testi, int k, const std::string& parole, int n) {
  for (int i = 0; i < n; ++i)
    testi.push_back(testo_lineare_da(parole + " riempitivo" + std::to_string(k) + "x" + std::to_string(i), k));
}

int classe_di(const modello_lineare& m, std::string_view testo) {
  double s[CLASSI];
  punteggi_testo_lineare(m, testo_lineare_da(testo, 0), s);
  return classe_lineare(m, s);
}

// Cats and mice in class 0, dogs in 2, mice and cheese in 5, and class 7
// with only an empty text: no data.
std::vector<testo_lineare> corpus_piccolo() {
  std::vector<testo_lineare> t;
  for (const auto& [k, testo] : std::vector<std::pair<int, const char*>>{
           {0, "gatto gatto topo"}, {0, "gatto"}, {2, "cane osso"}, {2, "cane"}, {5, "topo formaggio"},
           {5, "formaggio"}, {7, ""}})
    t.push_back(testo_lineare_da(testo, k));
  return t;
}

}  // namespace

TEST(BowLineare, WordsAreUtf8LettersAndDigitsLowerCased) {
  const std::pair<std::string_view, std::vector<std::string>> casi[] = {
      {"La citt\xC3\xA0 e' bella", {"la", "citt\xC3\xA0", "e", "bella"}},
      {"L'AMORE \xC3\x88 PAP\xC3\x80", {"l", "amore", "\xC3\xA8", "pap\xC3\xA0"}},        // È, PAPÀ
      {"\xC5\x92uvre \xC4\xB0 \xC5\x81\xC3\x93" "D\xC5\xB9", {"\xC5\x93uvre", "\xC4\xB0", "\xC5\x82\xC3\xB3" "d\xC5\xBA"}},  // Œuvre, İ kept, ŁÓDŹ
      {"\xCE\x91\xCE\x92\xCE\x93 \xD0\x9F\xD0\xA0\xD0\x98 \xD0\x81", {"\xCE\xB1\xCE\xB2\xCE\xB3", "\xD0\xBF\xD1\x80\xD0\xB8", "\xD1\x91"}},  // ΑΒΓ ПРИ Ё
      {"R2D2, 1998!", {"r2d2", "1998"}},
      {"\xC2\xAB" "ciao\xC2\xBB a\xE2\x80\x94" "b 3\xC3\x97" "5", {"ciao", "a", "b", "3", "5"}},  // «» — ×
      {"rotto\xC3 \xE2\x82x \xC0\xAFy \xED\xA0\x80z", {"rotto", "x", "y", "z"}},  // cut, overlong, surrogate
      {"", {}},
  };
  for (const auto& [testo, attese] : casi) EXPECT_EQ(parole_di(testo), attese) << testo;
}

TEST(BowLineare, ATextsFeaturesAreItsWordsAndPairsCounted) {
  const testo_lineare t = testo_lineare_da("a b a b", 3);
  impronta h;
  h.aggiungi("a b a b", 7);
  EXPECT_EQ(t.classe, 3);
  EXPECT_EQ(t.impronta, h.fnv);
  std::map<uint32_t, uint32_t> attese = {{posto_parola("a"), 2}, {posto_parola("b"), 2}, {posto_coppia("a", "b"), 2},
                                         {posto_coppia("b", "a"), 1}};
  std::map<uint32_t, uint32_t> trovate;
  for (size_t i = 0; i < t.voci.size(); ++i) {
    EXPECT_TRUE(i == 0 || posto_di(t.voci[i - 1]) < posto_di(t.voci[i]));
    trovate[posto_di(t.voci[i])] = occorrenze_di(t.voci[i]);
  }
  EXPECT_EQ(trovate, attese);
  EXPECT_FALSE(e_coppia(posto_parola("a")));
  EXPECT_TRUE(e_coppia(posto_coppia("a", "b")));
  EXPECT_NE(posto_coppia("a", "b"), posto_coppia("b", "a"));
}

TEST(BowLineare, TheModelChoosesByPairsAndByAccentedWords) {
  struct caso {
    const char* nome;
    std::vector<testo_lineare> testi;
    std::vector<std::pair<const char*, int>> prove;
    bool coppie;  // what the cross-validation must choose
  };
  std::vector<caso> casi(2);
  // The same three words in both classes: only their order tells them apart.
  casi[0].nome = "coppie";
  aggiungi_testi(casi[0].testi, 0, "il cane morde l'uomo", 12);
  aggiungi_testi(casi[0].testi, 1, "l'uomo morde il cane", 12);
  casi[0].prove = {{"cane morde", 0}, {"uomo morde", 1}, {"Il cane morde l'uomo.", 0}, {"L'uomo morde il cane!", 1}};
  casi[0].coppie = true;
  // papa and papà: the accent alone, upper or lower case.
  casi[1].nome = "accento";
  aggiungi_testi(casi[1].testi, 3, "il pap\xC3\xA0 di Luca", 10);
  aggiungi_testi(casi[1].testi, 6, "il papa di Roma", 10);
  casi[1].prove = {{"pap\xC3\xA0", 3}, {"PAP\xC3\x80", 3}, {"papa", 6}, {"PAPA", 6}};
  casi[1].coppie = false;
  for (const caso& c : casi) {
    SCOPED_TRACE(c.nome);
    const modello_lineare m = addestra_lineare(c.testi);
    EXPECT_EQ(m.pieghe, PIEGHE_LINEARI);
    EXPECT_EQ(m.scelta.coppie, c.coppie);
    EXPECT_GT(m.accuratezza_cv, 0.9);
    for (const auto& [testo, k] : c.prove) EXPECT_EQ(classe_di(m, testo), k) << testo;
  }
}

TEST(BowLineare, ProbabilitiesSumToOneAndRankAsTheScores) {
  std::vector<testo_lineare> testi = corpus_piccolo();
  aggiungi_testi(testi, 0, "gatto topo", 6);
  aggiungi_testi(testi, 2, "cane osso", 6);
  aggiungi_testi(testi, 5, "topo formaggio", 6);
  const modello_lineare m = addestra_lineare(testi);
  EXPECT_GT(m.temperatura, 0.0);
  EXPECT_EQ(m.con_dati, (std::array<bool, CLASSI>{true, false, true, false, false, true}));
  for (const char* testo : {"gatto topo", "cane", "formaggio topo gatto", "ignota", "", "osso osso osso"}) {
    SCOPED_TRACE(testo);
    double s[CLASSI], p[CLASSI];
    punteggi_testo_lineare(m, testo_lineare_da(testo, 0), s);
    probabilita_lineari(m, s, p);
    double somma = 0.0;
    for (int k = 0; k < CLASSI; ++k) {
      somma += p[k];
      if (!m.con_dati[k]) {
        EXPECT_EQ(p[k], 0.0) << k;
      }
      for (int j = 0; j < CLASSI; ++j) {
        if (m.con_dati[k] && m.con_dati[j] && s[k] >= s[j]) {
          EXPECT_GE(p[k], p[j]) << k << " " << j;
        }
      }
    }
    EXPECT_NEAR(somma, 1.0, 1e-12);
    EXPECT_EQ(std::max_element(p, p + CLASSI) - p, classe_lineare(m, s));
  }
  // A text with no known feature scores the biases; without any class with data, class 0 for sure.
  const modello_lineare vuoto = addestra_lineare({testo_lineare_da("", 3), testo_lineare_da("!", 4)});
  double s[CLASSI], p[CLASSI];
  punteggi_testo_lineare(vuoto, testo_lineare_da("gatto", 0), s);
  probabilita_lineari(vuoto, s, p);
  EXPECT_TRUE(vuoto.posti.empty() && vuoto.bias == (std::array<double, CLASSI>{}));
  EXPECT_EQ(classe_lineare(vuoto, s), 0);
  EXPECT_EQ(p[0], 1.0);
}

TEST(BowLineare, FoldsAreDisjointStratifiedAndFixedByTheBytes) {
  std::vector<int> classi;
  std::vector<uint64_t> impronte;
  std::mt19937_64 g(7);
  const int per_classe[CLASSI] = {13, 1, 0, 7, 25, 5, 2, 9, 4, 10};
  for (int k = 0; k < CLASSI; ++k)
    for (int i = 0; i < per_classe[k]; ++i) {
      classi.push_back(k);
      impronte.push_back(g());
    }
  for (const uint32_t pieghe : {2u, 5u, 7u}) {
    SCOPED_TRACE(pieghe);
    const std::vector<uint8_t> piega = assegna_pieghe(classi, impronte, pieghe);
    ASSERT_EQ(piega.size(), classi.size());
    EXPECT_EQ(assegna_pieghe(classi, impronte, pieghe), piega);
    // Each text in one fold; each class spread evenly: fold sizes differ by at most one.
    for (int k = 0; k < CLASSI; ++k) {
      std::vector<int> quanti(pieghe, 0);
      for (size_t i = 0; i < classi.size(); ++i)
        if (classi[i] == k) {
          ASSERT_LT(piega[i], pieghe);
          ++quanti[piega[i]];
        }
      EXPECT_LE(*std::max_element(quanti.begin(), quanti.end()) - *std::min_element(quanti.begin(), quanti.end()), 1);
    }
    // The texts in another order: each keeps its fold.
    std::vector<size_t> ordine(classi.size());
    std::iota(ordine.begin(), ordine.end(), 0);
    std::shuffle(ordine.begin(), ordine.end(), g);
    std::vector<int> c2;
    std::vector<uint64_t> i2;
    for (const size_t i : ordine) {
      c2.push_back(classi[i]);
      i2.push_back(impronte[i]);
    }
    const std::vector<uint8_t> p2 = assegna_pieghe(c2, i2, pieghe);
    for (size_t j = 0; j < ordine.size(); ++j) EXPECT_EQ(p2[j], piega[ordine[j]]);
  }
}

TEST(BowLineare, SpiegaSeesTheTermsTheScoreAdds) {
  std::vector<testo_lineare> testi = corpus_piccolo();
  aggiungi_testi(testi, 0, "gatto topo", 6);
  aggiungi_testi(testi, 2, "cane osso", 6);
  const modello_lineare m = addestra_lineare(testi);
  const char* testo = "Gatto topo gatto ignota";
  double s[CLASSI];
  punteggi_testo_lineare(m, testo_lineare_da(testo, 0), s);
  const std::vector<tratto_lineare> t = tratti_lineari(m, testo);
  std::set<std::string> nomi;
  for (const tratto_lineare& x : t) nomi.insert(x.nome);
  EXPECT_EQ(nomi, (std::set<std::string>{"gatto", "topo", "ignota", "gatto topo", "topo gatto", "gatto ignota"}));
  for (int k = 0; k < CLASSI; ++k) {
    double somma = 0.0;
    for (const tratto_lineare& x : t)
      if (x.indice >= 0) somma = somma + contributo_lineare(m, x, k);
    EXPECT_NEAR(somma + m.bias[static_cast<size_t>(k)], s[k], 1e-12) << k;
  }
  for (const tratto_lineare& x : t) {
    EXPECT_EQ(x.n, x.nome == "gatto" ? 2u : 1u) << x.nome;
    if (x.nome == "ignota") {
      EXPECT_EQ(x.indice, -1);
    }
  }
}

TEST(BowLineare, TheSameTextsGiveTheSameModel) {
  std::vector<testo_lineare> testi = corpus_piccolo();
  aggiungi_testi(testi, 0, "gatto topo", 6);
  aggiungi_testi(testi, 2, "cane osso", 6);
  const modello_lineare a = addestra_lineare(testi), b = addestra_lineare(testi);
  EXPECT_TRUE(a == b);
  for (size_t j = 0; j < a.posti.size(); ++j)
    for (int k = 0; k < CLASSI; ++k) EXPECT_EQ(bit(a.pesi[j][k]), bit(b.pesi[j][k]));
  // Without folds: the settings as given, no temperature fitted.
  impostazioni_lineari fissa;
  fissa.pieghe = 0;
  fissa.fissa = {0.5, false, true};
  const modello_lineare c = addestra_lineare(testi, fissa);
  EXPECT_EQ(c.scelta, fissa.fissa);
  EXPECT_EQ(c.pieghe, 0u);
  EXPECT_EQ(c.temperatura, 1.0);
  for (const uint32_t p : c.posti) EXPECT_FALSE(e_coppia(p));
}

TEST(BowLineareFile, RoundTripAndEveryRefusal) {
  vt::TempDir dir;
  const std::string bow = dir / "Bow.txt", path = dir / "Bow.lineare", altro = dir / "altro.txt";
  vt::write_file(bow, ref::record("cane", {0, 0, 3}));
  vt::write_file(altro, ref::record("cane", {0, 0, 4}));
  modello_lineare m = addestra_lineare(corpus_piccolo());
  ASSERT_TRUE(impronta_file(bow.c_str(), m.provenienza.bow));
  m.provenienza.fnv_corpus = 0x0123456789ABCDEFull;
  ASSERT_TRUE(scrivi_lineare(m, path.c_str()));
  const std::string byte = vt::read_file(path);
  ASSERT_EQ(m.posti.size(), 5u);
  ASSERT_EQ(byte.size(), 184u + 92u * 5);
  modello_lineare letto;
  ASSERT_EQ(carica_lineare(letto, path.c_str()), esito_lettura::letto);
  EXPECT_TRUE(letto == m);
  ASSERT_TRUE(scrivi_lineare(letto, path.c_str()));
  EXPECT_EQ(vt::read_file(path), byte) << "-0 and every other double kept as its bytes";
  EXPECT_TRUE(corrisponde(letto, bow.c_str()));
  EXPECT_FALSE(corrisponde(letto, altro.c_str()));

  // Each spoiled in one place: refused there, the model loaded into left as it was.
  const auto r = [](int record, int dentro) { return 184 + 92 * (record - 1) + dentro; };
  const auto metti = [](std::string& b, size_t dove, auto v) { std::memcpy(b.data() + dove, &v, sizeof v); };
  struct caso {
    std::function<void(std::string&)> guasta;
    long record;
    std::string motivo;
  };
  const std::string finisce = "il file finisce dopo ";
  const caso casi[] = {
      {[&](std::string& b) { b = ref::record("cane", {0, 0, 3}); }, 0, "non comincia con BOWLINEA"},
      {[](std::string& b) { b.clear(); }, 0, finisce + "0 byte, prima della fine dell'intestazione (184 byte)"},
      {[](std::string& b) { b.resize(183); }, 0, finisce + "183 byte, prima della fine dell'intestazione (184 byte)"},
      {[&](std::string& b) { metti(b, 8, uint32_t{1}); }, 0, "versione 1, questo programma legge la 2"},
      {[&](std::string& b) { metti(b, 8, uint32_t{3}); }, 0, "versione 3, questo programma legge la 2"},
      {[&](std::string& b) { b[13] |= 0x10; }, 0, "classi con dati oltre la 9"},
      {[&](std::string& b) { metti(b, 16, uint64_t{0}); }, 0, "classi con dati ma nessun tratto"},
      {[&](std::string& b) { metti(b, 16, uint64_t{1} << 21); }, 0, "piu' tratti dei posti della tabella"},
      {[&](std::string& b) { metti(b, 56, std::nan("")); }, 0, "C non e' un numero finito maggiore di 0"},
      {[&](std::string& b) { metti(b, 56, -0.05); }, 0, "C non e' un numero finito maggiore di 0"},
      {[&](std::string& b) { metti(b, 64, uint32_t{4}); }, 0, "scelte sconosciute nei byte da 64 a 67"},
      {[&](std::string& b) { metti(b, 68, uint32_t{1}); }, 0, "pieghe non 0 e non da 2 a 255"},
      {[&](std::string& b) { metti(b, 72, 1.5); }, 0, "accuratezza della convalida fuori da 0 ... 1"},
      {[&](std::string& b) { metti(b, 80, 4e-310); }, 0, "temperatura fuori da 0.0001 ... 10000"},
      {[&](std::string& b) { metti(b, 88, -1.0); }, 0,
       "calibrazione della prima classe non valida (a da 0.01 a 100, b da -50 a 50)"},
      {[&](std::string& b) { metti(b, 96, -5.6e303); }, 0,
       "calibrazione della prima classe non valida (a da 0.01 a 100, b da -50 a 50)"},
      {[&](std::string& b) { metti(b, 104 + 8 * 5, HUGE_VAL); }, 0, "bias della classe 5 non finito"},
      {[&](std::string& b) { b.resize(r(3, 50)); }, 3, "il file finisce a meta' del record"},
      {[&](std::string& b) { b.resize(r(4, 0)); }, 4, finisce + "3 tratti, l'intestazione ne annuncia 5"},
      {[](std::string& b) { b += '\0'; }, 6, "il file continua dopo l'ultimo tratto (l'intestazione ne annuncia 5)"},
      {[&](std::string& b) { metti(b, r(1, 0), POSTI_LINEARI); }, 1, "posto oltre la tabella"},
      {[&](std::string& b) { metti(b, 64, uint32_t{0}), metti(b, r(5, 0), POSTI_LINEARI - 1); }, 5,
       "posto di una coppia in un modello senza coppie"},
      {[&](std::string& b) { std::swap_ranges(&b[r(1, 0)], &b[r(2, 0)], &b[r(2, 0)]); }, 2, "posto fuori ordine"},
      {[&](std::string& b) { b.replace(r(2, 0), 92, byte.substr(r(1, 0), 92)); }, 2, "posto ripetuto"},
      {[&](std::string& b) { metti(b, r(2, 4), 0.5); }, 2, "idf non e' un numero finito almeno 1"},
      {[&](std::string& b) { metti(b, r(4, 12 + 8 * 2), -HUGE_VAL); }, 4, "peso della classe 2 non finito"},
      {[&](std::string& b) { metti(b, r(3, 12 + 8 * 1), 1e-300); }, 3, "peso non nullo per la classe 1, senza dati"},
  };
  for (const caso& c : casi) {
    std::string guasto = byte;
    c.guasta(guasto);
    vt::write_file(path, guasto);
    difetto_lineare d;
    ASSERT_EQ(carica_lineare(letto, path.c_str(), &d), esito_lettura::non_modello) << c.motivo;
    EXPECT_EQ(d.record, c.record) << c.motivo;
    EXPECT_EQ(d.motivo, c.motivo);
    ASSERT_TRUE(letto == m);
  }

  // What a scoring action prints: nothing for the right file, else one line.
  const auto leggi = [&](const std::string& file, const std::string& accanto) {
    testing::internal::CaptureStdout();
    const bool ok = leggi_lineare(letto, file.c_str(), accanto.c_str());
    return std::pair{ok, testing::internal::GetCapturedStdout()};
  };
  vt::write_file(path, byte);
  EXPECT_EQ(leggi(path, bow), std::pair(true, std::string()));
  const std::string non_lineare = "Il file " + path + " non e' un modello lineare di velmora_bow: ";
  const std::pair<std::string, std::string> messaggi[] = {
      {byte, "Il modello lineare " + path + " non e' stato addestrato accanto a questo " + altro +
                 ", cambiato dopo (da aggiungi o addestra): per rifarlo, velmora_bow addestra CARTELLA --lineare\n"},
      {vt::read_file(bow), non_lineare + "intestazione, non comincia con BOWLINEA\n"},
      {byte.substr(0, r(3, 50)), non_lineare + "record 3 (dal byte 368), il file finisce a meta' del record\n"},
      {[&] {
         std::string b = byte;
         metti(b, 8, uint32_t{1});
         return b;
       }(),
       "Il modello lineare " + path + " e' di una versione precedente (versione 1, questo programma legge la 2): "
       "per rifarlo, velmora_bow addestra CARTELLA --lineare\n"},
  };
  for (const auto& [file, messaggio] : messaggi) {
    vt::write_file(path, file);
    EXPECT_EQ(leggi(path, altro), std::pair(false, messaggio));
  }
  std::filesystem::remove(path);
  EXPECT_EQ(leggi(path, bow),
            std::pair(false, "Manca il modello lineare " + path + ": prima velmora_bow addestra CARTELLA --lineare\n"));
}
