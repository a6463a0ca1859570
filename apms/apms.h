// Training of the 784-100-10 digit network by online backpropagation, on top
// of the perceptron library: rows in memory, the reproducible generator, one
// training step per row, evaluation and the safe writing of the weight files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "lib.h"
#include "righe.h"

// ---- Defaults and fixed choices ------------------------------------------------

inline constexpr int EPOCHE_PREDEFINITE = 15;
inline constexpr double TASSO_PREDEFINITO = 0.3;

// Seed of the generator that draws the starting weights and then the row
// order of every epoch. Fixed, so the same inputs give the same weight files.
inline constexpr uint64_t SEME = 20260101;

// Starting weights are uniform in [-A, A).
inline constexpr double AMPIEZZA_INTERCALARI = 0.05;
inline constexpr double AMPIEZZA_EFFERENTI = 0.2;

// ---- Training options -------------------------------------------------------------

// The cost whose slope a step follows, for one row with target t and
// output s of each output neuron: quadratico, sum of (t - s)^2 / 2, whose
// output error is multiplied by the logistic's slope (1 - s) * s; entropia,
// the cross-entropy -sum of t ln s + (1 - t) ln(1 - s), whose output error
// is t - s itself.
enum class costo { quadratico, entropia };

// Starting weights: fisso, the ranges above; scalato, uniform in
// [-A, A) with A = sqrt(3.0 / n) for a layer of n inputs, a spread (standard
// deviation) of 1 / sqrt(n).
enum class inizio_pesi { fisso, scalato };

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
// Shifted copies: 1 or 2 pixels in each of the four directions.
inline constexpr int SPOSTAMENTO_MASSIMO = 2;
// Epochs whose weights a mean may take: each is kept until it leaves it.
inline constexpr int MEDIA_MASSIMA = 100;

// A weight file holds inputs * neurons values: the last row of each matrix
// loses its final `neurons` columns. The index of the last column a file can
// hold, in the last row of each matrix (684 of 784, 90 of 100); the columns
// after it stay 0.0 for the whole run.
inline constexpr int ULTIMA_COLONNA_INTERCALARI =
    static_cast<int>(VALORI_INTERCALARI - long{N_INTERCALARI - 1} * (N_AFFERENTI + 1) - 1);
inline constexpr int ULTIMA_COLONNA_EFFERENTI =
    static_cast<int>(VALORI_EFFERENTI - long{N_EFFERENTI - 1} * (N_INTERCALARI + 1) - 1);

// ---- Generator ----------------------------------------------------------------------
// splitmix64: a few lines, the same numbers on every compiler and library.

struct generatore {
  uint64_t stato;  // advanced by 0x9E3779B97F4A7C15 per draw
};

uint64_t prossimo(generatore& g);
// Uniform double in [0, 1) from the top 53 bits of one draw.
double uniforme(generatore& g);
// Uniform integer in 0 ... n - 1 (n >= 1): one draw modulo n.
uint32_t sotto(generatore& g, uint32_t n);

// ---- Training -----------------------------------------------------------------------------

// Draws the starting weights: the hidden matrix row after row, then the
// output matrix, each element in index order; the tails stay 0.0.
void inizializza_pesi(rete_cifre& rete, generatore& g, inizio_pesi inizio = inizio_pesi::fisso);

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

// ---- Shifted copies and the validation share --------------------------------------------

// Copy v of a row, v in 0 ... 4 * SPOSTAMENTO_MASSIMO: 0 is the row itself;
// copy 1 + 4 * (s - 1) + q moves the image by s pixels to the right (q = 0),
// left (1), down (2) or up (3), the pixels moved in being 0.
void sposta_riga(const int32_t* da, int32_t* a, int copia);

// The rows held aside for validation: floor(quante * quota / 100) of them,
// the first ones of a Fisher-Yates shuffle of 0 ... quante - 1 drawn from g
// (as each epoch's order is drawn), given back in increasing order.
std::vector<int> righe_di_validazione(int quante, double quota, generatore& g);

struct risultato {
  int riconosciute = 0;
  int senza_risposta = 0;                         // rows where no output exceeded 0.0
  std::array<std::array<int, 10>, 10> confusione{};  // [label][answer]
};

// Forward pass over every row of the set, weights unchanged; the same
// answers as net_recognize row by row.
risultato valuta(rete_cifre& rete, const righe_cifre& righe);

// Prints the confusion matrix of the rows of path (a blank line first, then
// one line per label), and the rows without an answer when there are some.
void stampa_confusione(const risultato& esito, const char* path);

// ---- Weight files ---------------------------------------------------------------------------

// Replaces both weight files through the suite's atomic write, both or
// neither. On failure prints a message naming the file and returns false;
// both targets are then as they were.
bool scrivi_pesi(const rete_cifre& rete, const char* path_intercalari, const char* path_efferenti);

// Warm start: reads the pair of weight files into rete, the tails left as
// they are (0.0 in a new record). A file missing, or of any length but its
// layer's (627200 and 8000 bytes), prints the message velmora_pms prints for
// a missing or short one and returns false.
bool leggi_pesi_di_partenza(rete_cifre& rete, const char* path_intercalari, const char* path_efferenti);

// Whether a weight file may be written at path, checked before any row is
// read: its folder must take a new file, and it must be neither a folder,
// nor one of the rows files (same device and inode), nor a file of CSV rows.
// Otherwise prints why and "Impossibile scrivere il file PATH" and returns false.
bool controlla_pesi_da_scrivere(const char* path, const char* ingresso, const char* verifica);
