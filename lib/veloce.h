// Fast paths of the perceptron library for programs that run the digit
// network over many rows: a row reader working from a large buffer, and a
// forward pass vectorised across neurons. Both give exactly the results of
// get_image and net_recognize, bit for bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "lib.h"

// ---- Row reader ------------------------------------------------------------------
// Well-formed rows are parsed straight from the buffer; anything else (signs,
// numbers of ten or more digits, blanks before a comma, any other byte, end
// of file) is handed to get_image's own scanf reads from the exact byte where
// the fast parse stopped. A file that cannot seek (a pipe) is read by
// get_image throughout.

struct lettore_righe {
  std::FILE* file = nullptr;  // rows file, not owned; its position is kept at inizio + fine
  std::vector<char> dati;     // window over the file
  long inizio = 0;            // file offset of dati[0]
  size_t pos = 0;             // next unread byte of the window
  size_t fine = 0;            // bytes of the window that hold file content
  bool ricercabile = false;   // false: every row goes through get_image
  bool esaurito = false;      // the last fill reached end of file
};

inline constexpr size_t CAPIENZA_LETTORE = size_t{1} << 20;  // bytes of the window

// Prepares a reader starting at the file's current position (a smaller
// window only makes it fall back to scanf more often).
lettore_righe crea_lettore(std::FILE* file, size_t capienza = CAPIENZA_LETTORE);
// Reads the next row exactly as get_image would: same total, same label and
// pixels written (failed reads leave theirs unchanged), same next position.
int leggi_riga(lettore_righe& lettore, int32_t* pixels, int32_t& etichetta);
// File offset where the next read starts (ftell after get_image).
long posizione_lettore(const lettore_righe& lettore);
// The next byte as fgetc takes it (EOF at the end), for what a caller checks
// between rows.
int leggi_byte(lettore_righe& lettore);
// Gives back the byte just taken, as ungetc does; EOF gives back nothing.
void rimetti_byte(lettore_righe& lettore, int c);
// After a complete row: skips the blanks that end it and its line break (or
// the end of the file). false, stopping at it, when anything else comes
// first: more values, or text after the last pixel.
bool chiudi_riga(lettore_righe& lettore);

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
