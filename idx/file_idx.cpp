// The IDX reader. gzip is inflated here, member by member, rather than by
// gzread: gzread quietly drops whatever follows the last member, and a file
// with bytes after its data is refused, compressed or not.
#include "file_idx.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "lib.h"
#include "nomi.h"

namespace {

constexpr unsigned char GZIP_1 = 0x1F, GZIP_2 = 0x8B;

// Bytes in the read-ahead, refilled from the file when empty; false at the end of the file.
bool riempi(file_idx& f) {
  if (f.z.avail_in > 0) return true;
  const size_t n = std::fread(f.entrata.data(), 1, f.entrata.size(), f.file.get());
  f.z.next_in = f.entrata.data();
  f.z.avail_in = static_cast<uInt>(n);
  return n > 0;
}

bool errore_lettura(const file_idx& f) {
  if (!std::ferror(f.file.get())) return false;
  std::printf("File %s non leggibile: %s\n", f.nome.c_str(), std::strerror(errno));
  return true;
}

void danneggiato(const file_idx& f, const char* perche) {
  std::printf("File %s danneggiato (zlib: %s)\n", f.nome.c_str(), perche ? perche : "dati non validi");
}

// Whether a new gzip member begins at the next byte. Concatenated members
// are one gzip stream, as gzip -d reads them; anything else is trailing data.
bool nuovo_membro(file_idx& f) {
  if (!riempi(f)) return false;
  if (f.z.next_in[0] != GZIP_1) return false;
  if (f.z.avail_in < 2) {
    // The second magic byte is in the next block: keep the first in front.
    f.entrata[0] = GZIP_1;
    const size_t n = std::fread(f.entrata.data() + 1, 1, f.entrata.size() - 1, f.file.get());
    f.z.next_in = f.entrata.data();
    f.z.avail_in = static_cast<uInt>(n + 1);
    if (n == 0) return false;
  }
  return f.z.next_in[1] == GZIP_2;
}

// Inflates up to n bytes into buf; how many it gave, or -1 after a message.
long gonfia(file_idx& f, unsigned char* buf, unsigned n) {
  f.z.next_out = buf;
  f.z.avail_out = n;
  while (f.z.avail_out > 0) {
    if (f.membro_finito) {
      if (!nuovo_membro(f)) break;
      if (inflateReset(&f.z) != Z_OK) return -1;
      f.membro_finito = false;
    }
    if (!riempi(f)) {
      if (errore_lettura(f)) return -1;
      break;  // the stream ends before its member does: a short file
    }
    const int r = inflate(&f.z, Z_NO_FLUSH);
    if (r == Z_STREAM_END) {
      f.membro_finito = true;
    } else if (r == Z_MEM_ERROR) {
      throw std::bad_alloc();
    } else if (r != Z_OK && r != Z_BUF_ERROR) {
      danneggiato(f, f.z.msg);
      return -1;
    }
  }
  return static_cast<long>(n - f.z.avail_out);
}

}  // namespace

file_idx::~file_idx() {
  if (z_pronto) inflateEnd(&z);
}

void usa_idx(file_idx& f, file_ptr stream, const std::string& nome) {
  f.nome = stampabile(nome);
  f.file = std::move(stream);
  if (riempi(f) && f.z.next_in[0] == GZIP_1 && nuovo_membro(f)) {
    // 15 bits of window, and 16 more for a gzip header and trailer.
    if (inflateInit2(&f.z, 15 + 16) != Z_OK) throw std::bad_alloc();
    f.z_pronto = true;
    f.compresso = true;
    f.membro_finito = false;
  }
}

bool apri_idx(file_idx& f, const char* path) {
  file_ptr stream = apri_file(path, "rb");
  if (!stream) {
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    return false;
  }
  usa_idx(f, std::move(stream), path);
  return !errore_lettura(f);
}

bool leggi_idx(file_idx& f, void* buf, unsigned n, long long attesi) {
  long r;
  if (f.compresso) {
    r = gonfia(f, static_cast<unsigned char*>(buf), n);
    if (r < 0) return false;
  } else {
    // The read-ahead may hold the first bytes of a plain file.
    unsigned char* out = static_cast<unsigned char*>(buf);
    const unsigned da_avanti = std::min<unsigned>(n, f.z.avail_in);
    std::memcpy(out, f.z.next_in, da_avanti);
    f.z.next_in += da_avanti;
    f.z.avail_in -= da_avanti;
    r = static_cast<long>(da_avanti + std::fread(out + da_avanti, 1, n - da_avanti, f.file.get()));
    if (errore_lettura(f)) return false;
  }
  f.letti += r;
  if (r != static_cast<long>(n)) {
    std::printf("File %s troncato: %lld byte di %lld attesi\n", f.nome.c_str(), f.letti, attesi);
    return false;
  }
  return true;
}

bool fine_idx(file_idx& f) {
  unsigned char in_piu;
  if (!f.compresso) {
    if (f.z.avail_in == 0 && std::fread(&in_piu, 1, 1, f.file.get()) == 0) return !errore_lettura(f);
  } else {
    const long r = gonfia(f, &in_piu, 1);
    if (r < 0) return false;
    if (r == 0 && !f.membro_finito) {
      std::printf("File %s troncato: il flusso gzip non ha la sua fine\n", f.nome.c_str());
      return false;
    }
    if (r == 0) {
      if (!riempi(f)) return !errore_lettura(f);
      std::printf("File %s: altri dati dopo la fine del flusso gzip\n", f.nome.c_str());
      return false;
    }
  }
  std::printf("File %s: altri dati dopo i %lld byte attesi\n", f.nome.c_str(), f.letti);
  return false;
}

namespace {

uint32_t big_endian(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// A magic number that is the other kind's means two swapped arguments.
bool controlla_magia(const file_idx& f, uint32_t magia, uint32_t attesa) {
  if (magia == attesa) return true;
  std::printf("File %s: numero magico %u, atteso %u (%s)\n", f.nome.c_str(), magia, attesa,
              attesa == MAGIA_IMMAGINI ? "immagini IDX di byte senza segno" : "etichette IDX di byte senza segno");
  if (magia == MAGIA_IMMAGINI || magia == MAGIA_ETICHETTE)
    std::printf("I file delle immagini e delle etichette sono nell'ordine giusto?\n");
  return false;
}

}  // namespace

bool leggi_teste(file_idx& immagini, file_idx& etichette, uint32_t& quante) {
  // The magic number first, so a short file of the wrong kind is named as such.
  unsigned char ti[TESTA_IMMAGINI], te[TESTA_ETICHETTE];
  if (!leggi_idx(immagini, ti, 4, TESTA_IMMAGINI) || !controlla_magia(immagini, big_endian(ti), MAGIA_IMMAGINI) ||
      !leggi_idx(immagini, ti + 4, sizeof ti - 4, TESTA_IMMAGINI))
    return false;
  const uint32_t righe = big_endian(ti + 8), colonne = big_endian(ti + 12);
  if (righe != LATO_IMMAGINE || colonne != LATO_IMMAGINE) {
    std::printf("File %s: immagini di %u x %u pixel, attese %d x %d\n", immagini.nome.c_str(), righe, colonne,
                LATO_IMMAGINE, LATO_IMMAGINE);
    return false;
  }
  if (!leggi_idx(etichette, te, 4, TESTA_ETICHETTE) ||
      !controlla_magia(etichette, big_endian(te), MAGIA_ETICHETTE) ||
      !leggi_idx(etichette, te + 4, sizeof te - 4, TESTA_ETICHETTE))
    return false;
  quante = big_endian(ti + 4);
  const uint32_t quante_etichette = big_endian(te + 4);
  if (quante != quante_etichette) {
    std::printf("I file %s e %s non corrispondono: %u immagini e %u etichette\n", immagini.nome.c_str(),
                etichette.nome.c_str(), quante, quante_etichette);
    return false;
  }
  return true;
}

namespace {

// The decimal texts of the 256 byte values, each padded with NULs to four bytes.
struct testi_byte {
  char testo[256][4] = {};
  unsigned char lunghezza[256] = {};
};

}  // namespace

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

bool converti_idx(file_idx& immagini, file_idx& etichette, uint32_t quante, std::FILE* uscita) {
  const long long attesi_immagini = TESTA_IMMAGINI + static_cast<long long>(quante) * N_AFFERENTI;
  const long long attesi_etichette = TESTA_ETICHETTE + static_cast<long long>(quante);
  unsigned char pixel[N_AFFERENTI], etichetta;
  char riga[4 + 4 * N_AFFERENTI + 4];
  for (uint32_t i = 0; i < quante; ++i) {
    if (!leggi_idx(immagini, pixel, sizeof pixel, attesi_immagini) ||
        !leggi_idx(etichette, &etichetta, 1, attesi_etichette))
      return false;
    if (!uscita) continue;
    const size_t n = componi_riga(riga, etichetta, pixel);
    // A failed write stays on the stream, and installing the file reports it.
    if (std::fwrite(riga, 1, n, uscita) != n) return true;
  }
  return fine_idx(immagini) && fine_idx(etichette);
}
