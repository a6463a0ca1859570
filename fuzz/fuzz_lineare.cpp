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
  const uint64_t posti = prendi<uint64_t>(d + 16);
  const double c = prendi<double>(d + 56), acc = prendi<double>(d + 72), t = prendi<double>(d + 80);
  const double ca = prendi<double>(d + 88), cb = prendi<double>(d + 96);
  const uint32_t scelte = prendi<uint32_t>(d + 64), pieghe = prendi<uint32_t>(d + 68);
  bool buona = prendi<uint32_t>(d + 8) == 2 && dati < 1024 && (posti == 0) == (dati == 0) &&
               posti <= POSTI_LINEARI && std::isfinite(c) && c > 0 && scelte < 4 && pieghe != 1 && pieghe <= 255 &&
               acc >= 0 && acc <= 1 && (pieghe > 0 || acc == 0) && t >= 1e-4 && t <= 1e4 && ca >= 0.01 && ca <= 100 &&
               cb >= -50 && cb <= 50;
  for (int k = 0; k < CLASSI; ++k) buona = buona && std::isfinite(prendi<double>(d + 104 + 8 * k));
  if (!buona) return 0;
  int64_t precedente = -1;
  for (uint64_t w = 1; w <= posti; ++w) {
    const size_t da = H + (w - 1) * R;
    if (n < da + R) return static_cast<long>(w);
    const uint32_t posto = prendi<uint32_t>(d + da);
    const double idf = prendi<double>(d + da + 4);
    buona = posto < POSTI_LINEARI && int64_t{posto} > precedente && ((scelte & 1) || posto < POSTI_LINEARI / 2) &&
            std::isfinite(idf) && idf >= 1;
    for (int k = 0; k < CLASSI; ++k) {
      const double x = prendi<double>(d + da + 12 + 8 * k);
      buona = buona && std::isfinite(x) && ((dati >> k & 1) || x == 0.0);
    }
    if (!buona) return static_cast<long>(w);
    precedente = posto;
  }
  return n == H + posti * R ? -1 : static_cast<long>(posti) + 1;
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
  const char* const frasi[] = {"gatto topo gatto", "cane osso", "topo formaggio", "", "gatto topo"};
  const int classi[] = {0, 2, 5, 7, 0};
  for (int i = 0; i < 5; ++i) testi.push_back(testo_lineare_da(frasi[i], classi[i]));
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
  FZ_CHECK(m.posti.size() == m.pesi.size() && m.posti.size() == m.idf.size() && m.posti.empty() != dati,
           "posti, idf, pesi e classi con dati");
  FZ_CHECK(m.scelta.c > 0 && m.temperatura > 0 && m.pieghe != 1, "impostazioni");
  for (size_t w = 0; w < m.posti.size(); ++w) {
    FZ_CHECK(m.posti[w] < POSTI_LINEARI && (w == 0 || m.posti[w - 1] < m.posti[w]), "posto %zu", w);
    FZ_CHECK(m.scelta.coppie || !e_coppia(m.posti[w]), "coppia senza coppie");
    FZ_CHECK(std::isfinite(m.idf[w]) && m.idf[w] >= 1.0, "idf %zu", w);
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

  // A text of words it may or may not hold: a class with data, and
  // probabilities that sum to 1 (within rounding) and rank as the scores.
  const testo_lineare t = testo_lineare_da("gatto topo ignota citta\xC3\xA0 cane osso", 0);
  double s[CLASSI], p[CLASSI];
  punteggi_testo_lineare(m, t, s);
  const int c = classe_lineare(m, s);
  FZ_CHECK(m.con_dati[c] || (!dati && c == 0), "classe %d scelta senza dati", c);
  probabilita_lineari(m, s, p);
  double somma = 0.0;
  for (int k = 0; k < CLASSI; ++k) {
    FZ_CHECK(p[k] >= 0.0 && p[k] <= 1.0 && (m.con_dati[k] || p[k] == 0.0 || !dati), "probabilita' %d", k);
    somma += p[k];
    for (int j = 0; j < CLASSI; ++j)
      if (dati && m.con_dati[k] && m.con_dati[j] && s[k] > s[j]) FZ_CHECK(p[k] >= p[j], "ordine %d %d", k, j);
  }
  FZ_CHECK(std::fabs(somma - 1.0) < 1e-9, "somma %g", somma);
  return 0;
}

void scrivi_semi(const std::string& dir) {
  const std::string buono = codifica(piccolo());
  fz::scrivi_seme(dir, "piccolo", buono);
  fz::scrivi_seme(dir, "senza_tratti", codifica(addestra_lineare({testo_lineare_da("", 3)})));
  fz::scrivi_seme(dir, "tagliato", buono.substr(0, buono.size() - 40));
  fz::scrivi_seme(dir, "coda", buono + "x");
  fz::scrivi_seme(dir, "intestazione", buono.substr(0, H - 1));
  std::string guasto = buono;
  guasto[H + R + 3] = 0x7F;  // the second slot past the table
  fz::scrivi_seme(dir, "posto", guasto);
  guasto = buono;
  std::memset(&guasto[H + 2 * R + 12], 0xFF, 8);  // a NaN
  fz::scrivi_seme(dir, "nan", guasto);
}
