// velmora_idx: turns an IDX image file and its IDX label file (the format of
// MNIST and Fashion-MNIST, plain or gzipped) into the CSV rows file that the
// digit programs read.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "destinazione.h"
#include "file_idx.h"
#include "intestazione.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"
#include "riga_comando.h"
#include "scrittura.h"

namespace {

void uso() {
  std::printf("\nUSO:\n velmora_idx <immagini> <etichette> <uscita.csv>\n\n");
  std::printf("\nPARAMETRI:\n"
              "<immagini>    file IDX delle immagini: numero magico 2051, 28 x 28 byte senza segno per immagine\n"
              "<etichette>   file IDX delle etichette: numero magico 2049, un byte per immagine\n"
              "<uscita.csv>  file csv da scrivere: per ogni immagine una riga, l'etichetta e i 784 pixel\n"
              "              separati da virgole; - le scrive su standard output, e niente altro va li'\n"
              "I due file IDX possono essere compressi con gzip (.gz) o no.\n"
              "\nOPZIONI:\n"
              "--help     questo aiuto\n"
              "--version  la versione\n");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms), "
              "galleria percettrone multistrato (gpms) \n ");
}

}  // namespace

// Converts into the new file at path, installed whole or not at all.
static int in_un_file(file_idx& immagini, file_idx& etichette, uint32_t quante, const char* path) {
  const std::string nome = stampabile(path);
  file_nuovo uscita;  // discarded, leaving nothing, unless installed
  if (!apri_file_nuovo(uscita, path)) {
    std::printf("Impossibile scrivere il file %s\n", nome.c_str());
    return 1;
  }
  if (!converti_idx(immagini, etichette, quante, uscita.file)) return 1;
  if (!installa_file(uscita)) {
    std::printf("Impossibile scrivere il file %s\n", nome.c_str());
    return 1;
  }
  std::printf("%u righe scritte in %s\n", quante, nome.c_str());
  return 0;
}

static int esegui(int argc, char** argv) {
  if (risponde_aiuto(argc, argv, 1, uso, "velmora_idx")) return 0;
  // The rows on standard output ("-", the last word): nothing else may go
  // there, the banner neither; the messages of a failure do, as everywhere
  // in the suite.
  const bool su_stdout = argc > 1 && std::string_view(argv[argc - 1]) == "-";
  if (!su_stdout) stampa_intestazione("conversione file IDX (idx)", false);
  riga_comando r;
  if (leggi_riga_comando(argc, argv, 1, {}, {{}, 3}, r) != esito_comando::valida) return 1;
  if (r.posizionali.size() < 3) {
    uso();
    return 1;
  }
  const char* path_uscita = r.posizionali[2];
  if (!su_stdout) {
    const std::string uscita_stampabile = stampabile(path_uscita);
    for (int i = 0; i < 2; ++i) {
      if (stesso_file(path_uscita, r.posizionali[static_cast<size_t>(i)])) {
        std::printf("Il file %s e' uno dei file IDX: il file csv deve essere un altro\n", uscita_stampabile.c_str());
        return 1;
      }
    }
    // The target is checked before anything is read: a device or a FIFO is
    // never replaced by a file.
    if (const char* motivo = perche_non_sostituibile(path_uscita)) {
      std::printf("Il file %s non puo' ricevere le righe: %s\n", uscita_stampabile.c_str(), motivo);
      if (controlla_destinazione(path_uscita) == stato_destinazione::e_speciale)
        std::printf("Per scrivere su standard output si da' -\n");
      std::printf("Impossibile scrivere il file %s\n", uscita_stampabile.c_str());
      return 1;
    }
  }
  file_idx immagini, etichette;
  uint32_t quante = 0;
  if (!apri_idx(immagini, r.posizionali[0]) || !apri_idx(etichette, r.posizionali[1]) ||
      !leggi_teste(immagini, etichette, quante))
    return 1;
  if (!su_stdout) return in_un_file(immagini, etichette, quante, path_uscita);
  if (!converti_idx(immagini, etichette, quante, stdout)) return 1;
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
