// Rows reader on hostile bytes. Byte 0 picks the window of the fast reader:
// 1 ... 255 bytes, so rows cross window edges, or when 0 a window larger than
// any input, which behaves as the default one does on a real file without
// paying for a megabyte per run. The remaining bytes are the rows file. Rows are read
// until end of file, until a character blocks every read, or for at most
// MAX_CHIAMATE rows (each costs 785 scanf calls; three rows are enough for a
// malformed row to show how the next two start).
//
// get_image is the reference; the fast reader reads the same bytes alongside,
// and any difference in a returned total, a label, a pixel or the position
// where the next read starts is a finding. After each row both take the rest
// of its line byte by byte (fgetc against leggi_byte) and give the last back.
#include <cstring>

#include "fuzz_util.h"
#include "lib.h"
#include "lettore_righe.h"

namespace {

constexpr int MAX_CHIAMATE = 3;
constexpr size_t FINESTRA_INTERA = 1 << 16;

// One reader's view of the file after each call.
struct stato {
  int32_t pixel[N_AFFERENTI];
  int32_t etichetta;
};

void riempi(stato& s) {
  // Distinct values, so a read that wrongly touches a destination shows.
  for (int i = 0; i < N_AFFERENTI; ++i) s.pixel[i] = -1000 - i;
  s.etichetta = -7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t* file = data + 1;
  const size_t n = size - 1;
  fz::file_ptr f = fz::memstream(file, n);
  stato s;
  riempi(s);
  fz::file_ptr g = fz::memstream(file, n);
  lettore_righe lettore = crea_lettore(g.get(), data[0] == 0 ? FINESTRA_INTERA : data[0]);
  stato v;
  riempi(v);
  for (int chiamata = 0; chiamata < MAX_CHIAMATE; ++chiamata) {
    const long prima = std::ftell(f.get());
    const int totale = get_image(s.pixel, s.etichetta, f.get());
    FZ_CHECK(totale <= N_AFFERENTI + 1 && totale >= -(N_AFFERENTI + 1), "totale %d", totale);
    const long dopo = std::ftell(f.get());
    FZ_CHECK(dopo >= prima && dopo <= static_cast<long>(n), "posizione %ld -> %ld", prima, dopo);
    const int veloce = leggi_riga(lettore, v.pixel, v.etichetta);
    FZ_CHECK(veloce == totale, "riga %d: totale %d, get_image %d", chiamata + 1, veloce, totale);
    FZ_CHECK(v.etichetta == s.etichetta, "riga %d: etichetta %d, get_image %d", chiamata + 1, v.etichetta,
             s.etichetta);
    for (int i = 0; i < N_AFFERENTI; ++i)
      FZ_CHECK(v.pixel[i] == s.pixel[i], "riga %d: pixel %d = %d, get_image %d", chiamata + 1, i, v.pixel[i],
               s.pixel[i]);
    FZ_CHECK(posizione_lettore(lettore) == dopo, "riga %d: posizione %ld, get_image %ld", chiamata + 1,
             posizione_lettore(lettore), dopo);
    if (std::feof(f.get()) || dopo == prima) break;
    // Byte by byte to the end of the line, as a caller checks what follows
    // a row, giving the last byte back.
    int c = 0, b = 0;
    while (c != '\n' && c != EOF) {
      c = std::fgetc(f.get());
      b = leggi_byte(lettore);
      FZ_CHECK(b == c, "riga %d: byte %d, fgetc %d", chiamata + 1, b, c);
    }
    std::ungetc(c, f.get());
    rimetti_byte(lettore, b);
    FZ_CHECK(posizione_lettore(lettore) == std::ftell(f.get()), "riga %d: posizione %ld dopo la riga, fgetc %ld",
             chiamata + 1, posizione_lettore(lettore), std::ftell(f.get()));
  }
  return 0;
}

void scrivi_semi(const std::string& dir) {
  auto riga = [](int etichetta, int n, int passo) {
    std::string r = std::to_string(etichetta);
    for (int i = 0; i < n; ++i) {
      r += ',';
      r += std::to_string((i * passo) % 256);
    }
    return r + "\n";
  };
  // The first byte of each seed is the fast reader's window.
  const std::string intera(1, '\0'), stretta(1, '\x40'), minima(1, '\x01');
  fz::scrivi_seme(dir, "zeri", intera + riga(7, N_AFFERENTI, 0));
  fz::scrivi_seme(dir, "due_righe", stretta + riga(3, N_AFFERENTI, 11) + riga(9, N_AFFERENTI, 37));
  fz::scrivi_seme(dir, "corta", intera + riga(1, 500, 5) + riga(2, N_AFFERENTI, 6));
  fz::scrivi_seme(dir, "lunga", stretta + riga(4, N_AFFERENTI + 1, 9) + riga(5, N_AFFERENTI, 1));
  fz::scrivi_seme(dir, "intestazione", intera + "label,pixel0,pixel1\n" + riga(0, N_AFFERENTI, 1));
  fz::scrivi_seme(dir, "vuota", intera);
  std::string spazi = minima + "  8, 1,\t2,\n3";
  for (int i = 3; i < N_AFFERENTI; ++i) {
    spazi += ", +";
    spazi += std::to_string(i % 256);
  }
  fz::scrivi_seme(dir, "spazi_segni", spazi + "\n6 ,1,-2,2147483648,99999999999999999999\n");
  fz::scrivi_seme(dir, "troncata", stretta + riga(6, N_AFFERENTI, 3).substr(0, 1000));
  std::string dos = riga(8, N_AFFERENTI, 7);
  dos.insert(40, 1, '\r');
  dos.back() = '\r';
  dos += '\n';
  fz::scrivi_seme(dir, "fine_riga_dos", intera + dos);
}
