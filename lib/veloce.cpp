// The forward pass keeps each neuron's sum in index order with every product
// rounded before it is added, so its bits match layer_feed_forward on any
// vector unit.
#include "veloce.h"
#include "vettori.h"


#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

// ---- Forward pass ----------------------------------------------------------------

namespace {

constexpr int BLOCCO = 13;  // accumulator vectors kept in registers: 104 = 13 x 8 = 26 x 4 = 52 x 2

// Both layers on V-wide vectors. Hidden inputs not listed in attivi are zero
// with finite weights: their products are zeros, and adding a zero never
// changes a sum that started at +0.0, so they are skipped.
template <typename V>
[[gnu::always_inline]] inline void strati(rete_cifre& rete, const pesi_veloci& pesi, const int16_t* attivi,
                                          int n_attivi) {
  constexpr int L = CORSIE<V>;
  alignas(64) double somme[COLONNE_INTERCALARI];
  for (int b0 = 0; b0 < COLONNE_INTERCALARI / L; b0 += BLOCCO) {
    V acc[BLOCCO] = {};
    for (int t = 0; t < n_attivi; ++t) {
      const int j = attivi[t];
      const double x = rete.ingresso[j];  // spread over the lanes by the vector product
      const V* w = reinterpret_cast<const V*>(pesi.intercalari + j * COLONNE_INTERCALARI) + b0;
      // Each lane is one neuron: its sum still runs in index order.
#pragma GCC unroll 13
      for (int b = 0; b < BLOCCO; ++b) acc[b] = (x * w[b]) + acc[b];
    }
    for (int b = 0; b < BLOCCO; ++b) reinterpret_cast<V*>(somme)[b0 + b] = acc[b];
  }
  // activ_function's operations, 1.0 / (1.0 + exp(-x)), with the exp calls
  // first so the additions and divisions run on whole vectors.
  double esponenziali[N_INTERCALARI];
  for (int i = 0; i < N_INTERCALARI; ++i) {
    rete.somma_intercalari[i] = somme[i];
    esponenziali[i] = std::exp(-somme[i]);
  }
  for (int i = 0; i < N_INTERCALARI; ++i) rete.uscita_intercalari[i] = 1.0 / (1.0 + esponenziali[i]);
  layer_map_out_in(rete.ingresso_efferenti, rete.uscita_intercalari, N_INTERCALARI);

  V acc[COLONNE_EFFERENTI / L] = {};
  for (int j = 0; j <= N_INTERCALARI; ++j) {
    const double x = rete.ingresso_efferenti[j];
    const V* w = reinterpret_cast<const V*>(pesi.efferenti + j * COLONNE_EFFERENTI);
    for (int b = 0; b < COLONNE_EFFERENTI / L; ++b) acc[b] = (x * w[b]) + acc[b];
  }
  for (int k = 0; k < N_EFFERENTI; ++k) {
    rete.somma_efferenti[k] = acc[k / L][k % L];
    rete.uscita_efferenti[k] = activ_function(rete.somma_efferenti[k]);
  }
}

[[gnu::target("avx512f")]] void strati_avx512(rete_cifre& rete, const pesi_veloci& pesi, const int16_t* attivi,
                                              int n) {
  strati<v8d>(rete, pesi, attivi, n);
}
[[gnu::target("avx2")]] void strati_avx2(rete_cifre& rete, const pesi_veloci& pesi, const int16_t* attivi, int n) {
  strati<v4d>(rete, pesi, attivi, n);
}
void strati_base(rete_cifre& rete, const pesi_veloci& pesi, const int16_t* attivi, int n) {
  strati<v2d>(rete, pesi, attivi, n);
}

}  // namespace

livello_simd livello_disponibile() {
  static const livello_simd livello = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return livello_simd::avx512;
    if (__builtin_cpu_supports("avx2")) return livello_simd::avx2;
    return livello_simd::base;
  }();
  return livello;
}

const char* nome_livello(livello_simd livello) {
  return livello == livello_simd::avx512 ? "avx512" : livello == livello_simd::avx2 ? "avx2" : "base";
}

std::unique_ptr<pesi_veloci> prepara_pesi(const rete_cifre& rete) {
  auto pesi = std::make_unique<pesi_veloci>();  // zero: the padding neurons stay zero
  for (int j = 0; j <= N_AFFERENTI; ++j) {
    bool finita = true;
    for (int i = 0; i < N_INTERCALARI; ++i) {
      const double w = rete.pesi_intercalari[i * (N_AFFERENTI + 1) + j];
      pesi->intercalari[j * COLONNE_INTERCALARI + i] = w;
      finita = finita && std::isfinite(w);
    }
    if (!finita && j > 0) pesi->non_finite[(j - 1) / 16] |= static_cast<uint16_t>(1u << ((j - 1) % 16));
    pesi->qualche_non_finito = pesi->qualche_non_finito || !finita;
  }
  for (int j = 0; j <= N_INTERCALARI; ++j)
    for (int k = 0; k < N_EFFERENTI; ++k)
      pesi->efferenti[j * COLONNE_EFFERENTI + k] = rete.pesi_efferenti[k * (N_INTERCALARI + 1) + j];
  return pesi;
}

int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi) {
  return net_recognize_veloce(rete, pesi, livello_disponibile());
}

int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi, livello_simd livello) {
  ingressi_visitati visitati;
  return net_recognize_veloce(rete, pesi, livello, visitati);
}

int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi, livello_simd livello, ingressi_visitati& v) {
  // The quotients of 0 ... 255 come from a table of the same divisions.
  static const auto scala = [] {
    std::array<double, 256> t{};
    for (int v = 0; v < 256; ++v) t[v] = static_cast<double>(v) / 255.0;
    return t;
  }();
  // Pixel 0 gives the input 0.0, which is skipped unless its weights are not
  // all finite; the bias input is always there.
  uint32_t tutti = 0;
  for (int j = 0; j < N_AFFERENTI; ++j) tutti |= static_cast<uint32_t>(rete.pixel[j]);
  rete.ingresso[0] = 1.0;
  int16_t* attivi = v.indici;
  attivi[0] = 0;
  int n = 1;
  v.in_scala = tutti < 256;
  if (v.in_scala && !pesi.qualche_non_finito) {
    for (int j = 0; j < N_AFFERENTI; ++j) {
      const int32_t p = rete.pixel[j];
      rete.ingresso[j + 1] = scala[p];
      attivi[n] = static_cast<int16_t>(j + 1);
      n += p != 0;
    }
  } else {
    for (int j = 0; j < N_AFFERENTI; ++j) {
      const int32_t p = rete.pixel[j];
      rete.ingresso[j + 1] = static_cast<double>(p) / 255.0;
      attivi[n] = static_cast<int16_t>(j + 1);
      n += p != 0 || (pesi.non_finite[j / 16] >> (j % 16) & 1);
    }
  }
  v.quanti = n;

  switch (livello) {
    case livello_simd::avx512: strati_avx512(rete, pesi, attivi, n); break;
    case livello_simd::avx2: strati_avx2(rete, pesi, attivi, n); break;
    case livello_simd::base: strati_base(rete, pesi, attivi, n); break;
  }

  return classe_migliore(rete.uscita_efferenti);
}
