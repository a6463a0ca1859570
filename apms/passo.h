// The reference training step, written straight from the library's forward
// pass and correction step: one scalar sum per neuron, one weight at a time.
// The fast step (passo_veloce.h) must give its weights to the last bit.
#pragma once

#include <cstdint>

#include "lib.h"
#include "righe.h"

inline constexpr double TASSO_PREDEFINITO = 0.3;

// The cost whose slope a step follows, for one row with target t and
// output s of each output neuron: quadratico, sum of (t - s)^2 / 2, whose
// output error is multiplied by the logistic's slope (1 - s) * s; entropia,
// the cross-entropy -sum of t ln s + (1 - t) ln(1 - s), whose output error
// is t - s itself.
enum class costo { quadratico, entropia };

// What one step does to the weights, besides following the slope.
struct passo {
  double tasso = TASSO_PREDEFINITO;
  costo funzione = costo::quadratico;
  // L2 strength L: the cost of a step is the mean of its rows' costs plus
  // L / 2 times the sum of the squares of every weight but the biases.
  double decadimento = 0.0;
};

// Rows per step at most: a step keeps every row's errors and inputs.
inline constexpr int LOTTO_MASSIMO = 1000;

// One online step on the row in rete.pixel with the given label: forward
// pass, errors, then every weight update. Returns the class the network gave
// before the update (-1 for none).
int addestra_riga(rete_cifre& rete, int32_t etichetta, double tasso, costo funzione = costo::quadratico);

// One step on every row of lotto, all of them seen by the weights as they
// were before it: for each weight the corrections of the rows, each
// d * ((x * c) * b) as in the online step, are summed in row order from
// 0.0, and the sum K divided by the number of rows B is added:
// w = (K / B) + w for a bias weight, and for the others
// w = (K / B) + (f * w) with f = 1.0 - (b * L), or w = (K / B) + w when L
// is 0. Returns how many rows the network recognised before the step.
int addestra_lotto(rete_cifre& rete, const righe_cifre& lotto, const passo& p);
