// IDX files, the format of MNIST and Fashion-MNIST, plain or gzipped, and
// their conversion into the CSV rows the digit programs read. Every reader
// checks as it goes and names the file in its message; nothing here exits.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "file.h"

inline constexpr uint32_t MAGIA_IMMAGINI = 2051;   // unsigned bytes, three dimensions
inline constexpr uint32_t MAGIA_ETICHETTE = 2049;  // unsigned bytes, one dimension
inline constexpr long long TESTA_IMMAGINI = 16;    // magic, count, rows, columns
inline constexpr long long TESTA_ETICHETTE = 8;    // magic, count

// An IDX file open for reading. A file that starts with gzip's magic bytes
// is inflated member after member; anything else is read as it is.
struct file_idx {
  std::string nome;                 // as the messages print it (control bytes escaped)
  file_ptr file;                    // the bytes on disk
  bool compresso = false;           // gzip
  z_stream z{};                     // the inflater, while compresso
  bool z_pronto = false;            // inflateInit2 succeeded
  bool membro_finito = true;        // the last member read so far reached its end
  std::vector<unsigned char> entrata = std::vector<unsigned char>(1 << 17);  // compressed bytes read ahead
  long long letti = 0;              // bytes delivered so far, after inflating
  file_idx() = default;
  file_idx(const file_idx&) = delete;
  file_idx& operator=(const file_idx&) = delete;
  ~file_idx();
};

// Opens path; false, after "File PATH non trovato", when it cannot be.
bool apri_idx(file_idx& f, const char* path);
// Reads from an open stream instead (for the fuzz target): f owns it.
void usa_idx(file_idx& f, file_ptr stream, const std::string& nome);

// Reads exactly n bytes, the file's content running to attesi bytes in all.
// false, with a message naming the file, when it ends early or is damaged.
bool leggi_idx(file_idx& f, void* buf, unsigned n, long long attesi);
// After the last expected byte: nothing more may follow, neither after the
// data nor after the end of the last gzip member, and a gzip stream must be
// complete. false, with the message, otherwise.
bool fine_idx(file_idx& f);

// Reads and checks both headers: magic numbers (a swapped pair is named as
// such), 28 x 28 images, the same count in both. The count on success.
bool leggi_teste(file_idx& immagini, file_idx& etichette, uint32_t& quante);

// "label,p0,...,p783\n" from the raw bytes into riga (at least 3140 bytes);
// returns its length.
size_t componi_riga(char* riga, unsigned char etichetta, const unsigned char* pixel);

// Every row, from both files in step, written to uscita; then both files
// must end. false, with the message, when a file is short, damaged or has
// more; a failed write stays on uscita's stream for its caller to report.
// With uscita null the files are only read through and checked.
bool converti_idx(file_idx& immagini, file_idx& etichette, uint32_t quante, std::FILE* uscita);
