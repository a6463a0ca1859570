// The fingerprint of a run of bytes: 64-bit FNV-1a and the number of bytes.
// Not a defence against anyone who means to forge it; enough to tell, with
// no dependency, whether a file is still the one it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_le.h"

struct impronta {
  uint64_t fnv = 0xCBF29CE484222325ull;  // FNV-1a's offset basis: the fingerprint of no bytes
  uint64_t byte = 0;                     // bytes taken so far

  // Takes n more bytes, in order.
  void aggiungi(const void* dati, size_t n) {
    const auto* p = static_cast<const unsigned char*>(dati);
    for (size_t i = 0; i < n; ++i) fnv = (fnv ^ p[i]) * 0x100000001B3ull;
    byte += n;
  }
  // Takes v as its eight little-endian bytes.
  void aggiungi_u64(uint64_t v) {
    unsigned char b[8];
    metti_le(b, v);
    aggiungi(b, sizeof b);
  }

  bool operator==(const impronta&) const = default;
};

// The fingerprint of the bytes of the file at path; false when it cannot be read.
bool impronta_file(const char* path, impronta& out);
