// Numbers as the suite's files store them: little-endian bytes, whatever
// the machine's own order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Writes v to p[0 .. sizeof v), lowest byte first.
template <typename U>
inline void metti_le(unsigned char* p, U v) {
  static_assert(std::is_unsigned_v<U>);
  for (size_t i = 0; i < sizeof(U); ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Reads a U from p[0 .. sizeof(U)), lowest byte first.
template <typename U>
inline U prendi_le(const unsigned char* p) {
  static_assert(std::is_unsigned_v<U>);
  U v = 0;
  for (size_t i = sizeof(U); i-- > 0;) v = static_cast<U>(v << 8 | p[i]);
  return v;
}
