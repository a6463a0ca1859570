// velmora_bow addestra CARTELLA: the model that one aggiungi per text, in the
// corpus's order, would give, with one load, one count per class and one save. Each text is
// counted in a table of its own and joins its class's table only when it was
// read whole, as aggiungi adds nothing of a text it refuses; saturating sums
// of non-negative counts do not depend on their order, so the saved model is
// the same byte for byte. With --lineare the same texts then train the
// linear rule, whose model goes to Bow.lineare under the same lock.
#include <malloc.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "addestra.h"

#include "avanzamento.h"
#include "azioni_comuni.h"
#include "bow_lib.h"
#include "corpus.h"
#include "file_lineare.h"
#include "lineare.h"
#include "valori.h"
#include "tabella_parole.h"

namespace {

void uso_addestra(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow addestra CARTELLA [--lineare]\n"
                  "Aggiunge a Bow.txt ogni testo delle sottocartelle 0 ... 9 di CARTELLA, a ogni profondita',\n"
                  "ciascuno alla classe della sua sottocartella, nell'ordine dei byte dei percorsi: lo stesso\n"
                  "modello di un aggiungi per testo.\n"
                  "--lineare  addestra anche la regola lineare sui soli testi di CARTELLA e la scrive in\n"
                  "           Bow.lineare, legata a questo Bow.txt: vale finche' Bow.txt non cambia\n");
}

struct file_classe {
  int aggiunti = 0;
  int scartati = 0;
};

// The texts the linear rule trains on, gathered while the corpus is counted.
struct raccolta_lineare {
  corpus_lineare testi;
  impronta_corpus impronta;
};

// Counts the texts of the corpus into the model, class by class, and
// gathers them for the linear rule unless lineare is null.
void conta_corpus(const corpus& c, bow_list& modello, file_classe (&per_classe)[CLASSI],
                  std::vector<scarto>& scarti, raccolta_lineare* lineare) {
  avanzamento a = inizia_avanzamento("addestra", c.file.size());
  size_t i = 0;
  for (int k = 0; k < CLASSI; ++k) {
    tabella_parole classe;
    for (; i < c.file.size() && c.file[i].classe == k; ++i) {
      tabella_parole testo;
      impronta byte;
      std::string grezzo;
      const lettura l = leggi_e_conta(c.file[i].path, testo, lineare ? &byte : nullptr, false,
                                      lineare ? &grezzo : nullptr);
      if (l == lettura::letta && lineare) {
        const std::string& path = c.file[i].path;  // the name within the corpus: K/NAME, K/FOLDER/NAME ...
        lineare->testi.aggiungi(testo_lineare_da(grezzo, k));
        lineare->impronta.aggiungi_testo(k, std::string_view(path).substr(c.file[i].nome), byte);
      }
      if (l == lettura::letta) {
        unisci_tabelle(classe, testo);
        ++per_classe[k].aggiunti;
      } else {
        scarti.push_back({c.file[i].path, l});
        ++per_classe[k].scartati;
      }
      segna_avanzamento(a, i + 1);
    }
    unisci_parole(modello, voci_ordinate(classe), k);
  }
  chiudi_avanzamento(a);
}

void stampa_totali(const blocco_bow* modello, const file_classe (&per_classe)[CLASSI]) {
  int aggiunti = 0, tutti = 0;
  for (int k = 0; k < CLASSI; ++k) {
    std::printf("Classe %d, parole totali:%d, file aggiunti:%d, scartati:%d\n", k, totale_classe(modello, k),
                per_classe[k].aggiunti, per_classe[k].scartati);
    aggiunti += per_classe[k].aggiunti;
    tutti += per_classe[k].aggiunti + per_classe[k].scartati;
  }
  std::printf("Testi aggiunti: %d di %d\n", aggiunti, tutti);
}

// The settings the cross-validation chose, on one line.
void stampa_scelta_lineare(const modello_lineare& m) {
  if (m.pieghe == 0) {
    std::printf("Regola lineare senza convalida (troppo pochi testi): C %g, coppie %s, rapporti NB %s\n", m.scelta.c,
                m.scelta.coppie ? "si" : "no", m.scelta.rapporti ? "si" : "no");
    return;
  }
  std::printf("Scelta per convalida incrociata (%u pieghe): C %g, coppie %s, rapporti NB %s, accuratezza %.2f%%, "
              "temperatura %.4f\n",
              m.pieghe, m.scelta.c, m.scelta.coppie ? "si" : "no", m.scelta.rapporti ? "si" : "no",
              100.0 * m.accuratezza_cv, m.temperatura);
}

// Trains the linear rule on the texts gathered and writes it beside the
// Bow.txt just saved, which it is tied to; returns the exit status.
int scrivi_modello_lineare(raccolta_lineare& r) {
  modello_lineare m = addestra_lineare(std::move(r.testi));
  m.provenienza.fnv_corpus = r.impronta.tutto.fnv;
  if (!impronta_file(MODELLO, m.provenienza.bow) || !scrivi_lineare(m, MODELLO_LINEARE)) {
    std::printf("Impossibile scrivere %s: %s e' aggiornato, il modello lineare no\n", MODELLO_LINEARE, MODELLO);
    return 1;
  }
  std::printf("Modello lineare scritto in %s: %zu tratti (parole%s)\n", MODELLO_LINEARE, m.posti.size(),
              m.scelta.coppie ? " e coppie di parole" : "");
  stampa_scelta_lineare(m);
  return 0;
}

}  // namespace

int addestra(int argc, char** argv) {
  riga_comando r;
  int stato = 0;
  if (!leggi_azione(argc, argv, {{"--lineare"}}, {{"CARTELLA"}}, r, uso_addestra, stato)) return stato;
  const bool lineare = opzione_data(r, "--lineare");
  // Before the corpus is read and counted, which may take long: a folder
  // that takes no file would lose all of it at the save.
  if (!puo_ricevere(MODELLO, "il modello", true) ||
      (lineare && !puo_ricevere(MODELLO_LINEARE, "il modello lineare", true)))
    return 1;
  corpus c;
  if (!elenca_corpus(r.posizionali[0], c)) return 1;
  // As for aggiungi: load, count and save under the lock of the model's
  // folder, and never replace a model that exists but cannot be read or is
  // not a model.
  blocco_cartella blocco;
  borsa modello;
  if (!blocca_e_carica(blocco, modello)) return 1;
  file_classe per_classe[CLASSI];
  std::vector<scarto> scarti;
  raccolta_lineare testi;
  conta_corpus(c, modello.testa, per_classe, scarti, lineare ? &testi : nullptr);
  if (scarti.size() == c.file.size()) {
    stampa_scarti(scarti);
    std::printf("Nessun testo aggiunto: %s non e' cambiato\n", MODELLO);
    return 1;
  }
  if (!scrivi_bow(modello.testa, MODELLO)) return 1;
  stampa_totali(modello.testa, per_classe);
  stampa_ignorati(c);
  stampa_scarti(scarti);
  if (!lineare) return 0;
  // The linear rule needs none of these: their memory goes back first.
  libera_bow(modello.testa);
  c = {};
  scarti = {};
  testi.testi.voci.shrink_to_fit();
  malloc_trim(0);  // the list's many small blocks back to the system, not only to malloc
  return scrivi_modello_lineare(testi);
}
