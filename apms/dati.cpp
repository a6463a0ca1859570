#include "dati.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

// ---- Generator ----------------------------------------------------------------------

uint64_t prossimo(generatore& g) {
  uint64_t z = (g.stato += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double uniforme(generatore& g) { return static_cast<double>(prossimo(g) >> 11) * 0x1.0p-53; }

uint32_t sotto(generatore& g, uint32_t n) { return static_cast<uint32_t>(prossimo(g) % n); }

void mescola(std::vector<int>& ordine, generatore& g) {
  for (size_t i = ordine.size(); i-- > 1;) std::swap(ordine[i], ordine[sotto(g, static_cast<uint32_t>(i) + 1)]);
}

// ---- Shifted copies -----------------------------------------------------------------

void sposta_riga(const int32_t* da, int32_t* a, int copia) {
  if (copia == 0) {
    std::copy(da, da + N_AFFERENTI, a);
    return;
  }
  const int passi = (copia - 1) / 4 + 1, verso = (copia - 1) % 4;
  const int dx = verso == 0 ? passi : verso == 1 ? -passi : 0;
  const int dy = verso == 2 ? passi : verso == 3 ? -passi : 0;
  // Pixel (riga, colonna) comes from (riga - dy, colonna - dx): every row
  // is first copied whole between margins of zeros, then read back moved
  // (all the copies first, so no read waits on the write just before it).
  int32_t bordate[LATO_IMMAGINE][LATO_IMMAGINE + 2 * SPOSTAMENTO_MASSIMO];
  for (int r = 0; r < LATO_IMMAGINE; ++r) {
    for (int m = 0; m < SPOSTAMENTO_MASSIMO; ++m) bordate[r][m] = bordate[r][SPOSTAMENTO_MASSIMO + LATO_IMMAGINE + m] = 0;
    std::memcpy(bordate[r] + SPOSTAMENTO_MASSIMO, da + r * LATO_IMMAGINE, sizeof(int32_t) * LATO_IMMAGINE);
  }
  for (int riga = 0; riga < LATO_IMMAGINE; ++riga) {
    int32_t* fuori = a + riga * LATO_IMMAGINE;
    const int r = riga - dy;
    if (r < 0 || r >= LATO_IMMAGINE) std::memset(fuori, 0, sizeof(int32_t) * LATO_IMMAGINE);
    else std::memcpy(fuori, bordate[r] + SPOSTAMENTO_MASSIMO - dx, sizeof(int32_t) * LATO_IMMAGINE);
  }
}

int scegli_copia(int spostamenti, generatore& copie) {
  return spostamenti > 0 ? static_cast<int>(sotto(copie, 1 + 4 * static_cast<uint32_t>(spostamenti))) : 0;
}

void prendi_copia(const righe_cifre& righe, int r, int spostamenti, generatore& copie, int32_t* pixel,
                  int32_t& etichetta) {
  sposta_riga(righe.pixel.data() + static_cast<size_t>(r) * N_AFFERENTI, pixel, scegli_copia(spostamenti, copie));
  etichetta = righe.etichette[static_cast<size_t>(r)];
}

// ---- The validation share ----------------------------------------------------------

std::vector<int> righe_di_validazione(int quante, double quota, generatore& g) {
  std::vector<int> ordine(static_cast<size_t>(quante));
  std::iota(ordine.begin(), ordine.end(), 0);
  mescola(ordine, g);
  const auto da_parte = static_cast<size_t>(std::floor(quante * quota / 100.0));
  std::vector<int> scelte(ordine.begin(), ordine.begin() + static_cast<long>(da_parte));
  std::sort(scelte.begin(), scelte.end());
  return scelte;
}

bool dividi_validazione(righe_cifre& addestramento, righe_cifre& validazione, double quota, uint64_t seme) {
  generatore g{seme + 1};
  const std::vector<int> scelte = righe_di_validazione(addestramento.quante, quota, g);
  if (scelte.empty()) return false;
  righe_cifre resto;
  size_t s = 0;
  for (int r = 0; r < addestramento.quante; ++r) {
    righe_cifre& dove = s < scelte.size() && scelte[s] == r ? (++s, validazione) : resto;
    const auto* p = addestramento.pixel.data() + static_cast<size_t>(r) * N_AFFERENTI;
    dove.pixel.insert(dove.pixel.end(), p, p + N_AFFERENTI);
    dove.etichette.push_back(addestramento.etichette[static_cast<size_t>(r)]);
    ++dove.quante;
  }
  addestramento = std::move(resto);
  return true;
}
