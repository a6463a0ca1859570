// What the actions of velmora_bow share: the model's path, how an action
// that changes the model locks and loads it, how one that scores many texts
// loads it and lays it out, and the refusals they all print alike.
#pragma once

#include <cstdio>
#include <string_view>
#include <vector>

#include "blocco.h"
#include "bow_lib.h"
#include "lineare.h"
#include "punteggi.h"
#include "riga_comando.h"
#include "valori.h"

inline constexpr const char* MODELLO = "Bow.txt";
// The linear model, beside it: written only by addestra --lineare.
inline constexpr const char* MODELLO_LINEARE = "Bow.lineare";

// The refusal of a text with a run of LUNGHEZZA_MAX or more letters, as
// aggiungi and classifica print it; returns the exit status, 1.
int parola_troppo_lunga();

// Whether the run may replace path, the file that receives cosa ("il
// modello"): refused now, with the reason printed, when it is a folder, a
// special file, a loop of links or a file the user may not write, and with
// anche_cartella when its folder is missing or takes no new file.
bool puo_ricevere(const char* path, const char* cosa, bool anche_cartella = false);

// For a read-change-write of the model: locks its folder, then loads it.
// false, with the reason printed, when the lock cannot be taken, or the
// model exists but cannot be read or is not a model: nothing may then
// change. A missing model loads as an empty one, after its message.
bool blocca_e_carica(blocco_cartella& blocco, borsa& modello);

// For scoring many texts: the model loaded and laid out. false, with the
// reason printed on messaggi() (senza_modello when there is no model).
bool carica_e_indicizza(modello_indicizzato& m, const char* senza_modello);

// An action's command line, argv[primo ...], read with the shared scanner:
// true to go on; false when the action must end at once with *stato: 0
// after --help (its usage, on standard output) or --version, 1 after a
// refusal (the reason, then its usage, on messaggi()).
bool leggi_azione(int argc, char** argv, const std::vector<opzione>& accettate, const posizionali& attesi,
                  riga_comando& r, void (*uso)(std::FILE*), int& stato, int primo = 2);

// The command line of an action that scores texts, as read.
struct riga_con_regola {
  riga_comando r;
  punteggio p;    // the rule --punteggio and --alfa name
  int stato = 0;  // the exit status when the action must end at once
};

// leggi_azione for an action that scores texts: --punteggio and --alfa
// besides its own options.
bool leggi_azione_con_regola(int argc, char** argv, std::vector<opzione> accettate, const posizionali& attesi,
                             void (*uso)(std::FILE*), riga_con_regola& letta, int primo = 2);

// A rule ready to score many texts: the model laid out with the rule's
// weights, or, for lineare, the linear model checked against Bow.txt.
struct valutatore {
  punteggio p;
  modello_indicizzato m;    // velmora, bayes, complemento
  pesi_regola r;
  modello_lineare lineare;  // lineare
};

// Loads what rule p needs. false, with the reason printed: senza_modello
// when there is no Bow.txt to read, or why Bow.lineare cannot score.
bool prepara_valutatore(const punteggio& p, const char* senza_modello, valutatore& v);
// The ten scores of a text under the rule: from its words (sorted, as
// voci_ordinate gives them) under the count rules, from its bytes under
// lineare; returns the class the rule names.
int valuta_testo(const valutatore& v, const std::vector<voce_parola>& voci, std::string_view byte,
                 double punteggi[CLASSI]);
// Whether class k has data under the rule.
bool con_dati(const valutatore& v, int k);

// Under rule p, the line that names it ("Punteggio: bayes, alfa 0.1"),
// printed only for a rule other than the built-in one.
void stampa_regola_usata(const punteggio& p);
// The ten scores and the class as classifica prints them; a class without
// data under a rule other than the built-in one reads "senza dati".
void stampa_classificazione(const valutatore& v, const double punteggi[CLASSI], int scelta);

// ---- A text read whole, and probabilities -----------------------------------------------

// Whether the rule gives probabilities: every rule but velmora, whose score
// is not the log of a likelihood (docs/bow.md).
bool da_probabilita(const punteggio& p);
// The probability of each class from the text's scores under the rule
// (da_probabilita): probabilita_regola, or probabilita_lineari for lineare.
void probabilita_testo(const valutatore& v, const double punteggi[CLASSI], double p[CLASSI]);
