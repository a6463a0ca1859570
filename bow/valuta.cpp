// velmora_bow valuta CARTELLA: classifies every text of a labelled corpus
// against Bow.txt, loaded once, and reports how well the classes come out.
// Under the default rule each text gets exactly the class classifica would
// name for it: the same cleaning, the same scores to the last bit, the same
// choice. --punteggio scores the same counts with naive Bayes instead, or
// the texts with the linear model of Bow.lineare.
#include <cstdio>
#include <vector>

#include "valuta.h"

#include "avanzamento.h"
#include "azioni_comuni.h"
#include "bow_lib.h"
#include "corpus.h"
#include "punteggi.h"
#include "rapporto.h"
#include "valori.h"

namespace {

void uso_valuta() {
  std::printf("Uso: velmora_bow valuta CARTELLA [--errori] [--punteggio NOME] [--alfa A]\n"
              "Classifica con Bow.txt ogni testo delle sottocartelle 0 ... 9 di CARTELLA e confronta la\n"
              "classe scelta con quella della sottocartella: per classe file, corretti, precisione,\n"
              "richiamo e F1, l'accuratezza e la matrice di confusione. Non scrive niente.\n"
              "--errori  elenca anche i file classificati male: classe vera, classe scelta, file\n"
              "          (predefinito: solo il rapporto)\n");
  uso_punteggio();
}

// The class the rule names for the text at path (under velmora, the class
// classifica names), or -1 with why it was left out.
int classe_del_file(const valutatore& v, const std::string& path, lettura& l) {
  tabella_parole tabella;
  std::string byte;
  l = leggi_e_conta(path, tabella, nullptr, false, v.p.tipo == regola::lineare ? &byte : nullptr);
  if (l != lettura::letta) return -1;
  double punteggi[CLASSI];
  return valuta_testo(v, voci_ordinate(tabella), byte, punteggi);
}

esito_valutazione valuta_corpus(const valutatore& v, const corpus& c, bool errori) {
  esito_valutazione e;
  avanzamento a = inizia_avanzamento("valuta", c.file.size());
  long classificati = 0, giusti = 0;
  for (size_t i = 0; i < c.file.size(); ++i) {
    const file_corpus& f = c.file[i];
    lettura l;
    const int scelta = classe_del_file(v, f.path, l);
    if (scelta < 0) {
      e.scarti.push_back({f.path, l});
    } else {
      ++e.confusione[f.classe][scelta];
      ++classificati;
      giusti += scelta == f.classe;
      if (errori && scelta != f.classe) e.sbagliati.push_back({f.path, f.classe, scelta});
    }
    segna_avanzamento(a, i + 1, giusti, classificati);
  }
  chiudi_avanzamento(a);
  return e;
}

}  // namespace

int valuta(int argc, char** argv) {
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, {{"--errori"}}, {{"CARTELLA"}}, uso_valuta, letta)) return letta.stato;
  const riga_comando& r = letta.r;
  const punteggio& p = letta.p;
  corpus c;
  if (!elenca_corpus(r.posizionali[0], c)) return 1;
  valutatore v;
  if (!prepara_valutatore(p, "Senza un modello non c'e' niente da valutare: prima velmora_bow addestra", v)) return 1;
  const esito_valutazione e = valuta_corpus(v, c, opzione_data(r, "--errori"));
  stampa_ignorati(c);
  stampa_regola_usata(p);
  stampa_rapporto(e, opzione_data(r, "--errori"));
  return 0;
}
