// The report of valuta: per-class figures, accuracy, confusion matrix, the
// files left out, and the closing count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bow_lib.h"
#include "corpus.h"

struct file_sbagliato {
  std::string path;
  int vera;
  int scelta;
};

struct esito_valutazione {
  int64_t confusione[CLASSI][CLASSI] = {};  // [true class][chosen class]
  std::vector<file_sbagliato> sbagliati;    // in corpus order
  std::vector<scarto> scarti;               // files not classified, in corpus order
};

// Prints the report. With errori, first one line per misclassified file:
// "VERA SCELTA PATH". Then per class: files (of that true class), correct,
// precision, recall and F1 as percentages with one decimal, "-" where the
// denominator is 0; the accuracy; the confusion matrix; the files left out;
// last, "Corretti X di N".
void stampa_rapporto(const esito_valutazione& e, bool errori);
