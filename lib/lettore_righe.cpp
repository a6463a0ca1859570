// The reader parses well-formed rows from its own buffer and leaves every
// other case to the scanf reads of get_image, from the exact byte where the
// fast parse stopped.
#include "lettore_righe.h"

#include <emmintrin.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "lib.h"

// ---- Row reader ------------------------------------------------------------------

namespace {

enum class esito { fatto, corto, strano };  // read done; window ended; leave it to scanf

inline bool cifra(char c) { return static_cast<unsigned char>(c - '0') < 10; }
// The blanks of scanf in the C locale: space, \t, \n, \v, \f, \r.
inline bool spazio(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; }

// One "%d": blanks, then one to nine digits followed by something that is not
// a digit. Nine digits cannot overflow, so the value is the one scanf stores.
inline esito numero(const char*& p, const char* e, int32_t& valore) {
  const char* q = p;
  while (q < e && spazio(*q)) ++q;
  const char* prima = q;
  int32_t n = 0;
  while (q < e && cifra(*q)) {
    if (q - prima == 9) return esito::strano;
    n = n * 10 + (*q - '0');
    ++q;
  }
  if (q == e) return esito::corto;  // the number, or the blanks, may go on
  if (q == prima) return esito::strano;
  valore = n;
  p = q;
  return esito::fatto;
}

// One ",%d": the comma must come first.
inline esito virgola_numero(const char*& p, const char* e, int32_t& valore) {
  if (p == e) return esito::corto;
  if (*p != ',') return esito::strano;
  const char* q = p + 1;
  const esito r = numero(q, e, valore);
  if (r == esito::fatto) p = q;
  return r;
}

// ",%d" for the common pixel: a comma, then one to seven digits right after
// it, read eight bytes at a time. Anything else goes to virgola_numero.
inline bool virgola_cifre(const char*& p, const char* e, int32_t& valore) {
  if (e - p < 9 || *p != ',') return false;
  uint64_t x;
  std::memcpy(&x, p + 1, 8);  // first byte in the lowest position
  constexpr uint64_t UNI = 0x0101010101010101ull;
  // A byte is a digit when its high nibble is 3 and adding 6 keeps it so.
  // Carries out of a byte only start at non-digits and only move later bytes.
  const uint64_t d = ((x & (0xF0 * UNI)) ^ (0x30 * UNI)) | (((x + 0x06 * UNI) & (0xF0 * UNI)) ^ (0x30 * UNI));
  const uint64_t non_cifre = (d | ((d & (0x7F * UNI)) + 0x7F * UNI)) & (0x80 * UNI);
  if (non_cifre == 0) return false;  // eight digits or more
  const int n = __builtin_ctzll(non_cifre) / 8;
  if (n == 0) return false;  // blanks after the comma, a sign, or no number
  // Keep the n digits as values 0 ... 9, right-aligned in eight places with
  // zeros in front, and combine them in pairs, fours and eights.
  uint64_t v = ((x - 0x30 * UNI) & ((uint64_t{1} << (8 * n)) - 1)) << (8 * (8 - n));
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
  v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
  valore = static_cast<int32_t>(v);
  p += 1 + n;
  return true;
}

// Bit i of virgole (cifre) is set when p[i] is a comma (a digit), i < 64.
inline void maschere(const char* p, uint64_t& virgole, uint64_t& cifre) {
  const __m128i virgola = _mm_set1_epi8(','), zero = _mm_set1_epi8('0'), nove = _mm_set1_epi8(9);
  virgole = cifre = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i d = _mm_sub_epi8(b, zero);
    const auto v = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, virgola)));
    const auto c = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, nove), d)));
    virgole |= uint64_t{v} << (16 * i);
    cifre |= uint64_t{c} << (16 * i);
  }
}

// Value of the n digits at q, 1 <= n <= 4 (four bytes are readable).
inline int32_t quattro_cifre(const char* q, int n) {
  uint32_t x;
  std::memcpy(&x, q, 4);
  // Borrows from the bytes past the digits only reach later bytes, masked off.
  uint32_t v = static_cast<uint32_t>(((x - 0x30303030u) & ((uint64_t{1} << (8 * n)) - 1)) << (8 * (4 - n)));
  v = (v * 10 + (v >> 8)) & 0x00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0xFFFFu;
  return static_cast<int32_t>(v);
}

// Pixel reads whose one to four digits run from a comma to the next comma,
// located 64 bytes at a time from the comma masks, so finding each number
// does not wait for the previous one to be parsed. Stops, p on the comma of
// the first read not done, at the last pixel (nothing need follow it), near
// the end of the window and at anything else; the per-read path goes on.
inline void pixel_a_blocchi(const char*& p, const char* e, int& k, int32_t* pixels) {
  while (k < N_AFFERENTI && e - p >= 80) {
    uint64_t virgole, cifre;
    maschere(p, virgole, cifre);
    if (!(virgole & 1)) return;
    // The common block: commas and digits only up to its last comma, never
    // two commas together nor five digits. Every number ends at a comma.
    const int ultima = 63 - __builtin_clzll(virgole);
    const uint64_t campo = ultima == 63 ? ~uint64_t{0} : (uint64_t{2} << ultima) - 1;
    const uint64_t cinque = cifre & (cifre >> 1) & (cifre >> 2) & (cifre >> 3) & (cifre >> 4);
    if (ultima > 0 && ((virgole | cifre) & campo) == campo && (virgole & (virgole >> 1)) == 0 &&
        (cinque & campo) == 0) {
      int c = 0;
      for (uint64_t dopo = virgole & (virgole - 1); dopo && k < N_AFFERENTI; dopo &= dopo - 1) {
        const int c2 = __builtin_ctzll(dopo);
        const int n = c2 - c - 1;
        pixels[k - 1] = n == 1 ? p[c + 1] - '0' : quattro_cifre(p + c + 1, n);
        ++k;
        c = c2;
      }
      p += c;
      continue;
    }
    int c = 0;                                  // comma of the next read
    uint64_t dopo = virgole & (virgole - 1);    // the commas after it
    while (k < N_AFFERENTI && dopo) {
      const int c2 = __builtin_ctzll(dopo);
      const int n = c2 - c - 1;
      const uint64_t servono = ((uint64_t{1} << n) - 1) << (c + 1);
      if (n == 0 || n > 4 || (cifre & servono) != servono) {
        p += c;
        return;
      }
      pixels[k - 1] = quattro_cifre(p + c + 1, n);
      ++k;
      c = c2;
      dopo &= dopo - 1;
    }
    p += c;
    if (c == 0) return;  // no whole number in these 64 bytes
  }
}

// Moves the unread bytes to the front and appends what the file has next;
// false when nothing could be added (end of file, or no room left).
bool riempi(lettore_righe& l) {
  if (l.esaurito) return false;
  const size_t resto = l.fine - l.pos;
  std::memmove(l.dati.data(), l.dati.data() + l.pos, resto);
  l.inizio += static_cast<long>(l.pos);
  l.pos = 0;
  l.fine = resto;
  if (l.fine == l.dati.size()) return false;
  const size_t letti = std::fread(l.dati.data() + l.fine, 1, l.dati.size() - l.fine, l.file);
  l.fine += letti;
  if (letti < l.dati.size() - resto) l.esaurito = true;
  return letti > 0;
}

// Performs reads k ... 784 of the row (0 is the label, 1 + i pixel i) with
// get_image's own scanf calls, from the byte where the fast parse stopped.
int ricadi(lettore_righe& l, int k, int32_t* pixels, int32_t& etichetta) {
  const long da = l.inizio + static_cast<long>(l.pos);
  std::fseek(l.file, da, SEEK_SET);
  int totale = 0;
  if (k == 0) totale += std::fscanf(l.file, "%d", &etichetta);
  for (int i = (k == 0 ? 0 : k - 1); i < N_AFFERENTI; ++i) totale += std::fscanf(l.file, ",%d", &pixels[i]);
  const long a = std::ftell(l.file);
  const long fine_finestra = l.inizio + static_cast<long>(l.fine);
  if (a >= da && a <= fine_finestra) {
    // Still inside the window: go on from there, file back at its end.
    l.pos = static_cast<size_t>(a - l.inizio);
    std::fseek(l.file, fine_finestra, SEEK_SET);
  } else {
    l.inizio = a;
    l.pos = l.fine = 0;
    l.esaurito = false;
  }
  return totale;
}

}  // namespace

lettore_righe crea_lettore(std::FILE* file, size_t capienza) {
  lettore_righe l;
  l.file = file;
  l.inizio = std::ftell(file);
  l.ricercabile = l.inizio >= 0 && std::fseek(file, l.inizio, SEEK_SET) == 0;
  if (l.ricercabile) {
    // No larger a window than what is left of a regular file: a small file
    // costs no megabyte of buffer.
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= l.inizio)
      capienza = std::min(capienza, static_cast<size_t>(st.st_size - l.inizio) + 1);
    l.dati.resize(capienza > 0 ? capienza : 1);
  }
  return l;
}

int leggi_riga(lettore_righe& l, int32_t* pixels, int32_t& etichetta) {
  if (!l.ricercabile) return get_image(pixels, etichetta, l.file);
  int k = 0;  // reads done
  for (;;) {
    const char* base = l.dati.data();
    const char* p = base + l.pos;
    const char* e = base + l.fine;
    esito r = esito::fatto;
    if (k == 0) {
      r = numero(p, e, etichetta);
      if (r == esito::fatto) k = 1;
    }
    while (r == esito::fatto && k <= N_AFFERENTI) {
      pixel_a_blocchi(p, e, k, pixels);
      if (!virgola_cifre(p, e, pixels[k - 1])) r = virgola_numero(p, e, pixels[k - 1]);
      if (r == esito::fatto) ++k;
    }
    l.pos = static_cast<size_t>(p - base);
    if (k > N_AFFERENTI) return N_AFFERENTI + 1;
    if (r == esito::corto && riempi(l)) continue;
    return k + ricadi(l, k, pixels, etichetta);
  }
}

long posizione_lettore(const lettore_righe& l) {
  return l.ricercabile ? l.inizio + static_cast<long>(l.pos) : std::ftell(l.file);
}

int leggi_byte(lettore_righe& l) {
  if (!l.ricercabile) return std::fgetc(l.file);
  if (l.pos == l.fine && !riempi(l)) return EOF;
  return static_cast<unsigned char>(l.dati[l.pos++]);
}

void rimetti_byte(lettore_righe& l, int c) {
  if (c == EOF) return;
  if (!l.ricercabile)
    std::ungetc(c, l.file);
  else
    --l.pos;  // a refill only comes before a byte is taken, so it is still in the window
}

bool chiudi_riga(lettore_righe& l) {
  int c;
  while ((c = leggi_byte(l)) != EOF && c != '\n') {
    if (!spazio(static_cast<char>(c))) {
      rimetti_byte(l, c);
      return false;
    }
  }
  return true;
}
