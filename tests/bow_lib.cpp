// The fast paths of the word-bag library against the step-by-step forms, on
// seeded random bags, model files and texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "bow_lib.h"
#include "bow_reference.h"
#include "corpus.h"
#include "file.h"
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
