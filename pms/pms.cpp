// velmora_pms: recognises the digit in the first row of a CSV rows file and,
// on a terminal wide enough, draws it.
#include <cstdio>

#include "intestazione.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"

// Prints the usage text, fixed byte for byte; returns the exit status, 1.
static int uso() {
  std::printf("\nUSO:\n velmora_pms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>\n\n");
  stampa_parametri_rete("file csv con il dato da riconoscere");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms) \n ");
  return 1;
}

static int esegui(int argc, char** argv) {
  stampa_intestazione("percettrone multistrato (pms)");
  if (argc < 4) return uso();

  auto rete = crea_rete();
  file_ptr righe = net_load(*rete, argv[1], argv[2], argv[3]);
  const int letti = get_image(rete->pixel, rete->etichetta, righe.get());
  righe.reset();
  if (letti != N_AFFERENTI + 1) {
    std::printf("Riga %d del file %s non valida\n", 1, stampabile(argv[1]).c_str());
    return 1;
  }
  const int migliore = net_recognize(*rete);

  int32_t righe_term = 0, colonne_term = 0;
  if (dimensioni_finestra(righe_term, colonne_term) == 0 && colonne_term > 57) {
    std::printf("\n___________________________________");
    std::printf("\n|Immagine caricata:");
    print_object(rete->ingresso + 1, LATO_IMMAGINE, LATO_IMMAGINE, 9, 2);
  }

  std::printf("\n___________________________________");
  std::printf("\n| Percentuale di classificazione:");
  std::printf("\n|----------------------------------");
  for (int k = 0; k < N_EFFERENTI; ++k) std::printf("\n| %d (%.1f%%)", k, 100.0 * rete->uscita_efferenti[k]);
  std::printf("\n");
  std::printf("\n___________________________________");
  if (migliore < 0)
    std::printf("\n| Miglior risultato: nessuno\n\n");
  else
    std::printf("\n| Miglior risultato: %d\n\n", migliore);
  std::fflush(stdout);
  return 0;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
