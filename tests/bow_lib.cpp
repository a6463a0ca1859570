// The fast paths of the word-bag library against the step-by-step forms, on
// seeded random bags, model files and texts.
#include <gtest/gtest.h>

#include <random>

#include "bow_lib.h"
#include "bow_reference.h"
#include "run_util.h"

namespace {

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
    std::string file;
    for (int r = static_cast<int>(rng() % 200); r > 0; --r) {
      std::array<int32_t, CLASSI> c{};
      for (auto& x : c) x = static_cast<int32_t>(rng() % 7) - 3;  // negatives and zeros too
      file += ref::record(parola_casuale(rng), c);
    }
    file += std::string(rng() % LUNGHEZZA_RECORD, 'q');  // trailing fragment
    vt::write_file(path, file);
    ASSERT_EQ(carica_bow(veloce.testa, path.c_str()), esito_lettura::letto);
    ref::leggi(lenta, file);
    ASSERT_EQ(ref::da_lista(veloce.testa), lenta) << "seed " << seme;

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
  }
}

TEST(BowText, CleaningInBlocksAndSplittingMatchTheByteByByteForms) {
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
      size_t blocco = std::min<size_t>(1 + rng() % 64, testo.size() - fatto);
      size_t n = pulisci_testo(stato, testo.data() + fatto, blocco, pulito.data() + fatto);
      fatto += n;
      if (n < blocco) break;
    }
    pulito.resize(fatto);
    ASSERT_EQ(pulito, atteso) << "seed " << seme;
    ASSERT_EQ(fatto < testo.size(), troppo_lunga);

    std::vector<std::string_view> parole;
    ASSERT_TRUE(dividi_parole(pulito, parole));
    ASSERT_EQ(std::vector<std::string>(parole.begin(), parole.end()), ref::parole(pulito));
  }
  std::vector<std::string_view> parole;
  EXPECT_FALSE(dividi_parole(std::string(31, 'a'), parole));
  EXPECT_FALSE(dividi_parole(std::string("a\0b", 3), parole));
}

}  // namespace
