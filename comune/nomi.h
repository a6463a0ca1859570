// File names and command-line words as the reports print them: every
// control byte escaped, so that a name cannot forge a line of a report.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// s with each byte below 0x20, and 0x7F, written as \n, \r, \t or \xNN;
// every other byte as it is, so an ordinary name prints unchanged.
inline std::string stampabile(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      char esc[5];
      std::snprintf(esc, sizeof esc, "\\x%02x", b);
      out += esc;
    }
  }
  return out;
}
