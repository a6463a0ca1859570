// Word-bag library of velmora_bow: the word bag and its model file, the text
// cleaning and word counting, and the class scoring.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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
// Adds every word of parole to the class at once (counted in a tabella_parole,
// then merged); the same bag as one aggiorna_blocco per word.
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

enum class esito_lettura { letto, mancante, illeggibile, non_modello };

// Where a file that is not a model first shows it.
struct difetto_modello {
  long record = 0;          // 1 for the first record
  std::string motivo;       // in the words of the report ("parola fuori ordine")
};

// Whether the bytes of one record could have been written by this suite: a
// word of 1 to 31 bytes NUL-terminated within its 32, each byte one that
// the cleaning can leave in a word (0x5B ... 0x7F), and no negative count.
// The reason when not, else an empty string.
std::string difetto_record(const unsigned char* record);

// Adds the records of a model file to the bag, never printing or exiting:
// the same bag as re-adding every stored occurrence one at a time. The file
// is checked as it is read, and refused whole (`non_modello`, with the first
// bad record in difetto) unless its length is a multiple of 72, every record
// passes difetto_record and the words are in strictly ascending order. On
// `mancante` (no such file), `illeggibile` or `non_modello` the bag is left
// as it was.
esito_lettura carica_bow(bow_list& bag, const char* path, difetto_modello* difetto = nullptr);
// carica_bow that prints "File <path> non trovato" when the file could not
// be read, and why it is not a model when it is not one.
esito_lettura leggi_bow(bow_list& bag, const char* path);
// Replaces path with the bag's records through the suite's atomic write; on
// any failure prints "File <path> non trovato", leaves path as it was and returns false.
bool scrivi_bow(const blocco_bow* bag, const char* path);

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

// One word and its occurrences, as merged into a bag.
struct voce_parola {
  char parola[LUNGHEZZA_PAROLA];  // zero-padded, so memcmp over the field is strcmp order
  int64_t n;                      // occurrences, >= 1 (from a table: at most 2^32 - 1)
};

// Memory for the cells of a word table. The words of a text land all over a
// table, so past a few megabytes it is asked of the system in large pages
// where there are any: with small ones nearly every word would also miss the
// processor's cache of addresses. Throws std::bad_alloc like new.
void* prendi_celle(size_t byte);
void rendi_celle(void* p, size_t byte);

template <class T>
struct memoria_celle {
  using value_type = T;
  memoria_celle() = default;
  template <class U>
  memoria_celle(const memoria_celle<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(prendi_celle(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { rendi_celle(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const memoria_celle<U>&) const { return true; }
};

// One cell of a word table, for words of at most BYTE bytes.
template <size_t BYTE>
struct cella_parola {
  char parola[BYTE];  // zero-padded
  uint32_t hash;      // high half of the word's hash, top bit set; 0 in a free cell
  uint32_t n;         // occurrences, saturating at 2^32 - 1, past any count a model keeps
};

// Open addressing with the words in the cells, doubled before half full.
template <size_t BYTE>
struct celle_parole {
  using vettore = std::vector<cella_parola<BYTE>, memoria_celle<cella_parola<BYTE>>>;
  vettore celle = vettore(16);  // a power of two; small, for the many short texts
  size_t usate = 0;             // cells in use
};

// Occurrences of distinct words: its size follows the number of distinct
// words, never the length of the texts counted into it. One table may take
// several texts, their counts adding up. Nearly every word of a real text
// fits a 32-byte cell; the few longer ones have cells of their own, so that
// the common cells stay small.
struct tabella_parole {
  celle_parole<24> corte;   // words of at most 24 bytes
  celle_parole<32> lunghe;  // words of 25 to 31 bytes
};

// Adds one occurrence of word (taken up to its first NUL, at most 31 bytes).
void conta_parola(tabella_parole& tabella, std::string_view word);
// Adds every word of da with its occurrences to in (saturating at 2^32 - 1):
// the table that counting da's texts into in would have given.
void unisci_tabelle(tabella_parole& in, const tabella_parole& da);
// The words counted so far, sorted by word.
std::vector<voce_parola> voci_ordinate(const tabella_parole& tabella);
// Adds each entry's occurrences to the class, in one pass over the bag;
// voci sorted with no word twice (as voci_ordinate gives them).
void unisci_parole(bow_list& bag, const std::vector<voce_parola>& voci, int classe);

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
// the writeback of pulito every few megabytes (avvia_scrittura).
esito_testo conta_testo(std::FILE* testo, std::FILE* pulito, tabella_parole& tabella,
                        size_t blocco = BLOCCO_TESTO);

// ---- Class scoring ------------------------------------------------------------------

// Scores the document bag (its class-0 counts) against the model: punteggi[k]
// is exactly 0.0 for a class with no data, otherwise at most -1.0.
void classifica_testo(const blocco_bow* doc, const blocco_bow* model, double punteggi[CLASSI]);
// What a word n times in the text adds to the score of a class with data
// (T > 0) that has seen it c times: log10(c / T) x n / T, or log10(1 / T) x n
// when c is 0.
inline double termine_classe(int32_t c, int32_t T, double n) {
  if (c > 0) return (std::log10(static_cast<double>(c) / static_cast<double>(T)) * n) / T;
  return std::log10(1.0 / T) * n;
}
// One word's terms, n occurrences in the text and counts c in the model,
// added to each class's score in the order classifica_testo adds them.
void aggiungi_termini(const int32_t c[CLASSI], const int32_t totali[CLASSI], double n, double punteggi[CLASSI]);
// The last step of the score: -1.0 for every class with data.
void chiudi_punteggi(const int32_t totali[CLASSI], double punteggi[CLASSI]);
// The class a text goes to: the highest score that is not exactly 0.0 (either
// sign: a class without data), the lower class on a tie, 0 when none qualifies.
int classe_scelta(const double punteggi[CLASSI]);
