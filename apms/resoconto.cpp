#include "resoconto.h"

#include <cstdio>

#include "nomi.h"
#include "numeri.h"
#include "valutazione.h"

double percentuale(int parte, int tutto) { return tutto > 0 ? 100.0 * parte / tutto : 0.0; }

double secondi_da(std::chrono::steady_clock::time_point inizio) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
}

namespace {

// Whether a setting other than the epochs, the rate and the seed (which the
// first header line states) differs from its default.
bool impostazioni_speciali(const opzioni& o) {
  const opzioni d;
  return o.funzione != d.funzione || o.decadimento != d.decadimento || o.inizio != d.inizio ||
         o.riduzione != d.riduzione || o.lotto != d.lotto || o.spostamenti != d.spostamenti || o.da_intercalari ||
         o.validazione != d.validazione || o.media != d.media;
}

// The header line of those settings, every one of them; righe_validazione
// is the count held aside.
void stampa_impostazioni(const opzioni& o, int righe_validazione) {
  char decadimento[32], riduzione[32], quota[32];
  formatta_numero(decadimento, sizeof decadimento, o.decadimento);
  formatta_numero(riduzione, sizeof riduzione, o.riduzione);
  formatta_numero(quota, sizeof quota, o.validazione);
  std::printf("Costo: %s, decadimento: %s, ", o.funzione == costo::entropia ? "entropia" : "quadratico", decadimento);
  if (o.da_intercalari)
    std::printf("pesi iniziali: da %s e %s, ", stampabile(o.da_intercalari).c_str(), stampabile(o.da_efferenti).c_str());
  else std::printf("pesi iniziali: %s, ", o.inizio == inizio_pesi::scalato ? "scalati" : "fissi");
  if (o.riduzione == 1.0) std::printf("riduzione del tasso: nessuna, ");
  else if (o.ogni == 1) std::printf("riduzione del tasso: x%s ogni epoca, ", riduzione);
  else std::printf("riduzione del tasso: x%s ogni %d epoche, ", riduzione, o.ogni);
  std::printf("lotto: %d, spostamenti: %d, ", o.lotto, o.spostamenti);
  if (o.media > 0) std::printf("media delle ultime %d epoche, ", o.media);
  std::printf("validazione: ");
  if (righe_validazione > 0) std::printf("%s%% (%d righe)\n", quota, righe_validazione);
  else std::printf("nessuna\n");
}

}  // namespace

void stampa_testata(const opzioni& o, const dati& d, int righe_lette) {
  std::printf("\nRighe di addestramento: %d (%s)", righe_lette, stampabile(o.path_addestramento).c_str());
  if (d.validazione.quante > 0) std::printf(", %d tenute da parte per la validazione", d.validazione.quante);
  std::printf("\n");
  if (o.path_verifica)
    std::printf("Righe di verifica: %d (%s)\n", d.verifica.quante, stampabile(o.path_verifica).c_str());
  char tasso[32];
  formatta_numero(tasso, sizeof tasso, o.tasso);
  std::printf("Epoche: %d, tasso di apprendimento: %s, seme: %llu\n", o.epoche, tasso,
              static_cast<unsigned long long>(o.seme));
  if (impostazioni_speciali(o)) stampa_impostazioni(o, d.validazione.quante);
  std::printf("\n");
  std::fflush(stdout);
}

// One terminal line, rewritten in place: bar, rows done, speed, accuracy so
// far. Cut to the terminal's width, since a wrapped line could not be
// rewritten with a carriage return.
void barra(int epoca, int epoche, int fatte, int tutte, int giuste, double secondi) {
  constexpr int LARGHEZZA = 20;
  char segni[LARGHEZZA + 1];
  const int pieni = static_cast<int>(static_cast<long>(fatte) * LARGHEZZA / tutte);
  for (int i = 0; i < LARGHEZZA; ++i) segni[i] = i < pieni ? '#' : '.';
  segni[LARGHEZZA] = '\0';
  const double velocita = secondi > 0.0 ? fatte / secondi : 0.0;
  char riga[200];
  std::snprintf(riga, sizeof riga, "Epoca %d/%d [%s] %d/%d righe  %.0f/s  giuste %.2f%%", epoca, epoche, segni, fatte,
                tutte, velocita, percentuale(giuste, fatte));
  int32_t righe_term = 0, colonne_term = 0;
  if (dimensioni_finestra(righe_term, colonne_term) == 0 && colonne_term > 1 &&
      static_cast<size_t>(colonne_term - 1) < sizeof riga)
    riga[colonne_term - 1] = '\0';
  std::printf("\r\33[K%s", riga);
  std::fflush(stdout);
}

void riepilogo(rete_cifre& rete, const dati& d, const opzioni& o, const valutazione_righe& valuta) {
  const risultato finale = valuta(rete, d.addestramento);
  std::printf("\nAddestramento: %d righe riconosciute su %d (%.2f%%)\n", finale.riconosciute, d.addestramento.quante,
              percentuale(finale.riconosciute, d.addestramento.quante));
  if (d.validazione.quante > 0) {
    const risultato v = valuta(rete, d.validazione);
    std::printf("Validazione: %d righe riconosciute su %d (%.2f%%)\n", v.riconosciute, d.validazione.quante,
                percentuale(v.riconosciute, d.validazione.quante));
  }
  if (!o.path_verifica) {
    stampa_confusione(finale, o.path_addestramento);
    return;
  }
  const risultato esito = valuta(rete, d.verifica);
  std::printf("Verifica: %d righe riconosciute su %d (%.2f%%)\n", esito.riconosciute, d.verifica.quante,
              percentuale(esito.riconosciute, d.verifica.quante));
  stampa_confusione(esito, o.path_verifica);
}
