// The training step on several threads. The hidden neurons are split in
// blocks of 8 among the threads; each thread keeps its block's weights for
// the whole run and does every operation on them, in the order of
// addestra_riga and addestra_lotto, so no weight's sum changes its order
// and the weights are the same to the last bit for any number of threads.
// The output layer is small: every thread computes it whole, on a copy of
// its own, with the same operations, so the copies never differ.
//
// One step: the threads start, each lists the rows' nonzero inputs for
// itself and passes the rows forward through its hidden neurons, they meet
// once to share the hidden outputs, and each then computes the output
// layer, the errors of its hidden neurons and every correction of its
// weights. The caller returns without waiting for the
// others: the next step's start waits for them, and so does attendi_fili.
#pragma once

#include <memory>

#include "passo_veloce.h"
#include "valutazione.h"

// Blocks of 8 hidden neurons (the last holds 4 and 4 of padding): no more
// threads than this can share a step.
inline constexpr int FILI_MASSIMI = COLONNE_INTERCALARI / 8;

struct motore_fili;
struct libera_motore_fili {
  void operator()(motore_fili* m) const;
};
using motore_fili_ptr = std::unique_ptr<motore_fili, libera_motore_fili>;

// Rows thread 0 times before it compares: see below.
inline constexpr int FINESTRA_FILI = 4096;

// A step on the weights of a with min(fili, FILI_MASSIMI) threads, the
// caller one of them, on the given vector unit. a must outlive it and is
// trained by it alone until attendi_fili.
//
// Where other processes take the cores, a thread that loses its core holds
// the others up at every step, and the threads can be slower than one. So
// the caller times windows of `finestra` rows, and now and then runs a
// window doing every thread's part itself (the same operations on the same
// data: the same bits), keeping whichever way was faster. finestra 0:
// always with the threads.
motore_fili_ptr prepara_fili(addestramento_veloce& a, int fili, livello_simd livello,
                             int finestra = FINESTRA_FILI);
int fili_in_uso(const motore_fili& m);

// addestra_riga_veloce's step on rete.pixel with this label: the same class
// returned, the same weights after it, and in rete the same hidden sums and
// outputs and output sums and outputs. rete's weight matrices are neither
// read nor written.
int addestra_riga_fili(motore_fili& m, rete_cifre& rete, int32_t etichetta, double tasso, costo funzione);

// addestra_lotto_veloce's step: the same count returned and the same weights;
// rete is left with the last row's hidden sums and outputs and output sums
// and outputs.
int addestra_lotto_fili(motore_fili& m, rete_cifre& rete, const righe_cifre& lotto, const passo& p);
// The same on quante rows of righe: row scelte[t], moved as sposta_riga
// moves copy copie[t]. Every thread reads them there, not from a batch
// another thread wrote.
int addestra_lotto_fili(motore_fili& m, rete_cifre& rete, const righe_cifre& righe, const int* scelte,
                        const int* copie, int quante, const passo& p);

// valuta_righe on the step's threads, each on a contiguous share of the rows
// and a network of its own, the weights of rete laid out once for all: the
// same counts and matrix, and with uscite each row's outputs as valuta_righe
// gives them. The threads must be stopped (attendi_fili).
risultato valuta_righe_fili(motore_fili& m, const rete_cifre& rete, const righe_cifre& righe,
                            double* uscite = nullptr);

// Waits for the threads to finish the last step: after it the weights of a
// (and its bound and flags) are the trained ones, to be copied back with
// riporta_pesi. The next step starts the threads again.
void attendi_fili(motore_fili& m);
