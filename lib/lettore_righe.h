// The fast row reader of the perceptron library, for the programs that read
// many rows: it parses well-formed rows straight from a large buffer and
// gives exactly what get_image reads, bit for bit and byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// Prepares a reader starting at the file's current position, its window
// capienza bytes or what is left of a regular file, if less (a smaller
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
