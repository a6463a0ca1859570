// Word-bag library: the sorted list of words, the model file, the text
// cleaning and the class scoring.
//
// The bulk paths (loading a model, adding a whole text, scoring) gather their
// words first, sort them and merge them into the list in one pass; they give
// exactly the bag that adding one occurrence at a time would give, because
// saturating addition of non-negative counts does not depend on its order.
#include "bow_lib.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "file.h"
#include "nomi.h"
#include "scrittura.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool classe_valida(int classe) { return classe >= 0 && classe < CLASSI; }

// The word as the list keeps it: up to its first NUL, at most 31 bytes.
std::string_view chiave(std::string_view word) {
  size_t fine = std::min(word.find('\0'), size_t{LUNGHEZZA_PAROLA - 1});
  return word.substr(0, fine);
}

// parola zero-padded, so that memcmp over the whole field is strcmp order.
void copia_parola(char (&parola)[LUNGHEZZA_PAROLA], std::string_view word) {
  std::memset(parola, 0, sizeof parola);
  std::memcpy(parola, word.data(), word.size());
}

int32_t somma_saturata(int32_t conteggio, int64_t aggiunta) {
  int64_t s = int64_t{conteggio} + aggiunta;
  return s > CONTEGGIO_MAX ? CONTEGGIO_MAX : static_cast<int32_t>(s);
}

// One word to merge into a bag, with the occurrences to add per class.
struct voce {
  char parola[LUNGHEZZA_PAROLA];  // zero-padded
  int64_t conteggi[CLASSI];       // >= 0, at least one > 0
};

// strcmp order of two zero-padded words, eight bytes at a time.
bool prima(const char* a, const char* b) {
  for (int i = 0; i < LUNGHEZZA_PAROLA; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x == y) continue;
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(x) < __builtin_bswap64(y);
    return x < y;
  }
  return false;
}

// Merges entries (strictly ascending words) into the bag in one pass over
// both; aggiungi(node, entry) adds the entry's counts to its word's node,
// new or not.
template <class Voce, class Aggiungi>
void fondi(bow_list& bag, const std::vector<Voce>& voci, Aggiungi aggiungi) {
  blocco_bow** link = &bag;
  for (const Voce& v : voci) {
    while (*link && std::memcmp((*link)->parola, v.parola, LUNGHEZZA_PAROLA) < 0) link = &(*link)->prossimo;
    blocco_bow* nodo = *link;
    if (!nodo || std::memcmp(nodo->parola, v.parola, LUNGHEZZA_PAROLA) != 0) {
      nodo = new blocco_bow{};
      std::memcpy(nodo->parola, v.parola, LUNGHEZZA_PAROLA);
      nodo->prossimo = *link;
      *link = nodo;
    }
    aggiungi(*nodo, v);
    link = &nodo->prossimo;
  }
}

void unisci(bow_list& bag, const std::vector<voce>& voci) {
  fondi(bag, voci, [](blocco_bow& nodo, const voce& v) {
    for (int k = 0; k < CLASSI; ++k) nodo.conteggi[k] = somma_saturata(nodo.conteggi[k], v.conteggi[k]);
  });
}

// ---- The word table -----------------------------------------------------------------

// A zero-padded word as four 64-bit pieces, compared and hashed whole.
struct chiave32 {
  uint64_t w[LUNGHEZZA_PAROLA / 8];
};

uint64_t hash_di(const chiave32& k) {
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
uint32_t etichetta(uint64_t h) { return static_cast<uint32_t>(h >> 32) | 0x80000000u; }

// Whether the cell holds the word k, which fits the cell (zeros past BYTE).
template <size_t BYTE>
bool stessa_chiave(const cella_parola<BYTE>& c, const chiave32& k) {
  uint64_t diversi = 0;
  for (size_t i = 0; i < BYTE / 8; ++i) {
    uint64_t w;
    std::memcpy(&w, c.parola + 8 * i, 8);
    diversi |= w ^ k.w[i];
  }
  return diversi == 0;
}

template <size_t BYTE>
void raddoppia(celle_parole<BYTE>& t) {
  typename celle_parole<BYTE>::vettore vecchie(t.celle.size() * 2);
  vecchie.swap(t.celle);
  const size_t maschera = t.celle.size() - 1;
  for (const cella_parola<BYTE>& c : vecchie) {
    if (c.hash == 0) continue;
    chiave32 k{};
    std::memcpy(&k, c.parola, BYTE);
    size_t i = hash_di(k) & maschera;
    while (t.celle[i].hash != 0) i = (i + 1) & maschera;
    t.celle[i] = c;
  }
}

// n more occurrences of the word k, whose hash is h (saturating).
template <size_t BYTE>
inline void conta_in(celle_parole<BYTE>& t, const chiave32& k, uint64_t h, uint32_t n = 1) {
  const size_t maschera = t.celle.size() - 1;
  const uint32_t e = etichetta(h);
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
bool lunga(const chiave32& k) { return k.w[3] != 0; }

// Long words are rare: their path stays out of the loop over a text's words.
[[gnu::noinline, gnu::cold]] void conta_lunga(tabella_parole& t, const chiave32& k, uint64_t h) {
  conta_in(t.lunghe, k, h);
}

inline void conta_chiave(tabella_parole& t, const chiave32& k, uint64_t h) {
  if (lunga(k)) {
    conta_lunga(t, k, h);
  } else {
    conta_in(t.corte, k, h);
  }
}

// n occurrences of k at once, for merging one table into another.
void conta_chiave_n(tabella_parole& t, const chiave32& k, uint32_t n) {
  if (lunga(k)) {
    conta_in(t.lunghe, k, hash_di(k), n);
  } else {
    conta_in(t.corte, k, hash_di(k), n);
  }
}

// Asks for the cell where the search for hash h starts.
template <size_t BYTE>
void anticipa(const celle_parole<BYTE>& t, uint64_t h) {
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
  chiave32 chiavi[N];
  uint64_t hash[N];
};

// Word number i joins the ones on their way; the word N places before it is counted.
template <size_t N>
inline void arriva(tabella_parole& t, in_arrivo<N>& a, size_t i, const chiave32& k) {
  const uint64_t h = hash_di(k);
  const size_t posto = i & (N - 1);
  if (i >= N) conta_chiave(t, a.chiavi[posto], a.hash[posto]);
  a.chiavi[posto] = k;
  a.hash[posto] = h;
  if (!lunga(k)) anticipa(t.corte, h);
}

// Counts the words still on their way after n arrived, oldest first.
template <size_t N>
void svuota(tabella_parole& t, in_arrivo<N>& a, size_t n) {
  for (size_t i = n > N ? n - N : 0; i < n; ++i) conta_chiave(t, a.chiavi[i & (N - 1)], a.hash[i & (N - 1)]);
}

// ---- Cleaning and counting, many bytes at a time ----------------------------------------

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
chiave32 chiave_da(const char* p, size_t n) {
  chiave32 k;
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
  k = chiave32{};
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

int32_t leggi_int32_le(const unsigned char* p) {
  uint32_t u = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  return static_cast<int32_t>(u);
}

void scrivi_int32_le(unsigned char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

}  // namespace

// ---- Word bag -------------------------------------------------------------------

void inizia_bow(bow_list& bag) { bag = nullptr; }

void libera_bow(bow_list& bag) {
  while (bag) {
    blocco_bow* prossimo = bag->prossimo;
    delete bag;
    bag = prossimo;
  }
}

void aggiorna_blocco(bow_list& bag, const char* word, int classe) {
  if (!classe_valida(classe)) return;
  char parola[LUNGHEZZA_PAROLA];
  copia_parola(parola, chiave(std::string_view(word, strnlen(word, LUNGHEZZA_PAROLA))));
  blocco_bow** link = &bag;
  for (; *link; link = &(*link)->prossimo) {
    int confronto = std::strcmp(parola, (*link)->parola);
    if (confronto == 0) {
      (*link)->conteggi[classe] = somma_saturata((*link)->conteggi[classe], 1);
      return;
    }
    if (confronto < 0) break;
  }
  auto* nodo = new blocco_bow{};
  std::memcpy(nodo->parola, parola, LUNGHEZZA_PAROLA);
  nodo->conteggi[classe] = 1;
  nodo->prossimo = *link;
  *link = nodo;
}

void aggiungi_parole(bow_list& bag, const std::vector<std::string_view>& parole, int classe) {
  if (!classe_valida(classe) || parole.empty()) return;
  tabella_parole tabella;
  for (std::string_view p : parole) conta_parola(tabella, p);
  unisci_parole(bag, voci_ordinate(tabella), classe);
}

const int32_t* ricorrenza_parola(const blocco_bow* bag, const blocco_bow* node) {
  for (; bag; bag = bag->prossimo)
    if (std::strcmp(bag->parola, node->parola) == 0) return bag->conteggi;
  return nullptr;
}

int64_t conta_parole(const blocco_bow* bag, int classe) {
  if (!classe_valida(classe)) return 0;
  int64_t totale = 0;
  for (; bag; bag = bag->prossimo) totale += bag->conteggi[classe];
  return totale;
}

int32_t totale_classe(const blocco_bow* bag, int classe) {
  // Counts are never negative, so only the upper bound needs a guard: a
  // total past it would otherwise wrap negative and hide the class's data.
  return static_cast<int32_t>(std::min<int64_t>(conta_parole(bag, classe), CONTEGGIO_MAX));
}

void mostra_bow(const blocco_bow* bag, int classe) {
  if (!classe_valida(classe)) return;
  for (; bag; bag = bag->prossimo) std::printf("%s;%d\n", bag->parola, bag->conteggi[classe]);
}

// ---- Model file -------------------------------------------------------------------

std::string difetto_record(const unsigned char* rec) {
  const auto* fine = static_cast<const unsigned char*>(std::memchr(rec, 0, LUNGHEZZA_PAROLA));
  if (!fine) return "parola senza terminatore nei suoi 32 byte";
  if (fine == rec) return "parola vuota";
  for (const unsigned char* c = rec; c < fine; ++c) {
    // Cleaning lower-cases the word characters 0x41 ... 0x7F: 0x5B ... 0x7F.
    if (*c < 0x5B || *c > 0x7F) {
      char motivo[64];
      std::snprintf(motivo, sizeof motivo, "parola con il byte 0x%02X, che la pulizia non lascia", *c);
      return motivo;
    }
  }
  for (int k = 0; k < CLASSI; ++k) {
    if (leggi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k) < 0) return "conteggio negativo nella classe " + std::to_string(k);
  }
  return {};
}

esito_lettura carica_bow(bow_list& bag, const char* path, difetto_modello* difetto) {
  file_ptr file = apri_file(path, "rb");
  if (!file) return errno == ENOENT ? esito_lettura::mancante : esito_lettura::illeggibile;

  constexpr size_t RECORD_PER_BLOCCO = 256;  // 18 KB a read: small enough to reuse, large enough to stream
  std::vector<unsigned char> blocco(RECORD_PER_BLOCCO * LUNGHEZZA_RECORD);
  std::vector<voce> voci;
  char precedente[LUNGHEZZA_PAROLA] = {};
  long record = 0;
  const auto rifiuta = [&](long r, std::string motivo) {
    if (difetto) *difetto = {r, std::move(motivo)};
    return esito_lettura::non_modello;
  };
  for (;;) {
    const size_t letti = std::fread(blocco.data(), 1, blocco.size(), file.get());
    for (size_t r = 0; r + LUNGHEZZA_RECORD <= letti; r += LUNGHEZZA_RECORD) {
      const unsigned char* rec = blocco.data() + r;
      ++record;
      if (std::string motivo = difetto_record(rec); !motivo.empty()) return rifiuta(record, std::move(motivo));
      voce v;
      copia_parola(v.parola, chiave(std::string_view(reinterpret_cast<const char*>(rec), LUNGHEZZA_PAROLA)));
      // Zero-padded words compare as strcmp does: the writer's order.
      const int ordine = std::memcmp(precedente, v.parola, LUNGHEZZA_PAROLA);
      if (record > 1 && ordine >= 0) return rifiuta(record, ordine == 0 ? "parola ripetuta" : "parola fuori ordine");
      std::memcpy(precedente, v.parola, LUNGHEZZA_PAROLA);
      bool positivo = false;
      for (int k = 0; k < CLASSI; ++k) {
        v.conteggi[k] = leggi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k);
        positivo = positivo || v.conteggi[k] > 0;
      }
      if (positivo) voci.push_back(v);
    }
    if (letti % LUNGHEZZA_RECORD != 0 && !std::ferror(file.get()))
      return rifiuta(record + 1, "il file finisce a meta' del record (la lunghezza non e' un multiplo di " +
                                     std::to_string(LUNGHEZZA_RECORD) + " byte)");
    if (letti < blocco.size()) break;
  }
  if (std::ferror(file.get())) return esito_lettura::illeggibile;
  // Sorted with no word twice: one merge into the bag.
  unisci(bag, voci);
  return esito_lettura::letto;
}

esito_lettura leggi_bow(bow_list& bag, const char* path) {
  difetto_modello difetto;
  const esito_lettura esito = carica_bow(bag, path, &difetto);
  if (esito == esito_lettura::non_modello) {
    std::printf("Il file %s non e' un modello di velmora_bow: record %ld (dal byte %ld), %s\n",
                stampabile(path).c_str(), difetto.record, (difetto.record - 1) * LUNGHEZZA_RECORD,
                difetto.motivo.c_str());
  } else if (esito != esito_lettura::letto) {
    std::printf("File <%s> non trovato\n", stampabile(path).c_str());
  }
  return esito;
}

bool scrivi_bow(const blocco_bow* bag, const char* path) {
  file_nuovo nuovo;
  bool ok = apri_file_nuovo(nuovo, path);
  unsigned char rec[LUNGHEZZA_RECORD];
  for (; ok && bag; bag = bag->prossimo) {
    std::memcpy(rec, bag->parola, LUNGHEZZA_PAROLA);
    for (int k = 0; k < CLASSI; ++k) scrivi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k, bag->conteggi[k]);
    ok = std::fwrite(rec, 1, LUNGHEZZA_RECORD, nuovo.file) == LUNGHEZZA_RECORD;
  }
  if (ok && installa_file(nuovo)) return true;
  std::printf("File <%s> non trovato\n", path);
  return false;
}

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

constexpr size_t PAGINA_GRANDE = size_t{2} << 20;
// A table starts on a cache line, so a 32-byte cell lies within one.
constexpr std::align_val_t RIGA{64};

}  // namespace

void* prendi_celle(size_t byte) {
  if (byte < PAGINA_GRANDE) return ::operator new(byte, RIGA);
  // Mapped one large page longer, then trimmed to start on a large page.
  const size_t mappati = byte + PAGINA_GRANDE;
  void* p = mmap(nullptr, mappati, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  char* inizio = static_cast<char*>(p);
  const uintptr_t indirizzo = reinterpret_cast<uintptr_t>(p);
  char* allineato = inizio + ((PAGINA_GRANDE - indirizzo % PAGINA_GRANDE) % PAGINA_GRANDE);
  if (allineato > inizio) munmap(inizio, static_cast<size_t>(allineato - inizio));
  munmap(allineato + byte, static_cast<size_t>(inizio + mappati - (allineato + byte)));
  madvise(allineato, byte, MADV_HUGEPAGE);  // only a hint: ignored where there are no large pages
  return allineato;
}

void rendi_celle(void* p, size_t byte) {
  if (byte < PAGINA_GRANDE) {
    ::operator delete(p, RIGA);
  } else {
    munmap(p, byte);
  }
}

void conta_parola(tabella_parole& tabella, std::string_view word) {
  const std::string_view w = chiave(word);
  chiave32 k{};
  std::memcpy(&k, w.data(), w.size());
  conta_chiave(tabella, k, hash_di(k));
}

namespace {

template <size_t BYTE>
void aggiungi_voci(const celle_parole<BYTE>& t, std::vector<voce_parola>& voci) {
  for (const cella_parola<BYTE>& c : t.celle) {
    if (c.hash == 0) continue;
    voce_parola v{};
    std::memcpy(v.parola, c.parola, BYTE);
    v.n = c.n;
    voci.push_back(v);
  }
}

}  // namespace

namespace {

template <size_t BYTE>
void somma_celle(tabella_parole& in, const celle_parole<BYTE>& da) {
  for (const cella_parola<BYTE>& c : da.celle) {
    if (c.hash == 0) continue;
    chiave32 k{};
    std::memcpy(&k, c.parola, BYTE);
    conta_chiave_n(in, k, c.n);
  }
}

}  // namespace

void unisci_tabelle(tabella_parole& in, const tabella_parole& da) {
  somma_celle(in, da.corte);
  somma_celle(in, da.lunghe);
}

std::vector<voce_parola> voci_ordinate(const tabella_parole& tabella) {
  std::vector<voce_parola> voci;
  voci.reserve(tabella.corte.usate + tabella.lunghe.usate);
  aggiungi_voci(tabella.corte, voci);
  aggiungi_voci(tabella.lunghe, voci);
  std::sort(voci.begin(), voci.end(),
            [](const voce_parola& a, const voce_parola& b) { return prima(a.parola, b.parola); });
  return voci;
}

void unisci_parole(bow_list& bag, const std::vector<voce_parola>& voci, int classe) {
  if (!classe_valida(classe)) return;
  fondi(bag, voci, [classe](blocco_bow& nodo, const voce_parola& v) {
    nodo.conteggi[classe] = somma_saturata(nodo.conteggi[classe], v.n);
  });
}

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

esito_testo conta_testo(std::FILE* testo, std::FILE* pulito, tabella_parole& tabella, size_t blocco) {
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
    const size_t letti = std::fread(dati, 1, blocco, testo);
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
    // fread stops short only at the end of the text or at an error.
    ultimo = letti < blocco || esito.troppo_lunga;
    riporto = conta_blocco(tabella, dati, riporto, puliti, ultimo);
  }
  esito.errore_lettura = std::ferror(testo) != 0;
  return esito;
}

// ---- Class scoring ------------------------------------------------------------------

void classifica_testo(const blocco_bow* doc, const blocco_bow* model, double punteggi[CLASSI]) {
  int32_t totali[CLASSI];
  for (int k = 0; k < CLASSI; ++k) {
    punteggi[k] = 0.0;
    totali[k] = totale_classe(model, k);
  }
  // Both lists are sorted, so walking them side by side finds for each
  // document word the same model node as a search from the head; the terms
  // are still added in document order, class by class.
  for (; doc; doc = doc->prossimo) {
    const double n = static_cast<double>(doc->conteggi[0]);
    int confronto = 1;
    while (model && (confronto = std::strcmp(model->parola, doc->parola)) < 0) model = model->prossimo;
    if (!model || confronto != 0) continue;
    aggiungi_termini(model->conteggi, totali, n, punteggi);
  }
  chiudi_punteggi(totali, punteggi);
}

void aggiungi_termini(const int32_t c[CLASSI], const int32_t totali[CLASSI], double n, double punteggi[CLASSI]) {
  for (int k = 0; k < CLASSI; ++k)
    if (totali[k] > 0) punteggi[k] = termine_classe(c[k], totali[k], n) + punteggi[k];
}

void chiudi_punteggi(const int32_t totali[CLASSI], double punteggi[CLASSI]) {
  for (int k = 0; k < CLASSI; ++k)
    if (totali[k] > 0) punteggi[k] -= 1.0;
}

int classe_scelta(const double punteggi[CLASSI]) {
  int scelta = 0;
  double migliore = -DBL_MAX;
  for (int k = 0; k < CLASSI; ++k) {
    if (punteggi[k] > migliore && punteggi[k] != 0.0) {
      migliore = punteggi[k];
      scelta = k;
    }
  }
  return scelta;
}
