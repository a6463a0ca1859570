// Word-bag library of velmora_bow: the word bag and its model file, the text
// cleaning and word reading, and the class scoring.
#pragma once

#include <cstddef>
#include <cstdint>
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
// Adds every word of parole to the class at once; the same bag as one aggiorna_blocco per word.
void aggiungi_parole(bow_list& bag, const std::vector<std::string_view>& parole, int classe);
// The ten counts of the bag's node whose word is that of node, or null when absent.
const int32_t* ricorrenza_parola(const blocco_bow* bag, const blocco_bow* node);
// Sum of the class's counts over the bag, in 64 bits; 0 for an invalid class.
int64_t conta_parole(const blocco_bow* bag, int classe);
// The class total as callers keep it: conta_parole saturated at CONTEGGIO_MAX.
int32_t totale_classe(const blocco_bow* bag, int classe);
// Prints every node as "word;count\n" with its count for the class.
void mostra_bow(const blocco_bow* bag, int classe);

// ---- Model file -------------------------------------------------------------------
// 72-byte records: parola (32 bytes), then ten little-endian int32 counts.

enum class esito_lettura { letto, mancante, illeggibile };

// Adds the records of a model file to the bag, never printing or exiting: the
// same bag as re-adding every stored occurrence one at a time. A trailing
// fragment is ignored; a parola without NUL is cut at 31 bytes. On
// `mancante` (no such file) or `illeggibile` the bag is left as it was.
esito_lettura carica_bow(bow_list& bag, const char* path);
// carica_bow that prints "File <path> non trovato" when the file could not be read.
esito_lettura leggi_bow(bow_list& bag, const char* path);
// Replaces path with the bag's records through the suite's atomic write; on
// any failure prints "File <path> non trovato", leaves path as it was and returns false.
bool scrivi_bow(const blocco_bow* bag, const char* path);

// ---- Text cleaning and word reading -------------------------------------------------

// State carried from one block of text to the next.
struct stato_pulizia {
  int lunghezza = 0;  // word characters in the current run
};

// Cleans n bytes of text into out (n bytes): letters lower-cased, every byte
// at or below 0x40 or from 0x80 up turned into a blank. Returns the bytes
// cleaned; fewer than n when the byte at that index follows a run of
// LUNGHEZZA_MAX word characters (the text is too long a word there).
size_t pulisci_testo(stato_pulizia& stato, const char* testo, size_t n, char* out);
// Splits a cleaned text at white space, appending the words (views into testo)
// to parole. Returns false at a word longer than LUNGHEZZA_MAX bytes or
// holding a NUL, which a cleaned text never has; parole then holds the words before it.
bool dividi_parole(std::string_view testo, std::vector<std::string_view>& parole);

// ---- Class scoring ------------------------------------------------------------------

// Scores the document bag (its class-0 counts) against the model: punteggi[k]
// is exactly 0.0 for a class with no data, otherwise at most -1.0.
void classifica_testo(const blocco_bow* doc, const blocco_bow* model, double punteggi[CLASSI]);
// The class a text goes to: the highest score that is not exactly 0.0 (either
// sign: a class without data), the lower class on a tie, 0 when none qualifies.
int classe_scelta(const double punteggi[CLASSI]);
