// velmora_idx: turns an IDX image file and its IDX label file (the format of
// MNIST and Fashion-MNIST, plain or gzipped) into the CSV rows file that the
// digit programs read.
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "lib.h"
#include "memoria.h"
#include "scrittura.h"

namespace {

constexpr uint32_t MAGIA_IMMAGINI = 2051;  // unsigned bytes, three dimensions
constexpr uint32_t MAGIA_ETICHETTE = 2049;  // unsigned bytes, one dimension
constexpr long long TESTA_IMMAGINI = 16;    // magic, count, rows, columns
constexpr long long TESTA_ETICHETTE = 8;    // magic, count

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

// An IDX file open for reading, compressed or not (zlib reads both).
struct file_idx {
  const char* path = nullptr;
  gzFile gz = nullptr;
  long long letti = 0;  // bytes delivered so far, after decompression
  file_idx() = default;
  file_idx(const file_idx&) = delete;
  file_idx& operator=(const file_idx&) = delete;
  ~file_idx() {
    if (gz) gzclose(gz);
  }
};

bool apri(file_idx& f, const char* path) {
  f.path = path;
  f.gz = gzopen(path, "rb");
  if (!f.gz) {
    std::printf("File %s non trovato\n", path);
    return false;
  }
  gzbuffer(f.gz, 1 << 17);
  return true;
}

// zlib's words for a damaged stream, without the path it puts in front.
const char* errore_zlib(const file_idx& f, const char* testo) {
  const size_t n = std::strlen(f.path);
  return std::strncmp(testo, f.path, n) == 0 && std::strncmp(testo + n, ": ", 2) == 0 ? testo + n + 2 : testo;
}

// Reads exactly n bytes, the file's content running to attesi bytes in all.
// false, with a message naming the file, when it ends early or is damaged.
bool leggi(file_idx& f, void* buf, unsigned n, long long attesi) {
  const int r = gzread(f.gz, buf, n);
  if (r > 0) f.letti += r;
  int codice = Z_OK;
  const char* testo = gzerror(f.gz, &codice);
  if (codice == Z_ERRNO) {
    std::printf("File %s non leggibile: %s\n", f.path, std::strerror(errno));
    return false;
  }
  if (codice != Z_OK && codice != Z_BUF_ERROR) {
    std::printf("File %s danneggiato (zlib: %s)\n", f.path, errore_zlib(f, testo));
    return false;
  }
  if (r != static_cast<int>(n)) {
    std::printf("File %s troncato: %lld byte di %lld attesi\n", f.path, f.letti, attesi);
    return false;
  }
  return true;
}

// After the last expected byte: nothing more may follow, and a gzip stream
// must be complete.
bool alla_fine(file_idx& f) {
  unsigned char in_piu;
  const int r = gzread(f.gz, &in_piu, 1);
  int codice = Z_OK;
  const char* testo = gzerror(f.gz, &codice);
  if (codice == Z_BUF_ERROR) {
    std::printf("File %s troncato: il flusso gzip non ha la sua fine\n", f.path);
  } else if (codice != Z_OK) {
    std::printf("File %s danneggiato (zlib: %s)\n", f.path, errore_zlib(f, testo));
  } else if (r > 0) {
    std::printf("File %s: altri dati dopo i %lld byte attesi\n", f.path, f.letti);
  } else {
    return true;
  }
  return false;
}

uint32_t big_endian(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// A magic number that is the other kind's means two swapped arguments.
bool controlla_magia(const file_idx& f, uint32_t magia, uint32_t attesa) {
  if (magia == attesa) return true;
  std::printf("File %s: numero magico %u, atteso %u (%s)\n", f.path, magia, attesa,
              attesa == MAGIA_IMMAGINI ? "immagini IDX di byte senza segno" : "etichette IDX di byte senza segno");
  if (magia == MAGIA_IMMAGINI || magia == MAGIA_ETICHETTE)
    std::printf("I file delle immagini e delle etichette sono nell'ordine giusto?\n");
  return false;
}

// The two headers, checked; the image count on success.
bool leggi_teste(file_idx& immagini, file_idx& etichette, uint32_t& quante) {
  // The magic number first, so a short file of the wrong kind is named as such.
  unsigned char ti[TESTA_IMMAGINI], te[TESTA_ETICHETTE];
  if (!leggi(immagini, ti, 4, TESTA_IMMAGINI) || !controlla_magia(immagini, big_endian(ti), MAGIA_IMMAGINI) ||
      !leggi(immagini, ti + 4, sizeof ti - 4, TESTA_IMMAGINI))
    return false;
  const uint32_t righe = big_endian(ti + 8), colonne = big_endian(ti + 12);
  if (righe != LATO_IMMAGINE || colonne != LATO_IMMAGINE) {
    std::printf("File %s: immagini di %u x %u pixel, attese %d x %d\n", immagini.path, righe, colonne,
                LATO_IMMAGINE, LATO_IMMAGINE);
    return false;
  }
  if (!leggi(etichette, te, 4, TESTA_ETICHETTE) || !controlla_magia(etichette, big_endian(te), MAGIA_ETICHETTE) ||
      !leggi(etichette, te + 4, sizeof te - 4, TESTA_ETICHETTE))
    return false;
  quante = big_endian(ti + 4);
  const uint32_t quante_etichette = big_endian(te + 4);
  if (quante != quante_etichette) {
    std::printf("I file %s e %s non corrispondono: %u immagini e %u etichette\n", immagini.path, etichette.path,
                quante, quante_etichette);
    return false;
  }
  return true;
}

// The decimal texts of the 256 byte values, each padded with NULs to four bytes.
struct testi_byte {
  char testo[256][4] = {};
  unsigned char lunghezza[256] = {};
};

// "label,p0,...,p783\n" from the raw bytes.
size_t componi_riga(char* riga, unsigned char etichetta, const unsigned char* pixel) {
  static const testi_byte t = [] {
    testi_byte n;
    for (int v = 0; v < 256; ++v) n.lunghezza[v] = static_cast<unsigned char>(std::snprintf(n.testo[v], 4, "%d", v));
    return n;
  }();
  size_t n = t.lunghezza[etichetta];
  std::memcpy(riga, t.testo[etichetta], 4);
  for (int k = 0; k < N_AFFERENTI; ++k) {
    riga[n++] = ',';
    std::memcpy(riga + n, t.testo[pixel[k]], 4);  // whole padded texts: only the digits are kept
    n += t.lunghezza[pixel[k]];
  }
  riga[n++] = '\n';
  return n;
}

// Every row, from both files in step, into the new file.
bool converti(file_idx& immagini, file_idx& etichette, uint32_t quante, std::FILE* uscita) {
  const long long attesi_immagini = TESTA_IMMAGINI + static_cast<long long>(quante) * N_AFFERENTI;
  const long long attesi_etichette = TESTA_ETICHETTE + static_cast<long long>(quante);
  unsigned char pixel[N_AFFERENTI], etichetta;
  char riga[4 + 4 * N_AFFERENTI + 4];
  for (uint32_t i = 0; i < quante; ++i) {
    if (!leggi(immagini, pixel, sizeof pixel, attesi_immagini) || !leggi(etichette, &etichetta, 1, attesi_etichette))
      return false;
    const size_t n = componi_riga(riga, etichetta, pixel);
    // A failed write stays on the stream, and installing the file reports it.
    if (std::fwrite(riga, 1, n, uscita) != n) return true;
  }
  return alla_fine(immagini) && alla_fine(etichette);
}

int esegui(int argc, char** argv) {
  std::printf("\nvelmora_: conversione file IDX (idx) \n");
  std::printf("\n%s\n", VELMORA_ATTRIBUZIONE);
  std::fflush(stdout);
  if (argc < 4) {
    uso();
    return 1;
  }
  if (argc > 4) {
    std::printf("Argomento in piu': %s\n", argv[4]);
    return 1;
  }
  const char* path_uscita = argv[3];
  for (int i = 1; i <= 2; ++i) {
    if (stesso_file(path_uscita, argv[i])) {
      std::printf("Il file %s e' uno dei file IDX: il file csv deve essere un altro\n", path_uscita);
      return 1;
    }
  }
  file_idx immagini, etichette;
  uint32_t quante = 0;
  if (!apri(immagini, argv[1]) || !apri(etichette, argv[2]) || !leggi_teste(immagini, etichette, quante)) return 1;

  file_nuovo uscita;  // discarded, leaving nothing, unless installed
  if (!apri_file_nuovo(uscita, path_uscita)) {
    std::printf("Impossibile scrivere il file %s\n", path_uscita);
    return 1;
  }
  if (!converti(immagini, etichette, quante, uscita.file)) return 1;
  if (!installa_file(uscita)) {
    std::printf("Impossibile scrivere il file %s\n", path_uscita);
    return 1;
  }
  std::printf("%u righe scritte in %s\n", quante, path_uscita);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
