// The threaded step, thread by thread before its forward pass: the inputs
// of the step's rows, listed row by row and, for a step of several rows,
// input by input. Every thread lists every row for itself, reading the rows
// where they were loaded, so no thread waits for another's lists.
#include <immintrin.h>

#include <algorithm>
#include <cmath>

#include "passo_fili_stato.h"

namespace {

const std::array<double, 256>& scala() {
  static const auto t = [] {
    std::array<double, 256> s{};
    for (int v = 0; v < 256; ++v) s[static_cast<size_t>(v)] = static_cast<double>(v) / 255.0;
    return s;
  }();
  return t;
}

// ---- Thread 0, before a step: the rows' inputs ------------------------------------

// The nonzero pixels of a row, 16 at a time: their inputs (pixel + 1) and
// values into indici and valori, which take 16 more slots than the row has
// pixels; returns how many.
int nonzeri_base(const int32_t* px, int32_t* indici, int32_t* valori) {
  int n = 0;
  for (int j0 = 0; j0 < N_AFFERENTI; j0 += 16) {
    uint32_t nonzero = 0;
    for (int b = 0; b < 16; b += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + j0 + b));
      const int zeri = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, _mm_setzero_si128())));
      nonzero |= static_cast<uint32_t>(~zeri & 0xF) << b;
    }
    while (nonzero) {
      const int j = j0 + __builtin_ctz(nonzero);
      nonzero &= nonzero - 1;
      indici[n] = j + 1;
      valori[n] = px[j];
      ++n;
    }
  }
  return n;
}

[[gnu::target("avx512f")]] int nonzeri_avx512(const int32_t* px, int32_t* indici, int32_t* valori) {
  int n = 0;
  const __m512i passo = _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  for (int j0 = 0; j0 < N_AFFERENTI; j0 += 16) {
    const __m512i v = _mm512_loadu_si512(px + j0);
    const __mmask16 k = _mm512_test_epi32_mask(v, v);
    const __m512i j = _mm512_add_epi32(passo, _mm512_set1_epi32(j0));
    _mm512_storeu_si512(indici + n, _mm512_maskz_compress_epi32(k, j));
    _mm512_storeu_si512(valori + n, _mm512_maskz_compress_epi32(k, v));
    n += __builtin_popcount(k);
  }
  return n;
}

// The nonzero pixels of the row's copy copia (as sposta_riga moves it) from
// those of the row: a move keeps the pixels that stay inside in their
// order, the pixels moved in are zeros. Returns how many are left.
int sposta_nonzeri(int copia, int32_t* indici, int32_t* valori, int quanti) {
  const int passi = (copia - 1) / 4 + 1, verso = (copia - 1) % 4;
  const int dx = verso == 0 ? passi : verso == 1 ? -passi : 0;
  const int dy = verso == 2 ? passi : verso == 3 ? -passi : 0;
  int n = 0;
  for (int k = 0; k < quanti; ++k) {
    const int p = indici[k] - 1;
    const int riga = p / LATO_IMMAGINE + dy, colonna = p % LATO_IMMAGINE + dx;
    if (riga < 0 || riga >= LATO_IMMAGINE || colonna < 0 || colonna >= LATO_IMMAGINE) continue;
    indici[n] = riga * LATO_IMMAGINE + colonna + 1;
    valori[n++] = valori[k];
  }
  return n;
}

}  // namespace

// Sizes the step's data for quante rows and takes their labels.
void prepara_dati(dati_passo& d, const int32_t* pixel, const int32_t* etichette, int quante) {
  d.quante = quante;
  d.parole = (quante + 63) / 64;
  d.pixel = pixel;
  d.etichette.assign(etichette, etichette + quante);
  d.righe.clear();
  d.copie.clear();
  d.uscite.almeno(static_cast<size_t>(quante) * PASSO_USCITE);
}

// Lists the inputs of the step's rows into el, and then for a step of
// several rows the rows input by input; an input is p / 255.0, through the
// table when p is in 0 ... 255, the same division.
void elenca_righe(const dati_passo& d, elenco& el, livello_simd livello) {
  const auto q = static_cast<size_t>(d.quante);
  el.fine.resize(q);
  el.massimo.resize(q);
  if (el.indici.size() < q * INGRESSI) {
    el.indici.resize(q * INGRESSI);
    el.valori.resize(q * INGRESSI);
  }
  if (!d.online) el.inizio.assign(INGRESSI + 1, 0);
  const auto& s = scala();
  int32_t indici[N_AFFERENTI + 16], valori[N_AFFERENTI + 16];
  for (int t = 0; t < d.quante; ++t) {
    const int r = d.righe.empty() ? t : d.righe[static_cast<size_t>(t)];
    const int32_t* px = d.pixel + static_cast<size_t>(r) * N_AFFERENTI;
    int quanti = livello == livello_simd::avx512 ? nonzeri_avx512(px, indici, valori) : nonzeri_base(px, indici, valori);
    if (!d.copie.empty() && d.copie[static_cast<size_t>(t)] != 0)
      quanti = sposta_nonzeri(d.copie[static_cast<size_t>(t)], indici, valori, quanti);
    const int n = t * INGRESSI;
    int16_t* ii = el.indici.data() + n;
    double* vv = el.valori.data() + n;
    ii[0] = 0;
    vv[0] = 1.0;
    if (!d.online) ++el.inizio[1];
    uint32_t tutti = 0;
    for (int k = 0; k < quanti; ++k) {
      const int32_t v = valori[k];
      tutti |= static_cast<uint32_t>(v);
      ii[k + 1] = static_cast<int16_t>(indici[k]);
      vv[k + 1] = static_cast<uint32_t>(v) < 256 ? s[static_cast<size_t>(v)] : static_cast<double>(v) / 255.0;
      if (!d.online) ++el.inizio[static_cast<size_t>(indici[k]) + 1];
    }
    double massimo = 1.0;  // every input is at most 1.0 when every pixel is in 0 ... 255
    if (tutti >= 256)
      for (int k = 1; k <= quanti; ++k) massimo = std::max(massimo, std::fabs(vv[k]));
    el.fine[static_cast<size_t>(t)] = n + quanti + 1;
    el.massimo[static_cast<size_t>(t)] = massimo;
  }
  if (d.online) return;  // one row corrects its weights from its own list
  for (int j = 0; j < INGRESSI; ++j) el.inizio[static_cast<size_t>(j) + 1] += el.inizio[static_cast<size_t>(j)];
  const auto voci = static_cast<size_t>(el.inizio[INGRESSI]);
  if (el.righe.size() < voci) {
    el.righe.resize(voci);
    el.x.resize(voci);
  }
  // Filled row after row, each input's next slot kept in inizio[j] (moved
  // on by one input), which ends as the input's start.
  for (int t = 0; t < d.quante; ++t)
    for (int k = t * INGRESSI; k < el.fine[static_cast<size_t>(t)]; ++k) {
      const auto posto = static_cast<size_t>(el.inizio[static_cast<size_t>(el.indici[static_cast<size_t>(k)])]++);
      el.righe[posto] = t;
      el.x[posto] = el.valori[static_cast<size_t>(k)];
    }
  for (int j = INGRESSI; j > 0; --j) el.inizio[static_cast<size_t>(j)] = el.inizio[static_cast<size_t>(j) - 1];
  el.inizio[0] = 0;
}
