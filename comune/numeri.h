// Numbers typed on a command line: the whole argument must be the number,
// so "3x", "" and " 3 " are refused, not read as 3.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>

// A whole number in base 10, from minimo to massimo.
inline bool intero_in(const char* s, long minimo, long massimo, long& n) {
  char* fine = nullptr;
  errno = 0;
  n = std::strtol(s, &fine, 10);
  return fine != s && *fine == '\0' && errno == 0 && n >= minimo && n <= massimo;
}

// A finite real number.
inline bool reale_finito(const char* s, double& v) {
  char* fine = nullptr;
  v = std::strtod(s, &fine);
  return fine != s && *fine == '\0' && std::isfinite(v);
}
