// The data a training run draws from: the reproducible generator, the one
// shuffle every order is drawn with, the shifted copies of a row, and the
// validation share cut from the training rows.
#pragma once

#include <cstdint>
#include <vector>

#include "righe.h"

// Seed of the generator that draws the starting weights and then the row
// order of every epoch. Fixed, so the same inputs give the same weight files.
inline constexpr uint64_t SEME = 20260101;

// Shifted copies: 1 or 2 pixels in each of the four directions.
inline constexpr int SPOSTAMENTO_MASSIMO = 2;

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

// Fisher-Yates from the last position down, one draw per position: the
// order of every epoch and the choice of the validation rows.
void mescola(std::vector<int>& ordine, generatore& g);

// ---- Shifted copies -----------------------------------------------------------------

// Copy v of a row, v in 0 ... 4 * SPOSTAMENTO_MASSIMO: 0 is the row itself;
// copy 1 + 4 * (s - 1) + q moves the image by s pixels to the right (q = 0),
// left (1), down (2) or up (3), the pixels moved in being 0.
void sposta_riga(const int32_t* da, int32_t* a, int copia);

// Which copy of a row a step takes: 0 without spostamenti, else one of the
// 1 + 4 x spostamenti copies, one draw of copie.
int scegli_copia(int spostamenti, generatore& copie);

// Row r of the set into pixel and etichetta: the row itself without
// spostamenti, else one of its 1 + 4 x spostamenti copies drawn from copie.
void prendi_copia(const righe_cifre& righe, int r, int spostamenti, generatore& copie, int32_t* pixel,
                  int32_t& etichetta);

// ---- The validation share ----------------------------------------------------------

// The rows of a run: the training rows (less the validation share), the
// validation share cut from them, and the held-out rows.
struct dati {
  righe_cifre addestramento, validazione, verifica;
};

// The rows held aside for validation: floor(quante * quota / 100) of them,
// the first ones of a shuffle of 0 ... quante - 1 drawn from g (as each
// epoch's order is drawn), given back in increasing order.
std::vector<int> righe_di_validazione(int quante, double quota, generatore& g);

// Moves the rows righe_di_validazione chooses, drawn from their own
// generator (seed + 1, so the weights and the row orders are drawn as
// without it), from addestramento to validazione, each set keeping the
// rows' order. false, moving nothing, when the share holds no row.
bool dividi_validazione(righe_cifre& addestramento, righe_cifre& validazione, double quota, uint64_t seme);
