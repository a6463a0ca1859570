// The linear rule of velmora_bow ("lineare"). A text is read its own way,
// not through Bow.txt's cleaning: UTF-8 letters and digits make words
// (`citta'` and `città` both stay whole), lower-cased; its words and its
// pairs of adjacent words are hashed into a fixed table of slots. Each slot
// the text holds weighs (1 + ln n) x idf, and the vector is divided by its
// Euclidean length. One linear classifier per class (one against the rest,
// L2-regularised L2-loss SVM solved exactly in the dual by coordinate
// descent, with a bias feature) scores it; optionally each class reads the
// features through its naive Bayes log-count ratios. C, the pairs and the
// ratios are chosen by stratified k-fold cross-validation on the training
// texts alone, and a softmax temperature fitted on the out-of-fold scores
// turns the ten scores into probabilities. docs/lineare.md tells the method.
//
// Every number is an IEEE double and every operation is rounded on its own,
// in the order written in lineare.cpp (no fused multiply-add, no reordered
// sums), and every shuffle comes from one splitmix64 seeded by a constant:
// the same texts give the same model to the last bit on every build.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bow_lib.h"
#include "impronta.h"

// ---- Features -----------------------------------------------------------------------

// The table: 2^19 slots for words, 2^19 for pairs of adjacent words (the top bit).
inline constexpr int BIT_POSTO = 20;
inline constexpr uint32_t POSTI_LINEARI = uint32_t{1} << BIT_POSTO;
inline constexpr uint32_t POSTO_COPPIA = POSTI_LINEARI >> 1;  // set in a pair's slot
inline constexpr uint32_t MASCHERA_POSTO = POSTI_LINEARI - 1;
// A slot's occurrences in one text, as kept: at most 4095.
inline constexpr uint32_t OCCORRENZE_MAX_LINEARI = (uint32_t{1} << (32 - BIT_POSTO)) - 1;

// One text as the linear rule reads it: its class, the FNV-1a 64 of its
// bytes (which fixes its fold), and its slots with their occurrences, one
// uint32 each (slot in the low BIT_POSTO bits, occurrences above), sorted
// by slot, no slot twice.
struct testo_lineare {
  int classe = 0;  // 0 ... 9
  uint64_t impronta = 0;
  std::vector<uint32_t> voci;
};
inline uint32_t posto_di(uint32_t voce) { return voce & MASCHERA_POSTO; }
inline uint32_t occorrenze_di(uint32_t voce) { return voce >> BIT_POSTO; }
inline bool e_coppia(uint32_t posto) { return (posto & POSTO_COPPIA) != 0; }

// The words of a text: maximal runs of letters and digits (ASCII, and every
// well-formed UTF-8 character from U+00C0 up but the punctuation and
// symbol blocks), lower-cased (ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic); every other byte separates words. Calls parola for each, in order.
template <class F>
void parole_lineari(std::string_view byte, F&& parola);
// The slot of a word, and of the pair "a b".
uint32_t posto_parola(std::string_view parola);
uint32_t posto_coppia(std::string_view prima, std::string_view seconda);

// A text's raw bytes as the linear model reads them.
testo_lineare testo_lineare_da(std::string_view byte_del_testo, int classe);

// ---- Settings ------------------------------------------------------------------------

// The settings cross-validation chooses among.
struct scelta_lineare {
  double c = 1.0;          // the SVM's C, > 0
  bool coppie = true;      // pairs of adjacent words as features
  bool rapporti = false;   // each class reads the features through its NB log-count ratios
  bool operator==(const scelta_lineare&) const = default;
};

inline constexpr uint32_t PIEGHE_LINEARI = 5;                       // folds of the choice
inline constexpr std::array<double, 4> GRIGLIA_C = {0.1, 0.3, 1.0, 3.0};
inline constexpr uint64_t SEME_LINEARE = 1;                         // splitmix64's seed for the solver's order

struct impostazioni_lineari {
  uint32_t pieghe = PIEGHE_LINEARI;  // >= 2: choose by cross-validation; 0: train fissa as it is
  scelta_lineare fissa;              // used when pieghe is 0
  bool operator==(const impostazioni_lineari&) const = default;
};

// ---- Folds (shared with convalida) ------------------------------------------------------

// The fold of each text, 0 ... pieghe - 1, stratified: within each class the
// texts sorted by the fingerprint of their bytes (then by index), the r-th
// going to fold r mod pieghe. The same texts give the same folds on every run,
// whatever their order on disk.
std::vector<uint8_t> assegna_pieghe(const std::vector<int>& classi, const std::vector<uint64_t>& impronte,
                                    uint32_t pieghe);

// ---- The model ------------------------------------------------------------------------

// Where a model came from: checked against Bow.txt before it scores
// (file_lineare.h), told to whoever asks.
struct provenienza_lineare {
  impronta bow;             // the bytes of the Bow.txt saved by the run that trained it
  uint64_t fnv_corpus = 0;  // the training texts (impronta_corpus, file_lineare.h)
  uint64_t testi = 0;       // how many training texts
  bool operator==(const provenienza_lineare&) const = default;
};

struct modello_lineare {
  scelta_lineare scelta;                        // the settings it was trained with
  uint32_t pieghe = 0;                          // folds of the choice, 0 when none
  double accuratezza_cv = 0.0;                  // the chosen settings' cross-validated accuracy (0 without)
  double temperatura = 1.0;                     // of the softmax, > 0
  double cima_a = 1.0, cima_b = 0.0;            // the top class's probability q becomes s(a logit q + b); a > 0
  std::vector<uint32_t> posti;                  // the slots with a weight, strictly ascending
  std::vector<double> idf;                      // per slot
  std::vector<std::array<double, CLASSI>> pesi; // W_kj, per slot
  std::array<double, CLASSI> bias{};            // beta_k
  std::array<bool, CLASSI> con_dati{};          // class k has a training text with a feature
  provenienza_lineare provenienza;
  bool operator==(const modello_lineare&) const = default;
};

// What the cross-validation found, for the report.
struct esito_scelta {
  scelta_lineare scelta;
  double accuratezza = 0.0;  // out-of-fold, of the chosen settings
  double temperatura = 1.0;
};

// Trains the model on the texts: chooses the settings by cross-validation
// (unless imp.pieghe is 0), then trains on all of them and fits the
// temperature on the chosen settings' out-of-fold scores. A class whose
// texts hold no feature has no data and is never chosen. The provenance's
// fingerprints are left for the caller.
modello_lineare addestra_lineare(const std::vector<testo_lineare>& testi, const impostazioni_lineari& imp = {});

// ---- Scoring ----------------------------------------------------------------------------

// The ten scores of a text: beta_k plus the sum over its slots the model
// holds of x_j W_kj, x_j = (1 + ln n_j) idf_j over the vector's length.
void punteggi_testo_lineare(const modello_lineare& m, const testo_lineare& t, double punteggi[CLASSI]);
// The class chosen: the highest score among the classes with data, the lower
// class on a tie; 0 when no class has data.
int classe_lineare(const modello_lineare& m, const double punteggi[CLASSI]);
// The probabilities, over the classes with data (0 for the others): the
// softmax of the scores over the temperature; then the top class's q
// becomes sigma(a logit q + b), never below the next class's, and the
// others share 1 - that in the softmax's proportions. They sum to 1 and
// rank as the scores.
void probabilita_lineari(const modello_lineare& m, const double punteggi[CLASSI], double p[CLASSI]);

// One feature of a text as spiega shows it: its words ("a" or "a b"; the
// texts' words that share a slot joined by " | "), occurrences, its x_j and
// its index in the model (-1 when the model lacks it).
struct tratto_lineare {
  std::string nome;
  uint32_t posto = 0;
  uint32_t n = 0;
  double x = 0.0;
  long indice = -1;
};
// The features of the text at byte, in slot order, with the very x_j the scores use.
std::vector<tratto_lineare> tratti_lineari(const modello_lineare& m, std::string_view byte);
// What a feature adds to class k's score: x_j W_kj, the very term punteggi_testo_lineare adds.
inline double contributo_lineare(const modello_lineare& m, const tratto_lineare& t, int k) {
  return t.x * m.pesi[static_cast<size_t>(t.indice)][static_cast<size_t>(k)];
}

// ---- The texts in one block ----------------------------------------------------------------

// Many texts kept as addestra_lineare reads them: their slots in one array,
// so that a text costs its slots and 13 bytes more, whatever its length.
struct corpus_lineare {
  std::vector<uint32_t> voci;    // every text's slots, text after text
  std::vector<size_t> inizio{0}; // text i: voci[inizio[i] ... inizio[i + 1])
  std::vector<int8_t> classi;
  std::vector<uint64_t> impronte;
  size_t size() const { return classi.size(); }
  void aggiungi(const testo_lineare& t);
};
// Takes the block, which it lets go before the final model's solver runs.
modello_lineare addestra_lineare(corpus_lineare testi, const impostazioni_lineari& imp = {});

// ---- Inline: the tokenizer -------------------------------------------------------------------

namespace lineare_dettaglio {
// The code point at s[i] if it begins a well-formed UTF-8 sequence of 2 to 4
// bytes (its length in l), else -1.
inline long punto_utf8(std::string_view s, size_t i, size_t& l) {
  const auto b = [&](size_t j) { return static_cast<unsigned char>(s[j]); };
  const unsigned char c = b(i);
  long cp;
  if (c >= 0xC2 && c <= 0xDF) { l = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { l = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { l = 4; cp = c & 0x07; }
  else return -1;
  if (i + l > s.size()) return -1;
  for (size_t j = 1; j < l; ++j) {
    if ((b(i + j) & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b(i + j) & 0x3F);
  }
  static constexpr long MINIMO[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < MINIMO[l] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}
// Whether a code point from U+0080 up is part of a word.
inline bool lettera(long cp) {
  if (cp < 0xC0 || cp == 0xD7 || cp == 0xF7) return false;
  if (cp >= 0x2000 && cp <= 0x2BFF) return false;  // punctuation, symbols, arrows, boxes
  if (cp >= 0x3000 && cp <= 0x303F) return false;  // CJK punctuation
  if (cp >= 0xFE30 && cp <= 0xFE4F) return false;
  if (cp >= 0xFF00 && cp <= 0xFF0F) return false;
  if (cp >= 0xE000 && cp <= 0xF8FF) return false;  // private use
  if (cp >= 0x1F000) return false;                  // emoji and the like
  return true;
}
inline long minuscola(long cp) {
  if ((cp >= 0xC0 && cp <= 0xDE) || (cp >= 0x391 && cp <= 0x3A9) || (cp >= 0x410 && cp <= 0x42F)) return cp + 0x20;
  if (cp >= 0x400 && cp <= 0x40F) return cp + 0x50;
  if ((cp >= 0x100 && cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177)) return cp | 1;
  if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E)) return cp + (cp & 1);
  if (cp == 0x178) return 0xFF;
  return cp;
}
inline void metti_utf8(std::string& s, long cp) {
  if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  s += static_cast<char>(0x80 | (cp & 0x3F));
}
}  // namespace lineare_dettaglio

template <class F>
void parole_lineari(std::string_view byte, F&& parola) {
  using namespace lineare_dettaglio;
  std::string w;
  for (size_t i = 0; i < byte.size();) {
    const unsigned char c = static_cast<unsigned char>(byte[i]);
    if (c < 0x80) {
      ++i;
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        w += static_cast<char>(c);
        continue;
      }
      if (c >= 'A' && c <= 'Z') {
        w += static_cast<char>(c + 32);
        continue;
      }
    } else {
      size_t l = 1;
      const long cp = punto_utf8(byte, i, l);
      i += cp < 0 ? 1 : l;
      if (cp >= 0 && lettera(cp)) {
        metti_utf8(w, minuscola(cp));
        continue;
      }
    }
    if (!w.empty()) parola(std::string_view(w));
    w.clear();
  }
  if (!w.empty()) parola(std::string_view(w));
}
