// Scoring many texts against one model: the model laid out once in arrays,
// so that each text costs a search per word instead of walks of the list.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "bow_lib.h"

// The model as arrays, in the list's order (sorted by word).
struct modello_indicizzato {
  std::vector<std::array<char, LUNGHEZZA_PAROLA>> parole;  // zero-padded
  std::vector<std::array<int32_t, CLASSI>> conteggi;       // per word, as in the list
  int32_t totali[CLASSI] = {};                             // totale_classe of each class
};

// The model's words, counts and class totals.
modello_indicizzato indicizza_modello(const blocco_bow* model);

// For each word of voci (sorted, as voci_ordinate gives them) the index of
// its word in the model, or -1 for a word the model lacks.
std::vector<long> posizioni_nel_modello(const modello_indicizzato& m, const std::vector<voce_parola>& voci);

// The built-in rule: exactly classifica_testo on the document bag of voci
// (the same terms, added in the same order), so punteggi are equal to the
// last bit and classe_scelta names the same class.
void punteggi_velmora(const modello_indicizzato& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]);
