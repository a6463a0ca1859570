#include "tabella_parole.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>

// ---- Memory ----------------------------------------------------------------------

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

// ---- The table ------------------------------------------------------------------

template <size_t BYTE>
void raddoppia(celle_parole<BYTE>& t) {
  typename celle_parole<BYTE>::vettore vecchie(t.celle.size() * 2);
  vecchie.swap(t.celle);
  const size_t maschera = t.celle.size() - 1;
  for (const cella_parola<BYTE>& c : vecchie) {
    if (c.hash == 0) continue;
    chiave_parola k{};
    std::memcpy(&k, c.parola, BYTE);
    size_t i = hash_parola(k) & maschera;
    while (t.celle[i].hash != 0) i = (i + 1) & maschera;
    t.celle[i] = c;
  }
}

template void raddoppia<24>(celle_parole<24>& t);
template void raddoppia<32>(celle_parole<32>& t);

void conta_lunga(tabella_parole& t, const chiave_parola& k, uint64_t h) { conta_in(t.lunghe, k, h); }

void conta_parola(tabella_parole& tabella, std::string_view word) {
  const std::string_view w = parola_chiave(word);
  chiave_parola k{};
  std::memcpy(&k, w.data(), w.size());
  conta_chiave(tabella, k, hash_parola(k));
}

namespace {

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

// Every word of da, with its occurrences, into in.
template <size_t BYTE>
void somma_celle(tabella_parole& in, const celle_parole<BYTE>& da) {
  for (const cella_parola<BYTE>& c : da.celle) {
    if (c.hash == 0) continue;
    chiave_parola k{};
    std::memcpy(&k, c.parola, BYTE);
    if (parola_lunga(k)) {
      conta_in(in.lunghe, k, hash_parola(k), c.n);
    } else {
      conta_in(in.corte, k, hash_parola(k), c.n);
    }
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
