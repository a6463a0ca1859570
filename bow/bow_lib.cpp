// Word-bag library: the sorted list of words, the model file, the text
// cleaning and the class scoring.
//
// The bulk paths (loading a model, adding a whole text, scoring) gather their
// words first, sort them and merge them into the list in one pass; they give
// exactly the bag that adding one occurrence at a time would give, because
// saturating addition of non-negative counts does not depend on its order.
#include "bow_lib.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "file.h"
#include "scrittura.h"

namespace {

bool classe_valida(int classe) { return classe >= 0 && classe < CLASSI; }

// The word as the list keeps it: up to its first NUL, at most 31 bytes.
std::string_view chiave(std::string_view word) {
  size_t fine = std::min(word.find('\0'), size_t{LUNGHEZZA_PAROLA - 1});
  return word.substr(0, fine);
}

// parola zero-padded, so that memcmp over the whole field is strcmp order.
void copia_parola(char (&parola)[LUNGHEZZA_PAROLA], std::string_view word) {
  std::memset(parola, 0, sizeof parola);
  std::memcpy(parola, word.data(), word.size());
}

int32_t somma_saturata(int32_t conteggio, int64_t aggiunta) {
  int64_t s = int64_t{conteggio} + aggiunta;
  return s > CONTEGGIO_MAX ? CONTEGGIO_MAX : static_cast<int32_t>(s);
}

// One word to merge into a bag, with the occurrences to add per class.
struct voce {
  char parola[LUNGHEZZA_PAROLA];  // zero-padded
  int64_t conteggi[CLASSI];       // >= 0, at least one > 0
};

bool prima(const voce& a, const voce& b) { return std::memcmp(a.parola, b.parola, LUNGHEZZA_PAROLA) < 0; }

// Sorts voci and folds repeated words into one, adding their counts.
void ordina_e_fondi(std::vector<voce>& voci) {
  std::sort(voci.begin(), voci.end(), prima);
  size_t fine = 0;
  for (size_t i = 0; i < voci.size(); ++i) {
    if (fine > 0 && std::memcmp(voci[fine - 1].parola, voci[i].parola, LUNGHEZZA_PAROLA) == 0) {
      for (int k = 0; k < CLASSI; ++k) voci[fine - 1].conteggi[k] += voci[i].conteggi[k];
    } else {
      voci[fine++] = voci[i];
    }
  }
  voci.resize(fine);
}

// Merges voci (strictly ascending) into the bag in one pass over both.
void unisci(bow_list& bag, const std::vector<voce>& voci) {
  blocco_bow** link = &bag;
  for (const voce& v : voci) {
    while (*link && std::memcmp((*link)->parola, v.parola, LUNGHEZZA_PAROLA) < 0) link = &(*link)->prossimo;
    blocco_bow* nodo = *link;
    if (!nodo || std::memcmp(nodo->parola, v.parola, LUNGHEZZA_PAROLA) != 0) {
      nodo = new blocco_bow{};
      std::memcpy(nodo->parola, v.parola, LUNGHEZZA_PAROLA);
      nodo->prossimo = *link;
      *link = nodo;
    }
    for (int k = 0; k < CLASSI; ++k) nodo->conteggi[k] = somma_saturata(nodo->conteggi[k], v.conteggi[k]);
    link = &nodo->prossimo;
  }
}

int32_t leggi_int32_le(const unsigned char* p) {
  uint32_t u = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  return static_cast<int32_t>(u);
}

void scrivi_int32_le(unsigned char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

}  // namespace

// ---- Word bag -------------------------------------------------------------------

void inizia_bow(bow_list& bag) { bag = nullptr; }

void libera_bow(bow_list& bag) {
  while (bag) {
    blocco_bow* prossimo = bag->prossimo;
    delete bag;
    bag = prossimo;
  }
}

void aggiorna_blocco(bow_list& bag, const char* word, int classe) {
  if (!classe_valida(classe)) return;
  char parola[LUNGHEZZA_PAROLA];
  copia_parola(parola, chiave(std::string_view(word, strnlen(word, LUNGHEZZA_PAROLA))));
  blocco_bow** link = &bag;
  for (; *link; link = &(*link)->prossimo) {
    int confronto = std::strcmp(parola, (*link)->parola);
    if (confronto == 0) {
      (*link)->conteggi[classe] = somma_saturata((*link)->conteggi[classe], 1);
      return;
    }
    if (confronto < 0) break;
  }
  auto* nodo = new blocco_bow{};
  std::memcpy(nodo->parola, parola, LUNGHEZZA_PAROLA);
  nodo->conteggi[classe] = 1;
  nodo->prossimo = *link;
  *link = nodo;
}

void aggiungi_parole(bow_list& bag, const std::vector<std::string_view>& parole, int classe) {
  if (!classe_valida(classe) || parole.empty()) return;
  // Counting in a hash table first keeps the sort to the distinct words. The
  // table is open-addressed with the words stored in it, so a lookup touches
  // one slot; it doubles before it is half full.
  struct cella {
    uint64_t hash;
    int64_t n;  // 0: free
    char parola[LUNGHEZZA_PAROLA];
  };
  std::vector<cella> tabella(1024);
  size_t usate = 0;
  auto inserisci = [&tabella](const cella& c) -> cella& {
    const size_t maschera = tabella.size() - 1;
    for (size_t i = c.hash & maschera;; i = (i + 1) & maschera) {
      cella& t = tabella[i];
      if (t.n == 0) {
        std::memcpy(t.parola, c.parola, LUNGHEZZA_PAROLA);
        t.hash = c.hash;
        return t;
      }
      if (t.hash == c.hash && std::memcmp(t.parola, c.parola, LUNGHEZZA_PAROLA) == 0) return t;
    }
  };
  cella nuova{};
  for (std::string_view p : parole) {
    std::string_view w = chiave(p);
    copia_parola(nuova.parola, w);
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : w) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    nuova.hash = h ^ (h >> 29);
    cella& t = inserisci(nuova);
    if (t.n++ == 0 && 2 * ++usate > tabella.size()) {
      std::vector<cella> vecchia(tabella.size() * 2);
      vecchia.swap(tabella);
      for (const cella& c : vecchia)
        if (c.n > 0) inserisci(c).n = c.n;
    }
  }
  std::vector<voce> voci;
  voci.reserve(usate);
  for (const cella& c : tabella) {
    if (c.n == 0) continue;
    voce v;
    std::memcpy(v.parola, c.parola, LUNGHEZZA_PAROLA);
    std::fill(std::begin(v.conteggi), std::end(v.conteggi), 0);
    v.conteggi[classe] = c.n;
    voci.push_back(v);
  }
  std::sort(voci.begin(), voci.end(), prima);
  unisci(bag, voci);
}

const int32_t* ricorrenza_parola(const blocco_bow* bag, const blocco_bow* node) {
  for (; bag; bag = bag->prossimo)
    if (std::strcmp(bag->parola, node->parola) == 0) return bag->conteggi;
  return nullptr;
}

int64_t conta_parole(const blocco_bow* bag, int classe) {
  if (!classe_valida(classe)) return 0;
  int64_t totale = 0;
  for (; bag; bag = bag->prossimo) totale += bag->conteggi[classe];
  return totale;
}

int32_t totale_classe(const blocco_bow* bag, int classe) {
  // Counts are never negative, so only the upper bound needs a guard: a
  // total past it would otherwise wrap negative and hide the class's data.
  return static_cast<int32_t>(std::min<int64_t>(conta_parole(bag, classe), CONTEGGIO_MAX));
}

void mostra_bow(const blocco_bow* bag, int classe) {
  if (!classe_valida(classe)) return;
  for (; bag; bag = bag->prossimo) std::printf("%s;%d\n", bag->parola, bag->conteggi[classe]);
}

// ---- Model file -------------------------------------------------------------------

esito_lettura carica_bow(bow_list& bag, const char* path) {
  file_ptr file = apri_file(path, "rb");
  if (!file) return errno == ENOENT ? esito_lettura::mancante : esito_lettura::illeggibile;

  constexpr size_t RECORD_PER_BLOCCO = 256;  // 18 KB a read: small enough to reuse, large enough to stream
  std::vector<unsigned char> blocco(RECORD_PER_BLOCCO * LUNGHEZZA_RECORD);
  std::vector<voce> voci;
  for (;;) {
    // fread counts whole records only: a trailing fragment is read and dropped.
    size_t letti = std::fread(blocco.data(), LUNGHEZZA_RECORD, RECORD_PER_BLOCCO, file.get());
    for (size_t r = 0; r < letti; ++r) {
      const unsigned char* rec = blocco.data() + r * LUNGHEZZA_RECORD;
      voce v;
      bool positivo = false;
      for (int k = 0; k < CLASSI; ++k) {
        int32_t c = leggi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k);
        v.conteggi[k] = c > 0 ? c : 0;
        positivo = positivo || c > 0;
      }
      if (!positivo) continue;
      const char* testo = reinterpret_cast<const char*>(rec);
      copia_parola(v.parola, chiave(std::string_view(testo, LUNGHEZZA_PAROLA)));
      voci.push_back(v);
    }
    if (letti < RECORD_PER_BLOCCO) break;
  }
  if (std::ferror(file.get())) return esito_lettura::illeggibile;
  ordina_e_fondi(voci);
  unisci(bag, voci);
  return esito_lettura::letto;
}

esito_lettura leggi_bow(bow_list& bag, const char* path) {
  esito_lettura esito = carica_bow(bag, path);
  if (esito != esito_lettura::letto) std::printf("File <%s> non trovato\n", path);
  return esito;
}

bool scrivi_bow(const blocco_bow* bag, const char* path) {
  file_nuovo nuovo;
  bool ok = apri_file_nuovo(nuovo, path);
  unsigned char rec[LUNGHEZZA_RECORD];
  for (; ok && bag; bag = bag->prossimo) {
    std::memcpy(rec, bag->parola, LUNGHEZZA_PAROLA);
    for (int k = 0; k < CLASSI; ++k) scrivi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k, bag->conteggi[k]);
    ok = std::fwrite(rec, 1, LUNGHEZZA_RECORD, nuovo.file) == LUNGHEZZA_RECORD;
  }
  if (ok && installa_file(nuovo)) return true;
  std::printf("File <%s> non trovato\n", path);
  return false;
}

// ---- Text cleaning and word reading -------------------------------------------------

size_t pulisci_testo(stato_pulizia& stato, const char* testo, size_t n, char* out) {
  for (size_t i = 0; i < n; ++i) {
    // The length check looks at the run before this byte, whatever the byte is.
    if (stato.lunghezza >= LUNGHEZZA_MAX) return i;
    unsigned char c = static_cast<unsigned char>(testo[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    // Read as signed, every byte from 0x80 up is negative: a separator.
    if (static_cast<signed char>(c) <= 0x40) {
      out[i] = ' ';
      stato.lunghezza = 0;
    } else {
      out[i] = static_cast<char>(c);
      ++stato.lunghezza;
    }
  }
  return n;
}

bool dividi_parole(std::string_view testo, std::vector<std::string_view>& parole) {
  // White space of the C locale, as the "%s" conversion skips it.
  auto spazio = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  size_t i = 0;
  while (i < testo.size()) {
    while (i < testo.size() && spazio(testo[i])) ++i;
    size_t inizio = i;
    while (i < testo.size() && !spazio(testo[i])) {
      if (testo[i] == '\0' || i - inizio >= LUNGHEZZA_MAX) return false;
      ++i;
    }
    if (i > inizio) parole.push_back(testo.substr(inizio, i - inizio));
  }
  return true;
}

// ---- Class scoring ------------------------------------------------------------------

void classifica_testo(const blocco_bow* doc, const blocco_bow* model, double punteggi[CLASSI]) {
  int32_t totali[CLASSI];
  for (int k = 0; k < CLASSI; ++k) {
    punteggi[k] = 0.0;
    totali[k] = totale_classe(model, k);
  }
  // Both lists are sorted, so walking them side by side finds for each
  // document word the same model node as a search from the head; the terms
  // are still added in document order, class by class.
  for (; doc; doc = doc->prossimo) {
    const double n = static_cast<double>(doc->conteggi[0]);
    int confronto = 1;
    while (model && (confronto = std::strcmp(model->parola, doc->parola)) < 0) model = model->prossimo;
    if (!model || confronto != 0) continue;
    const int32_t* c = model->conteggi;
    for (int k = 0; k < CLASSI; ++k) {
      if (c[k] > 0) {
        double p = static_cast<double>(c[k]) / static_cast<double>(totali[k]);
        punteggi[k] = ((std::log10(p) * n) / totali[k]) + punteggi[k];
      } else if (totali[k] > 0) {
        double p = 1.0 / totali[k];
        punteggi[k] = (std::log10(p) * n) + punteggi[k];
      }
    }
  }
  for (int k = 0; k < CLASSI; ++k)
    if (totali[k] > 0) punteggi[k] -= 1.0;
}

int classe_scelta(const double punteggi[CLASSI]) {
  int scelta = 0;
  double migliore = -DBL_MAX;
  for (int k = 0; k < CLASSI; ++k) {
    if (punteggi[k] > migliore && punteggi[k] != 0.0) {
      migliore = punteggi[k];
      scelta = k;
    }
  }
  return scelta;
}
