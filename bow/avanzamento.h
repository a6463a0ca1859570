// The progress line of the corpus actions: on a terminal only, rewritten in
// place, and erased when the work is done, so that what stays on the screen
// is exactly the report a file or a pipe receives.
#pragma once

#include <chrono>
#include <cstddef>

struct avanzamento {
  bool terminale = false;  // standard output is a terminal
  const char* azione = "";
  size_t totale = 0;
  std::chrono::steady_clock::time_point ultima{};  // when the line was last drawn
};

// Starts the line (drawn at once, "0/totale") when standard output is a terminal.
avanzamento inizia_avanzamento(const char* azione, size_t totale);
// Redraws the line after fatti files, at most ten times a second, with the
// share of the classified files that were right (none when classificati is 0).
void segna_avanzamento(avanzamento& a, size_t fatti, long giusti = 0, long classificati = 0);
// Erases the line.
void chiudi_avanzamento(const avanzamento& a);
