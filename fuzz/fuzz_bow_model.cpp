// Loading a model file into a bag that may already hold words.
//
// Input: byte 0 gives, in bits 0-2, how many words the bag holds before
// loading (0 ... 7) and, in bits 4-5, whether to save and reload (when both
// are 0: one input in four, as the save's file system calls cost more than
// all the rest). Each word is a length byte, that many bytes of word (NULs
// and all) and a class byte (out-of-range classes included, which must count
// nothing). The remaining bytes are the model file. A file the plain rules
// below call a model must load into exactly what a one-occurrence-at-a-time
// rebuild gives, and a saved bag must read back unchanged; any other file
// must be refused at its first bad record, the bag left as it was.
#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "bow_lib.h"
#include "fuzz_util.h"
#include "record_bow.h"

namespace {

using conteggi = std::array<int64_t, CLASSI>;
// The plain model: byte-ordered words (std::string compares like strcmp for
// NUL-free words) with their uncapped totals.
using modello = std::map<std::string, conteggi>;

std::string chiave(std::string_view w) {
  std::string_view s = w.substr(0, w.find('\0'));
  return std::string(s.substr(0, LUNGHEZZA_PAROLA - 1));
}

// The bag against the plain model, node by node, and the list's own rules.
void confronta(const blocco_bow* b, const modello& m, const char* fase) {
  auto it = m.begin();
  const blocco_bow* precedente = nullptr;
  for (; b; precedente = b, b = b->prossimo, ++it) {
    FZ_CHECK(it != m.end(), "%s: nodo in piu' '%.31s'", fase, b->parola);
    FZ_CHECK(it->first == b->parola, "%s: parola '%.31s', attesa '%s'", fase, b->parola, it->first.c_str());
    const size_t lunghezza = strnlen(b->parola, LUNGHEZZA_PAROLA);
    FZ_CHECK(lunghezza < LUNGHEZZA_PAROLA, "%s: parola senza terminatore", fase);
    for (size_t i = lunghezza; i < LUNGHEZZA_PAROLA; ++i)
      FZ_CHECK(b->parola[i] == 0, "%s: byte %zu dopo il terminatore non nullo", fase, i);
    if (precedente) FZ_CHECK(std::strcmp(precedente->parola, b->parola) < 0, "%s: ordine", fase);
    bool positivo = false;
    for (int k = 0; k < CLASSI; ++k) {
      const int64_t atteso = std::min<int64_t>(it->second[k], CONTEGGIO_MAX);
      FZ_CHECK(b->conteggi[k] == atteso, "%s: '%s' classe %d: %d, atteso %lld", fase, it->first.c_str(), k,
               b->conteggi[k], static_cast<long long>(atteso));
      positivo = positivo || b->conteggi[k] > 0;
    }
    FZ_CHECK(positivo, "%s: nodo senza conteggi '%s'", fase, b->parola);
  }
  FZ_CHECK(it == m.end(), "%s: manca '%s'", fase, it->first.c_str());
}

// A scratch folder for the save, made once per process and removed at exit;
// in memory where the machine has /dev/shm, since renames on a disk
// file system would cost more than all the rest of a run.
struct cartella_temporanea {
  std::string dir;
  cartella_temporanea() {
    dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm/velmora-fuzz-XXXXXX" : "/tmp/velmora-fuzz-XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
  }
  ~cartella_temporanea() {
    unlink((dir + "/Bow.txt").c_str());
    rmdir(dir.c_str());
  }
};

const std::string& cartella() {
  static cartella_temporanea c;
  return c.dir;
}

}  // namespace

// Every property is checked on the one input in turn, in one function: the
// checks share what the input decoded to, and a finding's line names its check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t pos = 1;
  borsa bag;
  modello atteso;
  const int n_parole = data[0] % 8;
  bool parole_da_testi = true;  // every word one a cleaned text could hold: the save reads back
  for (int i = 0; i < n_parole && pos < size; ++i) {
    const size_t chiesta = data[pos++] % 40;
    const size_t lunghezza = std::min(chiesta, size - pos);
    std::string parola(reinterpret_cast<const char*>(data + pos), lunghezza);
    pos += lunghezza;
    const int classe = pos < size ? static_cast<int8_t>(data[pos++]) % 12 : 0;
    aggiorna_blocco(bag.testa, parola.c_str(), classe);
    const std::string c = chiave(parola);
    parole_da_testi = parole_da_testi && !c.empty() &&
                      std::all_of(c.begin(), c.end(), [](unsigned char b) { return b >= 0x5B && b <= 0x7F; });
    if (classe >= 0 && classe < CLASSI) atteso[chiave(parola)][classe] += 1;
  }
  confronta(bag.testa, atteso, "prima");

  const uint8_t* file = data + pos;
  const size_t n_file = size - pos;
  // The plain rules: whole records, each word 1 to 31 bytes of 0x5B ... 0x7F
  // ended by a NUL, strictly ascending, no count negative.
  long primo_difetto = n_file % LUNGHEZZA_RECORD ? static_cast<long>(n_file / LUNGHEZZA_RECORD) + 1 : 0;
  modello caricato = atteso;
  std::string precedente;
  for (size_t r = 0; r + LUNGHEZZA_RECORD <= n_file; r += LUNGHEZZA_RECORD) {
    const uint8_t* rec = file + r;
    const std::string parola = chiave(std::string_view(reinterpret_cast<const char*>(rec), LUNGHEZZA_PAROLA));
    bool buono = std::memchr(rec, 0, LUNGHEZZA_PAROLA) && !parola.empty() && (r == 0 || precedente < parola);
    for (unsigned char c : parola) buono = buono && c >= 0x5B && c <= 0x7F;
    conteggi c{};
    bool positivo = false;
    for (int k = 0; k < CLASSI; ++k) {
      int32_t v;
      std::memcpy(&v, rec + LUNGHEZZA_PAROLA + 4 * k, 4);  // the machine is little-endian like the file
      buono = buono && v >= 0;
      c[k] = v;
      positivo = positivo || v > 0;
    }
    if (!buono) {
      primo_difetto = static_cast<long>(r / LUNGHEZZA_RECORD) + 1;
      break;
    }
    precedente = parola;
    if (!positivo) continue;
    conteggi& t = caricato[parola];
    for (int k = 0; k < CLASSI; ++k) t[k] += c[k];
  }

  fz::file_ptr f = fz::memfile(file, n_file);
  difetto_modello difetto;
  const esito_lettura esito = carica_bow(bag.testa, fz::percorso(f.get()).c_str(), &difetto);
  if (primo_difetto > 0) {
    FZ_CHECK(esito == esito_lettura::non_modello, "modello accettato, record %ld non valido", primo_difetto);
    FZ_CHECK(difetto.record == primo_difetto, "difetto al record %ld, atteso %ld (%s)", difetto.record,
             primo_difetto, difetto.motivo.c_str());
    confronta(bag.testa, atteso, "rifiutato");
    return 0;
  }
  FZ_CHECK(esito == esito_lettura::letto, "modello non letto");
  atteso = std::move(caricato);
  confronta(bag.testa, atteso, "caricato");

  // Saved and read back into an empty bag: the same words and counts.
  if ((data[0] & 0x30) != 0 || !parole_da_testi) return 0;
  const std::string path = cartella() + "/Bow.txt";
  FZ_CHECK(scrivi_bow(bag.testa, path.c_str()), "salvataggio fallito");
  borsa riletto;
  FZ_CHECK(carica_bow(riletto.testa, path.c_str()) == esito_lettura::letto, "rilettura fallita");
  for (auto& [parola, c] : atteso)
    for (auto& v : c) v = std::min<int64_t>(v, CONTEGGIO_MAX);
  confronta(riletto.testa, atteso, "riletto");
  return 0;
}

void scrivi_semi(const std::string& dir) {
  using fz::record;
  const std::string vuota(1, '\0');
  fz::scrivi_seme(dir, "vuoto", vuota);
  fz::scrivi_seme(dir, "ciao", vuota + record("ciao", {0, 0, 5}));
  fz::scrivi_seme(dir, "ordinato", vuota + record("alfa", {0, 2}) + record("beta", {}) + record("zeta", {3, 0, 0, 4}) +
                                       record(std::string(31, 'z'), {2147483647, 1}));
  fz::scrivi_seme(dir, "maiuscola", vuota + record("alfa", {1}) + record("Beta", {1}));
  fz::scrivi_seme(dir, "disordinato", vuota + record("zeta", {1}) + record("alfa", {0, 2}) + record("zeta", {3, 0, 0, 4}));
  fz::scrivi_seme(dir, "negativi_enormi",
                  vuota + record("a", {-5, 2147483647}) + record("a", {0, 2147483647}) + record("b", {-1, 0, -2}));
  fz::scrivi_seme(dir, "senza_nul", vuota + record(std::string(32, 'x'), {1}) + record(std::string(31, 'x'), {2}));
  fz::scrivi_seme(dir, "frammento", vuota + record("uno", {1}) + "frammento");
  std::string prima = std::string{3, 4} + "beta" + std::string{2} + std::string{1} + "a" + std::string{11} +
                      std::string{4} + "zeta" + std::string{9};
  fz::scrivi_seme(dir, "bag_piena", prima + record("beta", {0, 0, 7}) + record("gamma", {1}));
}
