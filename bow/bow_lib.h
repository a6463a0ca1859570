// Word-bag library of velmora_bow: the word bag, its model file, and the
// built-in score of a text against the model. The word table, the cleaning
// of a text and the other scoring rules have their own files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- Sizes ----------------------------------------------------------------------

inline constexpr int CLASSI = 10;             // classes 0 ... 9
inline constexpr int LUNGHEZZA_MAX = 30;      // longest run of word characters in a cleaned text
inline constexpr int LUNGHEZZA_PAROLA = 32;   // bytes of parola, terminator included
inline constexpr int LUNGHEZZA_RECORD = 72;   // bytes of one record of the model file
inline constexpr int32_t CONTEGGIO_MAX = 2147483647;  // counts and kept totals saturate here

// ---- Records --------------------------------------------------------------------

struct blocco_bow {
  char parola[LUNGHEZZA_PAROLA];  // NUL-terminated, zeros after the terminator
  int32_t conteggi[CLASSI];       // occurrences per class, 0 ... CONTEGGIO_MAX
  blocco_bow* prossimo;           // next word in byte order; null at the end
};

// A word bag: the first node of a list sorted by strictly ascending parola
// (strcmp order), or null when empty.
using bow_list = blocco_bow*;

// One word and its occurrences, as merged into a bag.
struct voce_parola {
  char parola[LUNGHEZZA_PAROLA];  // zero-padded, so memcmp over the field is strcmp order
  int64_t n;                      // occurrences, >= 1 (from a table: at most 2^32 - 1)
};

// The word as a bag keeps it: up to its first NUL, at most 31 bytes.
inline std::string_view parola_chiave(std::string_view word) {
  return word.substr(0, std::min(word.find('\0'), size_t{LUNGHEZZA_PAROLA - 1}));
}

// ---- Word bag -------------------------------------------------------------------
// A word is taken up to its first NUL and at most 31 bytes. A class index
// outside 0 ... 9 is ignored: nothing is counted, printed or summed for it.

// Makes the bag empty without freeing anything.
void inizia_bow(bow_list& bag);
// Frees every node of the bag and makes it empty.
void libera_bow(bow_list& bag);

// A word bag that frees its nodes when it goes out of scope.
struct borsa {
  bow_list testa = nullptr;
  borsa() = default;
  borsa(const borsa&) = delete;
  borsa& operator=(const borsa&) = delete;
  ~borsa() { libera_bow(testa); }
};

// Adds one occurrence of word to the class (the count saturates at CONTEGGIO_MAX).
void aggiorna_blocco(bow_list& bag, const char* word, int classe);
// Adds each entry's occurrences to the class, in one pass over the bag;
// voci sorted with no word twice (as voci_ordinate gives them): the same bag
// as one aggiorna_blocco per occurrence, since saturating sums of
// non-negative counts do not depend on their order.
void unisci_parole(bow_list& bag, const std::vector<voce_parola>& voci, int classe);
// The ten counts of the bag's node whose word is that of node, or null when absent.
const int32_t* ricorrenza_parola(const blocco_bow* bag, const blocco_bow* node);
// Sum of the class's counts over the bag, in 64 bits; 0 for an invalid class.
int64_t conta_parole(const blocco_bow* bag, int classe);
// The class total as callers keep it: conta_parole saturated at CONTEGGIO_MAX.
int32_t totale_classe(const blocco_bow* bag, int classe);
// Prints every node as "word;count\n" with its count for the class, until
// standard output fails.
void mostra_bow(const blocco_bow* bag, int classe);

// ---- Model file -------------------------------------------------------------------
// 72-byte records: parola (32 bytes), then ten little-endian int32 counts.

enum class esito_lettura { letto, mancante, illeggibile, non_modello };

// Where a file that is not a model first shows it, or why one cannot be read.
struct difetto_modello {
  long record = 0;          // 1 for the first record; 0 when the file cannot be read
  std::string motivo;       // in the words of the report ("parola fuori ordine", "e' una cartella")
};

// Whether the 32 bytes of a stored word could have been written by this
// suite: 1 to 31 bytes NUL-terminated within the 32, each one that the
// cleaning can leave in a word (0x5B ... 0x7F). The reason when not, else
// an empty string. The bytes after the terminator are not looked at.
std::string difetto_parola(const unsigned char* parola);
// Whether the bytes of one record could have been written by this suite: a
// word that passes difetto_parola and no negative count. The reason when
// not, else an empty string.
std::string difetto_record(const unsigned char* record);

// Adds the records of a model file to the bag, never printing or exiting:
// the same bag as re-adding every stored occurrence one at a time. The file
// is checked as it is read, and refused whole (`non_modello`, with the first
// bad record in difetto) unless its length is a multiple of 72, every record
// passes difetto_record and the words are in strictly ascending order. The
// file is opened without waiting: anything but a regular file (a folder, a
// FIFO) is `illeggibile`, as is one that cannot be opened or read, with the
// reason in difetto. On `mancante` (no such file), `illeggibile` or
// `non_modello` the bag is left as it was.
esito_lettura carica_bow(bow_list& bag, const char* path, difetto_modello* difetto = nullptr);
// carica_bow that prints "File <path> non trovato" when there is no such
// file, "Il file PATH non si puo' leggere: REASON" when it cannot be read,
// and why it is not a model when it is not one (on messaggi()).
esito_lettura leggi_bow(bow_list& bag, const char* path);
// Replaces path with the bag's records through the suite's atomic write; on
// any failure prints "File <path> non trovato" (and its cause on standard
// error), leaves path as it was and returns false.
bool scrivi_bow(const blocco_bow* bag, const char* path);

// ---- Class scoring ------------------------------------------------------------------

// Scores the document bag (its class-0 counts) against the model with the
// built-in rule (punteggi.h): punteggi[k] is exactly 0.0 for a class with no
// data, otherwise at most -1.0.
void classifica_testo(const blocco_bow* doc, const blocco_bow* model, double punteggi[CLASSI]);
