// The values of velmora_bow's command lines: a class, a number of words,
// a scoring rule with its smoothing.
#pragma once

#include <cstdio>

#include "punteggi.h"
#include "riga_comando.h"

// The class, a whole number from 0 to 9 written as atoi reads it in full
// (leading blanks, an optional sign, then digits and nothing after them:
// "3", "03", "+3"), or -1 for anything else, after printing "Classe X non
// supportata: ...".
int leggi_classe(const char* testo);
// The value of the option nome, a whole number from 1 to INT_MAX written in
// full, or predefinito when the option is not given; -1 after printing
// "Numero di parole non valido: ..." for any other value.
long leggi_numero_parole(const riga_comando& r, const char* nome, long predefinito);

// The options --punteggio NOME and --alfa A, shared by every action that scores.
inline const opzione OPZIONE_PUNTEGGIO{"--punteggio", 1};
inline const opzione OPZIONE_ALFA{"--alfa", 1};
// The usage lines of those two options, on f.
void uso_punteggio(std::FILE* f);
// The scoring rule the command line asks for (velmora when none). false,
// with the reason printed, for an unknown rule or a bad smoothing.
bool leggi_punteggio(const riga_comando& r, punteggio& p);
