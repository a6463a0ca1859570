// The command line of velmora_bow's corpus actions: positional arguments
// and options in any order after the action word.
#pragma once

#include <string>
#include <vector>

#include "punteggi.h"

// One option an action accepts: "--errori", or "--primi" followed by a value.
struct opzione {
  const char* nome;
  bool con_valore;
};

struct riga_comando {
  std::vector<const char*> posizionali;
  std::vector<std::pair<std::string, const char*>> date;  // the options given, in order, with their value or null
};

// Reads argv[primo ...]. false, with the reason printed ("Opzione sconosciuta: X",
// "Manca il valore dell'opzione X", "Argomento in piu': X", "Manca l'argomento NOME"),
// when an option is unknown or lacks its value, or the positional arguments are
// not exactly the names given.
bool leggi_riga_comando(int argc, char** argv, int primo, const std::vector<opzione>& accettate,
                        const std::vector<const char*>& nomi_posizionali, riga_comando& r);

// The value of the option nome as last given, or null.
const char* valore_opzione(const riga_comando& r, const char* nome);
// Whether the option nome was given.
bool opzione_data(const riga_comando& r, const char* nome);

// The class, a whole number from 0 to 9 written as atoi reads it in full
// (leading blanks, an optional sign, then digits and nothing after them:
// "3", "03", "+3"), or -1 for anything else, after printing "Classe X non
// supportata: ...".
int leggi_classe(const char* testo);
// The value of the option nome, a whole number from 1 to INT_MAX written in
// full, or predefinito when the option is not given; -1 after printing
// "Numero di parole non valido: ..." for any other value.
long leggi_numero_parole(const riga_comando& r, const char* nome, long predefinito);

// The options --punteggio NOME and --alfa A, shared by valuta and spiega.
inline const opzione OPZIONE_PUNTEGGIO{"--punteggio", true};
inline const opzione OPZIONE_ALFA{"--alfa", true};
// The usage lines of those two options.
void uso_punteggio();
// The scoring rule the command line asks for (velmora when none). false,
// with the reason printed, for an unknown rule or a bad smoothing.
bool leggi_punteggio(const riga_comando& r, punteggio& p);
