// Loading a whole rows file as velmora_apms and velmora_gpms load it: every
// row checked (blank lines at the end, rows cut short or too long, labels
// outside 0 ... 9). The fast reader must load exactly what get_image's own
// reads load from the same bytes: the same rows, or the same refusal of the
// same row; and a row read checked one at a time must agree.
//
// Input: the rows file.
#include <cstring>

#include "fuzz_util.h"
#include "righe.h"

namespace {

struct caricate {
  bool ok;
  righe_cifre righe;
};

caricate carica(const uint8_t* data, size_t size, bool diretta) {
  fz::muto muto;
  fz::file_ptr f = fz::memfile(data, size);
  caricate c;
  c.ok = carica_righe(f.get(), "righe.csv", c.righe, diretta);
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const caricate veloce = carica(data, size, false), diretta = carica(data, size, true);
  FZ_CHECK(veloce.ok == diretta.ok, "esito %d, get_image %d", veloce.ok, diretta.ok);
  FZ_CHECK(veloce.righe.quante == diretta.righe.quante, "righe %d, get_image %d", veloce.righe.quante,
           diretta.righe.quante);
  FZ_CHECK(veloce.righe.etichette == diretta.righe.etichette, "etichette diverse");
  FZ_CHECK(veloce.righe.pixel == diretta.righe.pixel, "pixel diversi");
  for (int32_t e : veloce.righe.etichette) FZ_CHECK(e >= 0 && e <= 9, "etichetta %d accettata", e);
  FZ_CHECK(veloce.righe.pixel.size() == static_cast<size_t>(veloce.righe.quante) * N_AFFERENTI, "dimensione");
  return 0;
}

void scrivi_semi(const std::string& dir) {
  auto riga = [](int etichetta, int n) {
    std::string r = std::to_string(etichetta);
    for (int i = 0; i < n; ++i) r.append(",").append(std::to_string((i * 13) % 256));
    return r + "\n";
  };
  fz::scrivi_seme(dir, "due", riga(3, N_AFFERENTI) + riga(9, N_AFFERENTI));
  fz::scrivi_seme(dir, "righe_vuote_in_fondo", riga(1, N_AFFERENTI) + "\n \n\t\n");
  fz::scrivi_seme(dir, "vuoto", "");
  fz::scrivi_seme(dir, "corta", riga(1, N_AFFERENTI) + riga(2, 500));
  fz::scrivi_seme(dir, "lunga", riga(4, N_AFFERENTI + 1) + riga(5, N_AFFERENTI));
  fz::scrivi_seme(dir, "etichetta_12", riga(12, N_AFFERENTI));
  std::string dopo = riga(1, N_AFFERENTI);
  dopo.pop_back();
  fz::scrivi_seme(dir, "testo_dopo", dopo + " x\n");
  std::string fine = riga(7, N_AFFERENTI);
  fine.pop_back();
  fz::scrivi_seme(dir, "senza_a_capo", fine + " \t");
}
