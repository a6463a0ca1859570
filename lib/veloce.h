// The fast forward pass of the perceptron library, for the programs that
// run the digit network over many rows: vectorised across neurons on weights
// laid out by input, it gives exactly the results of net_recognize, bit for bit.
#pragma once

#include <cstdint>
#include <memory>

#include "lib.h"

// ---- Forward pass ----------------------------------------------------------------

// Neurons per input in the hidden layout: 100 padded to a whole number of
// 8-lane vectors; the padding weights are zero and their sums are dropped.
inline constexpr int COLONNE_INTERCALARI = 104;
inline constexpr int COLONNE_EFFERENTI = 16;

// The weights of rete_cifre laid out by input rather than by neuron, so one
// vector load brings the same input's weight for consecutive neurons.
struct pesi_veloci {
  alignas(64) double intercalari[(N_AFFERENTI + 1) * COLONNE_INTERCALARI];  // 785 x 104, input-major
  alignas(64) double efferenti[(N_INTERCALARI + 1) * COLONNE_EFFERENTI];    // 101 x 16, input-major
  uint16_t non_finite[N_AFFERENTI / 16];  // bit b of word w: a hidden weight of input 16w + b + 1 is not finite
  bool qualche_non_finito;                // some hidden weight is not finite
};

enum class livello_simd { base, avx2, avx512 };

// The widest vector unit this processor offers.
livello_simd livello_disponibile();
// Its name as the benchmarks print it: "avx512", "avx2" or "base".
const char* nome_livello(livello_simd livello);

// Lays out the current weights of rete; call again after changing them.
std::unique_ptr<pesi_veloci> prepara_pesi(const rete_cifre& rete);

// net_recognize on rete.pixel with the weights laid out in pesi: fills the
// same fields of rete with the same bits and returns the same class.
int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi);
// The same on an explicit vector unit, which the processor must have.
int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi, livello_simd livello);

// The hidden inputs a forward pass visited, in index order: the bias, every
// nonzero pixel, and every input whose weights are not all finite.
struct ingressi_visitati {
  int16_t indici[N_AFFERENTI + 1];
  int quanti = 0;
  bool in_scala = false;  // every pixel was in 0 ... 255, so every input in 0.0 ... 1.0
};
// The same, saying which inputs it visited.
int net_recognize_veloce(rete_cifre& rete, const pesi_veloci& pesi, livello_simd livello,
                         ingressi_visitati& visitati);
