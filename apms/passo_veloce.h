// Fast training of the digit network. For the whole run the weights stay
// laid out by input, as the vectorised forward pass reads them, and each
// correction is applied to vectors of consecutive neurons. Every weight
// still receives exactly the operations of addestra_riga, in the same order,
// so the trained weights match it to the last bit on every vector unit.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "passo.h"
#include "pesi.h"
#include "righe.h"
#include "veloce.h"

// While every hidden weight stays below this in magnitude, neither a weight
// nor a correction can overflow: the forward pass may skip zero inputs and
// the bound needs no care for rounding (see applica_correzioni).
inline constexpr double LIMITE_PESI_INTERCALARI = 1e300;

// What one row asks of every weight: the weight w of neuron n fed by the
// input x becomes (pendenza[n] * ((x * errore[n]) * tasso)) + w, the
// library's correction step. The errors are worked out in one place and
// applied in another, so a different cost or a batch of rows changes only
// the first. The lanes past the last neuron of a layer hold 0.0.
struct correzioni_riga {
  alignas(64) double errore_intercalari[COLONNE_INTERCALARI];    // error propagated back from the outputs
  alignas(64) double pendenza_intercalari[COLONNE_INTERCALARI];  // slope of the logistic at the neuron's sum
  alignas(64) double errore_efferenti[COLONNE_EFFERENTI];        // target minus output
  alignas(64) double pendenza_efferenti[COLONNE_EFFERENTI];
};

// The network being trained. Its weights live here, not in the rete_cifre
// the steps work on: riporta_pesi copies them back.
struct addestramento_veloce {
  std::unique_ptr<pesi_veloci> pesi;  // both layers by input; the padding lanes are never copied back
  // The weights no weight file holds, as they were at the start: never trained.
  double coda_intercalari[N_AFFERENTI - ULTIMA_COLONNA_INTERCALARI];
  double coda_efferenti[N_INTERCALARI - ULTIMA_COLONNA_EFFERENTI];
  // No hidden weight is larger in magnitude than this, while pesi says that
  // every hidden weight is finite (see applica_correzioni).
  double limite_intercalari = 0.0;
  // Some hidden weight started as -0.0 or not a number: adding a zero
  // correction would change its bits, so no input is left out of an update.
  bool aggiorna_tutti = false;
  // A step of several rows keeps each row's corrections and inputs of both
  // layers until its end: the weights change only then.
  std::vector<correzioni_riga> correzioni;
  std::vector<double> ingressi;            // N_AFFERENTI + 1 per row
  std::vector<double> ingressi_efferenti;  // N_INTERCALARI + 1 per row
  std::vector<char> ogni_ingresso;         // the row's errors are not all finite: no input is skipped
};

// The training state for the weights of rete.
std::unique_ptr<addestramento_veloce> prepara_addestramento(const rete_cifre& rete);
// Copies the trained weights into both matrices of rete, tails included.
void riporta_pesi(const addestramento_veloce& a, rete_cifre& rete);

// addestra_riga on the weights of a: the same forward pass results in rete,
// the same class returned, the same weights after it, on any vector unit the
// processor has. The weight matrices of rete are neither read nor written.
int addestra_riga_veloce(rete_cifre& rete, addestramento_veloce& a, int32_t etichetta, double tasso,
                         costo funzione = costo::quadratico, livello_simd livello = livello_disponibile());

// addestra_lotto on the weights of a: the same count returned, the same
// weights after it; rete is left with the last row's forward pass.
int addestra_lotto_veloce(rete_cifre& rete, addestramento_veloce& a, const righe_cifre& lotto, const passo& p,
                          livello_simd livello = livello_disponibile());

// The two halves of the step, after the forward pass has filled rete.
// The errors of the output neurons and, through the output weights as they
// are before this row, of the hidden neurons.
void calcola_correzioni(const rete_cifre& rete, const addestramento_veloce& a, int32_t etichetta,
                        correzioni_riga& c, costo funzione = costo::quadratico);
// Every weight's correction, output layer and hidden layer, with rete's
// inputs of both layers as x; visitati comes from that forward pass.
void applica_correzioni(addestramento_veloce& a, const rete_cifre& rete, const ingressi_visitati& visitati,
                        const correzioni_riga& c, double tasso, livello_simd livello);
