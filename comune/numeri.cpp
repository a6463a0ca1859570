#include "numeri.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

void formatta_numero(char* testo, int capienza, double v) {
  int cifre = 1;
  for (; cifre < 17; ++cifre) {
    std::snprintf(testo, static_cast<size_t>(capienza), "%.*g", cifre, v);
    if (std::strtod(testo, nullptr) == v) break;
  }
  const double intera = std::fabs(v) >= 1.0 ? std::floor(std::log10(std::fabs(v))) + 1.0 : 1.0;
  cifre = std::max(cifre, static_cast<int>(std::min(intera, 17.0)));
  std::snprintf(testo, static_cast<size_t>(capienza), "%.*g", cifre, v);
}

size_t scrivi_reale(char* testo, double v) {
  const auto r = std::to_chars(testo, testo + 32, v);
  return static_cast<size_t>(r.ptr - testo);
}
