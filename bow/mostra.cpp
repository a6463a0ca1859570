// velmora_bow mostra CLASSE [--primi N]: what a class has learned.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

#include "mostra.h"

#include "azioni_comuni.h"
#include "bow_lib.h"
#include "uscita.h"
#include "valori.h"

namespace {

void uso_mostra(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow mostra CLASSE [--primi N]\n"
                  "Elenca le parole di Bow.txt con il loro conteggio nella classe CLASSE (da 0 a 9),\n"
                  "una per riga: PAROLA;CONTEGGIO.\n"
                  "--primi N  solo le N parole piu' frequenti della classe, dalla piu' frequente\n"
                  "           (a pari conteggio in ordine di parola; predefinito: tutte le parole del\n"
                  "           modello, in ordine di parola, anche quelle che la classe non ha mai visto)\n");
}

// The n words most frequent in the class, highest first; the sort is stable
// and the list is in word order, so ties stay in word order.
void mostra_primi(const blocco_bow* modello, int classe, long n) {
  std::vector<const blocco_bow*> parole;
  for (; modello; modello = modello->prossimo)
    if (modello->conteggi[classe] > 0) parole.push_back(modello);
  std::stable_sort(parole.begin(), parole.end(), [classe](const blocco_bow* a, const blocco_bow* b) {
    return a->conteggi[classe] > b->conteggi[classe];
  });
  if (parole.size() > static_cast<size_t>(n)) parole.resize(static_cast<size_t>(n));
  for (const blocco_bow* p : parole) {
    if (uscita_interrotta()) return;
    std::printf("%s;%d\n", p->parola, p->conteggi[classe]);
  }
}

}  // namespace

int mostra(int argc, char** argv) {
  riga_comando r;
  int stato = 0;
  if (!leggi_azione(argc, argv, {{"--primi", 1}}, {{"CLASSE"}}, r, uso_mostra, stato)) return stato;
  const int classe = leggi_classe(r.posizionali[0]);
  if (classe < 0) return 1;
  // 0: every word of the model, in word order.
  const long primi = leggi_numero_parole(r, "--primi", 0);
  if (primi < 0) {
    uso_mostra(messaggi());
    return 1;
  }
  borsa modello;
  if (leggi_bow(modello.testa, MODELLO) != esito_lettura::letto) return 1;
  if (primi == 0) {
    mostra_bow(modello.testa, classe);
  } else {
    mostra_primi(modello.testa, classe, primi);
  }
  return 0;
}
