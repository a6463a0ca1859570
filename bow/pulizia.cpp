#include "pulizia.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "scrittura.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

#ifdef __SSE2__
// Cleans 64 bytes when no run of LUNGHEZZA_MAX word characters can reach
// one of them, the run carried in counted. Otherwise it writes nothing and
// returns false: the text holds such a run, so it is refused a byte after
// the run or ends with it, and the byte-at-a-time rules take it from here.
bool pulisci_64(stato_pulizia& stato, const char* testo, char* out) {
  static_assert(LUNGHEZZA_MAX == 30, "the run test below spans 30 bytes");
  const __m128i soglia = _mm_set1_epi8(0x40);
  __m128i x[4];
  uint64_t lettere = 0;  // bit i: byte i is a word character
  for (int k = 0; k < 4; ++k) {
    x[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(testo + 16 * k));
    // A signed comparison: every byte from 0x80 up is below 0x41.
    const uint64_t m = static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(x[k], soglia)));
    lettere |= m << (16 * k);
  }
  if (stato.lunghezza + std::countr_one(lettere) >= LUNGHEZZA_MAX) return false;
  uint64_t run = lettere & (lettere >> 1);  // bit i: bytes i ... i + 1 are word characters
  run &= run >> 2;                          // ... i + 3
  run &= run >> 4;                          // ... i + 7
  run &= run >> 8;                          // ... i + 15
  run &= run >> 14;                         // ... i + 29
  if (run != 0) return false;
  for (int k = 0; k < 4; ++k) {
    const __m128i lettera = _mm_cmpgt_epi8(x[k], soglia);
    const __m128i maiuscola = _mm_and_si128(lettera, _mm_cmplt_epi8(x[k], _mm_set1_epi8('Z' + 1)));
    const __m128i minuscola = _mm_or_si128(x[k], _mm_and_si128(maiuscola, _mm_set1_epi8(0x20)));
    const __m128i y = _mm_or_si128(_mm_and_si128(lettera, minuscola), _mm_andnot_si128(lettera, _mm_set1_epi8(' ')));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), y);
  }
  stato.lunghezza = std::countl_one(lettere);
  return true;
}

// Bit i: byte i of the 64 at p is a blank.
uint64_t spazi_64(const char* p) {
  const __m128i spazio = _mm_set1_epi8(' ');
  uint64_t m = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    m |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, spazio)))} << (16 * k);
  }
  return m;
}
#endif

// The n bytes at p (n <= 31) as a zero-padded word; reads the 32 bytes at p.
chiave_parola chiave_da(const char* p, size_t n) {
  chiave_parola k;
#ifdef __SSE2__
  alignas(16) static const unsigned char uni[64] = {
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const unsigned char* m = uni + LUNGHEZZA_PAROLA - n;  // n bytes of 0xFF, then zeros
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(k.w),
                   _mm_and_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(m))));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(k.w + 2),
                   _mm_and_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 16))));
#else
  k = chiave_parola{};
  std::memcpy(&k, p, n);
#endif
  return k;
}

// Counts the words of n cleaned bytes at p: runs of anything but a blank,
// at most LUNGHEZZA_MAX bytes long. The 64 bytes after them must be blanks:
// they are read, whole groups of 64 at a time.
void conta_parole_pulite(tabella_parole& t, const char* p, size_t n) {
  in_arrivo<16> arrivo;
  size_t arrivate = 0;
#ifdef __SSE2__
  uint64_t dentro = 0;  // 1: the byte before the group belongs to a word
  size_t inizio = 0;
  bool aperta = false;
  for (size_t o = 0; o <= n; o += 64) {
    const uint64_t piene = ~spazi_64(p + o);
    uint64_t bordi = piene ^ ((piene << 1) | dentro);  // the first byte of each word and the blank after it
    dentro = piene >> 63;
    for (; bordi != 0; bordi &= bordi - 1) {
      const size_t i = o + static_cast<size_t>(std::countr_zero(bordi));
      if (aperta) arriva(t, arrivo, arrivate++, chiave_da(p + inizio, i - inizio));
      inizio = i;
      aperta = !aperta;
    }
  }
#else
  for (size_t i = 0; i < n;) {
    for (; i < n && p[i] == ' '; ++i) {}
    const size_t inizio = i;
    for (; i < n && p[i] != ' '; ++i) {}
    if (i > inizio) arriva(t, arrivo, arrivate++, chiave_da(p + inizio, i - inizio));
  }
#endif
  svuota(t, arrivo, arrivate);
}

}  // namespace

// ---- Text cleaning ------------------------------------------------------------------

size_t pulisci_testo(stato_pulizia& stato, const char* testo, size_t n, char* out) {
  size_t i = 0;
#ifdef __SSE2__
  while (i + 64 <= n && pulisci_64(stato, testo + i, out + i)) i += 64;
#endif
  for (; i < n; ++i) {
    // The length check looks at the run before this byte, whatever the byte is.
    if (stato.lunghezza >= LUNGHEZZA_MAX) return i;
    unsigned char c = static_cast<unsigned char>(testo[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    // Read as signed, every byte from 0x80 up is negative: a separator.
    if (static_cast<signed char>(c) <= 0x40) {
      out[i] = ' ';
      stato.lunghezza = 0;
    } else {
      out[i] = static_cast<char>(c);
      ++stato.lunghezza;
    }
  }
  return n;
}

// ---- Counting the words of a text ---------------------------------------------------

namespace {

constexpr size_t RIPORTO_MAX = LUNGHEZZA_PAROLA;  // room for a word cut by a block's end: at most 30 bytes
constexpr size_t CODA = 64;                       // blanks that close the last group of 64 bytes of a block

// Counts the words of the cleaned block of n bytes at dati, the first one
// joined to the riporto bytes just before dati: the word that the previous
// block's end cut. Unless the block is the last, the word cut by its own end
// is left uncounted and moved in front of dati for the next block; returns
// its length. Writes the CODA bytes after the block.
size_t conta_blocco(tabella_parole& tabella, char* dati, size_t riporto, size_t n, bool ultimo) {
  char* const inizio = dati - riporto;
  n += riporto;
  size_t taglio = 0;
  if (!ultimo)
    while (taglio < n && taglio < RIPORTO_MAX && inizio[n - 1 - taglio] != ' ') ++taglio;
  char parola[RIPORTO_MAX];
  std::memcpy(parola, inizio + n - taglio, taglio);
  std::memset(inizio + n - taglio, ' ', CODA);
  conta_parole_pulite(tabella, inizio, n - taglio);
  std::memcpy(dati - taglio, parola, taglio);
  return taglio;
}

}  // namespace

namespace {

// conta_testo's loop over blocks; leggi(dati, n) puts up to n more bytes of
// the text at dati and returns how many, fewer only at its end or an error.
template <class Leggi>
esito_testo conta_a_blocchi(Leggi leggi, std::FILE* pulito, tabella_parole& tabella, size_t blocco,
                            impronta* grezzo, std::string* copia) {
  constexpr uint64_t AVVIO = uint64_t{4} << 20;  // bytes written between two starts of the writeback
  blocco = std::max<size_t>(blocco, 1);
  std::vector<char> buffer(RIPORTO_MAX + blocco + CODA);
  char* const dati = buffer.data() + RIPORTO_MAX;
  stato_pulizia stato;
  esito_testo esito;
  size_t riporto = 0;
  uint64_t non_avviati = 0;
  long avviati = pulito ? std::max(std::ftell(pulito), 0L) : 0;  // the writeback has been started up to here
  for (bool ultimo = false; !ultimo;) {
    const size_t letti = leggi(dati, blocco);
    if (grezzo) grezzo->aggiungi(dati, letti);
    if (copia) copia->append(dati, letti);
    const size_t puliti = pulisci_testo(stato, dati, letti, dati);
    esito.puliti += puliti;
    esito.troppo_lunga = puliti < letti;
    if (pulito && !esito.errore_scrittura && puliti > 0) {
      esito.errore_scrittura = std::fwrite(dati, 1, puliti, pulito) != puliti;
      if ((non_avviati += puliti) >= AVVIO) {
        avviati = avvia_scrittura(pulito, avviati);
        non_avviati = 0;
      }
    }
    ultimo = letti < blocco || esito.troppo_lunga;
    riporto = conta_blocco(tabella, dati, riporto, puliti, ultimo);
  }
  return esito;
}

}  // namespace

esito_testo conta_testo(std::FILE* testo, std::FILE* pulito, tabella_parole& tabella, size_t blocco,
                        impronta* grezzo, std::string* copia) {
  // fread stops short only at the end of the text or at an error.
  const auto leggi = [testo](char* dati, size_t n) { return std::fread(dati, 1, n, testo); };
  esito_testo esito = conta_a_blocchi(leggi, pulito, tabella, blocco, grezzo, copia);
  esito.errore_lettura = std::ferror(testo) != 0;
  return esito;
}

esito_testo conta_byte(std::string_view testo, tabella_parole& tabella) {
  // One block that the text does not fill: its end is the end of the text.
  const auto leggi = [testo](char* dati, size_t n) {
    const size_t letti = std::min(n, testo.size());
    if (letti > 0) std::memcpy(dati, testo.data(), letti);
    return letti;
  };
  return conta_a_blocchi(leggi, nullptr, tabella, testo.size() + 1, nullptr, nullptr);
}
