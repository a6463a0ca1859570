// What the digit network gets right over many rows: the count, the answers
// per label, and the confusion matrix as the programs print it.
#pragma once

#include <array>

#include "lib.h"
#include "righe.h"

struct risultato {
  int riconosciute = 0;
  int senza_risposta = 0;                                      // rows where no output exceeded 0.0
  std::array<std::array<int, N_EFFERENTI>, N_EFFERENTI> confusione{};  // [label][answer]
};

// One row's answer (-1 for none) counted against its label (0 ... 9).
void conta_risposta(risultato& esito, int etichetta, int risposta);

// Forward pass over every row of the set, weights unchanged; the same
// answers as net_recognize row by row.
risultato valuta_righe(rete_cifre& rete, const righe_cifre& righe);
// The same, each row's ten outputs also into uscite (righe.quante x
// N_EFFERENTI doubles), row after row.
risultato valuta_righe_uscite(rete_cifre& rete, const righe_cifre& righe, double* uscite);

// Prints the confusion matrix of the rows of path (a blank line and a title
// of two lines first, then one line per label), and the rows without an
// answer when there are some.
void stampa_confusione(const risultato& esito, const char* path);
