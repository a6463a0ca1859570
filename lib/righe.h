// Digit rows as the programs that read a whole rows file take them: each
// row checked, one at a time or all of them into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "lettore_righe.h"
#include "lib.h"

// Every row of a rows file, in memory.
struct righe_cifre {
  std::vector<int32_t> pixel;      // quante x N_AFFERENTI, row after row
  std::vector<int32_t> etichette;  // quante labels, each 0 ... 9
  int quante = 0;
};

enum class esito_riga_csv {
  letta,            // the label, 784 values and nothing more on the line; the label a digit
  fine,             // only blanks and line breaks were left
  non_valida,       // fewer values, more values, or anything else on the line
  etichetta_fuori,  // a whole row whose label is not 0 ... 9
};

// The next row, read exactly as get_image reads it (with the library's fast
// reader, or get_image itself on a straightforward reader), then checked.
esito_riga_csv leggi_riga_controllata(lettore_righe& lettore, int32_t* pixel, int32_t& etichetta);
// The refusal of row riga of path ("Riga R del file PATH non valida", or
// its label out of range), for esito non_valida or etichetta_fuori.
void stampa_riga_rifiutata(esito_riga_csv esito, int riga, const char* path, int32_t etichetta);

// Reads every row of the open file f into righe. false after the refusal of
// the first bad row is printed. With diretta every read is get_image's and
// fgetc's own: the same rows, for comparison.
bool carica_righe(std::FILE* f, const char* path, righe_cifre& righe, bool diretta = false);

// Copies row r of the set into rete.pixel and rete.etichetta.
void prendi_riga(rete_cifre& rete, const righe_cifre& righe, int r);
