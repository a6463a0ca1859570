#include "azioni_comuni.h"

#include <cstdio>

#include "destinazione.h"
#include "nomi.h"

int parola_troppo_lunga() {
  std::printf("Attenzione: le parle devono avere lunghezza massima %d\n", LUNGHEZZA_MAX);
  return 1;
}

bool puo_ricevere(const char* path, const char* cosa) {
  const char* motivo = perche_non_sostituibile(path);
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere %s: %s\n", stampabile(path).c_str(), cosa, motivo);
  return false;
}

bool blocca_e_carica(blocco_cartella& blocco, borsa& modello) {
  // Runs started together wait for each other here, so their additions add
  // up instead of overwriting each other.
  if (!blocca_cartella(blocco, MODELLO)) {
    std::printf("Impossibile bloccare la cartella %s: senza il blocco %s non viene cambiato\n",
                stampabile(cartella_da_bloccare(MODELLO)).c_str(), MODELLO);
    return false;
  }
  // Only a model that does not exist may be replaced; one that exists but
  // cannot be read, or is not a model, is left alone.
  const esito_lettura letto = leggi_bow(modello.testa, MODELLO);
  return letto != esito_lettura::illeggibile && letto != esito_lettura::non_modello;
}

bool carica_e_indicizza(modello_indicizzato& m, const char* senza_modello) {
  // No lock, as for classifica: the model is replaced whole by a rename.
  borsa modello;
  const esito_lettura letto = leggi_bow(modello.testa, MODELLO);
  if (letto == esito_lettura::non_modello) return false;
  if (letto != esito_lettura::letto) {
    std::printf("%s\n", senza_modello);
    return false;
  }
  m = indicizza_modello(modello.testa);
  return true;
}
