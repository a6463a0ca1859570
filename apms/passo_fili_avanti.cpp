// The threaded step's first phase: each thread's hidden neurons, their
// weighted sums and outputs, for every row of the step.
#include <algorithm>
#include <cmath>

#include "passo_fili_stato.h"
#include "vettori.h"

namespace {

// ---- Phase 1: the hidden forward pass of a thread's neurons ------------------------

template <typename V>
[[gnu::always_inline]] inline void avanti(filo_stato& s, const elenco& el, const dati_passo& d) {
  constexpr int L = CORSIE<V>;
  constexpr int PER_BLOCCO = 8 / L;
  const int v0 = s.primo * PER_BLOCCO, v1 = s.fine * PER_BLOCCO;
  const int i0 = s.primo * 8, i1 = std::min(s.fine * 8, N_INTERCALARI);
  const double* W = s.pesi.p;
  const int colonne = s.colonne;
  alignas(64) double somme[COLONNE_INTERCALARI];
  rete_cifre& rete = *d.rete;
  for (int t = 0; t < d.quante; ++t) {
    const int16_t* indici = el.indici.data() + t * INGRESSI;
    const double* valori = el.valori.data() + t * INGRESSI;
    int n = el.fine[static_cast<size_t>(t)] - t * INGRESSI;
    if (s.visita) su_ogni_ingresso(s.denso.p, indici, valori, n);
    for (int b0 = v0; b0 < v1; b0 += BLOCCO) {
      con_blocco(std::min(BLOCCO, v1 - b0), [&]<int NB>() {
        V acc[NB] = {};
        for (int k = 0; k < n; ++k) {
          const double x = valori[k];
          const V* w = reinterpret_cast<const V*>(W + indici[k] * colonne) + (b0 - v0);
#pragma GCC unroll 13
          for (int b = 0; b < NB; ++b) acc[b] = (x * w[b]) + acc[b];
        }
        for (int b = 0; b < NB; ++b) reinterpret_cast<V*>(somme)[b0 + b] = acc[b];
      });
    }
    // activ_function's operations, the exp calls first.
    double esponenziali[COLONNE_INTERCALARI];
    for (int i = i0; i < i1; ++i) esponenziali[i] = std::exp(-somme[i]);
    double* uscite = d.uscite.p + static_cast<size_t>(t) * PASSO_USCITE;
    if (i0 == 0) uscite[0] = 1.0;
    for (int i = i0; i < i1; ++i) uscite[1 + i] = 1.0 / (1.0 + esponenziali[i]);
    if (t == d.quante - 1)
      for (int i = i0; i < i1; ++i) {
        rete.somma_intercalari[i] = somme[i];
        rete.uscita_intercalari[i] = uscite[1 + i];
      }
  }
}

[[gnu::target("avx512f")]] void avanti_avx512(filo_stato& s, const elenco& el, const dati_passo& d) {
  avanti<v8d>(s, el, d);
}
[[gnu::target("avx2")]] void avanti_avx2(filo_stato& s, const elenco& el, const dati_passo& d) {
  avanti<v4d>(s, el, d);
}
void avanti_base(filo_stato& s, const elenco& el, const dati_passo& d) { avanti<v2d>(s, el, d); }

}  // namespace

void fase_1(const motore_fili& m, filo_stato& s, const elenco& el, const dati_passo& d) {
  if (s.primo == s.fine) return;
  switch (m.livello) {
    case livello_simd::avx512: avanti_avx512(s, el, d); break;
    case livello_simd::avx2: avanti_avx2(s, el, d); break;
    case livello_simd::base: avanti_base(s, el, d); break;
  }
}
