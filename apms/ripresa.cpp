#include "ripresa.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iterator>

#include "byte_le.h"
#include "destinazione.h"
#include "file.h"
#include "nomi.h"
#include "numeri.h"
#include "scrittura.h"

namespace {

constexpr char MAGIA[16] = {'v', 'e', 'l', 'm', 'o', 'r', 'a', '_', 'a', 'p', 'm', 's', ' ', 'r', 'i', 'p'};
constexpr uint64_t VERSIONE = 2;
constexpr uint64_t VERSIONE_SENZA_STORIA = 1;

// A check of a run of 64-bit words, in the manner of FNV-1a but a word at a
// time: eight times fewer multiplications, for files of tens of megabytes.
struct controllo {
  uint64_t h = 0xCBF29CE484222325ull;
  void aggiungi(uint64_t w) { h = (h ^ w) * 0x100000001B3ull; }
};

// ---- The signature ---------------------------------------------------------------------

enum class genere { intero, reale, costo, inizio, dati };

struct campo_firma {
  const char* nome;
  genere g;
};

// The fields of the signature, in the file's order.
constexpr campo_firma CAMPI[] = {
    {"epoche", genere::intero},          {"tasso", genere::reale},        {"costo", genere::costo},
    {"decadimento", genere::reale},      {"inizio", genere::inizio},      {"riduzione", genere::reale},
    {"riduzione ogni", genere::intero},  {"lotto", genere::intero},       {"spostamenti", genere::intero},
    {"seme", genere::intero},            {"validazione", genere::reale},  {"media", genere::intero},
    {"righe di addestramento diverse", genere::dati},
    {"righe di verifica diverse", genere::dati}, {"pesi di partenza diversi", genere::dati},
};
constexpr size_t N_CAMPI = std::size(CAMPI);

uint64_t bit(double v) { return std::bit_cast<uint64_t>(v); }

void aggiungi_righe(controllo& c, const righe_cifre& r) {
  c.aggiungi(static_cast<uint64_t>(r.quante));
  for (size_t i = 0; i + 1 < r.pixel.size(); i += 2)
    c.aggiungi(static_cast<uint32_t>(r.pixel[i]) | uint64_t{static_cast<uint32_t>(r.pixel[i + 1])} << 32);
  if (r.pixel.size() % 2) c.aggiungi(static_cast<uint32_t>(r.pixel.back()));
  for (int32_t e : r.etichette) c.aggiungi(static_cast<uint32_t>(e));
}

// A field's value as the messages give it.
std::string in_parole(genere g, uint64_t v) {
  char b[32];
  switch (g) {
    case genere::intero: return std::to_string(v);
    case genere::reale: formatta_numero(b, sizeof b, std::bit_cast<double>(v)); return b;
    case genere::costo: return v ? "entropia" : "quadratico";
    case genere::inizio: return v ? "scalato" : "fisso";
    case genere::dati: break;
  }
  return "";
}

// ---- Writing ---------------------------------------------------------------------------

struct scrittore {
  std::FILE* f;
  controllo c;
  void u64(uint64_t v) {
    unsigned char b[8];
    metti_le(b, v);
    std::fwrite(b, 1, sizeof b, f);  // checked when the file is installed
    c.aggiungi(v);
  }
  void reali(const double* v, size_t n) {
    if constexpr (std::endian::native != std::endian::little) {
      for (size_t i = 0; i < n; ++i) u64(bit(v[i]));
      return;
    }
    // The doubles are their own little-endian bytes: one write for them all.
    std::fwrite(v, sizeof *v, n, f);
    for (size_t i = 0; i < n; ++i) c.aggiungi(bit(v[i]));
  }
  void rete(const rete_cifre& r) {
    reali(r.pesi_intercalari, std::size(r.pesi_intercalari));
    reali(r.pesi_efferenti, std::size(r.pesi_efferenti));
  }
};

// ---- Reading ---------------------------------------------------------------------------

struct lettore {
  std::FILE* f;
  controllo c;
  std::string& motivo;
  bool ok = true;
  bool u64(uint64_t& v) {
    unsigned char b[8];
    if (!ok || std::fread(b, 1, sizeof b, f) != sizeof b) return rotto("troncato");
    v = prendi_le<uint64_t>(b);
    c.aggiungi(v);
    return true;
  }
  bool reali(double* v, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
      if (!ok || std::fread(v, sizeof *v, n, f) != n) return rotto("troncato");
      for (size_t i = 0; i < n; ++i) c.aggiungi(bit(v[i]));
      return true;
    }
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i) {
      if (!u64(w)) return false;
      v[i] = std::bit_cast<double>(w);
    }
    return true;
  }
  bool rete(rete_cifre& r) {
    return reali(r.pesi_intercalari, std::size(r.pesi_intercalari)) && reali(r.pesi_efferenti, std::size(r.pesi_efferenti));
  }
  bool rotto(const std::string& perche) {
    if (ok) motivo = "non e' una ripresa di velmora_apms: " + perche;
    ok = false;
    return false;
  }
};

bool intestazione_giusta(std::FILE* f) {
  char m[sizeof MAGIA];
  return std::fread(m, 1, sizeof m, f) == sizeof m && std::memcmp(m, MAGIA, sizeof m) == 0;
}

esito_ripresa rifiutata(lettore& l, const std::string& perche) {
  l.rotto(perche);
  return esito_ripresa::rifiutata;
}

// The history of a version 2 file: as many epochs as were done, each
// numbered in turn after those without history, with counts no larger
// than an int.
bool leggi_storia(lettore& l, uint64_t epoche, corsa& c) {
  uint64_t senza = 0, n = 0;
  if (!l.u64(senza) || !l.u64(n)) return false;
  if (senza > epoche || n != epoche - senza) return l.rotto("la storia non ha le epoche fatte");
  for (uint64_t i = 0; i < n; ++i) {
    uint64_t x[11];
    for (uint64_t& w : x)
      if (!l.u64(w)) return false;
    for (const int k : {0, 2, 3, 4, 5, 7, 8})
      if (x[k] > static_cast<uint64_t>(INT_MAX)) return l.rotto("la storia ha un conteggio fuori misura");
    if (x[0] != senza + i + 1) return l.rotto("la storia non ha le epoche in ordine");
    epoca_curva e;
    e.epoca = static_cast<int>(x[0]);
    e.tasso = std::bit_cast<double>(x[1]);
    e.giuste = static_cast<int>(x[2]);
    e.righe = static_cast<int>(x[3]);
    e.giuste_validazione = static_cast<int>(x[4]);
    e.righe_validazione = static_cast<int>(x[5]);
    e.costo_validazione = std::bit_cast<double>(x[6]);
    e.giuste_verifica = static_cast<int>(x[7]);
    e.righe_verifica = static_cast<int>(x[8]);
    e.costo_verifica = std::bit_cast<double>(x[9]);
    e.costo_addestramento = std::bit_cast<double>(x[10]);
    c.storia.push_back(e);
  }
  c.epoche_senza_storia = static_cast<int>(senza);
  return true;
}

std::atomic<bool> fermata{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void chiedi_fermata(int) { fermata.store(true, std::memory_order_relaxed); }

}  // namespace

std::vector<uint64_t> firma_corsa(const opzioni& o, const dati& d, const rete_cifre& partenza) {
  controllo addestramento, verifica, pesi;
  aggiungi_righe(addestramento, d.addestramento);
  aggiungi_righe(addestramento, d.validazione);
  aggiungi_righe(verifica, d.verifica);
  for (double w : partenza.pesi_intercalari) pesi.aggiungi(bit(w));
  for (double w : partenza.pesi_efferenti) pesi.aggiungi(bit(w));
  std::vector<uint64_t> f = {static_cast<uint64_t>(o.epoche), bit(o.tasso), o.funzione == costo::entropia,
                             bit(o.decadimento), o.inizio == inizio_pesi::scalato, bit(o.riduzione),
                             static_cast<uint64_t>(o.ogni), static_cast<uint64_t>(o.lotto),
                             static_cast<uint64_t>(o.spostamenti), o.seme, bit(o.validazione),
                             static_cast<uint64_t>(o.media), addestramento.h, verifica.h, pesi.h};
  return f;
}

void scrivi_ripresa(std::FILE* f, const std::vector<uint64_t>& firma, const corsa& c, const rete_cifre& rete) {
  std::fwrite(MAGIA, 1, sizeof MAGIA, f);
  scrittore s{f, {}};
  s.u64(VERSIONE);
  s.u64(firma.size());
  for (uint64_t v : firma) s.u64(v);
  s.u64(static_cast<uint64_t>(c.epoca));
  s.u64(c.estrazioni.stato);
  s.u64(c.copie.stato);
  s.u64(c.ordine.size());
  for (int r : c.ordine) s.u64(static_cast<uint64_t>(r));
  s.u64(bit(c.tasso));
  s.rete(rete);
  s.u64(static_cast<uint64_t>(c.meglio.epoca));
  s.u64(static_cast<uint64_t>(c.meglio.riconosciute + 1));
  if (c.meglio.epoca > 0) s.rete(*c.meglio.rete);
  s.u64(c.mm.epoche.size());
  for (const std::vector<double>& e : c.mm.epoche) s.reali(e.data(), e.size());
  s.u64(static_cast<uint64_t>(c.epoche_senza_storia));
  s.u64(c.storia.size());
  for (const epoca_curva& e : c.storia) {
    s.u64(static_cast<uint64_t>(e.epoca));
    s.u64(bit(e.tasso));
    for (const int v : {e.giuste, e.righe, e.giuste_validazione, e.righe_validazione}) s.u64(static_cast<uint64_t>(v));
    s.u64(bit(e.costo_validazione));
    for (const int v : {e.giuste_verifica, e.righe_verifica}) s.u64(static_cast<uint64_t>(v));
    s.u64(bit(e.costo_verifica));
    s.u64(bit(e.costo_addestramento));
  }
  const uint64_t fine = s.c.h;
  s.u64(fine);
}

bool scrivi_ripresa(const char* path, const std::vector<uint64_t>& firma, const corsa& c, const rete_cifre& rete) {
  file_nuovo nuovo;
  if (!apri_file_nuovo(nuovo, path)) return false;
  scrivi_ripresa(nuovo.file, firma, c, rete);  // every write is checked when the file is installed
  return installa_file(nuovo);
}

esito_ripresa leggi_ripresa(std::FILE* f, const std::vector<uint64_t>& firma, const opzioni& o, int righe_validazione,
                            corsa& c, rete_cifre& rete, std::string& motivo) {
  lettore l{f, {}, motivo};
  if (!intestazione_giusta(f)) return rifiutata(l, "non comincia come una ripresa");
  uint64_t v = 0, n = 0;
  if (!l.u64(v)) return esito_ripresa::rifiutata;
  if (v != VERSIONE && v != VERSIONE_SENZA_STORIA)
    return rifiutata(l, "versione " + std::to_string(v) + ", questa e' la " + std::to_string(VERSIONE));
  if (!l.u64(n)) return esito_ripresa::rifiutata;
  if (n != N_CAMPI) return rifiutata(l, "la firma ha " + std::to_string(n) + " campi invece di " + std::to_string(N_CAMPI));
  std::vector<uint64_t> sua(N_CAMPI);
  for (uint64_t& x : sua)
    if (!l.u64(x)) return esito_ripresa::rifiutata;
  uint64_t epoca = 0, righe = 0, tasso = 0, meglio_epoca = 0, meglio_righe = 0, medie = 0;
  if (!l.u64(epoca) || !l.u64(c.estrazioni.stato) || !l.u64(c.copie.stato) || !l.u64(righe))
    return esito_ripresa::rifiutata;
  // A permutation of the rows, each index once; grown as it is read, so
  // that a count no file holds allocates nothing.
  if (righe > static_cast<uint64_t>(INT_MAX)) return rifiutata(l, "l'ordine ha " + std::to_string(righe) + " righe");
  std::vector<int> ordine;
  for (uint64_t i = 0; i < righe; ++i) {
    uint64_t x = 0;
    if (!l.u64(x)) return esito_ripresa::rifiutata;
    if (x >= righe) return rifiutata(l, "l'ordine delle righe non e' una permutazione");
    ordine.push_back(static_cast<int>(x));
  }
  std::vector<char> vista(ordine.size());
  for (int r : ordine) {
    if (vista[static_cast<size_t>(r)]) return rifiutata(l, "l'ordine delle righe non e' una permutazione");
    vista[static_cast<size_t>(r)] = 1;
  }
  if (!l.u64(tasso) || !l.rete(rete) || !l.u64(meglio_epoca) || !l.u64(meglio_righe)) return esito_ripresa::rifiutata;
  c.tasso = std::bit_cast<double>(tasso);
  if (meglio_epoca > epoca) return rifiutata(l, "l'epoca migliore viene dopo le epoche fatte");
  if ((meglio_epoca == 0) != (meglio_righe == 0)) return rifiutata(l, "l'epoca migliore e' incoerente");
  if (meglio_epoca > 0 && !l.rete(*c.meglio.rete)) return esito_ripresa::rifiutata;
  if (!l.u64(medie)) return esito_ripresa::rifiutata;
  if (medie > MEDIA_MASSIMA || medie > epoca) return rifiutata(l, "la media tiene " + std::to_string(medie) + " epoche");
  c.mm.epoche.clear();
  for (uint64_t e = 0; e < medie; ++e) {
    std::vector<double> pesi(static_cast<size_t>(VALORI_RETE));
    if (!l.reali(pesi.data(), pesi.size())) return esito_ripresa::rifiutata;
    c.mm.epoche.push_back(std::move(pesi));
  }
  c.storia.clear();
  c.epoche_senza_storia = static_cast<int>(std::min<uint64_t>(epoca, INT_MAX));
  if (v != VERSIONE_SENZA_STORIA && !leggi_storia(l, epoca, c)) return esito_ripresa::rifiutata;
  const uint64_t atteso = l.c.h;
  uint64_t fine = 0;
  if (!l.u64(fine)) return esito_ripresa::rifiutata;
  if (fine != atteso) return rifiutata(l, "il controllo dei byte non torna");
  if (std::fgetc(f) != EOF) return rifiutata(l, "ci sono altri byte dopo la fine");
  if (std::ferror(f)) return rifiutata(l, "errore di lettura");
  // A whole resume file: now, is it this run's?
  for (size_t i = 0; i < N_CAMPI; ++i) {
    if (sua[i] == firma[i]) continue;
    motivo = "e' di un altro addestramento: " + std::string(CAMPI[i].nome);
    if (CAMPI[i].g != genere::dati)
      motivo += " " + in_parole(CAMPI[i].g, sua[i]) + " nella ripresa, " + in_parole(CAMPI[i].g, firma[i]) + " ora";
    return esito_ripresa::rifiutata;
  }
  // The same settings: what the state holds must be what they allow.
  if (epoca > static_cast<uint64_t>(o.epoche)) return rifiutata(l, "epoche fatte oltre quelle dell'addestramento");
  if (medie > static_cast<uint64_t>(o.media) || (o.media > 0 && medie != std::min<uint64_t>(epoca, o.media)))
    return rifiutata(l, "la media non tiene le epoche dell'addestramento");
  if (meglio_righe > static_cast<uint64_t>(righe_validazione) + 1 || (righe_validazione == 0 && meglio_epoca > 0) ||
      (righe_validazione > 0 && epoca > 0 && meglio_epoca == 0))
    return rifiutata(l, "l'epoca migliore non torna con le righe di validazione");
  if (!(c.tasso > 0.0) || !std::isfinite(c.tasso)) return rifiutata(l, "il tasso non e' un numero maggiore di 0");
  if (ordine.size() != c.ordine.size()) return rifiutata(l, "l'ordine non ha le righe dell'addestramento");
  c.ordine = std::move(ordine);
  c.epoca = static_cast<int>(epoca);
  c.meglio.epoca = static_cast<int>(meglio_epoca);
  c.meglio.riconosciute = static_cast<int>(meglio_righe) - 1;
  if (!c.mm.epoche.empty()) ricalcola_media(c.mm);
  return esito_ripresa::ripresa;
}

esito_ripresa leggi_ripresa(const char* path, const std::vector<uint64_t>& firma, const opzioni& o,
                            int righe_validazione, corsa& c, rete_cifre& rete, std::string& motivo) {
  file_ptr f = apri_file(path, "rb");
  if (!f) {
    if (errno == ENOENT) return esito_ripresa::mancante;
    motivo = std::string("non si puo' leggere: ") + std::strerror(errno);
    return esito_ripresa::rifiutata;
  }
  return leggi_ripresa(f.get(), firma, o, righe_validazione, c, rete, motivo);
}

bool controlla_ripresa(const opzioni& o) {
  const char* path = o.path_ripresa;
  const char* motivo = std::strcmp(path, "-") == 0 ? "la ripresa si tiene solo in un file, non su standard output"
                                                   : perche_non_scrivibile(path);
  std::string testo;
  if (!motivo) {
    for (const char* pesi : {o.path_intercalari, o.path_efferenti}) {
      if (stessa_destinazione(path, pesi)) {
        testo = "e' il file dei pesi " + stampabile(pesi);
        motivo = testo.c_str();
      }
    }
    for (const char* righe : {o.path_addestramento, o.path_verifica}) {
      if (!motivo && righe && stesso_file(path, righe)) {
        testo = "e' il file di righe " + stampabile(righe);
        motivo = testo.c_str();
      }
    }
  }
  if (!motivo) {
    // An existing file must be a resume file: anything else is the user's.
    // Opened without blocking, read only when regular.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    file_ptr f(fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr);
    if (!f && fd >= 0) close(fd);
    if (f && !intestazione_giusta(f.get())) motivo = "esiste e non e' una ripresa di velmora_apms";
  }
  if (!motivo) return true;
  std::printf("Il file %s non puo' tenere la ripresa: %s\n", stampabile(path).c_str(), motivo);
  return false;
}

ripresa_scritta identifica_ripresa(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return {};
  return {st.st_dev, st.st_ino, true};
}

bool rimuovi_ripresa(const char* path, const ripresa_scritta& r) {
  const ripresa_scritta ora = identifica_ripresa(path);
  return r.nota && ora.nota && ora.dispositivo == r.dispositivo && ora.inode == r.inode && unlink(path) == 0;
}

void intercetta_fermata() {
  struct sigaction sa {};
  sa.sa_handler = chiedi_fermata;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool fermata_chiesta() { return fermata.load(std::memory_order_relaxed); }
