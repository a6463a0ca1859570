// Reading a linear model file (Bow.lineare). The whole input is the file.
// The plain rules below say whether it is a model and, when it is not,
// which part first shows it (0 for the header, then the record); the reader
// must agree. A file it loads must give a model whose every invariant holds,
// must be written back as the very same bytes and read back as the same
// model, and must score a text with a class that has data (class 0 when
// none has). A file it refuses leaves the model it was loading into as it was.
#include <cmath>
#include <cstring>
#include <string>

#include "bow_lib.h"
#include "file_lineare.h"
#include "fuzz_util.h"
#include "lineare.h"
#include "tabella_parole.h"

namespace {

constexpr size_t H = LUNGHEZZA_INTESTAZIONE_LINEARE, R = LUNGHEZZA_RECORD_LINEARE;

template <class T>
T prendi(const uint8_t* p) {  // the machine is little-endian like the file
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The first bad part by the plain rules: -1 for a model, 0 for the header, r for record r.
long primo_difetto(const uint8_t* d, size_t n) {
  if (std::memcmp(d, "BOWLINEA", std::min<size_t>(n, 8)) != 0 || n < H) return 0;
  const uint32_t dati = prendi<uint32_t>(d + 12);
  const uint64_t parole = prendi<uint64_t>(d + 16);
  const double c = prendi<double>(d + 56);
  bool buona = prendi<uint32_t>(d + 8) == 1 && dati < 1024 && (parole == 0) == (dati == 0) && std::isfinite(c) &&
               c > 0 && prendi<uint32_t>(d + 72) > 0 && prendi<uint32_t>(d + 76) == 0;
  for (int k = 0; k < CLASSI; ++k) buona = buona && std::isfinite(prendi<double>(d + 80 + 8 * k));
  if (!buona) return 0;
  std::string precedente;
  for (uint64_t w = 1; w <= parole; ++w) {
    const size_t da = H + (w - 1) * R;
    if (n < da + R) return static_cast<long>(w);
    const char* p = reinterpret_cast<const char*>(d + da);
    const size_t l = strnlen(p, LUNGHEZZA_PAROLA);
    const std::string parola(p, l);
    buona = l > 0 && l < LUNGHEZZA_PAROLA && (w == 1 || precedente < parola);
    for (unsigned char b : parola) buona = buona && b >= 0x5B && b <= 0x7F;
    for (size_t i = l; i < LUNGHEZZA_PAROLA; ++i) buona = buona && p[i] == 0;
    for (int k = 0; k < CLASSI; ++k) {
      const double x = prendi<double>(d + da + LUNGHEZZA_PAROLA + 8 * k);
      buona = buona && std::isfinite(x) && ((dati >> k & 1) || x == 0.0);
    }
    if (!buona) return static_cast<long>(w);
    precedente = parola;
  }
  return n == H + parole * R ? -1 : static_cast<long>(parole) + 1;
}

std::string codifica(const modello_lineare& m) {
  char* b = nullptr;
  size_t n = 0;
  std::FILE* f = open_memstream(&b, &n);
  FZ_CHECK(f && codifica_lineare(m, f), "scrittura in memoria fallita");
  std::fclose(f);
  std::string s(b, n);
  std::free(b);
  return s;
}

// A model trained on a few texts, to load into (and to seed with).
modello_lineare piccolo() {
  std::vector<testo_lineare> testi;
  const char* const frasi[][4] = {{"gatto", "topo", "gatto", nullptr}, {"cane", "osso", nullptr, nullptr},
                                  {"topo", "formaggio", nullptr, nullptr}, {nullptr}};
  const int classi[] = {0, 2, 5, 7};
  for (int i = 0; i < 4; ++i) {
    tabella_parole t;
    for (const char* const* p = frasi[i]; *p; ++p) conta_parola(t, *p);
    testi.push_back({classi[i], voci_ordinate(t)});
  }
  modello_lineare m = addestra_lineare(testi);
  m.provenienza.bow = {0x1234, 360};
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const modello_lineare prima = piccolo();
  const long atteso = primo_difetto(data, size);
  modello_lineare m = prima;
  difetto_lineare d;
  esito_lettura e;
  {
    fz::file_ptr f = fz::memstream(data, size);
    e = decodifica_lineare(m, f.get(), &d);
  }
  if (atteso >= 0) {
    FZ_CHECK(e == esito_lettura::non_modello, "accettato, ma la parte %ld non va", atteso);
    FZ_CHECK(d.record == atteso, "difetto nella parte %ld, atteso nella %ld (%s)", d.record, atteso, d.motivo.c_str());
    FZ_CHECK(m == prima, "rifiutato, ma il modello e' cambiato");
    return 0;
  }
  FZ_CHECK(e == esito_lettura::letto, "rifiutato (parte %ld: %s), ma e' un modello", d.record, d.motivo.c_str());

  // The invariants, on the model itself.
  bool dati = false;
  for (int k = 0; k < CLASSI; ++k) {
    dati = dati || m.con_dati[k];
    FZ_CHECK(std::isfinite(m.bias[k]), "bias %d", k);
  }
  FZ_CHECK(m.parole.size() == m.pesi.size() && m.parole.empty() != dati, "parole, pesi e classi con dati");
  FZ_CHECK(m.provenienza.impostazioni.epoche > 0 && m.provenienza.impostazioni.c > 0, "impostazioni");
  for (size_t w = 0; w < m.parole.size(); ++w) {
    FZ_CHECK(difetto_parola(reinterpret_cast<const unsigned char*>(m.parole[w].data())).empty(), "parola %zu", w);
    FZ_CHECK(w == 0 || std::memcmp(m.parole[w - 1].data(), m.parole[w].data(), LUNGHEZZA_PAROLA) < 0, "ordine");
    for (int k = 0; k < CLASSI; ++k)
      FZ_CHECK(std::isfinite(m.pesi[w][k]) && (m.con_dati[k] || m.pesi[w][k] == 0.0), "peso %zu %d", w, k);
  }

  // Written back: the same bytes, read back as the same model.
  const std::string scritto = codifica(m);
  FZ_CHECK(scritto.size() == size && std::memcmp(scritto.data(), data, size) == 0, "riscritto diverso");
  modello_lineare riletto;
  {
    fz::file_ptr f = fz::memstream(reinterpret_cast<const uint8_t*>(scritto.data()), scritto.size());
    FZ_CHECK(decodifica_lineare(riletto, f.get()) == esito_lettura::letto && riletto == m, "riletto diverso");
  }

  // A text of its first and last words and one it lacks.
  tabella_parole t;
  conta_parola(t, "ignota");
  if (!m.parole.empty()) {
    conta_parola(t, m.parole.front().data());
    conta_parola(t, m.parole.back().data());
  }
  const std::vector<voce_parola> voci = voci_ordinate(t);
  double s[CLASSI];
  punteggi_lineari(m, voci, posizioni_lineari(m, voci), s);
  const int c = classe_lineare(m, s);
  FZ_CHECK(m.con_dati[c] || (!dati && c == 0), "classe %d scelta senza dati", c);
  return 0;
}

void scrivi_semi(const std::string& dir) {
  const std::string buono = codifica(piccolo());
  fz::scrivi_seme(dir, "piccolo", buono);
  fz::scrivi_seme(dir, "senza_parole", codifica(addestra_lineare({{3, {}}})));
  fz::scrivi_seme(dir, "tagliato", buono.substr(0, buono.size() - 40));
  fz::scrivi_seme(dir, "coda", buono + "x");
  fz::scrivi_seme(dir, "intestazione", buono.substr(0, H - 1));
  std::string guasto = buono;
  guasto[H + R + 3] = 'A';  // the second word
  fz::scrivi_seme(dir, "maiuscola", guasto);
  guasto = buono;
  std::memset(&guasto[H + 2 * R + LUNGHEZZA_PAROLA], 0xFF, 8);  // a NaN
  fz::scrivi_seme(dir, "nan", guasto);
}
