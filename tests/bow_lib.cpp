// The fast paths of the word-bag library against the step-by-step forms, on
// seeded random bags, model files and texts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <functional>
#include <map>
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

testo_lineare testo(int classe, std::vector<std::string_view> parole) {
  tabella_parole t;
  for (std::string_view p : parole) conta_parola(t, p);
  return {classe, voci_ordinate(t)};
}

uint64_t bit(double x) { return std::bit_cast<uint64_t>(x); }

// Cats and mice in class 0, dogs in 2, mice and cheese in 5 with an empty
// text, and class 7 with only an empty text: no data, but its bias moves.
std::vector<testo_lineare> corpus_piccolo() {
  return {testo(0, {"gatto", "gatto", "topo"}), testo(0, {"gatto"}), testo(2, {"cane", "osso"}), testo(2, {"cane"}),
          testo(5, {"topo", "formaggio"}), testo(5, {}), testo(7, {})};
}

}  // namespace

TEST(BowLineare, OneEpochOnTwoTextsWorkedOutByHand) {
  // "a" in class 0, "b" in class 1. T_0 = T_1 = 1, V = 2: r_0a = ln(2/3) -
  // ln(1/3) = rho (one ulp above ln 2), r_1a = -rho, r_0b = -rho, r_1b = rho;
  // a class without data has r = ln(1/2) - ln(2/4) = 0 exactly. x = 1 for
  // both texts. splitmix64 seeded 1 first gives 0x910a2dec89025cc1, odd: the
  // order stays a, b. Step 1 (a): all scores 0, the rival is 1, loss 1, q =
  // 2 rho^2 + 2 > 20, so tau = C = 0.05: the weights of a move by 0.05 rho
  // (class 0 up, class 1 down through -rho), the biases by +-0.05. Step 2
  // (b): s_1 = -0.05, s_0 = 0.05, loss 1.1, tau = 0.05 again, u = 2 x 0.05.
  // Averaged over c = 3: A = V - U / 3.
  impostazioni_lineari una;
  una.epoche = 1;
  const modello_lineare m = addestra_lineare({testo(0, {"a"}), testo(1, {"b"})}, una);
  const double rho = std::log(2.0 / 3.0) - std::log(1.0 / 3.0), v = 0.05 * rho;
  const double wa = (v - v / 3.0) * rho, wb = (v - 0.1 * rho / 3.0) * -rho;
  ASSERT_EQ(m.parole.size(), 2u);
  EXPECT_EQ(bit(m.pesi[0][0]), bit(wa));
  EXPECT_EQ(bit(m.pesi[0][1]), bit(-wa));
  EXPECT_EQ(bit(m.pesi[1][0]), bit(wb));
  EXPECT_EQ(bit(m.pesi[1][1]), bit(-wb));
  EXPECT_EQ(bit(m.bias[0]), bit(0.05 / 3.0));
  EXPECT_EQ(bit(m.bias[1]), bit(-(0.05 / 3.0)));
  for (int k = 2; k < CLASSI; ++k) EXPECT_TRUE(m.pesi[0][k] == 0.0 && m.pesi[1][k] == 0.0 && m.bias[k] == 0.0);
  EXPECT_EQ(m.con_dati, (std::array<bool, CLASSI>{true, true}));
  // The same numbers as the reference (lineare.py addestra --epoche 1).
  EXPECT_EQ(wa, 0x1.0664332f0695fp-6);
  EXPECT_EQ(wb, -0x1.0664332f0695fp-7);
}

TEST(BowLineare, TheDefaultSettingsGiveTheReferenceModelBitForBit) {
  // lineare.py addestra on these seven texts (C 0.05, 20 epochs, seed 1):
  // every weight for the classes with data (0, 2, 5); for the others 0
  // times r, which is -0 where r < 0: for the words seen more than once,
  // whose (c' + 1) / (T' + V) beats 1 / V. The biases of all ten.
  const modello_lineare m = addestra_lineare(corpus_piccolo());
  const char* const parole[] = {"cane", "formaggio", "gatto", "osso", "topo"};
  const bool meno_zero[] = {true, false, true, false, true};
  const double attesi[5][3] = {
      {-0x1.0551fb3c5c798p-3, 0x1.fc4baecac3c59p-1, -0x1.d44387a83f20cp-4},
      {-0x1.21ad71d958dc1p-4, -0x1.131f68ca7aeaep-6, 0x1.f82b65222d9d4p-2},
      {0x1.04927c71af220p+0, -0x1.90f10789650e9p-3, -0x1.a42a50b3c8ec9p-3},
      {-0x1.754b454883c2cp-6, 0x1.0a64e2efa2ed1p-2, -0x1.2531b439a4f93p-8},
      {-0x1.dc35f8262b621p-12, -0x1.5d6ec7d5870f0p-4, 0x1.aef2029fb7d9fp-5}};
  const double bias[CLASSI] = {-0x1.cae48eb7f56a7p-3, 0, -0x1.add9ae197e69bp-3, 0, 0, -0x1.e4253003dd95ep-5, 0,
                               0x1.f8e3c469359d4p-2, 0, 0};
  ASSERT_EQ(m.parole.size(), 5u);
  for (size_t w = 0; w < 5; ++w) {
    SCOPED_TRACE(parole[w]);
    EXPECT_STREQ(m.parole[w].data(), parole[w]);
    for (int k = 0; k < CLASSI; ++k) {
      const int j = k == 0 ? 0 : k == 2 ? 1 : k == 5 ? 2 : -1;
      EXPECT_EQ(bit(m.pesi[w][k]), bit(j >= 0 ? attesi[w][j] : meno_zero[w] ? -0.0 : 0.0)) << k;
    }
  }
  for (int k = 0; k < CLASSI; ++k) EXPECT_EQ(bit(m.bias[k]), bit(bias[k])) << k;
  EXPECT_EQ(m.con_dati, (std::array<bool, CLASSI>{true, false, true, false, false, true}));
  EXPECT_EQ(m.provenienza.testi, 7u);

  // Scoring "gatto topo ignota": the reference's ten scores; the unknown word
  // counts nowhere, not even in the length.
  const std::vector<voce_parola> voci = testo(0, {"gatto", "topo", "ignota"}).voci;
  const std::vector<long> pos = posizioni_lineari(m, voci);
  double s[CLASSI];
  punteggi_lineari(m, voci, pos, s);
  EXPECT_EQ(bit(s[0]), bit(0x1.fb3bf915b18e2p-2));
  EXPECT_EQ(bit(s[2]), bit(-0x1.a27371cb05ac0p-2));
  EXPECT_EQ(bit(s[5]), bit(-0x1.55f4faa044b2cp-3));
  EXPECT_EQ(bit(s[7]), bit(m.bias[7]));
  EXPECT_EQ(classe_lineare(m, s), 0);
  // Each word's part, the bias last: the score, term by term.
  const std::vector<double> x = componenti_lineari(voci, pos);
  EXPECT_EQ(x[1], 0.0);  // "ignota", between "gatto" and "topo"
  EXPECT_EQ(bit(x[0]), bit(1.0 / std::sqrt(2.0)));
  const double somma = (0.0 + contributo_lineare(m, pos[0], x[0], 2)) + contributo_lineare(m, pos[2], x[2], 2);
  EXPECT_EQ(bit(somma + m.bias[2]), bit(s[2]));
  // A text without known words: the class with data whose bias is highest,
  // 5; class 7's is higher, but class 7 has no data.
  const std::vector<voce_parola> ignote = testo(0, {"ignota"}).voci;
  punteggi_lineari(m, ignote, posizioni_lineari(m, ignote), s);
  EXPECT_GT(s[7], s[5]);
  EXPECT_EQ(classe_lineare(m, s), 5);
  // Without any class with data there is no rival, so nothing is learned: class 0.
  const modello_lineare vuoto = addestra_lineare({testo(3, {}), testo(4, {})});
  punteggi_lineari(vuoto, ignote, posizioni_lineari(vuoto, ignote), s);
  EXPECT_EQ(classe_lineare(vuoto, s), 0);
  EXPECT_TRUE(vuoto.parole.empty() && vuoto.bias == (std::array<double, CLASSI>{}));
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
  ASSERT_EQ(byte.size(), 160u + 112u * 5);
  modello_lineare letto;
  ASSERT_EQ(carica_lineare(letto, path.c_str()), esito_lettura::letto);
  EXPECT_TRUE(letto == m);
  ASSERT_TRUE(scrivi_lineare(letto, path.c_str()));
  EXPECT_EQ(vt::read_file(path), byte) << "-0 and every other double kept as its bytes";
  EXPECT_TRUE(corrisponde(letto, bow.c_str()));
  EXPECT_FALSE(corrisponde(letto, altro.c_str()));

  // Each spoiled in one place: refused there, the model loaded into left as it was.
  const auto r = [](int record, int dentro) { return 160 + 112 * (record - 1) + dentro; };
  const auto metti = [](std::string& b, size_t dove, auto v) { std::memcpy(b.data() + dove, &v, sizeof v); };
  struct caso {
    std::function<void(std::string&)> guasta;
    long record;
    std::string motivo;
  };
  const std::string finisce = "il file finisce dopo ";
  const caso casi[] = {
      {[&](std::string& b) { b = ref::record("cane", {0, 0, 3}); }, 0, "non comincia con BOWLINEA"},
      {[](std::string& b) { b.clear(); }, 0, finisce + "0 byte, prima della fine dell'intestazione (160 byte)"},
      {[](std::string& b) { b.resize(159); }, 0, finisce + "159 byte, prima della fine dell'intestazione (160 byte)"},
      {[&](std::string& b) { metti(b, 8, uint32_t{2}); }, 0, "versione 2, questo programma legge la 1"},
      {[&](std::string& b) { b[13] |= 0x10; }, 0, "classi con dati oltre la 9"},
      {[&](std::string& b) { metti(b, 16, uint64_t{0}); }, 0, "classi con dati ma nessuna parola"},
      {[&](std::string& b) { metti(b, 56, std::nan("")); }, 0, "C non e' un numero finito maggiore di 0"},
      {[&](std::string& b) { metti(b, 56, -0.05); }, 0, "C non e' un numero finito maggiore di 0"},
      {[&](std::string& b) { metti(b, 72, uint32_t{0}); }, 0, "zero epoche"},
      {[](std::string& b) { b[77] = 1; }, 0, "i byte da 76 a 79 non sono zero"},
      {[&](std::string& b) { metti(b, 80 + 8 * 5, HUGE_VAL); }, 0, "bias della classe 5 non finito"},
      {[&](std::string& b) { b.resize(r(3, 50)); }, 3, "il file finisce a meta' del record"},
      {[&](std::string& b) { b.resize(r(4, 0)); }, 4, finisce + "3 parole, l'intestazione ne annuncia 5"},
      {[](std::string& b) { b += '\0'; }, 6, "il file continua dopo l'ultima parola (l'intestazione ne annuncia 5)"},
      {[&](std::string& b) { b[r(1, 0)] = 'C'; }, 1, "parola con il byte 0x43, che la pulizia non lascia"},
      {[&](std::string& b) { b[r(2, 31)] = 'z'; }, 2, "byte non nulli dopo la fine della parola"},
      {[&](std::string& b) { std::swap_ranges(&b[r(1, 0)], &b[r(2, 0)], &b[r(2, 0)]); }, 2, "parola fuori ordine"},
      {[&](std::string& b) { b.replace(r(2, 0), 112, byte.substr(r(1, 0), 112)); }, 2, "parola ripetuta"},
      {[&](std::string& b) { metti(b, r(4, 32 + 8 * 2), -HUGE_VAL); }, 4, "peso della classe 2 non finito"},
      {[&](std::string& b) { metti(b, r(3, 32 + 8 * 1), 1e-300); }, 3, "peso non nullo per la classe 1, senza dati"},
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
      {byte.substr(0, r(3, 50)), non_lineare + "record 3 (dal byte 384), il file finisce a meta' del record\n"},
  };
  for (const auto& [file, messaggio] : messaggi) {
    vt::write_file(path, file);
    EXPECT_EQ(leggi(path, altro), std::pair(false, messaggio));
  }
  std::filesystem::remove(path);
  EXPECT_EQ(leggi(path, bow),
            std::pair(false, "Manca il modello lineare " + path + ": prima velmora_bow addestra CARTELLA --lineare\n"));
}
