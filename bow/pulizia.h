// Cleaning a text and counting its words, as velmora_bow reads every text:
// lower-cased letters, every other byte a blank, a run of LUNGHEZZA_MAX
// word characters refused, many bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "impronta.h"
#include "tabella_parole.h"

// ---- Text cleaning --------------------------------------------------------------------

// State carried from one block of text to the next.
struct stato_pulizia {
  int lunghezza = 0;  // word characters in the current run
};

// Cleans n bytes of text into out (n bytes; out may be testo itself):
// letters lower-cased, every byte at or below 0x40 or from 0x80 up turned
// into a blank. Returns the bytes cleaned; fewer than n when the byte at that
// index follows a run of LUNGHEZZA_MAX word characters (the text is too long
// a word there).
size_t pulisci_testo(stato_pulizia& stato, const char* testo, size_t n, char* out);

// ---- Counting the words of a text ---------------------------------------------------

inline constexpr size_t BLOCCO_TESTO = size_t{1} << 17;  // bytes read, cleaned and counted at a time

// What conta_testo met on its way through a text.
struct esito_testo {
  uint64_t puliti = 0;            // bytes of text cleaned
  bool troppo_lunga = false;      // stopped where the cleaning refuses a run of LUNGHEZZA_MAX (pulisci_testo)
  bool errore_lettura = false;    // reading failed; stopped there
  bool errore_scrittura = false;  // writing to pulito failed; the rest was cleaned and counted, not written
};

// Reads testo to its end, blocco bytes at a time: cleans each block, writes
// the cleaned bytes to pulito (unless null) and counts into tabella the words
// of everything cleaned (runs of non-blanks, as "%s" reads them; a word cut
// by a block's end is joined to its rest). On a refusal or a read error the
// cleaned bytes and the words stop where the cleaning stopped. Memory: the
// block and the table, whatever the text's length. While writing, it starts
// the writeback of pulito every few megabytes (avvia_scrittura). Unless
// grezzo is null, every byte read, as read, is also taken into it; unless
// copia is null, appended to it.
esito_testo conta_testo(std::FILE* testo, std::FILE* pulito, tabella_parole& tabella,
                        size_t blocco = BLOCCO_TESTO, impronta* grezzo = nullptr, std::string* copia = nullptr);
// conta_testo of the bytes of testo, held in memory: the same words, the
// same refusal, in one block as long as the text.
esito_testo conta_byte(std::string_view testo, tabella_parole& tabella);
