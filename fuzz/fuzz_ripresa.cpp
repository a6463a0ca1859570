// Reading velmora_apms's resume file (--ripresa). The first byte chooses,
// the rest is the file: with the first byte odd the file's closing check is
// first made right, so that mutations reach the checks behind it. A file
// the reader takes must hold a state the run's settings allow (an order
// that is a permutation of its rows, no more epochs than the run has, the
// mean's epochs, a best epoch only with validation rows, a rate above 0),
// and must be written back as the very same bytes. Any other file is
// refused with a reason, never taken for a missing one.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "ripresa.h"

namespace {

constexpr int RIGHE = 5;  // training rows of the run the files are read for

opzioni impostazioni() {
  opzioni o;
  o.epoche = 4;
  o.media = 2;
  return o;
}

std::vector<uint64_t> firma() {
  dati d;
  d.addestramento.quante = RIGHE;
  d.addestramento.pixel.assign(RIGHE * N_AFFERENTI, 7);
  d.addestramento.etichette.assign(RIGHE, 3);
  return firma_corsa(impostazioni(), d, *crea_rete());
}

std::string bytes_di(const corsa& c, const rete_cifre& rete) {
  char* b = nullptr;
  size_t n = 0;
  std::FILE* f = open_memstream(&b, &n);
  scrivi_ripresa(f, firma(), c, rete);
  std::fclose(f);
  std::string s(b, n);
  std::free(b);
  return s;
}

// The file with its closing check made right.
std::string aggiusta(std::string s) {
  if (s.size() < 24 || (s.size() - 16) % 8 != 0) return s;
  uint64_t h = 0xCBF29CE484222325ull;
  for (size_t i = 16; i + 8 < s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, &s[i], 8);  // the machine is little-endian like the file
    h = (h ^ w) * 0x100000001B3ull;
  }
  std::memcpy(&s[s.size() - 8], &h, 8);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::vector<uint64_t> f = firma();
  std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) file = aggiusta(file);
  const opzioni o = impostazioni();
  corsa c;
  c.ordine.resize(RIGHE);
  auto rete = crea_rete();
  std::string motivo;
  fz::file_ptr in = fz::memstream(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  const esito_ripresa e = leggi_ripresa(in.get(), f, o, 0, c, *rete, motivo);
  FZ_CHECK(e != esito_ripresa::mancante, "un file letto non manca");
  if (e == esito_ripresa::rifiutata) {
    FZ_CHECK(!motivo.empty(), "rifiutato senza motivo");
    return 0;
  }
  FZ_CHECK(c.epoca >= 0 && c.epoca <= o.epoche, "epoca %d", c.epoca);
  std::vector<char> vista(RIGHE);
  FZ_CHECK(c.ordine.size() == RIGHE, "ordine di %zu righe", c.ordine.size());
  for (int r : c.ordine) {
    FZ_CHECK(r >= 0 && r < RIGHE && !vista[static_cast<size_t>(r)], "ordine non permutazione");
    vista[static_cast<size_t>(r)] = 1;
  }
  FZ_CHECK(c.mm.epoche.size() == static_cast<size_t>(std::min(c.epoca, o.media)), "media di %zu epoche",
           c.mm.epoche.size());
  FZ_CHECK(c.meglio.epoca == 0, "epoca migliore senza validazione");
  FZ_CHECK(c.tasso > 0.0 && std::isfinite(c.tasso), "tasso %g", c.tasso);
  FZ_CHECK(bytes_di(c, *rete) == file, "riscritto con altri byte");
  return 0;
}

void scrivi_semi(const std::string& dir) {
  const opzioni o = impostazioni();
  auto rete = crea_rete();
  for (int epoca : {0, 1, 4}) {
    corsa c;
    c.epoca = epoca;
    c.tasso = 0.3;
    c.ordine = {4, 2, 0, 1, 3};
    for (int e = 0; e < std::min(epoca, o.media); ++e) aggiungi_epoca(c.mm, *rete, o.media);
    rete->pesi_efferenti[epoca] = 0.5 * epoca;
    const std::string b = bytes_di(c, *rete);
    // Odd first byte: mutations keep the check right.
    fz::scrivi_seme(dir, "epoca" + std::to_string(epoca), std::string(1, '\1') + b);
    fz::scrivi_seme(dir, "epoca" + std::to_string(epoca) + "_intatta", std::string(1, '\0') + b);
  }
}
