// Writes a reproducible rows file and two weight files for the benchmark:
//   bpms_genera SEME RIGHE.csv INTERCALARI.w EFFERENTI.w [N_RIGHE]
// The rows look like scanned digits: a few thick anti-aliased strokes on a
// blank 28 x 28 field, so most pixels are 0 as in real digit data.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "lib.h"

static int scrivi_pesi(const char* path, std::mt19937_64& gen, long quanti, double scala) {
  std::normal_distribution<double> normale(0.0, scala);
  std::vector<double> w(static_cast<size_t>(quanti));
  for (double& v : w) v = normale(gen);
  file_ptr f(std::fopen(path, "wb"));
  if (!f || std::fwrite(w.data(), sizeof(double), w.size(), f.get()) != w.size()) {
    std::printf("File %s: scrittura non riuscita\n", path);
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("uso: bpms_genera <seme> <righe.csv> <intercalari.w> <efferenti.w> [n_righe=10000]\n");
    return 1;
  }
  std::mt19937_64 gen(std::strtoull(argv[1], nullptr, 10));
  const long n_righe = argc > 5 ? std::atol(argv[5]) : 10000;

  file_ptr csv(std::fopen(argv[2], "w"));
  if (!csv) {
    std::printf("File %s: scrittura non riuscita\n", argv[2]);
    return 1;
  }
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::string riga;
  for (long r = 0; r < n_righe; ++r) {
    double img[LATO_IMMAGINE][LATO_IMMAGINE] = {};
    const int tratti = 2 + static_cast<int>(u(gen) * 3);
    for (int t = 0; t < tratti; ++t) {
      // A segment inside the central 20 x 20 box, about two pixels thick.
      const double x0 = 4 + 20 * u(gen), y0 = 4 + 20 * u(gen), x1 = 4 + 20 * u(gen), y1 = 4 + 20 * u(gen);
      const double spessore = 1.0 + u(gen);
      for (int y = 0; y < LATO_IMMAGINE; ++y)
        for (int x = 0; x < LATO_IMMAGINE; ++x) {
          const double dx = x1 - x0, dy = y1 - y0, l2 = dx * dx + dy * dy;
          double s = l2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / l2 : 0.0;
          s = s < 0 ? 0 : (s > 1 ? 1 : s);
          const double d = std::hypot(x - (x0 + s * dx), y - (y0 + s * dy));
          const double v = 1.0 - (d - spessore) / 1.0;  // one pixel of anti-aliasing
          if (v > img[y][x]) img[y][x] = v > 1.0 ? 1.0 : v;
        }
    }
    riga = std::to_string(static_cast<int>(u(gen) * 10));
    for (int y = 0; y < LATO_IMMAGINE; ++y)
      for (int x = 0; x < LATO_IMMAGINE; ++x) {
        riga += ',';
        riga += std::to_string(img[y][x] > 0 ? static_cast<int>(std::lround(255 * img[y][x])) : 0);
      }
    riga += '\n';
    std::fwrite(riga.data(), 1, riga.size(), csv.get());
  }
  if (std::fflush(csv.get()) != 0) {
    std::printf("File %s: scrittura non riuscita\n", argv[2]);
    return 1;
  }
  return scrivi_pesi(argv[3], gen, VALORI_INTERCALARI, 0.05) | scrivi_pesi(argv[4], gen, VALORI_EFFERENTI, 0.3);
}
