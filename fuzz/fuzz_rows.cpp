// Rows reader on hostile bytes: the input is a rows file, read row after row
// until end of file, until a character blocks every read, or for at most
// MAX_CHIAMATE rows (each row costs 785 scanf calls; three rows are enough
// for a malformed row to show how the next two start).
#include <cstring>

#include "fuzz_util.h"
#include "lib.h"

namespace {

constexpr int MAX_CHIAMATE = 3;

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
  fz::file_ptr f = fz::memstream(data, size);
  stato s;
  riempi(s);
  for (int chiamata = 0; chiamata < MAX_CHIAMATE; ++chiamata) {
    const long prima = std::ftell(f.get());
    const int totale = get_image(s.pixel, s.etichetta, f.get());
    FZ_CHECK(totale <= N_AFFERENTI + 1, "totale %d", totale);
    FZ_CHECK(totale >= -(N_AFFERENTI + 1), "totale %d", totale);
    const long dopo = std::ftell(f.get());
    FZ_CHECK(dopo >= prima && dopo <= static_cast<long>(size), "posizione %ld -> %ld", prima, dopo);
    if (std::feof(f.get()) || dopo == prima) break;
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
  fz::scrivi_seme(dir, "zeri", riga(7, N_AFFERENTI, 0));
  fz::scrivi_seme(dir, "due_righe", riga(3, N_AFFERENTI, 11) + riga(9, N_AFFERENTI, 37));
  fz::scrivi_seme(dir, "corta", riga(1, 500, 5) + riga(2, N_AFFERENTI, 6));
  fz::scrivi_seme(dir, "lunga", riga(4, N_AFFERENTI + 1, 9) + riga(5, N_AFFERENTI, 1));
  fz::scrivi_seme(dir, "intestazione", "label,pixel0,pixel1\n" + riga(0, N_AFFERENTI, 1));
  fz::scrivi_seme(dir, "vuota", "");
  std::string spazi = "  8, 1,\t2,\n3";
  for (int i = 3; i < N_AFFERENTI; ++i) {
    spazi += ", +";
    spazi += std::to_string(i % 256);
  }
  fz::scrivi_seme(dir, "spazi_segni", spazi + "\n6 ,1,-2,2147483648,99999999999999999999\n");
  fz::scrivi_seme(dir, "troncata", riga(6, N_AFFERENTI, 3).substr(0, 1000));
}
