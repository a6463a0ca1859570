// The command line of velmora_apms: three paths, the positional epochs,
// rate and held-out file as they always were, and the training options,
// which may stand anywhere among them.
#pragma once

#include <cstdint>

#include "dati.h"
#include "passo.h"
#include "pesi.h"
#include "riga_comando.h"

inline constexpr int EPOCHE_PREDEFINITE = 15;

// Threads a command line may ask for; a step shares its work among
// FILI_MASSIMI at most (passo_fili.h), so more only wait.
inline constexpr int FILI_PERMESSI = 64;

struct opzioni {
  const char* path_addestramento = nullptr;
  const char* path_intercalari = nullptr;
  const char* path_efferenti = nullptr;
  int posizionali = 0;  // arguments that are not options nor their values
  int epoche = EPOCHE_PREDEFINITE;
  double tasso = TASSO_PREDEFINITO;
  const char* path_verifica = nullptr;  // optional: held-out rows, only ever reported
  costo funzione = costo::quadratico;
  double decadimento = 0.0;  // L2 strength, see passo
  inizio_pesi inizio = inizio_pesi::fisso;
  double riduzione = 1.0;  // the rate is multiplied by this factor...
  int ogni = 1;            // ...after every `ogni` epochs
  int lotto = 1;           // rows per step
  int spostamenti = 0;     // shifted copies up to this many pixels
  uint64_t seme = SEME;
  const char* da_intercalari = nullptr;  // warm start from this pair
  const char* da_efferenti = nullptr;
  double validazione = 0.0;  // per cent of the training rows held aside to pick the best epoch
  int media = 0;             // the network of an epoch is the mean of the last `media` epochs' weights
  bool ricetta = false;
  const char* path_ripresa = nullptr;  // the resume file, kept after every epoch
  int fili = 0;                        // threads of the training step; 0: one per core the process may run on
  const char* path_rapporto = nullptr;  // the run's page, written after training
  const char* path_curva = nullptr;     // the epochs' figures as a table
};

// The settings of --ricetta (paths and the held-out file left unset).
opzioni opzioni_ricetta();

// Reads the command line with the suite's scanner. --ricetta stands for its
// settings wherever it is; every value given explicitly, an option or a
// positional number, wins over them, and of two values for the same setting
// the later one. A bad value prints a message naming it and gives
// sbagliata, before any file is read; --help and --version give aiuto and
// versione. Fewer than three positional arguments leave o.posizionali below
// 3: the caller prints the usage.
esito_comando leggi_opzioni(int argc, char** argv, opzioni& o);

// The usage text, with every option and its default.
void stampa_uso();
