// velmora_bow: adds the words of a text to one class of the model in
// "Bow.txt" (aggiungi), or scores a text against every class (classifica);
// the actions on a whole corpus and on the model live in their own files,
// and are only dispatched from here.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "addestra.h"
#include "convalida.h"
#include "azioni_comuni.h"
#include "bow_lib.h"
#include "file.h"
#include "file_lineare.h"
#include "memoria.h"
#include "mostra.h"
#include "nomi.h"
#include "pulizia.h"
#include "punteggi.h"
#include "predici.h"
#include "riga_comando.h"
#include "scrittura.h"
#include "spiega.h"
#include "uscita.h"
#include "valori.h"
#include "valuta.h"

namespace {

void uso() {
  std::printf("Uso: velmora_bow AZIONE FILE [CLASSE]\n");
  std::printf("AZIONE = {aggiungi, classifica }\n");
}

// The usage aggiungi always printed without its class.
void uso_breve_aggiungi() { std::printf("Uso: bow aggiungi <file.txt> CLASS\nEs.: $./bow Odissea.txt 1\n"); }

void uso_aggiungi(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow aggiungi FILE CLASSE\n"
                  "Aggiunge le parole di FILE alla classe CLASSE (da 0 a 9) di Bow.txt, poi stampa le parole\n"
                  "totali di ogni classe. Scrive il testo pulito in FILE.clean. Senza CLASSE stampa un uso\n"
                  "breve ed esce con 0.\n");
}

void uso_classifica(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow classifica FILE [--punteggio NOME] [--alfa A]\n"
                  "Classifica FILE con Bow.txt: il punteggio di ogni classe, poi la classe scelta. Scrive il\n"
                  "testo pulito in FILE.clean.\n");
  uso_punteggio(f);
}

// Cleans FILE into FILE.clean and counts its words, block by block (its
// bytes appended to byte unless null); returns the exit status on failure,
// or -1. The lines these failures always printed stay; the cause, when there
// is one to tell, follows on standard error.
int pulisci_file(const char* path, tabella_parole& tabella, std::string* byte = nullptr) {
  file_ptr ingresso = apri_file(path, "rb");
  if (!ingresso) {
    const int errore = errno;
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    if (errore != ENOENT) causa_su_standard_error("leggere", path, errore);
    return 1;
  }
  // The cleaned text replaces any earlier one whole, or not at all.
  const std::string pulito = std::string(path) + ".clean";
  file_nuovo uscita;
  if (!apri_file_nuovo(uscita, pulito.c_str())) {
    const int errore = errno;
    std::printf("File %s non trovato\n", stampabile(pulito).c_str());
    causa_su_standard_error("scrivere", pulito.c_str(), errore);
    return 1;
  }
  const esito_testo esito = conta_testo(ingresso.get(), uscita.file, tabella, BLOCCO_TESTO, nullptr, byte);
  if (esito.errore_lettura) {
    const int errore = errno;
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    causa_su_standard_error("leggere", path, errore);
    return 1;
  }
  // A refused text still leaves the cleaned form of what came before the refusal.
  const bool scritto = !esito.errore_scrittura && installa_file(uscita);
  const int errore = errno;
  if (esito.troppo_lunga) return parola_troppo_lunga();
  if (!scritto) {
    std::printf("File %s non trovato\n", stampabile(pulito).c_str());
    causa_su_standard_error("scrivere", pulito.c_str(), errore);
    return 1;
  }
  return -1;
}

// The words of FILE, sorted, with their occurrences (FILE.clean written on
// the way; its bytes kept in byte unless null). Returns the exit status on failure, or -1.
int parole_del_testo(const char* path, std::vector<voce_parola>& voci, std::string* byte = nullptr) {
  tabella_parole tabella;
  if (int stato = pulisci_file(path, tabella, byte); stato >= 0) return stato;
  voci = voci_ordinate(tabella);
  return -1;
}

// The cleaned copy of a text is replaced by both commands.
bool puo_ricevere_pulito(const char* path) { return puo_ricevere((std::string(path) + ".clean").c_str(), "il testo pulito"); }

int aggiungi(const char* path, int classe) {
  // Both targets are checked before the model is read: a FIFO in its place
  // would block the read, and a device would be replaced by a file.
  if (!puo_ricevere(MODELLO, "il modello") || !puo_ricevere_pulito(path)) return 1;
  // The load, count and save happen under a lock on the model's folder.
  blocco_cartella blocco;
  borsa modello;
  if (!blocca_e_carica(blocco, modello)) return 1;
  std::vector<voce_parola> voci;
  if (int stato = parole_del_testo(path, voci); stato >= 0) return stato;
  unisci_parole(modello.testa, voci, classe);
  if (!scrivi_bow(modello.testa, MODELLO)) return 1;
  for (int k = 0; k < CLASSI; ++k) std::printf("Classe %d, parole totali:%d\n", k, totale_classe(modello.testa, k));
  return 0;
}

// classifica under the built-in rule, as it always printed it.
void classifica_velmora(const blocco_bow* modello, const std::vector<voce_parola>& voci) {
  borsa documento;
  unisci_parole(documento.testa, voci, 0);
  double punteggi[CLASSI];
  classifica_testo(documento.testa, modello, punteggi);
  std::printf("CLASSIFICAZIONE:\n");
  for (int k = 0; k < CLASSI; ++k) std::printf("Class %d, p=%f\n", k, punteggi[k]);
  std::printf("\nIl documento appartiene alla classe %d\n", classe_scelta(punteggi));
}

int classifica(const char* path, const punteggio& p) {
  // No lock: the model is replaced by a rename, so this reads the old file
  // or the new one, whole.
  if (!puo_ricevere_pulito(path)) return 1;
  borsa modello;
  // Only a model that does not exist scores as an empty one, after its
  // message; one that cannot be read, or is not a model, gives no answer.
  const esito_lettura letto = leggi_bow(modello.testa, MODELLO);
  if (letto == esito_lettura::illeggibile || letto == esito_lettura::non_modello) return 1;
  valutatore v;
  v.p = p;
  if (p.tipo == regola::lineare && !leggi_lineare(v.lineare, MODELLO_LINEARE, MODELLO)) return 1;
  std::vector<voce_parola> voci;
  std::string byte;
  if (int stato = parole_del_testo(path, voci, p.tipo == regola::lineare ? &byte : nullptr); stato >= 0) return stato;
  if (p.tipo == regola::velmora) {
    classifica_velmora(modello.testa, voci);
    return 0;
  }
  if (p.tipo != regola::lineare) {
    v.m = indicizza_modello(modello.testa);
    v.r = prepara_regola(v.m, p);
  }
  double punteggi[CLASSI];
  const int scelta = valuta_testo(v, voci, byte, punteggi);
  stampa_regola_usata(p);
  stampa_classificazione(v, punteggi, scelta);
  return 0;
}

// Whether a word in FILE's place is to be read as the start of the options:
// one of the action's options, --help, --version or "--", naming no file.
// Any other word there is FILE, whatever it looks like, as it always was.
bool apre_le_opzioni(const char* a, const std::vector<opzione>& accettate) {
  if (std::strncmp(a, "--", 2) != 0) return false;
  const std::string_view nome(a, std::strcspn(a, "="));
  bool e_opzione = a[2] == '\0' || nome == "--help" || nome == "--version";
  for (const opzione& o : accettate) e_opzione = e_opzione || nome == o.nome;
  struct stat st;
  return e_opzione && lstat(a, &st) != 0;
}

// The command line of aggiungi and classifica: FILE (and CLASSE) in their
// places, or after options that come first, and options anywhere after
// them; further plain words are ignored, as they always were. Returns -1 to
// go on, with the positional arguments in r, or the exit status.
int leggi_riga_testo(int argc, char** argv, const std::vector<opzione>& accettate, const posizionali& attesi,
                     void (*uso)(std::FILE*), riga_comando& r) {
  int stato = 0;
  if (apre_le_opzioni(argv[2], accettate))
    return leggi_azione(argc, argv, accettate, attesi, r, uso, stato) ? -1 : stato;
  posizionali dopo = attesi;
  if (!dopo.nomi.empty()) dopo.nomi.erase(dopo.nomi.begin());
  else --dopo.facoltativi;
  if (!leggi_azione(argc, argv, accettate, dopo, r, uso, stato, 3)) return stato;
  r.posizionali.insert(r.posizionali.begin(), argv[2]);
  return -1;
}

// The actions beyond aggiungi and classifica, each with its own usage text,
// which it prints also when its argument is missing.
int (*azione_nuova(const char* nome))(int, char**) {
  if (std::strcmp(nome, "addestra") == 0) return addestra;
  if (std::strcmp(nome, "valuta") == 0) return valuta;
  if (std::strcmp(nome, "mostra") == 0) return mostra;
  if (std::strcmp(nome, "spiega") == 0) return spiega;
  if (std::strcmp(nome, "predici") == 0) return predici;
  if (std::strcmp(nome, "convalida") == 0) return convalida;
  return nullptr;
}

int esegui(int argc, char** argv) {
  if (argc >= 2)
    if (auto azione = azione_nuova(argv[1])) return azione(argc, argv);
  if (argc < 3) {
    uso();
    return 1;
  }
  riga_comando r;
  if (std::strcmp(argv[1], "aggiungi") == 0) {
    if (argc < 4 && !apre_le_opzioni(argv[2], {})) {
      uso_breve_aggiungi();
      return 0;
    }
    if (int stato = leggi_riga_testo(argc, argv, {}, {{}, 2, true}, uso_aggiungi, r); stato >= 0) return stato;
    if (r.posizionali.size() < 2) {
      uso_breve_aggiungi();
      return 0;
    }
    const int classe = leggi_classe(r.posizionali[1]);
    if (classe < 0) return 1;
    return aggiungi(r.posizionali[0], classe);
  }
  if (std::strcmp(argv[1], "classifica") == 0) {
    const std::vector<opzione> accettate = {OPZIONE_PUNTEGGIO, OPZIONE_ALFA};
    punteggio p;
    if (int stato = leggi_riga_testo(argc, argv, accettate, {{"FILE"}, 0, true}, uso_classifica, r); stato >= 0)
      return stato;
    if (!leggi_punteggio(r, p)) {
      uso_classifica(messaggi());
      return 1;
    }
    return classifica(r.posizionali[0], p);
  }
  std::printf("Azione %s non supportata:\n", stampabile(argv[1]).c_str());
  uso();
  return 1;
}

}  // namespace

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
