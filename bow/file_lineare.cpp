// Bow.lineare: the linear model's bytes, written and read back with every
// field checked, and its ties to Bow.txt and to the training texts.
#include "file_lineare.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "byte_le.h"
#include "file.h"
#include "nomi.h"
#include "scrittura.h"
#include "uscita.h"

namespace {

// ---- Little-endian fields --------------------------------------------------------------

void metti_f64(unsigned char* p, double v) { metti_le(p, std::bit_cast<uint64_t>(v)); }
double prendi_f64(const unsigned char* p) { return std::bit_cast<double>(prendi_le<uint64_t>(p)); }

// Offsets of the header's fields.
enum : int {
  O_VERSIONE = 8, O_DATI = 12, O_POSTI = 16, O_BOW_BYTE = 24, O_BOW_FNV = 32, O_TESTI = 40, O_CORPUS_FNV = 48,
  O_C = 56, O_SCELTE = 64, O_PIEGHE = 68, O_ACCURATEZZA = 72, O_TEMPERATURA = 80, O_CIMA_A = 88, O_CIMA_B = 96,
  O_BIAS = 104
};
static_assert(O_BIAS + 8 * CLASSI == LUNGHEZZA_INTESTAZIONE_LINEARE);
constexpr uint32_t COPPIE = 1, RAPPORTI = 2;

using intestazione = unsigned char[LUNGHEZZA_INTESTAZIONE_LINEARE];
using record_lineare = unsigned char[LUNGHEZZA_RECORD_LINEARE];

void codifica_intestazione(const modello_lineare& m, intestazione& h) {
  std::memset(h, 0, sizeof h);
  std::memcpy(h, MAGIA_LINEARE, sizeof MAGIA_LINEARE);
  metti_le<uint32_t>(h + O_VERSIONE, VERSIONE_LINEARE);
  uint32_t dati = 0;
  for (int k = 0; k < CLASSI; ++k) dati |= uint32_t{m.con_dati[k]} << k;
  metti_le<uint32_t>(h + O_DATI, dati);
  metti_le<uint64_t>(h + O_POSTI, m.posti.size());
  const provenienza_lineare& p = m.provenienza;
  metti_le<uint64_t>(h + O_BOW_BYTE, p.bow.byte);
  metti_le<uint64_t>(h + O_BOW_FNV, p.bow.fnv);
  metti_le<uint64_t>(h + O_TESTI, p.testi);
  metti_le<uint64_t>(h + O_CORPUS_FNV, p.fnv_corpus);
  metti_f64(h + O_C, m.scelta.c);
  metti_le<uint32_t>(h + O_SCELTE, (m.scelta.coppie ? COPPIE : 0) | (m.scelta.rapporti ? RAPPORTI : 0));
  metti_le<uint32_t>(h + O_PIEGHE, m.pieghe);
  metti_f64(h + O_ACCURATEZZA, m.accuratezza_cv);
  metti_f64(h + O_TEMPERATURA, m.temperatura);
  metti_f64(h + O_CIMA_A, m.cima_a);
  metti_f64(h + O_CIMA_B, m.cima_b);
  for (int k = 0; k < CLASSI; ++k) metti_f64(h + O_BIAS + 8 * k, m.bias[k]);
}

// The header after its magic read into m, or why it is not one of ours;
// posti the slots it announces; vecchio set for an earlier version.
std::string decodifica_intestazione(const intestazione& h, modello_lineare& m, uint64_t& posti, bool& vecchio) {
  if (const uint32_t v = prendi_le<uint32_t>(h + O_VERSIONE); v != VERSIONE_LINEARE) {
    vecchio = v >= 1 && v < VERSIONE_LINEARE;
    return "versione " + std::to_string(v) + ", questo programma legge la " + std::to_string(VERSIONE_LINEARE);
  }
  const uint32_t dati = prendi_le<uint32_t>(h + O_DATI);
  if (dati >> CLASSI) return "classi con dati oltre la 9";
  for (int k = 0; k < CLASSI; ++k) m.con_dati[k] = (dati >> k & 1) != 0;
  posti = prendi_le<uint64_t>(h + O_POSTI);
  if ((posti == 0) != (dati == 0)) return posti == 0 ? "classi con dati ma nessun tratto" : "tratti ma nessuna classe con dati";
  if (posti > POSTI_LINEARI) return "piu' tratti dei posti della tabella";
  provenienza_lineare& p = m.provenienza;
  p.bow.byte = prendi_le<uint64_t>(h + O_BOW_BYTE);
  p.bow.fnv = prendi_le<uint64_t>(h + O_BOW_FNV);
  p.testi = prendi_le<uint64_t>(h + O_TESTI);
  p.fnv_corpus = prendi_le<uint64_t>(h + O_CORPUS_FNV);
  m.scelta.c = prendi_f64(h + O_C);
  if (!std::isfinite(m.scelta.c) || !(m.scelta.c > 0.0)) return "C non e' un numero finito maggiore di 0";
  const uint32_t scelte = prendi_le<uint32_t>(h + O_SCELTE);
  if (scelte >> 2) return "scelte sconosciute nei byte da 64 a 67";
  m.scelta.coppie = (scelte & COPPIE) != 0;
  m.scelta.rapporti = (scelte & RAPPORTI) != 0;
  m.pieghe = prendi_le<uint32_t>(h + O_PIEGHE);
  if (m.pieghe == 1 || m.pieghe > 255) return "pieghe non 0 e non da 2 a 255";
  m.accuratezza_cv = prendi_f64(h + O_ACCURATEZZA);
  if (!(m.accuratezza_cv >= 0.0 && m.accuratezza_cv <= 1.0) || (m.pieghe == 0 && m.accuratezza_cv != 0.0))
    return "accuratezza della convalida fuori da 0 ... 1";
  m.temperatura = prendi_f64(h + O_TEMPERATURA);
  // Training fits it within [0.001, 1000], a within [0.01, 100] and b within [-50, 50].
  if (!(m.temperatura >= 1e-4 && m.temperatura <= 1e4)) return "temperatura fuori da 0.0001 ... 10000";
  m.cima_a = prendi_f64(h + O_CIMA_A);
  m.cima_b = prendi_f64(h + O_CIMA_B);
  if (!(m.cima_a >= 0.01 && m.cima_a <= 100.0) || !(m.cima_b >= -50.0 && m.cima_b <= 50.0))
    return "calibrazione della prima classe non valida (a da 0.01 a 100, b da -50 a 50)";
  for (int k = 0; k < CLASSI; ++k) {
    m.bias[k] = prendi_f64(h + O_BIAS + 8 * k);
    if (!std::isfinite(m.bias[k])) return "bias della classe " + std::to_string(k) + " non finito";
  }
  return {};
}

void codifica_record(const modello_lineare& m, size_t j, record_lineare& r) {
  metti_le<uint32_t>(r, m.posti[j]);
  metti_f64(r + 4, m.idf[j]);
  for (int k = 0; k < CLASSI; ++k) metti_f64(r + 12 + 8 * k, m.pesi[j][k]);
}

// One record appended to m, or why it is not one of ours.
std::string decodifica_record(const record_lineare& r, modello_lineare& m) {
  const uint32_t posto = prendi_le<uint32_t>(r);
  if (posto >= POSTI_LINEARI) return "posto oltre la tabella";
  if (e_coppia(posto) && !m.scelta.coppie) return "posto di una coppia in un modello senza coppie";
  if (!m.posti.empty() && m.posti.back() >= posto) return m.posti.back() == posto ? "posto ripetuto" : "posto fuori ordine";
  const double idf = prendi_f64(r + 4);
  if (!std::isfinite(idf) || !(idf >= 1.0)) return "idf non e' un numero finito almeno 1";
  std::array<double, CLASSI> pesi;
  for (int k = 0; k < CLASSI; ++k) {
    pesi[k] = prendi_f64(r + 12 + 8 * k);
    if (!std::isfinite(pesi[k])) return "peso della classe " + std::to_string(k) + " non finito";
    if (!m.con_dati[k] && pesi[k] != 0.0) return "peso non nullo per la classe " + std::to_string(k) + ", senza dati";
  }
  m.posti.push_back(posto);
  m.idf.push_back(idf);
  m.pesi.push_back(pesi);
  return {};
}

}  // namespace

// ---- Fingerprints ------------------------------------------------------------------------

void impronta_corpus::aggiungi_testo(int classe, std::string_view nome, const impronta& testo) {
  tutto.aggiungi_u64(static_cast<uint64_t>(classe));
  tutto.aggiungi_u64(nome.size());
  tutto.aggiungi(nome.data(), nome.size());
  tutto.aggiungi_u64(testo.byte);
  tutto.aggiungi_u64(testo.fnv);
  ++testi;
}

bool corrisponde(const modello_lineare& m, const char* path_bow) {
  impronta h;
  return impronta_file(path_bow, h) && h == m.provenienza.bow;
}

// ---- The file ------------------------------------------------------------------------------

bool codifica_lineare(const modello_lineare& m, std::FILE* f) {
  intestazione h;
  codifica_intestazione(m, h);
  bool ok = std::fwrite(h, 1, sizeof h, f) == sizeof h;
  record_lineare r;
  for (size_t w = 0; ok && w < m.posti.size(); ++w) {
    codifica_record(m, w, r);
    ok = std::fwrite(r, 1, sizeof r, f) == sizeof r;
  }
  return ok;
}

esito_lettura decodifica_lineare(modello_lineare& m, std::FILE* f, difetto_lineare* difetto) {
  modello_lineare letto;
  const auto rifiuta = [&](long record, std::string motivo) {
    if (difetto) *difetto = {record, std::move(motivo)};
    return std::ferror(f) ? esito_lettura::illeggibile : esito_lettura::non_modello;
  };
  intestazione h;
  const size_t n = std::fread(h, 1, sizeof h, f);
  // The magic first, so that a short foreign file is called foreign, not cut.
  if (std::memcmp(h, MAGIA_LINEARE, std::min(n, sizeof MAGIA_LINEARE)) != 0) return rifiuta(0, "non comincia con BOWLINEA");
  if (n < sizeof h)
    return rifiuta(0, "il file finisce dopo " + std::to_string(n) + " byte, prima della fine dell'intestazione (" +
                          std::to_string(LUNGHEZZA_INTESTAZIONE_LINEARE) + " byte)");
  uint64_t parole = 0;
  bool vecchio = false;
  if (std::string motivo = decodifica_intestazione(h, letto, parole, vecchio); !motivo.empty()) {
    const esito_lettura e = rifiuta(0, motivo);
    if (difetto) difetto->vecchio = vecchio;
    return e;
  }
  record_lineare r;
  for (uint64_t w = 1; w <= parole; ++w) {
    const size_t n = std::fread(r, 1, sizeof r, f);
    const long record = static_cast<long>(w);
    if (n == 0 && !std::ferror(f))
      return rifiuta(record, "il file finisce dopo " + std::to_string(w - 1) + " tratti, l'intestazione ne annuncia " +
                                 std::to_string(parole));
    if (n < sizeof r) return rifiuta(record, "il file finisce a meta' del record");
    if (std::string motivo = decodifica_record(r, letto); !motivo.empty()) return rifiuta(record, motivo);
  }
  if (std::fgetc(f) != EOF)
    return rifiuta(static_cast<long>(parole) + 1,
                   "il file continua dopo l'ultimo tratto (l'intestazione ne annuncia " + std::to_string(parole) + ")");
  if (std::ferror(f)) return esito_lettura::illeggibile;
  m = std::move(letto);
  return esito_lettura::letto;
}

bool scrivi_lineare(const modello_lineare& m, const char* path) {
  file_nuovo nuovo;
  return apri_file_nuovo(nuovo, path) && codifica_lineare(m, nuovo.file) && installa_file(nuovo);
}

esito_lettura carica_lineare(modello_lineare& m, const char* path, difetto_lineare* difetto) {
  file_ptr f = apri_file_regolare(path);  // a FIFO in its place is refused, never waited on
  if (!f) {
    if (errno == ENOENT) return esito_lettura::mancante;
    if (difetto) difetto->motivo = perche_illeggibile(path, errno);
    return esito_lettura::illeggibile;
  }
  return decodifica_lineare(m, f.get(), difetto);
}

bool leggi_lineare(modello_lineare& m, const char* path, const char* path_bow) {
  difetto_lineare d;
  const std::string nome = stampabile(path), bow = stampabile(path_bow);
  switch (carica_lineare(m, path, &d)) {
    case esito_lettura::letto:
      break;
    case esito_lettura::mancante:
      std::fprintf(messaggi(), "Manca il modello lineare %s: prima velmora_bow addestra CARTELLA --lineare\n", nome.c_str());
      return false;
    case esito_lettura::illeggibile:
      std::fprintf(messaggi(), "Il modello lineare %s non si puo' leggere: %s\n", nome.c_str(), d.motivo.c_str());
      return false;
    case esito_lettura::non_modello:
      if (d.vecchio) {
        std::fprintf(messaggi(), "Il modello lineare %s e' di una versione precedente (%s): per rifarlo, velmora_bow "
                     "addestra CARTELLA --lineare\n",
                     nome.c_str(), d.motivo.c_str());
      } else if (d.record == 0) {
        std::fprintf(messaggi(), "Il file %s non e' un modello lineare di velmora_bow: intestazione, %s\n",
                     nome.c_str(), d.motivo.c_str());
      } else {
        std::fprintf(messaggi(), "Il file %s non e' un modello lineare di velmora_bow: record %ld (dal byte %ld), %s\n",
                     nome.c_str(), d.record,
                     LUNGHEZZA_INTESTAZIONE_LINEARE + (d.record - 1) * long{LUNGHEZZA_RECORD_LINEARE},
                     d.motivo.c_str());
      }
      return false;
  }
  if (corrisponde(m, path_bow)) return true;
  std::fprintf(messaggi(),
               "Il modello lineare %s non e' stato addestrato accanto a questo %s, cambiato dopo (da aggiungi o "
               "addestra): per rifarlo, velmora_bow addestra CARTELLA --lineare\n",
               nome.c_str(), bow.c_str());
  return false;
}
