// Scoring texts against a hostile model under every rule. A model file the
// loader accepts may still hold counts at the top of their range, words no
// text has, classes without data: every score must then stay what its rule
// says. The built-in rule must give classifica_testo's scores to the last
// bit; a class without data scores exactly 0.0 and is never chosen while
// another class has data; every other score is finite; the terms spiega
// prints add up, in word order, to the score; and the probabilities of
// bayes and complemento sum to 1 and rank as the scores.
//
// Input: bytes 0-7 a smoothing (used when it lies in the accepted range,
// else each rule's default), bytes 8-9 (little-endian) how many of the
// remaining bytes are the model file; the rest is the text.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bow_lib.h"
#include "pulizia.h"
#include "fuzz_util.h"
#include "record_bow.h"
#include "punteggi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 10) return 0;
  double alfa;
  std::memcpy(&alfa, data, sizeof alfa);
  const size_t n = size - 10;
  const size_t n_modello = (size_t{data[8]} | size_t{data[9]} << 8) % (n + 1);
  const uint8_t* modello_file = data + 10;

  borsa modello;
  {
    fz::file_ptr f = fz::memfile(modello_file, n_modello);
    if (carica_bow(modello.testa, fz::percorso(f.get()).c_str()) != esito_lettura::letto) return 0;
  }
  tabella_parole tabella;
  fz::file_ptr testo = fz::memstream(modello_file + n_modello, n - n_modello);
  conta_testo(testo.get(), nullptr, tabella);
  const std::vector<voce_parola> voci = voci_ordinate(tabella);

  const modello_indicizzato m = indicizza_modello(modello.testa);
  const std::vector<long> posizioni = posizioni_nel_modello(m, voci);
  borsa documento;
  unisci_parole(documento.testa, voci, 0);
  double attesi[CLASSI];
  classifica_testo(documento.testa, modello.testa, attesi);

  for (const char* nome : {"velmora", "bayes", "complemento"}) {
    punteggio p;
    FZ_CHECK(regola_da_nome(nome, p), "regola %s", nome);
    if (p.tipo != regola::velmora && alfa_accettata(alfa)) p.alfa = alfa;
    const pesi_regola r = prepara_regola(m, p);
    double punteggi[CLASSI];
    punteggi_regola(m, r, voci, posizioni, punteggi);
    if (p.tipo == regola::velmora)
      FZ_CHECK(std::memcmp(punteggi, attesi, sizeof attesi) == 0, "velmora diversa da classifica_testo");
    bool qualcuna = false;
    for (int k = 0; k < CLASSI; ++k) {
      qualcuna = qualcuna || r.con_dati[k];
      if (!r.con_dati[k]) {
        FZ_CHECK(punteggi[k] == 0.0, "%s: classe %d senza dati con punteggio %g", nome, k, punteggi[k]);
        continue;
      }
      FZ_CHECK(std::isfinite(punteggi[k]), "%s, alfa %g: classe %d con punteggio %g", nome, p.alfa, k, punteggi[k]);
      if (p.tipo == regola::velmora) continue;
      double somma = r.base[k];
      for (size_t i = 0; i < voci.size(); ++i)
        if (posizioni[i] >= 0) somma = somma + termine(m, r, posizioni[i], occorrenze(voci[i]), k);
      FZ_CHECK(std::memcmp(&somma, &punteggi[k], sizeof somma) == 0, "%s: i termini non danno il punteggio", nome);
    }
    const int scelta = classe_regola(r, punteggi);
    FZ_CHECK(scelta >= 0 && scelta < CLASSI, "%s: classe %d", nome, scelta);
    FZ_CHECK(!qualcuna || r.con_dati[scelta], "%s: scelta la classe %d senza dati", nome, scelta);
    if (p.tipo == regola::velmora) continue;
    // The probabilities: from 0 to 1, summing to 1, ranked as the scores, the class chosen the most likely.
    double prob[CLASSI], somma = 0.0;
    probabilita_regola(r, punteggi, prob);
    for (int k = 0; k < CLASSI; ++k) {
      FZ_CHECK(prob[k] >= 0.0 && prob[k] <= 1.0 && (r.con_dati[k] || prob[k] == 0.0), "%s: p%d = %g", nome, k, prob[k]);
      for (int j = 0; j < CLASSI; ++j)
        FZ_CHECK(!(r.con_dati[j] && r.con_dati[k] && punteggi[j] > punteggi[k]) || prob[j] >= prob[k],
                 "%s: p%d < p%d con un punteggio maggiore", nome, j, k);
      somma += prob[k];
    }
    FZ_CHECK(!qualcuna || std::fabs(somma - 1.0) <= 1e-12, "%s: probabilita' che sommano a %.17g", nome, somma);
    FZ_CHECK(!qualcuna || prob[scelta] >= *std::max_element(prob, prob + CLASSI), "%s: la scelta non e' la piu' probabile", nome);
  }
  return 0;
}

void scrivi_semi(const std::string& dir) {
  using fz::record;
  auto seme = [&](const std::string& nome, double alfa, const std::string& modello, const std::string& testo) {
    std::string s(reinterpret_cast<const char*>(&alfa), sizeof alfa);
    s += static_cast<char>(modello.size() & 0xFF);
    s += static_cast<char>(modello.size() >> 8);
    fz::scrivi_seme(dir, nome, s + modello + testo);
  };
  const int32_t MAX = 2147483647;
  seme("piccolo", 0.5, record("a", {3, 0, 1}) + record("b", {1, 2}), "a a b c");
  seme("enorme", 1e6, record("a", {MAX, MAX, MAX, MAX, MAX, MAX, MAX, MAX, MAX, MAX}) + record("b", {0, MAX}),
       "a b a b a");
  seme("minuscola", 4.9e-324, record("zeta", {0, 0, 0, 0, 0, 0, 0, 0, 0, 5}), "zeta ZETA zeta nuova");
  seme("una_classe", 1.0, record("x", {0, 0, 7}), "x y");
  seme("vuoto", 1.0, "", "testo senza modello");
  seme("alfa_nan", std::nan(""), record("a", {1}), "a");
}
