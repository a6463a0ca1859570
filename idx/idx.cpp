// velmora_idx: turns an IDX image file and its IDX label file (the format of
// MNIST and Fashion-MNIST, plain or gzipped) into the CSV rows file that the
// digit programs read.
#include <sys/stat.h>

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
#include "uscita.h"

namespace {

void uso() {
  std::printf("\nUSO:\n velmora_idx <immagini> <etichette> <uscita.csv>\n\n");
  std::printf("\nPARAMETRI:\n"
              "<immagini>    file IDX delle immagini: numero magico 2051, 28 x 28 byte senza segno per immagine\n"
              "<etichette>   file IDX delle etichette: numero magico 2049, un byte per immagine\n"
              "<uscita.csv>  file csv da scrivere: per ogni immagine una riga, l'etichetta e i 784 pixel\n"
              "              separati da virgole; - le scrive su standard output, e niente altro va li'\n"
              "              (i messaggi vanno su standard error)\n"
              "I due file IDX possono essere compressi con gzip (.gz) o no.\n"
              "\nOPZIONI:\n"
              "--help     questo aiuto\n"
              "--version  la versione\n");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms), "
              "galleria percettrone multistrato (gpms) \n ");
}

// Both IDX files opened and their headers read; false after the message.
bool apri_coppia(file_idx& immagini, file_idx& etichette, const riga_comando& r, uint32_t& quante) {
  return apri_idx(immagini, r.posizionali[0]) && apri_idx(etichette, r.posizionali[1]) &&
         leggi_teste(immagini, etichette, quante);
}

// Whether a file can be read a second time from its start: a regular file,
// not a pipe.
bool rileggibile(const file_idx& f) {
  struct stat st;
  return fstat(fileno(f.file.get()), &st) == 0 && S_ISREG(st.st_mode);
}

// The rows on standard output, where nothing written can be taken back and
// a pipe's reader seldom sees the status: both files are first read through
// to their end and checked, so that a truncated or damaged pair writes no
// row at all. Only a pipe given as an input, which cannot be read twice, is
// converted as it comes.
int su_standard_output(const riga_comando& r, std::FILE* dati) {
  file_idx immagini, etichette;
  uint32_t quante = 0;
  if (!apri_coppia(immagini, etichette, r, quante)) return 1;
  if (rileggibile(immagini) && rileggibile(etichette)) {
    if (!converti_idx(immagini, etichette, quante, nullptr)) return 1;
    file_idx di_nuovo_immagini, di_nuovo_etichette;
    if (!apri_coppia(di_nuovo_immagini, di_nuovo_etichette, r, quante) ||
        !converti_idx(di_nuovo_immagini, di_nuovo_etichette, quante, dati))
      return 1;
  } else if (!converti_idx(immagini, etichette, quante, dati)) {
    return 1;
  }
  return chiudi_uscita_dati(dati) ? 0 : 1;
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
  // there, the banner neither; every message goes to standard error.
  const bool su_stdout = argc > 1 && std::string_view(argv[argc - 1]) == "-";
  std::FILE* dati = nullptr;
  if (su_stdout && !(dati = separa_uscita_dati())) return 1;
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
  if (su_stdout) return su_standard_output(r, dati);
  file_idx immagini, etichette;
  uint32_t quante = 0;
  if (!apri_coppia(immagini, etichette, r, quante)) return 1;
  return in_un_file(immagini, etichette, quante, path_uscita);
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
