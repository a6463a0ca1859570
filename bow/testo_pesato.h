// A text's words as the rule in use weighs them: what spiega prints and the
// page of valuta --rapporto draws, from the very terms the scores add, so
// both follow the rule whatever it is made of.
#pragma once

#include <string_view>
#include <vector>

#include "azioni_comuni.h"
#include "bow_lib.h"
#include "lineare.h"

// What the text holds, as the rule sees it. Its items are its words under
// the count rules, its words and pairs (its features) under lineare.
struct testo_pesato {
  std::vector<voce_parola> voci;       // the words as Bow.txt cleans them
  std::vector<long> posizioni;         // per word: count rules, in the model (-1 for a word it lacks);
                                       // lineare, the feature of that very word among tratti (-1: none the model holds)
  bool lineare = false;
  std::vector<tratto_lineare> tratti;  // lineare: the text's words and pairs, in its model or not
  double punteggi[CLASSI] = {};
  int scelta = 0;
};

// The text whose words (sorted, as voci_ordinate gives them) are voci and
// whose bytes are byte, weighed and scored under the rule of v.
testo_pesato pesa_testo(const valutatore& v, std::vector<voce_parola> voci, std::string_view byte);

// The text's items: how many, whether the model holds item i, its name and
// its occurrences, and what it adds to class k's score (the very term the sum adds).
size_t voci_del_testo(const testo_pesato& t);
bool nel_modello(const testo_pesato& t, size_t i);
const char* nome_voce(const testo_pesato& t, size_t i);
double occorrenze_voce(const testo_pesato& t, size_t i);
double termine_voce(const valutatore& v, const testo_pesato& t, size_t i, int k);

// What word i of voci adds to class k's score; 0 for a word that adds
// nothing (posizioni[i] < 0). Under lineare, its own feature's term.
double termine_parola(const valutatore& v, const testo_pesato& t, size_t i, int k);
