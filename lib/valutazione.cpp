#include "valutazione.h"

#include <algorithm>
#include <cstdio>

#include "nomi.h"
#include "veloce.h"

void conta_risposta(risultato& esito, int etichetta, int risposta) {
  if (risposta < 0) {
    ++esito.senza_risposta;
    return;
  }
  ++esito.confusione[static_cast<size_t>(etichetta)][static_cast<size_t>(risposta)];
  if (risposta == etichetta) ++esito.riconosciute;
}

risultato valuta_righe(rete_cifre& rete, const righe_cifre& righe) { return valuta_righe_uscite(rete, righe, nullptr); }

risultato valuta_righe_uscite(rete_cifre& rete, const righe_cifre& righe, double* uscite) {
  // The weights do not change here, so the vectorised forward pass (same
  // bits as net_recognize) pays for laying them out once.
  const auto pesi = prepara_pesi(rete);
  risultato esito;
  for (int r = 0; r < righe.quante; ++r) {
    prendi_riga(rete, righe, r);
    conta_risposta(esito, rete.etichetta, net_recognize_veloce(rete, *pesi));
    if (uscite) std::copy(rete.uscita_efferenti, rete.uscita_efferenti + N_EFFERENTI, uscite + size_t{N_EFFERENTI} * r);
  }
  return esito;
}

void stampa_confusione(const risultato& esito, const char* path) {
  // Two lines, so that neither is wider than a terminal of 80 columns for
  // any ordinary name.
  std::printf("\nMatrice di confusione su %s\n(righe: etichetta, colonne: cifra riconosciuta)\n    ",
              stampabile(path).c_str());
  for (int c = 0; c < N_EFFERENTI; ++c) std::printf("%6d", c);
  std::printf("\n");
  for (int e = 0; e < N_EFFERENTI; ++e) {
    std::printf("%2d |", e);
    for (int c = 0; c < N_EFFERENTI; ++c)
      std::printf("%6d", esito.confusione[static_cast<size_t>(e)][static_cast<size_t>(c)]);
    std::printf("\n");
  }
  if (esito.senza_risposta > 0) std::printf("Righe senza risposta: %d\n", esito.senza_risposta);
}
