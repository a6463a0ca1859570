// velmora_gpms: runs the digit network over every row of a CSV rows file and
// shows the rows it misreads: a gallery of the digits on a terminal, a plain
// listing elsewhere, and on request a PNG contact sheet of the same digits.
#include <algorithm>
#include <string_view>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "destinazione.h"
#include "galleria.h"
#include "intestazione.h"
#include "lettore_righe.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"
#include "numeri.h"
#include "opzioni_gpms.h"
#include "rapporto_gpms.h"
#include "righe.h"
#include "scrittura.h"
#include "uscita.h"
#include "valutazione.h"
#include "veloce.h"

namespace {

void uso() {
  std::printf("\nUSO:\n velmora_gpms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>"
              " [opzioni]\n\n");
  stampa_parametri_rete("file csv con i dati di test");
  std::printf("\nOPZIONI (in qualsiasi ordine):\n"
              "--tutte      mostra tutte le righe (predefinito: solo quelle riconosciute male)\n"
              "--massimo N  mostra al massimo N cifre, le prime (predefinito: nessun limite)\n"
              "--schermo    su un terminale, al massimo le cifre che stanno in una schermata\n"
              "--elenco     l'elenco semplice anche su un terminale (predefinito: la galleria su un\n"
              "             terminale, l'elenco su un file o una pipe)\n"
              "--png FILE   scrive anche un foglio PNG delle stesse cifre, nello stesso ordine,\n"
              "             %d per riga, con la didascalia RIGA ETICHETTA>RICONOSCIUTA sotto ogni\n"
              "             cifra (predefinito: nessun foglio); - lo scrive su standard output\n"
              "--predizioni FILE\n"
              "             scrive anche, per ogni riga, una riga separata da tabulazioni: il numero\n"
              "             della riga, l'etichetta, la cifra riconosciuta (- per nessuna) e le dieci\n"
              "             uscite (predefinito: nessuna); - le scrive su standard output\n"
              "--rapporto FILE.html\n"
              "             scrive anche la pagina delle cifre: pesi di ogni neurone, modello di ogni\n"
              "             cifra, matrice di confusione, righe lette male, una lavagna per disegnare\n"
              "             una cifra (predefinito: nessuna pagina); - la scrive su standard output\n"
              "--help       questo aiuto;  --version  la versione\n"
              "Con - niente altro va su standard output. Su un terminale la matrice di confusione viene\n"
              "prima della galleria, cosi' l'ultima schermata mostra cifre intere.\n",
              CIFRE_PER_RIGA_FOGLIO);
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms), "
              "benchmark percettrone multistrato (bpms) \n ");
}

// An output file is checked before any row is read, and may not replace an
// input; "-" is standard output, always accepted.
bool controlla_uscita(const char* path, const char* cosa, const opzioni_galleria& o) {
  if (!path || std::string_view(path) == "-") return true;
  const char* motivo = perche_non_scrivibile(path);
  for (const char* in : o.posizionali)
    if (!motivo && stesso_file(path, in)) motivo = "e' uno dei file di ingresso";
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere %s: %s\n", stampabile(path).c_str(), cosa, motivo);
  if (controlla_destinazione(path) == stato_destinazione::e_speciale)
    std::printf("Per scrivere su standard output si da' -\n");
  std::printf("Impossibile scrivere il file %s\n", stampabile(path).c_str());
  return false;
}

// ---- Evaluation ----------------------------------------------------------------------

struct valutazione {
  std::FILE* dati = nullptr;             // standard output's data, when an output is "-"
  std::FILE* predizioni = nullptr;       // where each row's prediction goes, if anywhere
  risultato esito;                       // count and confusion matrix over every row
  int righe = 0;                         // rows evaluated
  int idonee = 0;                        // rows that qualify to be shown
  std::vector<esito_riga> scelte;        // the first of them, at most the cap
  std::vector<immagine_cifra> immagini;  // their pictures, when a picture is made
  pagina_cifre* pagina = nullptr;        // every row counted for the page, when one is asked
};

// One row's prediction: its number, its label, the digit recognised ("-"
// for none) and the ten outputs, each the shortest decimal that reads back
// as the same double, so the same inputs give the same bytes.
void scrivi_predizione(std::FILE* f, int riga, int etichetta, int migliore, const double* uscite) {
  char linea[32 * (N_EFFERENTI + 3)], numero[32];
  int n = migliore < 0 ? std::snprintf(linea, sizeof linea, "%d\t%d\t-", riga, etichetta)
                       : std::snprintf(linea, sizeof linea, "%d\t%d\t%d", riga, etichetta, migliore);
  for (int k = 0; k < N_EFFERENTI; ++k) {
    linea[n++] = '\t';
    const size_t lunghezza = scrivi_reale(numero, uscite[k]);
    std::memcpy(linea + n, numero, lunghezza);
    n += static_cast<int>(lunghezza);
  }
  linea[n++] = '\n';
  std::fwrite(linea, 1, static_cast<size_t>(n), f);
}

void scrivi_intestazione_predizioni(std::FILE* f) {
  std::fputs("riga\tetichetta\triconosciuta", f);
  for (int k = 0; k < N_EFFERENTI; ++k) std::fprintf(f, "\tu%d", k);
  std::fputc('\n', f);
}

// Every row of the file, read and evaluated as velmora_bpms reads and
// evaluates them. A row that is not a label and 784 values alone on its
// line, or whose label is not a digit, stops the run: false, message printed.
bool valuta_righe(rete_cifre& rete, std::FILE* file, const char* path, const opzioni_galleria& o, int limite,
                  bool immagini, valutazione& v) {
  lettore_righe lettore = crea_lettore(file);
  const auto pesi = prepara_pesi(rete);
  for (int riga = 1;; ++riga) {
    esito_riga_csv esito = leggi_riga_controllata(lettore, rete.pixel, rete.etichetta);
    if (esito == esito_riga_csv::fine && riga > 1) return true;
    if (esito == esito_riga_csv::fine) esito = esito_riga_csv::non_valida;  // a file without rows
    if (esito != esito_riga_csv::letta) {
      stampa_riga_rifiutata(esito, riga, path, rete.etichetta);
      return false;
    }
    const int migliore = net_recognize_veloce(rete, *pesi);
    ++v.righe;
    conta_risposta(v.esito, rete.etichetta, migliore);
    if (v.predizioni) scrivi_predizione(v.predizioni, riga, rete.etichetta, migliore, rete.uscita_efferenti);
    if (v.pagina) conta_riga(*v.pagina, riga, rete.etichetta, migliore, rete.uscita_efferenti, rete.pixel);
    if (!o.tutte && migliore == rete.etichetta) continue;
    if (o.png && v.idonee == CIFRE_MASSIME_FOGLIO && limite > CIFRE_MASSIME_FOGLIO) {
      // Known now, not after the listing: the sheet cannot hold them all.
      std::printf("Il foglio PNG puo' contenere al massimo %d cifre, e il file %s ne ha di piu' da mostrare:\n"
                  "--massimo N limita le cifre mostrate\n",
                  CIFRE_MASSIME_FOGLIO, stampabile(path).c_str());
      return false;
    }
    if (v.idonee++ >= limite) continue;
    v.scelte.push_back(esito_di(riga, rete.etichetta, migliore, rete.uscita_efferenti));
    if (immagini) v.immagini.push_back(disegna_cifra(rete.ingresso + 1));
  }
}

// ---- Output ----------------------------------------------------------------------------

void stampa_conteggi(const valutazione& v, const opzioni_galleria& o) {
  const int sbagliate = v.righe - v.esito.riconosciute;
  std::printf("\nRighe riconosciute male: %d di %d\n", sbagliate, v.righe);
  const int mostrate = static_cast<int>(v.scelte.size());
  if (o.tutte && mostrate == v.idonee)
    std::printf("Mostrate tutte le righe\n");
  else if (o.tutte)
    std::printf("Mostrate le prime %d righe\n", mostrate);
  else if (mostrate < v.idonee)
    std::printf("Mostrate le prime %d\n", mostrate);
}

void stampa_galleria(const valutazione& v, int colonne) {
  const int per_fascia = cifre_per_fascia(colonne);
  const int n = static_cast<int>(v.scelte.size());
  for (int da = 0; da < n; da += per_fascia) {
    // One write per band, so the screen never shows half a band.
    const std::string fascia = componi_fascia(&v.scelte[static_cast<size_t>(da)],
                                              &v.immagini[static_cast<size_t>(da)], std::min(per_fascia, n - da));
    std::fwrite(fascia.data(), 1, fascia.size(), stdout);
    std::fflush(stdout);
  }
}

bool scrivi_png(const valutazione& v, const opzioni_galleria& o) {
  if (std::string_view(o.png) == "-") return scrivi_foglio(v.dati, v.scelte, v.immagini, o.tutte);
  file_nuovo nuovo;
  if (!apri_file_nuovo(nuovo, o.png) || !scrivi_foglio(nuovo.file, v.scelte, v.immagini, o.tutte) ||
      !installa_file(nuovo)) {
    std::printf("Impossibile scrivere il file %s\n", stampabile(o.png).c_str());
    return false;
  }
  std::printf("Foglio PNG scritto in %s: %zu cifre, %d per riga\n", stampabile(o.png).c_str(), v.scelte.size(),
              CIFRE_PER_RIGA_FOGLIO);
  return true;
}

// The predictions' file, from the first row on: standard output for "-",
// else a new file installed only when every row was read.
bool apri_predizioni(const opzioni_galleria& o, file_nuovo& nuovo, valutazione& v) {
  if (!o.predizioni) return true;
  if (std::string_view(o.predizioni) == "-") {
    v.predizioni = v.dati;
  } else if (apri_file_nuovo(nuovo, o.predizioni)) {
    v.predizioni = nuovo.file;
  } else {
    std::printf("Impossibile scrivere il file %s\n", stampabile(o.predizioni).c_str());
    return false;
  }
  scrivi_intestazione_predizioni(v.predizioni);
  return true;
}

bool chiudi_predizioni(const opzioni_galleria& o, file_nuovo& nuovo, const valutazione& v) {
  if (!o.predizioni || std::string_view(o.predizioni) == "-") return true;
  if (!installa_file(nuovo)) {
    std::printf("Impossibile scrivere il file %s\n", stampabile(o.predizioni).c_str());
    return false;
  }
  std::printf("Predizioni scritte in %s: %d righe\n", stampabile(o.predizioni).c_str(), v.righe);
  return true;
}

// The weight files (as velmora_bpms loads them, in the same order, but each
// must have exactly its layer's length: the hidden layer's file given for
// the output layer is refused, not read in part), then the rows file.
file_ptr carica(const opzioni_galleria& o, rete_cifre& rete) {
  if (!completa_coppia(o.posizionali[1]) || !carica_pesi_esatti(o.posizionali[1], rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI) ||
      !carica_pesi_esatti(o.posizionali[2], rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI))
    return nullptr;
  file_ptr righe = apri_file(o.posizionali[0], "r");
  if (!righe) std::printf("File %s non trovato\n", stampabile(o.posizionali[0]).c_str());
  return righe;
}

// What a run shows when its output is not standard output. On a terminal
// the matrix comes before the gallery, so that the last screen holds whole
// digits; elsewhere the listing comes first, as a report reads.
bool mostra(const valutazione& v, const opzioni_galleria& o, bool galleria, int colonne) {
  stampa_conteggi(v, o);
  if (!galleria)
    for (const esito_riga& e : v.scelte) std::fputs(riga_elenco(e).c_str(), stdout);
  if (o.png && !scrivi_png(v, o)) return false;
  stampa_confusione(v.esito, o.posizionali[0]);
  std::printf("\nRiconosciuti %d di %d\n", v.esito.riconosciute, v.righe);
  if (galleria) stampa_galleria(v, colonne);
  std::fflush(stdout);
  return true;
}

int esegui(int argc, char** argv) {
  if (risponde_aiuto(argc, argv, 1, uso, "velmora_gpms")) return 0;
  // No clearing of the screen: the gallery scrolls like any other output,
  // below whatever the terminal already shows. When an output itself goes
  // to standard output, the data alone goes there: no banner, no listing,
  // and every message (a refusal, "Predizioni scritte") on standard error.
  const bool muto = chiede_standard_output(argc, argv);
  valutazione v;
  if (muto && !(v.dati = separa_uscita_dati())) return 1;
  if (!muto) stampa_intestazione("galleria percettrone multistrato (gpms)", false);
  opzioni_galleria o;
  if (leggi_opzioni_galleria(argc, argv, o) != esito_comando::valida) return 1;
  if (o.quanti < 3) {
    uso();
    return 1;
  }
  if (!controlla_uscita(o.png, "il foglio PNG", o) || !controlla_uscita(o.predizioni, "le predizioni", o)) return 1;
  if (!controlla_uscita(o.rapporto, "la pagina", o) || !controlla_rapporto(o)) return 1;

  int32_t righe_term = 0, colonne_term = 0;
  const bool galleria = !muto && !o.elenco && dimensioni_finestra(righe_term, colonne_term) == 0;
  const int limite = galleria && o.schermo ? std::min(o.massimo, cifre_per_schermo(righe_term, colonne_term))
                                           : o.massimo;
  auto rete = crea_rete();
  file_ptr righe = carica(o, *rete);
  if (!righe) return 1;
  pagina_cifre pagina;
  if (o.rapporto) v.pagina = &pagina;
  file_nuovo predizioni;
  if (!apri_predizioni(o, predizioni, v)) return 1;
  if (!valuta_righe(*rete, righe.get(), o.posizionali[0], o, limite, galleria || o.png, v)) return 1;
  righe.reset();
  if (!chiudi_predizioni(o, predizioni, v)) return 1;
  if (o.rapporto && !scrivi_rapporto(o, *rete, pagina, v.dati)) return 1;
  if (muto) {
    const bool scritto = !o.png || scrivi_png(v, o);
    return chiudi_uscita_dati(v.dati) && scritto ? 0 : 1;  // a failed write named, whichever output it was
  }
  return mostra(v, o, galleria, colonne_term) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
