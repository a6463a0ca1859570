// velmora_idx: turns an IDX image file and its IDX label file (the format of
// MNIST and Fashion-MNIST, plain or gzipped) into the CSV rows file that the
// digit programs read.
#include <cstdint>
#include <cstdio>
#include <string>

#include "destinazione.h"
#include "file_idx.h"
#include "intestazione.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"
#include "scrittura.h"

namespace {

void uso() {
  std::printf("\nUSO:\n velmora_idx <immagini> <etichette> <uscita.csv>\n\n");
  std::printf("\nPARAMETRI:\n"
              "<immagini>    file IDX delle immagini: numero magico 2051, 28 x 28 byte senza segno per immagine\n"
              "<etichette>   file IDX delle etichette: numero magico 2049, un byte per immagine\n"
              "<uscita.csv>  file csv da scrivere: per ogni immagine una riga, l'etichetta e i 784 pixel\n"
              "              separati da virgole\n"
              "I due file IDX possono essere compressi con gzip (.gz) o no.\n");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms), "
              "galleria percettrone multistrato (gpms) \n ");
}

}  // namespace

static int esegui(int argc, char** argv) {
  stampa_intestazione("conversione file IDX (idx)", false);
  if (argc < 4) {
    uso();
    return 1;
  }
  if (argc > 4) {
    std::printf("Argomento in piu': %s\n", stampabile(argv[4]).c_str());
    return 1;
  }
  const char* path_uscita = argv[3];
  const std::string uscita_stampabile = stampabile(path_uscita);
  for (int i = 1; i <= 2; ++i) {
    if (stesso_file(path_uscita, argv[i])) {
      std::printf("Il file %s e' uno dei file IDX: il file csv deve essere un altro\n", uscita_stampabile.c_str());
      return 1;
    }
  }
  // The target is checked before anything is read: a device or a FIFO is
  // never replaced by a file.
  if (const char* motivo = perche_non_sostituibile(path_uscita)) {
    std::printf("Il file %s non puo' ricevere le righe: %s\n", uscita_stampabile.c_str(), motivo);
    std::printf("Impossibile scrivere il file %s\n", uscita_stampabile.c_str());
    return 1;
  }
  file_idx immagini, etichette;
  uint32_t quante = 0;
  if (!apri_idx(immagini, argv[1]) || !apri_idx(etichette, argv[2]) || !leggi_teste(immagini, etichette, quante))
    return 1;

  file_nuovo uscita;  // discarded, leaving nothing, unless installed
  if (!apri_file_nuovo(uscita, path_uscita)) {
    std::printf("Impossibile scrivere il file %s\n", uscita_stampabile.c_str());
    return 1;
  }
  if (!converti_idx(immagini, etichette, quante, uscita.file)) return 1;
  if (!installa_file(uscita)) {
    std::printf("Impossibile scrivere il file %s\n", uscita_stampabile.c_str());
    return 1;
  }
  std::printf("%u righe scritte in %s\n", quante, uscita_stampabile.c_str());
  return 0;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
