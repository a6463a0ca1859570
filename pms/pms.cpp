// velmora_pms: recognises the digit in the first row of a CSV rows file and,
// on a terminal wide enough, draws it.
#include <cstdio>

#include "intestazione.h"
#include "lettore_righe.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"
#include "riga_comando.h"

// Prints the usage text, fixed byte for byte; returns the exit status, 1.
static int uso() {
  std::printf("\nUSO:\n velmora_pms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>\n\n");
  stampa_parametri_rete("file csv con il dato da riconoscere");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms) \n ");
  return 1;
}

static int esegui(int argc, char** argv) {
  // --help and --version among the three files, where no file of that name
  // exists: the usage or the version, without the banner, status 0. Words
  // after the third were always ignored, and still are.
  if (risponde_aiuto(argc < 4 ? argc : 4, argv, 1, [] { uso(); }, "velmora_pms", true)) return 0;
  stampa_intestazione("percettrone multistrato (pms)");
  if (argc < 4) return uso();

  auto rete = crea_rete();
  file_ptr righe = net_load(*rete, argv[1], argv[2], argv[3]);
  // The row is read as get_image reads it, and must end its line: more
  // values or any text after the last pixel refuse it.
  lettore_righe lettore = crea_lettore(righe.get());
  const bool intera = leggi_riga(lettore, rete->pixel, rete->etichetta) == N_AFFERENTI + 1 && chiudi_riga(lettore);
  righe.reset();
  if (!intera) {
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
