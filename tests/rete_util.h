// Test helpers for the digit programs: weight files, CSV rows and the exact
// screens velmora_pms and velmora_bpms print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "intestazione.h"
#include "lib.h"
#include "veloce.h"
#include "run_util.h"

namespace vt {

// Every vector unit this processor has, the plain one first: the fast
// paths must give the same bits on each.
inline std::vector<livello_simd> livelli() {
  std::vector<livello_simd> v{livello_simd::base};
  if (__builtin_cpu_supports("avx2")) v.push_back(livello_simd::avx2);
  if (__builtin_cpu_supports("avx512f")) v.push_back(livello_simd::avx512);
  return v;
}

// A whole weight matrix of each layer; the files keep all but its tail.
struct Pesi {
  std::vector<double> h = std::vector<double>(N_INTERCALARI * (N_AFFERENTI + 1));
  std::vector<double> o = std::vector<double>(N_EFFERENTI * (N_INTERCALARI + 1));
  double& h_at(int neurone, int col) { return h[neurone * (N_AFFERENTI + 1) + col]; }
  double& o_at(int neurone, int col) { return o[neurone * (N_INTERCALARI + 1) + col]; }
  // Writes h.w and o.w into dir.
  void scrivi(const TempDir& dir) const {
    write_file(dir / "h.w", std::string(reinterpret_cast<const char*>(h.data()), VALORI_INTERCALARI * 8));
    write_file(dir / "o.w", std::string(reinterpret_cast<const char*>(o.data()), VALORI_EFFERENTI * 8));
  }
};

// Hidden neuron k fires on pixel k, output k follows hidden k: an image whose
// only ink is a full pixel d is recognised as d (output 99.3%, others 0.7%).
inline Pesi pesi_pixel() {
  Pesi p;
  for (int k = 0; k < N_EFFERENTI; ++k) {
    p.h_at(k, 0) = -10.0;
    p.h_at(k, k + 1) = 20.0;
    p.o_at(k, 0) = -5.0;
    p.o_at(k, k + 1) = 10.0;
  }
  return p;
}

// One CSV line: the label, then the pixels, each after sep, then a line break.
inline std::string riga(int etichetta, const std::vector<int>& px, const std::string& sep = ",") {
  std::string s = std::to_string(etichetta);
  for (int v : px) s += sep + std::to_string(v);
  return s + "\n";
}
inline std::vector<int> immagine(int pixel_acceso = -1) {
  std::vector<int> px(N_AFFERENTI, 0);
  if (pixel_acceso >= 0) px[pixel_acceso] = 255;
  return px;
}

// A small constructed data set: digit d lights the 7 x 7 block at block row
// d / 4, block column d % 4 of the 28 x 28 grid (ten of the 16 blocks), with
// a sprinkle of noise pixels drawn from a fixed xorshift sequence.
inline std::string righe_blocchi(int quante, uint32_t seme) {
  std::string csv;
  uint32_t x = seme;
  auto rnd = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (int r = 0; r < quante; ++r) {
    const int d = r % 10;
    csv += std::to_string(d);
    for (int p = 0; p < 784; ++p) {
      const int riga = p / 28, col = p % 28;
      int v = (riga / 7 == d / 4 && col / 7 == d % 4) ? 200 + static_cast<int>(rnd() % 56) : 0;
      if (rnd() % 16 == 0) v = static_cast<int>(rnd() % 256);
      csv += ',';
      csv += std::to_string(v);
    }
    csv += "\n";
  }
  return csv;
}

inline std::string banner(const std::string& titolo, bool pulisce = true) {
  return (pulisce ? "\33[2J\33[1;1H" : "") + std::string("\nvelmora_: ") + titolo + " \n\n" + VELMORA_ATTRIBUZIONE + "\n";
}
inline const std::string BANNER_PMS = banner("percettrone multistrato (pms)");
inline const std::string BANNER_BPMS = banner("benchmarck percettrone multistrato (bpms)");
// The trainer clears the screen only on a terminal: elsewhere its banner alone.
inline const std::string BANNER_APMS = banner("addestramento percettrone multistrato (apms)", false);
inline const std::string BANNER_APMS_TERMINALE = banner("addestramento percettrone multistrato (apms)");

// The cells of a 28 x 28 image drawn from screen row 9, column 2, in the given greys.
inline std::string celle(const std::vector<int>& grigi) {
  std::string s;
  for (int k = 0; k < N_AFFERENTI; ++k)
    s += "\33[" + std::to_string(9 + k / 28) + ";" + std::to_string(2 + 2 * (k % 28)) + "H\33[48;5;" +
         std::to_string(grigi[k]) + "m  \33[0m";
  return s;
}

// The result block of velmora_pms: ten percentages and the best digit.
inline std::string blocco(const std::vector<std::string>& perc, const std::string& migliore) {
  std::string s = "\n___________________________________\n| Percentuale di classificazione:"
                  "\n|----------------------------------";
  for (int k = 0; k < N_EFFERENTI; ++k) s += "\n| " + std::to_string(k) + " (" + perc[k] + "%)";
  return s + "\n\n___________________________________\n| Miglior risultato: " + migliore + "\n\n";
}

}  // namespace vt
