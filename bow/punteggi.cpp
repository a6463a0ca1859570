// Scoring against an indexed model. The built-in rule repeats the arithmetic
// of classifica_testo step for step; only the search for each word differs.
#include "punteggi.h"

#include <algorithm>
#include <cmath>
#include <cstring>

modello_indicizzato indicizza_modello(const blocco_bow* model) {
  modello_indicizzato m;
  for (int k = 0; k < CLASSI; ++k) m.totali[k] = totale_classe(model, k);
  for (; model; model = model->prossimo) {
    std::array<char, LUNGHEZZA_PAROLA> parola;
    std::memcpy(parola.data(), model->parola, LUNGHEZZA_PAROLA);
    std::array<int32_t, CLASSI> c;
    std::memcpy(c.data(), model->conteggi, sizeof c);
    m.parole.push_back(parola);
    m.conteggi.push_back(c);
  }
  return m;
}

std::vector<long> posizioni_nel_modello(const modello_indicizzato& m, const std::vector<voce_parola>& voci) {
  std::vector<long> out;
  out.reserve(voci.size());
  // Both sides are sorted: each search starts where the last one ended.
  auto da = m.parole.begin();
  for (const voce_parola& v : voci) {
    da = std::lower_bound(da, m.parole.end(), v.parola, [](const std::array<char, LUNGHEZZA_PAROLA>& a, const char* b) {
      return std::memcmp(a.data(), b, LUNGHEZZA_PAROLA) < 0;
    });
    const bool trovata = da != m.parole.end() && std::memcmp(da->data(), v.parola, LUNGHEZZA_PAROLA) == 0;
    out.push_back(trovata ? da - m.parole.begin() : -1);
  }
  return out;
}

void punteggi_velmora(const modello_indicizzato& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]) {
  const int32_t* totali = m.totali;
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = 0.0;
  for (size_t i = 0; i < voci.size(); ++i) {
    if (posizioni[i] < 0) continue;
    // The document bag keeps a count as the model does: saturated.
    const double n = static_cast<double>(std::min<int64_t>(voci[i].n, CONTEGGIO_MAX));
    const int32_t* c = m.conteggi[static_cast<size_t>(posizioni[i])].data();
    for (int k = 0; k < CLASSI; ++k) {
      if (c[k] > 0) {
        double p = static_cast<double>(c[k]) / static_cast<double>(totali[k]);
        punteggi[k] = ((std::log10(p) * n) / totali[k]) + punteggi[k];
      } else if (totali[k] > 0) {
        double p = 1.0 / totali[k];
        punteggi[k] = (std::log10(p) * n) + punteggi[k];
      }
    }
  }
  for (int k = 0; k < CLASSI; ++k)
    if (totali[k] > 0) punteggi[k] -= 1.0;
}
