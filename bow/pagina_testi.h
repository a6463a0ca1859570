// The page of velmora_bow valuta --rapporto: one self-contained HTML file
// (comune/pagina.h) that shows how the rule in use did on a labelled corpus.
// It holds the per-class precision, recall, F1 and support; the confusion
// heat map, each cell linking to the list of its texts; per class, the
// words that weigh most for it under the rule; and the misclassified texts,
// each drawn with its words shaded by how much they pushed toward the
// chosen class against the true one (the terms spiega prints). Every
// figure is also in the page's JSON block. docs/pagine_testi.md tells how
// each figure is made.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "azioni_comuni.h"
#include "corpus.h"
#include "rapporto.h"

// One text of the corpus as valuta classified it.
struct testo_classificato {
  size_t file;     // its index in corpus::file
  int scelta;      // the class the rule named
  double margine;  // its score minus the true class's: how sure a wrong answer was
};

inline constexpr size_t SBAGLIATI_MOSTRATI = 200;  // misclassified texts drawn, the most confident first
inline constexpr size_t PAROLE_PER_CLASSE = 20;    // words listed for each class
inline constexpr size_t SPINTE_PER_TESTO = 8;      // words listed beside each misclassified text
inline constexpr size_t ESTRATTO_BYTE = 1000;      // bytes of a misclassified text drawn, at most

// The whole page. testi: every text classified, in corpus order; cartella:
// the corpus folder as the user wrote it. The misclassified texts shown
// are read again from their files (a text that can no longer be read is
// named, with its figures, and not drawn).
std::string pagina_testi(const valutatore& v, const char* cartella, const corpus& c, const esito_valutazione& e,
                         const std::vector<testo_classificato>& testi);
