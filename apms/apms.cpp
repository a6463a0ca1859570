// velmora_apms: trains the digit network of velmora_pms and velmora_bpms on
// a CSV rows file and writes its two weight files.
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "addestramento.h"
#include "apms.h"
#include "memoria.h"
#include "scrittura.h"

static void uso() {
  std::printf("\nUSO:\n velmora_apms <addestramento.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>"
              " [epoche] [tasso] [verifica.csv]\n\n");
  std::printf("\nPARAMETRI:\n"
              "<addestramento.csv>          file csv con le righe di addestramento\n"
              "<connessioni_intercalari.w>  file da scrivere: pesi delle connessioni tra i neuroni afferenti e quelli intercalari\n"
              "<connessioni_efferenti.w>    file da scrivere: pesi delle connessioni tra i neuroni intercalari e quelli efferenti\n"
              "[epoche]                     passate sulle righe di addestramento (predefinito: %d)\n"
              "[tasso]                      tasso di apprendimento (predefinito: %g)\n"
              "[verifica.csv]               file csv con righe di verifica, valutate dopo ogni epoca\n",
              EPOCHE_PREDEFINITE, TASSO_PREDEFINITO);
  std::printf("\nCOLLEGAMENTI INTERNI:\npercettrone multistrato (pms), benchmark percettrone multistrato (bpms) \n ");
}

static double percentuale(int parte, int tutto) { return tutto > 0 ? 100.0 * parte / tutto : 0.0; }

static double secondi_da(std::chrono::steady_clock::time_point inizio) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - inizio).count();
}

// One terminal line, rewritten in place: bar, rows done, speed, accuracy so
// far. Cut to the terminal's width, since a wrapped line could not be
// rewritten with a carriage return.
static void barra(int epoca, int epoche, int fatte, int tutte, int giuste, double secondi) {
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

// The command line, checked: the numbers before any file is opened.
struct opzioni {
  const char* path_addestramento = nullptr;
  const char* path_intercalari = nullptr;
  const char* path_efferenti = nullptr;
  int epoche = EPOCHE_PREDEFINITE;
  double tasso = TASSO_PREDEFINITO;
  const char* path_verifica = nullptr;  // optional
};

static bool leggi_opzioni(int argc, char** argv, opzioni& o) {
  o.path_addestramento = argv[1];
  o.path_intercalari = argv[2];
  o.path_efferenti = argv[3];
  if (argc > 4) {
    char* fine = nullptr;
    errno = 0;
    const long n = std::strtol(argv[4], &fine, 10);
    if (fine == argv[4] || *fine != '\0' || errno != 0 || n < 1 || n > 100000) {
      std::printf("Numero di epoche non valido: %s (da 1 a 100000)\n", argv[4]);
      return false;
    }
    o.epoche = static_cast<int>(n);
  }
  if (argc > 5) {
    char* fine = nullptr;
    const double t = std::strtod(argv[5], &fine);
    if (fine == argv[5] || *fine != '\0' || !std::isfinite(t) || t <= 0.0) {
      std::printf("Tasso di apprendimento non valido: %s (un numero maggiore di 0)\n", argv[5]);
      return false;
    }
    o.tasso = t;
  }
  if (argc > 6) o.path_verifica = argv[6];
  if (stessa_destinazione(o.path_intercalari, o.path_efferenti)) {
    std::printf("I due file dei pesi devono essere diversi: %s\n", o.path_intercalari);
    return false;
  }
  return true;
}

// ---- Training step ----------------------------------------------------------------
// Built with VELMORA_APMS_RIFERIMENTO the program reads its rows with scanf
// and trains with the straightforward step, addestra_riga on the weights of
// rete; both builds write the same weight files and the same text.

#ifdef VELMORA_APMS_RIFERIMENTO
inline constexpr bool LETTURA_DIRETTA = true;
struct motore {};
static motore prepara_motore(const rete_cifre&) { return {}; }
static int addestra(motore&, rete_cifre& rete, double tasso) { return addestra_riga(rete, rete.etichetta, tasso); }
static void aggiorna_rete(const motore&, rete_cifre&) {}
#else
inline constexpr bool LETTURA_DIRETTA = false;
struct motore {
  std::unique_ptr<addestramento_veloce> stato;  // the weights being trained, laid out by input
};
static motore prepara_motore(const rete_cifre& rete) { return {prepara_addestramento(rete)}; }
static int addestra(motore& m, rete_cifre& rete, double tasso) {
  return addestra_riga_veloce(rete, *m.stato, rete.etichetta, tasso);
}
// The weights of rete catch up with training, to be evaluated or written.
static void aggiorna_rete(const motore& m, rete_cifre& rete) { riporta_pesi(*m.stato, rete); }
#endif

// One pass over the training rows in the epoch's order; returns the rows the
// network recognised just before learning from them.
static int epoca_di_addestramento(motore& m, rete_cifre& rete, const righe_cifre& righe,
                                  const std::vector<int>& ordine, double tasso, int epoca, int epoche,
                                  bool terminale) {
  const auto inizio = std::chrono::steady_clock::now();
  int giuste = 0;
  for (int n = 0; n < righe.quante; ++n) {
    // The order is random, so no cache guesses the next row: ask for it now.
    if (n + 1 < righe.quante) {
      const auto* dopo = righe.pixel.data() + static_cast<size_t>(ordine[static_cast<size_t>(n) + 1]) * N_AFFERENTI;
      for (int b = 0; b < N_AFFERENTI; b += 64 / static_cast<int>(sizeof *dopo)) __builtin_prefetch(dopo + b);
    }
    prendi_riga(rete, righe, ordine[static_cast<size_t>(n)]);
    if (addestra(m, rete, tasso) == rete.etichetta) ++giuste;
    if (terminale && (n + 1) % 250 == 0) barra(epoca, epoche, n + 1, righe.quante, giuste, secondi_da(inizio));
  }
  return giuste;
}

// Every row is read and checked before any training, so a bad file stops the
// run at once and leaves the weight files untouched. False: stop with status 1.
static bool carica_dati(const opzioni& o, righe_cifre& addestramento, righe_cifre& verifica) {
  addestramento = carica_righe(o.path_addestramento, LETTURA_DIRETTA);
  if (addestramento.quante == 0) {
    std::printf("Il file %s non contiene righe\n", o.path_addestramento);
    return false;
  }
  if (o.path_verifica) verifica = carica_righe(o.path_verifica, LETTURA_DIRETTA);
  std::printf("\nRighe di addestramento: %d (%s)\n", addestramento.quante, o.path_addestramento);
  if (o.path_verifica) std::printf("Righe di verifica: %d (%s)\n", verifica.quante, o.path_verifica);
  std::printf("Epoche: %d, tasso di apprendimento: %g, seme: %llu\n\n", o.epoche, o.tasso,
              static_cast<unsigned long long>(SEME));
  std::fflush(stdout);
  return true;
}

// Every epoch in turn, from the generator's starting weights; one line per
// epoch. Leaves the trained weights in rete and returns the seconds spent.
static double esegui_epoche(rete_cifre& rete, const righe_cifre& addestramento, const righe_cifre& verifica,
                            const opzioni& o, bool terminale) {
  generatore g{SEME};
  inizializza_pesi(rete, g);
  motore m = prepara_motore(rete);
  std::vector<int> ordine(static_cast<size_t>(addestramento.quante));
  std::iota(ordine.begin(), ordine.end(), 0);
  const auto inizio = std::chrono::steady_clock::now();
  for (int epoca = 1; epoca <= o.epoche; ++epoca) {
    // Fisher-Yates from the last position down, one draw per position.
    for (int i = addestramento.quante - 1; i > 0; --i)
      std::swap(ordine[static_cast<size_t>(i)], ordine[sotto(g, static_cast<uint32_t>(i) + 1)]);
    const auto inizio_epoca = std::chrono::steady_clock::now();
    const int giuste = epoca_di_addestramento(m, rete, addestramento, ordine, o.tasso, epoca, o.epoche, terminale);

    if (terminale) std::printf("\r\33[K");
    std::printf("Epoca %d di %d: accuratezza %.2f%%", epoca, o.epoche, percentuale(giuste, addestramento.quante));
    if (o.path_verifica) {
      aggiorna_rete(m, rete);
      const risultato esito = valuta(rete, verifica);
      std::printf(", verifica %.2f%%", percentuale(esito.riconosciute, verifica.quante));
    }
    if (terminale) std::printf(", %.1f s", secondi_da(inizio_epoca));
    std::printf("\n");
    std::fflush(stdout);
  }
  aggiorna_rete(m, rete);
  return secondi_da(inizio);
}

// The accuracy on the training rows and on the held-out ones, and the
// confusion matrix of the held-out rows (of the training rows without them).
static void riepilogo(rete_cifre& rete, const righe_cifre& addestramento, const righe_cifre& verifica,
                      const opzioni& o) {
  const risultato finale = valuta(rete, addestramento);
  std::printf("\nAddestramento: %d righe riconosciute su %d (%.2f%%)\n", finale.riconosciute, addestramento.quante,
              percentuale(finale.riconosciute, addestramento.quante));
  if (!o.path_verifica) {
    stampa_confusione(finale, o.path_addestramento);
    return;
  }
  const risultato esito = valuta(rete, verifica);
  std::printf("Verifica: %d righe riconosciute su %d (%.2f%%)\n", esito.riconosciute, verifica.quante,
              percentuale(esito.riconosciute, verifica.quante));
  stampa_confusione(esito, o.path_verifica);
}

static int esegui(int argc, char** argv) {
  stampa_intestazione("addestramento percettrone multistrato (apms)");
  if (argc < 4) {
    uso();
    return 1;
  }
  opzioni o;
  if (!leggi_opzioni(argc, argv, o)) return 1;
  // The targets are checked before any row is read: a run that could not
  // write its weights fails now, not after hours of training.
  for (const char* path : {o.path_intercalari, o.path_efferenti})
    if (!controlla_pesi_da_scrivere(path, o.path_addestramento, o.path_verifica)) return 1;

  righe_cifre addestramento, verifica;
  if (!carica_dati(o, addestramento, verifica)) return 1;
  const bool terminale = isatty(STDOUT_FILENO) == 1;
  auto rete = crea_rete();
  const double durata = esegui_epoche(*rete, addestramento, verifica, o, terminale);
  riepilogo(*rete, addestramento, verifica, o);
  if (terminale) std::printf("Tempo di addestramento: %.1f s\n", durata);

  if (!scrivi_pesi(*rete, o.path_intercalari, o.path_efferenti)) return 1;
  std::printf("\nPesi scritti in %s e %s\n", o.path_intercalari, o.path_efferenti);
  return 0;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
