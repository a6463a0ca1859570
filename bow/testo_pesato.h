// A text's words as the rule in use weighs them: what spiega prints and the
// page of valuta --rapporto draws, from the very terms the scores add, so
// both follow the rule whatever it is made of.
#pragma once

#include <vector>

#include "azioni_comuni.h"
#include "bow_lib.h"

// What the text holds, as the rule sees it.
struct testo_pesato {
  std::vector<voce_parola> voci;
  std::vector<long> posizioni;  // in the rule's model, -1 for a word it lacks
  std::vector<double> x;        // lineare: each word's component
  double punteggi[CLASSI] = {};
  int scelta = 0;
};

// The text whose words (sorted, as voci_ordinate gives them) are voci,
// weighed and scored under the rule of v.
testo_pesato pesa_testo(const valutatore& v, std::vector<voce_parola> voci);

// What word i of the text adds to class k's score: the very term the sum adds.
double termine_parola(const valutatore& v, const testo_pesato& t, size_t i, int k);

// The words of the rule's model (Bow.txt's, or Bow.lineare's under lineare).
const std::vector<std::array<char, LUNGHEZZA_PAROLA>>& parole_del_modello(const valutatore& v);

// What the model's word at posizione adds to class k's score for one
// occurrence in a text (under lineare, for a component of 1: its weight).
double termine_unitario(const valutatore& v, long posizione, int k);
