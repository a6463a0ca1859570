// velmora_bow predici [FILE | CARTELLA | -]...: classifies texts with Bow.txt,
// loaded once, and writes for each one a tab-separated line: the path, the
// class, the ten scores. Under the built-in rule the class is the one
// classifica names. Numbers are written as the shortest decimal that reads
// back as the same double, so the same inputs give the same bytes.
// Standard output holds the table alone: every message goes to standard error.
// --probabilita writes each class's probability instead of its score, --primi K
// the K most likely classes with theirs; --testo reads the texts themselves,
// one per line of standard input.
#include "predici.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "azioni_comuni.h"
#include "corpus.h"
#include "nomi.h"
#include "numeri.h"
#include "pulizia.h"
#include "uscita.h"
#include "valori.h"

namespace {

void uso_predici(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow predici [FILE | CARTELLA | -]... [--punteggio NOME] [--alfa A]\n"
                  "                         [--probabilita] [--primi K] [--testo]\n"
                  "Classifica con Bow.txt ogni testo dato: un FILE, ogni testo sotto una CARTELLA (a ogni\n"
                  "profondita', tranne i file nascosti e le copie .clean), o, con - o senza argomenti, i\n"
                  "percorsi letti da standard input, uno per riga. Scrive su standard output una riga\n"
                  "d'intestazione, poi per ogni testo, separati da tabulazioni: il percorso, la classe e i\n"
                  "dieci punteggi. Un testo che non si puo' classificare ha - al posto della classe e dei\n"
                  "punteggi, e il motivo su standard error; lo stato di uscita e' allora 1. Ogni messaggio\n"
                  "va su standard error. Non scrive niente su disco.\n"
                  "--probabilita  al posto dei punteggi la probabilita' di ogni classe, con 6 decimali\n"
                  "               (intestazione: file classe prob0 ... prob9); non con la regola velmora\n"
                  "--primi K      solo le K classi piu' probabili (da 1 a %d), la piu' probabile prima,\n"
                  "               ciascuna con la sua probabilita' (file classe1 prob1 ... classeK probK)\n"
                  "--testo        ogni riga di standard input e' un testo da classificare, al posto del\n"
                  "               percorso c'e' il numero della riga; niente FILE o CARTELLA\n",
               CLASSI);
  uso_punteggio(f);
}

const char* const SENZA_MODELLO = "Senza un modello non c'e' niente da predire: prima velmora_bow addestra";

// A text to classify, and whether the user named it (a path given may be
// a pipe; one found in a folder must be a regular file).
struct testo {
  std::string path;
  bool nominato;
};

// Adds the paths read from standard input, one per line. false, with the
// reason, when it cannot be read to its end: a read error is not the end of
// the list. A line that memory cannot hold throws std::bad_alloc.
bool leggi_elenco(std::vector<testo>& testi) {
  char* riga = nullptr;
  size_t capienza = 0;
  struct libera {
    char*& p;
    ~libera() { std::free(p); }
  } guardia{riga};
  for (;;) {
    errno = 0;
    const ssize_t n = getline(&riga, &capienza, stdin);
    if (n < 0) break;
    std::string path(riga, static_cast<size_t>(n));
    if (path.back() == '\n') path.pop_back();
    if (!path.empty()) testi.push_back({std::move(path), true});
  }
  if (errno == ENOMEM) throw std::bad_alloc();
  if (!std::ferror(stdin)) return true;
  std::fprintf(messaggi(), "Impossibile leggere l'elenco dei testi da standard input: %s\n", std::strerror(errno));
  return false;
}

// Adds the texts one argument names: a folder's texts, a file, or the paths
// read from standard input. false when a folder or the list cannot be read.
bool aggiungi_testi(const char* argomento, std::vector<testo>& testi) {
  if (std::string_view(argomento) == "-") return leggi_elenco(testi);
  std::error_code ec;
  if (std::filesystem::is_directory(argomento, ec)) {
    std::vector<std::string> trovati;
    if (!elenca_testi(argomento, trovati)) return false;
    for (std::string& t : trovati) testi.push_back({std::move(t), false});
    return true;
  }
  testi.push_back({argomento, true});
  return true;
}

// One line: the path (as stampabile prints it), then the class and the ten
// scores, or "-" in each of their places. Composed whole and written in one call.
void stampa_riga(const std::string& nome, int classe, const double* punteggi) {
  std::string riga = nome;
  riga += '\t';
  riga += classe < 0 ? "-" : std::to_string(classe);
  char numero[32];
  for (int k = 0; k < CLASSI; ++k) {
    riga += '\t';
    if (classe < 0) {
      riga += '-';
    } else {
      riga.append(numero, scrivi_reale(numero, punteggi[k]));
    }
  }
  riga += '\n';
  std::fwrite(riga.data(), 1, riga.size(), stdout);
}

// ---- --probabilita, --primi, --testo -----------------------------------------------------

const std::vector<opzione> OPZIONI_FORMA = {{"--probabilita"}, {"--primi", 1}, {"--testo"}};

// What each line holds, and where the texts come from.
struct forma {
  bool probabilita = false;  // --probabilita, or --primi: probabilities instead of scores
  int primi = 0;             // --primi K: the K most likely classes, each with its probability; 0: all ten in order
  bool righe = false;        // --testo: each line of standard input is a text
};

// The options of forma, checked against the rule and the paths given;
// false after printing why they cannot be taken.
bool leggi_forma(const riga_con_regola& letta, forma& f) {
  f.righe = opzione_data(letta.r, "--testo");
  f.probabilita = opzione_data(letta.r, "--probabilita");
  if (const char* k = valore_opzione(letta.r, "--primi")) {
    long n = 0;
    if (!intero_in(k, 1, CLASSI, n)) {
      std::fprintf(messaggi(), "Numero di classi non valido: %s (da 1 a %d)\n", stampabile(k).c_str(), CLASSI);
      return false;
    }
    f.primi = static_cast<int>(n);
    f.probabilita = true;
  }
  if (f.probabilita && !da_probabilita(letta.p)) {
    std::fprintf(messaggi(), "La regola velmora non da' probabilita': --probabilita e --primi valgono con --punteggio bayes, "
                "complemento o lineare\n");
    return false;
  }
  if (f.righe && !letta.r.posizionali.empty()) {
    std::fprintf(messaggi(), "Con --testo i testi sono le righe dello standard input: niente FILE o CARTELLA (%s)\n",
                stampabile(letta.r.posizionali[0]).c_str());
    return false;
  }
  return true;
}

void stampa_intestazione(const forma& f) {
  std::string riga = f.righe ? "riga" : "file";
  if (f.primi > 0) {
    for (int i = 1; i <= f.primi; ++i) riga += "\tclasse" + std::to_string(i) + "\tprob" + std::to_string(i);
  } else {
    riga += "\tclasse";
    for (int k = 0; k < CLASSI; ++k) riga += (f.probabilita ? "\tprob" : "\tp") + std::to_string(k);
  }
  riga += '\n';
  std::fwrite(riga.data(), 1, riga.size(), stdout);
}

// The classes from the most likely down, as their scores rank them: the
// classes with data, higher score first, the lower class on a tie (so the
// first is the class chosen), then those without data.
void ordina_classi(const valutatore& v, const double punteggi[CLASSI], int (&ordine)[CLASSI]) {
  for (int k = 0; k < CLASSI; ++k) ordine[k] = k;
  std::stable_sort(ordine, ordine + CLASSI, [&](int a, int b) {
    if (con_dati(v, a) != con_dati(v, b)) return con_dati(v, a);
    return con_dati(v, a) && punteggi[a] > punteggi[b];
  });
}

// A line with probabilities: the name, then the class and the ten
// probabilities, or the first K classes each with its probability; "-" in
// each of their places for a text that could not be classified.
void stampa_riga_probabilita(const forma& f, const valutatore& v, const std::string& nome, int classe,
                             const double* punteggi) {
  std::string riga = nome;
  const int colonne = f.primi > 0 ? 2 * f.primi : 1 + CLASSI;
  if (classe < 0) {
    for (int i = 0; i < colonne; ++i) riga += "\t-";
  } else {
    double p[CLASSI];
    probabilita_testo(v, punteggi, p);
    char numero[32];
    const auto aggiungi = [&](int k) {
      riga.append(numero, static_cast<size_t>(std::snprintf(numero, sizeof numero, "\t%.6f", p[k])));
    };
    if (f.primi == 0) {
      riga += '\t' + std::to_string(classe);
      for (int k = 0; k < CLASSI; ++k) aggiungi(k);
    } else {
      int ordine[CLASSI];
      ordina_classi(v, punteggi, ordine);
      for (int i = 0; i < f.primi; ++i) {
        riga += '\t' + std::to_string(ordine[i]);
        aggiungi(ordine[i]);
      }
    }
  }
  riga += '\n';
  std::fwrite(riga.data(), 1, riga.size(), stdout);
}

// The line of one text in the layout asked for; classe -1 for a text that
// could not be classified.
void stampa_esito(const forma& f, const valutatore& v, const std::string& nome, int classe, const double* punteggi) {
  if (f.probabilita) {
    stampa_riga_probabilita(f, v, nome, classe, punteggi);
  } else {
    stampa_riga(nome, classe, punteggi);
  }
}

// Standard input, one line at a time, without the line feed; a last line
// without one counts too. Any byte, NUL included, is part of a line.
struct lettore_righe {
  char blocco[1 << 16];
  size_t inizio = 0, fine = 0;
  int errore = 0;  // errno of a read that failed; the line it cut is dropped
  // The next line into riga; false at the end, or on a read error.
  bool prossima(std::string& riga) {
    riga.clear();
    for (bool letto = false;;) {
      if (inizio == fine) {
        inizio = 0;
        fine = std::fread(blocco, 1, sizeof blocco, stdin);
        if (std::ferror(stdin)) {
          errore = errno;
          return false;
        }
        if (fine == 0) return letto;
      }
      letto = true;
      const char* a_capo = static_cast<const char*>(std::memchr(blocco + inizio, '\n', fine - inizio));
      const size_t fino = a_capo ? static_cast<size_t>(a_capo - blocco) : fine;
      riga.append(blocco + inizio, fino - inizio);
      inizio = a_capo ? fino + 1 : fino;
      if (a_capo) return true;
    }
  }
};

// --testo: each line of standard input classified as one text, cleaned as a
// file's text is, in order; a line with a run of 30 word characters is named
// on standard error and has "-" in its places. Returns the exit status.
int predici_righe(const punteggio& p, const forma& f) {
  valutatore v;
  if (!prepara_valutatore(p, SENZA_MODELLO, v)) return 1;
  stampa_intestazione(f);
  auto lettore = std::make_unique<lettore_righe>();
  bool tutti = true;
  std::string riga;
  for (long numero = 1; lettore->prossima(riga); ++numero) {
    tabella_parole tabella;
    if (conta_byte(riga, tabella).troppo_lunga) {
      std::fprintf(messaggi(), "Riga %ld scartata: una parola di 30 o piu' caratteri\n", numero);
      stampa_esito(f, v, std::to_string(numero), -1, nullptr);
      tutti = false;
      continue;
    }
    double punteggi[CLASSI];
    const int classe = valuta_testo(v, voci_ordinate(tabella), riga, punteggi);
    stampa_esito(f, v, std::to_string(numero), classe, punteggi);
  }
  if (lettore->errore != 0) {
    std::fflush(stdout);
    std::fprintf(messaggi(), "Impossibile leggere i testi da standard input: %s\n", std::strerror(lettore->errore));
    return 1;
  }
  return tutti ? 0 : 1;
}
}  // namespace

int predici(int argc, char** argv) {
  messaggi_su_standard_error();
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, OPZIONI_FORMA, {{}, INT_MAX}, uso_predici, letta)) return letta.stato;
  const riga_comando& r = letta.r;
  const punteggio& p = letta.p;
  forma f;
  if (!leggi_forma(letta, f)) {
    uso_predici(messaggi());
    return 1;
  }
  if (f.righe) return predici_righe(p, f);
  std::vector<testo> testi;
  if (r.posizionali.empty() && !aggiungi_testi("-", testi)) return 1;
  for (const char* a : r.posizionali)
    if (!aggiungi_testi(a, testi)) return 1;
  valutatore v;
  if (!prepara_valutatore(p, SENZA_MODELLO, v)) return 1;

  stampa_intestazione(f);
  bool tutti = true;
  for (const auto& [path, nominato] : testi) {
    if (uscita_interrotta()) break;  // the table is lost: nothing more to compute
    tabella_parole tabella;
    std::string byte;
    if (const lettura l = leggi_e_conta(path, tabella, nullptr, nominato, p.tipo == regola::lineare ? &byte : nullptr);
        l != lettura::letta) {
      std::fprintf(messaggi(), "%s: %s\n", stampabile(path).c_str(), motivo_scarto(l));
      stampa_esito(f, v, stampabile(path), -1, nullptr);
      tutti = false;
      continue;
    }
    double punteggi[CLASSI];
    const int classe = valuta_testo(v, voci_ordinate(tabella), byte, punteggi);
    stampa_esito(f, v, stampabile(path), classe, punteggi);
  }
  return tutti ? 0 : 1;
}
