// Every scoring rule of velmora_bow: the built-in one, by which classifica
// names a class, and the naive Bayes rules on the same counts; and the model
// laid out once in arrays, so that scoring many texts costs a search per
// word instead of walks of the list.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bow_lib.h"

// ---- The built-in rule ------------------------------------------------------------

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

// ---- The model laid out -------------------------------------------------------------

// The model as arrays, in the list's order (sorted by word).
struct modello_indicizzato {
  std::vector<std::array<char, LUNGHEZZA_PAROLA>> parole;  // zero-padded
  std::vector<std::array<int32_t, CLASSI>> conteggi;       // per word, as in the list
  int32_t totali[CLASSI] = {};                             // totale_classe of each class
};

// The model's words, counts and class totals.
modello_indicizzato indicizza_modello(const blocco_bow* model);

// The n of the document bag: a word's occurrences in the text, saturated as
// the bag keeps a count.
inline double occorrenze(const voce_parola& v) { return static_cast<double>(std::min<int64_t>(v.n, CONTEGGIO_MAX)); }

// For each word of voci (sorted, as voci_ordinate gives them) the index of
// its word among parole (strictly ascending, zero-padded), or -1 for a word
// they lack.
std::vector<long> posizioni_tra(const std::vector<std::array<char, LUNGHEZZA_PAROLA>>& parole,
                                const std::vector<voce_parola>& voci);
// posizioni_tra the model's words.
inline std::vector<long> posizioni_nel_modello(const modello_indicizzato& m, const std::vector<voce_parola>& voci) {
  return posizioni_tra(m.parole, voci);
}

// The built-in rule: exactly classifica_testo on the document bag of voci
// (the same terms, added in the same order), so punteggi are equal to the
// last bit and classe_scelta names the same class.
void punteggi_velmora(const modello_indicizzato& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]);

// ---- The scoring rules ------------------------------------------------------------------
// Three ways of scoring the same counts. For a class k with data (a total
// T_k > 0), over the words of the text that the model holds, in word order,
// with n a word's occurrences in the text (saturated as the document bag
// keeps it), c its count in class k, V the number of words in the model and
// T the sum of the ten totals:
//   velmora      classifica_testo, base-10 logs: log10(c / T_k) x n / T_k for
//                a word the class has seen, log10(1 / T_k) x n for one it has
//                not; then -1.
//   bayes        multinomial naive Bayes: ln(T_k / T), then for each word
//                n x ln((c + alfa) / (T_k + alfa x V)).
//   complemento  complement naive Bayes (Rennie and others, 2003): with the
//                counts of every other class, c' = sum of c over j != k and
//                T' = T - T_k, each word adds n x -ln((c' + alfa) / (T' + alfa x V)):
//                the less the other classes use a word, the more it counts
//                for k. No prior. With normalizza, each class's weights are
//                divided by the sum of their magnitudes over the model's words.
// Words the model lacks are ignored by every rule. Every sum starts from its
// first term and adds the next in word order, in double precision, so a
// score is the same to the last bit on every run. Classes without data are
// never chosen.

// lineare is the learned rule of lineare.h, kept in its own file: it scores
// without these counts, and is never prepared from them here.
enum class regola { velmora, bayes, complemento, lineare };

// The defaults, chosen by 4-fold cross-validation on the demo's training
// fortunes (bench/bow_alfa.sh); the held-out fortunes took no part. With
// its weights normalised (as Rennie and others propose) the complement rule
// got at best 2169 of 3441 texts right, the plain weights 2195: they are kept.
inline constexpr double ALFA_BAYES = 0.1;
inline constexpr double ALFA_COMPLEMENTO = 1.0;
inline constexpr bool NORMALIZZA_COMPLEMENTO = false;
// The range of the smoothing --alfa takes. Past the largest, alfa x V, and
// with it the weights, would leave the doubles on a large model: 1e308
// scored every text as not a number. Below the smallest, alfa / T for a
// word a class has not seen can round to 0 on a large class, and its
// logarithm to -inf: 8e-322 gave such a score. From 1e-10 up it cannot.
inline constexpr double ALFA_MINIMA = 1e-10;
inline constexpr double ALFA_MASSIMA = 1e6;

inline bool alfa_accettata(double alfa) { return alfa >= ALFA_MINIMA && alfa <= ALFA_MASSIMA; }

struct punteggio {
  regola tipo = regola::velmora;
  double alfa = 0.0;        // smoothing of bayes and complemento, > 0
  bool normalizza = false;  // complemento only
};

// A rule's weights, worked out once for a model: what one occurrence of
// each word adds to each class's score (bayes, complemento).
struct pesi_regola {
  punteggio p;
  bool con_dati[CLASSI] = {};                    // T_k > 0
  double base[CLASSI] = {};                      // bayes: ln(T_k / T); complemento: 0
  std::vector<std::array<double, CLASSI>> pesi;  // per word of the model
};

pesi_regola prepara_regola(const modello_indicizzato& m, punteggio p);

// What the word at posizione (in the model), n times in the text, adds to
// class k's score: the very value the sum adds. 0 for a class without data.
double termine(const modello_indicizzato& m, const pesi_regola& r, long posizione, double n, int k);

// The ten scores of a text under the rule; punteggi_velmora for velmora.
// A class without data scores 0.0 under every rule.
void punteggi_regola(const modello_indicizzato& m, const pesi_regola& r, const std::vector<voce_parola>& voci,
                     const std::vector<long>& posizioni, double punteggi[CLASSI]);

// The class chosen: for velmora classe_scelta; for the others the highest
// score among the classes with data, the lower class on a tie, 0 when no
// class has data.
int classe_regola(const pesi_regola& r, const double punteggi[CLASSI]);

// ---- Probabilities ------------------------------------------------------------------------

// The softmax of the scores, read as natural logarithms, over the classes
// with data: each p_k = exp(s_k - m) / sum, m the largest score among them,
// the sum taken in class order; 0.0 for a class without data, and for every
// class when none has data. The largest gets exp(0) = 1, so the sum is at
// least 1 and nothing overflows; the p_k of the classes with data sum to 1
// within the rounding, and a higher score never gets a lower p.
void softmax_classi(const double punteggi[CLASSI], const bool con_dati[CLASSI], double p[CLASSI]);

// The probability of each class under bayes or complemento (never velmora):
// softmax_classi of the scores, each the log of the class's joint likelihood
// with the text (bayes: prior times the multinomial likelihood; complemento:
// the complement weights, as scikit-learn's ComplementNB.predict_proba reads them).
void probabilita_regola(const pesi_regola& r, const double punteggi[CLASSI], double p[CLASSI]);

// The rule named nome ("velmora", "bayes", "complemento", "lineare") with
// its default smoothing; false for any other name.
bool regola_da_nome(const char* nome, punteggio& p);
// The rule's name.
const char* nome_regola(regola r);
