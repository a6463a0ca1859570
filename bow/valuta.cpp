// velmora_bow valuta CARTELLA: classifies every text of a labelled corpus
// against Bow.txt, loaded once, and reports how well the classes come out.
// Under the default rule each text gets exactly the class classifica would
// name for it: the same cleaning, the same scores to the last bit, the same
// choice. --punteggio scores the same counts with naive Bayes instead, or
// the texts with the linear model of Bow.lineare.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "valuta.h"

#include "avanzamento.h"
#include "azioni_comuni.h"
#include "bow_lib.h"
#include "corpus.h"
#include "destinazione.h"
#include "nomi.h"
#include "pagina.h"
#include "pagina_testi.h"
#include "punteggi.h"
#include "rapporto.h"
#include "uscita.h"
#include "valori.h"

namespace {

void uso_valuta(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow valuta CARTELLA [--errori] [--rapporto FILE.html] [--punteggio NOME] [--alfa A]\n"
                  "Classifica con Bow.txt ogni testo delle sottocartelle 0 ... 9 di CARTELLA, a ogni\n"
                  "profondita' e nell'ordine dei byte dei percorsi, e confronta la classe scelta con quella\n"
                  "della sottocartella: per classe file, corretti, precisione, richiamo e F1, l'accuratezza\n"
                  "e la matrice di confusione. Non scrive niente, tranne la pagina di --rapporto.\n"
                  "--errori  elenca anche i file classificati male: classe vera, classe scelta, file\n"
                  "          (predefinito: solo il rapporto)\n"
                  "--rapporto FILE.html  scrive anche una pagina HTML da aprire nel browser, senza rete:\n"
                  "          per classe precisione, richiamo, F1 e file, la matrice di confusione, le parole\n"
                  "          che pesano di piu' per ogni classe e i testi classificati male con le loro\n"
                  "          parole colorate. Con - la pagina va su standard output e il rapporto su\n"
                  "          standard error\n");
  uso_punteggio(f);
}

// The class the rule names for the text at path (under velmora, the class
// classifica names), or -1 with why it was left out.
int classe_del_file(const valutatore& v, const std::string& path, lettura& l, double punteggi[CLASSI]) {
  tabella_parole tabella;
  std::string byte;
  l = leggi_e_conta(path, tabella, nullptr, false, v.p.tipo == regola::lineare ? &byte : nullptr);
  if (l != lettura::letta) return -1;
  return valuta_testo(v, voci_ordinate(tabella), byte, punteggi);
}

// Unless testi is null, every text classified is also kept there, for the page.
esito_valutazione valuta_corpus(const valutatore& v, const corpus& c, bool errori,
                                std::vector<testo_classificato>* testi) {
  esito_valutazione e;
  avanzamento a = inizia_avanzamento("valuta", c.file.size());
  long classificati = 0, giusti = 0;
  for (size_t i = 0; i < c.file.size(); ++i) {
    const file_corpus& f = c.file[i];
    lettura l;
    double punteggi[CLASSI];
    const int scelta = classe_del_file(v, f.path, l, punteggi);
    if (scelta < 0) {
      e.scarti.push_back({f.path, l});
    } else {
      ++e.confusione[f.classe][scelta];
      ++classificati;
      giusti += scelta == f.classe;
      if (errori && scelta != f.classe) e.sbagliati.push_back({f.path, f.classe, scelta});
      if (testi) testi->push_back({i, scelta, punteggi[scelta] - punteggi[f.classe]});
    }
    segna_avanzamento(a, i + 1, giusti, classificati);
  }
  chiudi_avanzamento(a);
  return e;
}

// The page's target, checked before any work: a file that can be written,
// and not the model the run reads. "-" is standard output.
bool controlla_pagina(const char* path) {
  if (std::string_view(path) == "-") return true;
  const char* motivo = perche_non_scrivibile(path);
  if (!motivo && (stessa_destinazione(path, MODELLO) || stessa_destinazione(path, MODELLO_LINEARE)))
    motivo = "e' il modello";
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere la pagina: %s\n", stampabile(path).c_str(), motivo);
  return false;
}

// A page written into the corpus must not replace one of its texts.
bool fuori_dal_corpus(const char* path, const corpus& c) {
  if (std::string_view(path) == "-" || access(path, F_OK) != 0) return true;
  for (const file_corpus& f : c.file)
    if (stesso_file(path, f.path.c_str())) {
      std::printf("Il file %s non puo' ricevere la pagina: e' uno dei testi del corpus\n", stampabile(path).c_str());
      return false;
    }
  return true;
}

// With "-" the page goes to uscita, the stream standard output was given over to.
bool scrivi_rapporto_html(const char* path, const std::string& pagina, std::FILE* uscita) {
  const bool su_stdout = std::string_view(path) == "-";
  if (!scrivi_pagina(path, pagina, uscita)) {
    std::printf("Impossibile scrivere la pagina %s: %s\n", su_stdout ? "su standard output" : stampabile(path).c_str(),
                std::strerror(errno));
    return false;
  }
  if (!su_stdout) std::printf("Pagina scritta in %s\n", stampabile(path).c_str());
  return true;
}

}  // namespace

int valuta(int argc, char** argv) {
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, {{"--errori"}, {"--rapporto", 1, true}}, {{"CARTELLA"}}, uso_valuta, letta))
    return letta.stato;
  const riga_comando& r = letta.r;
  const punteggio& p = letta.p;
  const char* pagina = valore_opzione(r, "--rapporto");
  // With --rapporto -, standard output carries the page and nothing else:
  // every line valuta prints goes to standard error.
  std::FILE* uscita = nullptr;
  if (pagina && std::string_view(pagina) == "-" && !(uscita = separa_uscita_dati())) return 1;
  if (pagina && !controlla_pagina(pagina)) return 1;
  corpus c;
  if (!elenca_corpus(r.posizionali[0], c)) return 1;
  if (pagina && !fuori_dal_corpus(pagina, c)) return 1;
  valutatore v;
  if (!prepara_valutatore(p, "Senza un modello non c'e' niente da valutare: prima velmora_bow addestra", v)) return 1;
  std::vector<testo_classificato> testi;
  const esito_valutazione e = valuta_corpus(v, c, opzione_data(r, "--errori"), pagina ? &testi : nullptr);
  stampa_ignorati(c);
  stampa_regola_usata(p);
  stampa_rapporto(e, opzione_data(r, "--errori"));
  if (pagina && !scrivi_rapporto_html(pagina, pagina_testi(v, r.posizionali[0], c, e, testi), uscita)) return 1;
  return uscita && !chiudi_uscita_dati(uscita) ? 1 : 0;
}
