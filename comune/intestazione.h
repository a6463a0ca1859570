// The banner the digit programs open with: the program's title and the
// suite's one-line attribution, flushed at once.
#pragma once

#include <cstdio>

// One line under every banner of the suite.
inline constexpr const char* VELMORA_ATTRIBUZIONE = "velmora - apprendimento automatico su file";

// "velmora_: TITLE " on screen row 2 and the attribution on row 4 after
// clearing the screen (what is drawn below may rely on this block filling
// rows 1 to 4); without pulisci_schermo the same lines below whatever the
// terminal shows, so that a listing piped into a file stays clean.
inline void stampa_intestazione(const char* titolo, bool pulisci_schermo = true) {
  std::printf("%s\nvelmora_: %s \n", pulisci_schermo ? "\33[2J\33[1;1H" : "", titolo);
  std::printf("\n%s\n", VELMORA_ATTRIBUZIONE);
  std::fflush(stdout);
}
