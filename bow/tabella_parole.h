// The word table of velmora_bow: occurrences of distinct words in an open
// addressing hash table whose cells hold the words themselves, in large
// pages, with the cell of each word fetched a few words before it is counted.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "bow_lib.h"

// ---- Memory ----------------------------------------------------------------------

// Memory for the cells of a word table. The words of a text land all over a
// table, so past a few megabytes it is asked of the system in large pages
// where there are any: with small ones nearly every word would also miss the
// processor's cache of addresses. Throws std::bad_alloc like new.
void* prendi_celle(size_t byte);
void rendi_celle(void* p, size_t byte);

template <class T>
struct memoria_celle {
  using value_type = T;
  memoria_celle() = default;
  template <class U>
  memoria_celle(const memoria_celle<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(prendi_celle(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { rendi_celle(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const memoria_celle<U>&) const { return true; }
};

// ---- The table ------------------------------------------------------------------

// One cell of a word table, for words of at most BYTE bytes.
template <size_t BYTE>
struct cella_parola {
  char parola[BYTE];  // zero-padded
  uint32_t hash;      // high half of the word's hash, top bit set; 0 in a free cell
  uint32_t n;         // occurrences, saturating at 2^32 - 1, past any count a model keeps
};

// Open addressing with the words in the cells, doubled before half full.
template <size_t BYTE>
struct celle_parole {
  using vettore = std::vector<cella_parola<BYTE>, memoria_celle<cella_parola<BYTE>>>;
  vettore celle = vettore(16);  // a power of two; small, for the many short texts
  size_t usate = 0;             // cells in use
};

// Occurrences of distinct words: its size follows the number of distinct
// words, never the length of the texts counted into it. One table may take
// several texts, their counts adding up. Nearly every word of a real text
// fits a 32-byte cell; the few longer ones have cells of their own, so that
// the common cells stay small.
struct tabella_parole {
  celle_parole<24> corte;   // words of at most 24 bytes
  celle_parole<32> lunghe;  // words of 25 to 31 bytes
};

// Adds one occurrence of word (taken up to its first NUL, at most 31 bytes).
void conta_parola(tabella_parole& tabella, std::string_view word);
// Adds every word of da with its occurrences to in (saturating at 2^32 - 1):
// the table that counting da's texts into in would have given.
void unisci_tabelle(tabella_parole& in, const tabella_parole& da);
// The words counted so far, sorted by word.
std::vector<voce_parola> voci_ordinate(const tabella_parole& tabella);

// ---- Counting many words fast ------------------------------------------------------
// The hot path of a text's words, inline: a word arrives as its zero-padded
// bytes, hashed once, and is counted a few words later.

// A zero-padded word as four 64-bit pieces, compared and hashed whole.
struct chiave_parola {
  uint64_t w[LUNGHEZZA_PAROLA / 8];
};

inline uint64_t hash_parola(const chiave_parola& k) {
  uint64_t h = k.w[0] * 0x9E3779B97F4A7C15ull ^ k.w[1] * 0xC2B2AE3D27D4EB4Full ^ k.w[2] * 0x165667B19E3779F9ull ^
               k.w[3] * 0x27D4EB2F165667C5ull;
  // Folding the high bits down lets the last bytes of a piece reach the
  // low bits that pick the cell.
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  return h;
}

// The part of the hash a cell keeps, never 0 (the mark of a free cell): the
// low part picks the cell.
inline uint32_t etichetta_hash(uint64_t h) { return static_cast<uint32_t>(h >> 32) | 0x80000000u; }

// Whether the cell holds the word k, which fits the cell (zeros past BYTE).
template <size_t BYTE>
inline bool stessa_chiave(const cella_parola<BYTE>& c, const chiave_parola& k) {
  uint64_t diversi = 0;
  for (size_t i = 0; i < BYTE / 8; ++i) {
    uint64_t w;
    std::memcpy(&w, c.parola + 8 * i, 8);
    diversi |= w ^ k.w[i];
  }
  return diversi == 0;
}

// Doubles the cells, moving every word (tabella_parole.cpp).
template <size_t BYTE>
void raddoppia(celle_parole<BYTE>& t);

// n more occurrences of the word k, whose hash is h (saturating).
template <size_t BYTE>
inline void conta_in(celle_parole<BYTE>& t, const chiave_parola& k, uint64_t h, uint32_t n = 1) {
  const size_t maschera = t.celle.size() - 1;
  const uint32_t e = etichetta_hash(h);
  for (size_t i = h & maschera;; i = (i + 1) & maschera) {
    cella_parola<BYTE>& c = t.celle[i];
    if (c.hash == e && stessa_chiave(c, k)) {
      c.n = c.n > UINT32_MAX - n ? UINT32_MAX : c.n + n;
      return;
    }
    if (c.hash == 0) {
      std::memcpy(c.parola, &k, BYTE);
      c.hash = e;
      c.n = n;
      if (2 * ++t.usate > t.celle.size()) raddoppia(t);
      return;
    }
  }
}

// Words have no NUL before their end, so a word is longer than 24 bytes
// exactly when its last eight bytes are not all zero.
inline bool parola_lunga(const chiave_parola& k) { return k.w[3] != 0; }

// Long words are rare: their path stays out of the loop over a text's words.
[[gnu::noinline, gnu::cold]] void conta_lunga(tabella_parole& t, const chiave_parola& k, uint64_t h);

inline void conta_chiave(tabella_parole& t, const chiave_parola& k, uint64_t h) {
  if (parola_lunga(k)) {
    conta_lunga(t, k, h);
  } else {
    conta_in(t.corte, k, h);
  }
}

// Asks for the cell where the search for hash h starts.
template <size_t BYTE>
inline void anticipa(const celle_parole<BYTE>& t, uint64_t h) {
  const char* cella = reinterpret_cast<const char*>(&t.celle[h & (t.celle.size() - 1)]);
  __builtin_prefetch(cella);
  if (sizeof(cella_parola<BYTE>) > 32) __builtin_prefetch(cella + sizeof(cella_parola<BYTE>) - 1);
}

// Words on their way into the table. A table of many words is larger than
// the caches, so most words of a text wait for their cell to come from
// memory; a word's cell is fetched when the word is found and counted a few
// words later, so that the fetches of several words overlap.
template <size_t N>  // a power of two
struct in_arrivo {
  chiave_parola chiavi[N];
  uint64_t hash[N];
};

// Word number i joins the ones on their way; the word N places before it is counted.
template <size_t N>
inline void arriva(tabella_parole& t, in_arrivo<N>& a, size_t i, const chiave_parola& k) {
  const uint64_t h = hash_parola(k);
  const size_t posto = i & (N - 1);
  if (i >= N) conta_chiave(t, a.chiavi[posto], a.hash[posto]);
  a.chiavi[posto] = k;
  a.hash[posto] = h;
  if (!parola_lunga(k)) anticipa(t.corte, h);
}

// Counts the words still on their way after n arrived, oldest first.
template <size_t N>
inline void svuota(tabella_parole& t, in_arrivo<N>& a, size_t n) {
  for (size_t i = n > N ? n - N : 0; i < n; ++i) conta_chiave(t, a.chiavi[i & (N - 1)], a.hash[i & (N - 1)]);
}
