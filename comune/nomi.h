// File names and command-line words as the reports print them: every
// control byte escaped, so that a name cannot forge a line of a report.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

// s with each byte below 0x20, and 0x7F, written as \n, \r, \t or \xNN,
// and the backslash as \\, so that no two names print alike; every other
// byte as it is, so an ordinary name prints unchanged.
inline std::string stampabile(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (b >= 0x20 && b != 0x7F) {
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

// s as a shell word that gives back s: as it is when it holds only
// characters no shell treats specially, else in single quotes, or, when it
// holds a control byte, in $'...' with the escapes of stampabile.
inline std::string per_la_shell(std::string_view s) {
  bool semplice = !s.empty(), controllo = false;
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    controllo = controllo || b < 0x20 || b == 0x7F;
    semplice = semplice && (std::isalnum(b) || std::string_view("_./=,:+-@%").find(c) != std::string_view::npos);
  }
  if (semplice) return std::string(s);
  std::string out = controllo ? "$'" : "'";
  for (const char c : s) {
    if (controllo && (c == '\'' || c == '\\')) out += std::string("\\") + c;
    else if (c == '\'') out += "'\\''";
    else out += controllo ? stampabile(std::string_view(&c, 1)) : std::string(1, c);
  }
  return out + "'";
}
