// Vector types of the library's fast paths. Plain GCC vectors: each
// operation on them is the same IEEE operation on every lane, so a lane
// computes what the scalar code computes, and a function built for a wider
// unit ([[gnu::target]]) uses the wider registers without other changes.
#pragma once

typedef double v2d __attribute__((vector_size(16), may_alias));  // SSE2
typedef double v4d __attribute__((vector_size(32), may_alias));  // AVX2
typedef double v8d __attribute__((vector_size(64), may_alias));  // AVX-512

// Doubles per vector of type V.
template <typename V>
inline constexpr int CORSIE = static_cast<int>(sizeof(V) / sizeof(double));
