// The weights of a training run: the starting weights, copies and the mean
// of the last epochs', and the weight files, checked before any work and
// written both or neither.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "dati.h"
#include "lib.h"

// Starting weights are uniform in [-A, A).
inline constexpr double AMPIEZZA_INTERCALARI = 0.05;
inline constexpr double AMPIEZZA_EFFERENTI = 0.2;

// Starting weights: fisso, the ranges above; scalato, uniform in
// [-A, A) with A = sqrt(3.0 / n) for a layer of n inputs, a spread (standard
// deviation) of 1 / sqrt(n).
enum class inizio_pesi { fisso, scalato };

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

// ---- In memory ------------------------------------------------------------------------

// Draws the starting weights: the hidden matrix row after row, then the
// output matrix, each element in index order; the tails stay 0.0.
void inizializza_pesi(rete_cifre& rete, generatore& g, inizio_pesi inizio = inizio_pesi::fisso);

// Both weight matrices of da into a, tails included.
void copia_pesi(const rete_cifre& da, rete_cifre& a);

// With --media K: the weights at the end of the last K epochs (fewer before
// the K-th), oldest first, and their mean, the network each epoch gives.
struct media_mobile {
  std::deque<std::vector<double>> epoche;  // both matrices, one after the other
  std::unique_ptr<rete_cifre> rete = crea_rete();
};

// Keeps the weights of the epoch just ended (at most k epochs are kept) and
// makes the mean anew.
void aggiungi_epoca(media_mobile& mm, const rete_cifre& rete, int k);
// Each weight of the mean: (((0.0 + w1) + w2) + ... + wn) / n over the n
// epochs kept (at least one), in order.
void ricalcola_media(media_mobile& mm);

// The weights of the best epoch on the validation rows, the earliest of equals.
struct migliore {
  int epoca = 0;  // 0: no epoch yet
  int riconosciute = -1;
  std::unique_ptr<rete_cifre> rete = crea_rete();
};

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
// read: its folder must take a new file, and it must be neither a folder nor
// a special file, nor one of the rows files (same device and inode), nor a
// file of CSV rows. Otherwise prints why and "Impossibile scrivere il file
// PATH" and returns false.
bool controlla_pesi_da_scrivere(const char* path, const char* ingresso, const char* verifica);
