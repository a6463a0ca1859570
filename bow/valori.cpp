#include "valori.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

#include "bow_lib.h"
#include "nomi.h"
#include "numeri.h"
#include "uscita.h"

int leggi_classe(const char* testo) {
  // The forms atoi reads in full: blanks, a sign, then digits and nothing
  // else. "abc", "", "1x" and "1.5" are refused, not read as 0, 1 and 1.
  const char* c = testo;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  const bool negativa = *c == '-';
  if (*c == '+' || *c == '-') ++c;
  long classe = 0;
  const char* cifre = c;
  for (; *c >= '0' && *c <= '9'; ++c) classe = std::min<long>(classe * 10 + (*c - '0'), CLASSI);
  if (c > cifre && *c == '\0' && (classe == 0 || !negativa) && classe < CLASSI) return static_cast<int>(classe);
  std::fprintf(messaggi(), "Classe %s non supportata: le classi vanno da 0 a %d\n", stampabile(testo).c_str(), CLASSI - 1);
  return -1;
}

long leggi_numero_parole(const riga_comando& r, const char* nome, long predefinito) {
  const char* v = valore_opzione(r, nome);
  if (!v) return predefinito;
  long n = 0;
  if (intero_in(v, 1, INT_MAX, n)) return n;
  std::fprintf(messaggi(), "Numero di parole non valido: %s (da 1 a %d)\n", stampabile(v).c_str(), INT_MAX);
  return -1;
}

void uso_punteggio(std::FILE* f) {
  std::fprintf(f, "--punteggio NOME  la regola dei punteggi (predefinita: velmora):\n"
               "                  velmora      la regola di classifica, logaritmi in base 10\n"
               "                  bayes        naive Bayes multinomiale\n"
               "                  complemento  naive Bayes complementare (Rennie e altri, 2003)\n"
               "                  lineare      la regola lineare che addestra --lineare impara dai testi,\n"
               "                               in Bow.lineare; rifiutata se Bow.txt e' cambiato da allora\n"
               "--alfa A          la lisciatura di bayes e complemento, un numero da %g a %g\n"
               "                  (predefinita: %g per bayes, %g per complemento)\n",
               ALFA_MINIMA, ALFA_MASSIMA, ALFA_BAYES, ALFA_COMPLEMENTO);
}

bool leggi_punteggio(const riga_comando& r, punteggio& p) {
  p = {};
  if (const char* nome = valore_opzione(r, OPZIONE_PUNTEGGIO.nome); nome && !regola_da_nome(nome, p)) {
    std::fprintf(messaggi(), "Punteggio sconosciuto: %s (velmora, bayes, complemento o lineare)\n", stampabile(nome).c_str());
    return false;
  }
  const char* alfa = valore_opzione(r, OPZIONE_ALFA.nome);
  if (!alfa) return true;
  if (p.tipo == regola::velmora || p.tipo == regola::lineare) {
    std::fprintf(messaggi(), "La regola %s non ha lisciatura: --alfa vale con --punteggio bayes o complemento\n",
                 nome_regola(p.tipo));
    return false;
  }
  double a = 0.0;
  if (!reale_finito(alfa, a) || !alfa_accettata(a)) {
    std::fprintf(messaggi(), "Lisciatura non valida: %s (un numero da %g a %g)\n", stampabile(alfa).c_str(),
                 ALFA_MINIMA, ALFA_MASSIMA);
    return false;
  }
  p.alfa = a;
  return true;
}
