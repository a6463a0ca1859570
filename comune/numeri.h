// Numbers as the suite reads them from a command line and writes them in
// its reports. On a command line the whole argument must be the number, so
// "3x", "" and " 3 " are refused, not read as 3.
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

// v as the shortest decimal text that reads back as the same double, but
// never with fewer significant digits than its integer part has, so that 10
// reads 10 and not 1e+01: the same text for the same double on every machine.
void formatta_numero(char* testo, int capienza, double v);

// v as the shortest decimal text that reads back as the same double (as
// std::to_chars writes it: "0.1", "-12.5", "1e+300", "nan"), into testo,
// which holds at least 32 bytes; returns its length. Fast, for the lines of
// a table: the same text for the same double on every machine.
size_t scrivi_reale(char* testo, double v);
