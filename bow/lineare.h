// The linear rule of velmora_bow ("lineare"): a text is the vector of its
// words' 1 + ln n, divided by its Euclidean length; class k reads each word
// through the naive Bayes log-count ratio r_kw of the training counts; an
// averaged multiclass passive-aggressive learner (PA-I) with a bias per
// class learns one weight per word and class. The model keeps W_kw = the
// averaged weight times r_kw, and the ten biases, so that scoring needs
// neither the counts nor the ratios. docs/lineare.md tells why this rule.
//
// Every number is an IEEE double and every operation is rounded on its own,
// in the order written in lineare.cpp (no fused multiply-add, no reordered
// sums): the same texts give the same model to the last bit on every build.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "bow_lib.h"
#include "impronta.h"

// ---- Settings -----------------------------------------------------------------------
// Chosen by 5-fold cross-validation on the demo's training fortunes only.

inline constexpr double C_LINEARE = 0.05;          // PA-I's aggressiveness: the largest step one text takes
inline constexpr uint32_t EPOCHE_LINEARE = 20;     // passes over the training texts
inline constexpr uint64_t SEME_LINEARE = 1;        // splitmix64's seed for the order of the texts
inline constexpr double ALFA_LINEARE = 1.0;        // the smoothing of the ratios r (fixed, not a setting)

struct impostazioni_lineari {
  double c = C_LINEARE;              // > 0, finite
  uint32_t epoche = EPOCHE_LINEARE;  // >= 1
  uint64_t seme = SEME_LINEARE;
  bool operator==(const impostazioni_lineari&) const = default;
};

// ---- The model ------------------------------------------------------------------------

// One training text: its class and its words with their occurrences, sorted
// with no word twice, as voci_ordinate gives them.
struct testo_lineare {
  int classe;  // 0 ... 9
  std::vector<voce_parola> voci;
};

// Where a model came from: checked against Bow.txt before it scores
// (file_lineare.h), told to whoever asks.
struct provenienza_lineare {
  impronta bow;                 // the bytes of the Bow.txt saved by the run that trained it
  uint64_t fnv_corpus = 0;      // the training texts (impronta_corpus, file_lineare.h)
  uint64_t testi = 0;           // how many training texts
  impostazioni_lineari impostazioni;
  bool operator==(const provenienza_lineare&) const = default;
};

struct modello_lineare {
  std::vector<std::array<char, LUNGHEZZA_PAROLA>> parole;  // strictly ascending, zero-padded
  std::vector<std::array<double, CLASSI>> pesi;            // W_kw, per word of parole
  std::array<double, CLASSI> bias{};                       // beta_k
  std::array<bool, CLASSI> con_dati{};                     // class k's training texts hold a word
  provenienza_lineare provenienza;
  bool operator==(const modello_lineare&) const = default;
};

// Trains the model on the texts, in their order: the ratios from their
// counts (as Bow.txt would keep them after training them from empty), then
// the learner. Texts without words take part (they move the biases); a
// class whose texts hold no word has no data and is never chosen. The
// provenance holds the settings and the number of texts; its fingerprints
// are left for the caller.
modello_lineare addestra_lineare(const std::vector<testo_lineare>& testi, const impostazioni_lineari& imp = {});

// ---- Scoring ----------------------------------------------------------------------------

// For each word of voci (sorted) its index in the model, or -1 for a word the model lacks.
std::vector<long> posizioni_lineari(const modello_lineare& m, const std::vector<voce_parola>& voci);

// x_w of each word of voci: 1 + ln n (n saturated as the document bag keeps
// it) divided by the Euclidean length of that vector over the words the
// model holds; 0.0 for a word the model lacks (-1 in posizioni).
std::vector<double> componenti_lineari(const std::vector<voce_parola>& voci, const std::vector<long>& posizioni);

// What a word with component x at posizione adds to class k's score: x * W_kw,
// the very term punteggi_lineari adds.
inline double contributo_lineare(const modello_lineare& m, long posizione, double x, int k) {
  return x * m.pesi[static_cast<size_t>(posizione)][static_cast<size_t>(k)];
}

// The ten scores of a text: for each class, the contributions of its known
// words in word order, then the bias. Classes without data are scored too.
void punteggi_lineari(const modello_lineare& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]);

// The class chosen: the highest score among the classes with data, the lower
// class on a tie; 0 when no class has data.
int classe_lineare(const modello_lineare& m, const double punteggi[CLASSI]);

// ---- A text's bytes, and probabilities --------------------------------------------------

// Stand-in until the new features: the text's words as Bow.txt cleans and counts them.
testo_lineare testo_lineare_da(std::string_view byte_del_testo, int classe);
// Stand-in until the new features: punteggi_lineari of the text's words.
void punteggi_testo_lineare(const modello_lineare& m, const testo_lineare& t, double punteggi[CLASSI]);
// Stand-in until calibration: softmax_classi of the scores (sum 1, ranked as the scores, 0 without data).
void probabilita_lineari(const modello_lineare& m, const double punteggi[CLASSI], double p[CLASSI]);
