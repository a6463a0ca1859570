// Word-bag library: the sorted list of words, the model file and the
// built-in score.
//
// The bulk paths (loading a model, adding a whole text) gather their words
// first, sorted, and merge them into the list in one pass; they give exactly
// the bag that adding one occurrence at a time would give, because
// saturating addition of non-negative counts does not depend on its order.
#include "bow_lib.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "byte_le.h"
#include "file.h"
#include "nomi.h"
#include "punteggi.h"
#include "scrittura.h"
#include "uscita.h"

namespace {

bool classe_valida(int classe) { return classe >= 0 && classe < CLASSI; }

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

// Merges entries (strictly ascending words) into the bag in one pass over
// both; aggiungi(node, entry) adds the entry's counts to its word's node,
// new or not.
template <class Voce, class Aggiungi>
void fondi(bow_list& bag, const std::vector<Voce>& voci, Aggiungi aggiungi) {
  blocco_bow** link = &bag;
  for (const Voce& v : voci) {
    while (*link && std::memcmp((*link)->parola, v.parola, LUNGHEZZA_PAROLA) < 0) link = &(*link)->prossimo;
    blocco_bow* nodo = *link;
    if (!nodo || std::memcmp(nodo->parola, v.parola, LUNGHEZZA_PAROLA) != 0) {
      nodo = new blocco_bow{};
      std::memcpy(nodo->parola, v.parola, LUNGHEZZA_PAROLA);
      nodo->prossimo = *link;
      *link = nodo;
    }
    aggiungi(*nodo, v);
    link = &nodo->prossimo;
  }
}

void unisci(bow_list& bag, const std::vector<voce>& voci) {
  fondi(bag, voci, [](blocco_bow& nodo, const voce& v) {
    for (int k = 0; k < CLASSI; ++k) nodo.conteggi[k] = somma_saturata(nodo.conteggi[k], v.conteggi[k]);
  });
}

int32_t leggi_int32_le(const unsigned char* p) { return static_cast<int32_t>(prendi_le<uint32_t>(p)); }

void scrivi_int32_le(unsigned char* p, int32_t v) { metti_le(p, static_cast<uint32_t>(v)); }

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
  copia_parola(parola, parola_chiave(std::string_view(word, strnlen(word, LUNGHEZZA_PAROLA))));
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
  // A model of millions of words: once standard output fails, the rest would be lost too.
  for (; bag && !uscita_interrotta(); bag = bag->prossimo) std::printf("%s;%d\n", bag->parola, bag->conteggi[classe]);
}

void unisci_parole(bow_list& bag, const std::vector<voce_parola>& voci, int classe) {
  if (!classe_valida(classe)) return;
  fondi(bag, voci, [classe](blocco_bow& nodo, const voce_parola& v) {
    nodo.conteggi[classe] = somma_saturata(nodo.conteggi[classe], v.n);
  });
}

// ---- Model file -------------------------------------------------------------------

std::string difetto_parola(const unsigned char* parola) {
  const auto* fine = static_cast<const unsigned char*>(std::memchr(parola, 0, LUNGHEZZA_PAROLA));
  if (!fine) return "parola senza terminatore nei suoi 32 byte";
  if (fine == parola) return "parola vuota";
  for (const unsigned char* c = parola; c < fine; ++c) {
    // Cleaning lower-cases the word characters 0x41 ... 0x7F: 0x5B ... 0x7F.
    if (*c < 0x5B || *c > 0x7F) {
      char motivo[64];
      std::snprintf(motivo, sizeof motivo, "parola con il byte 0x%02X, che la pulizia non lascia", *c);
      return motivo;
    }
  }
  return {};
}

std::string difetto_record(const unsigned char* rec) {
  if (std::string motivo = difetto_parola(rec); !motivo.empty()) return motivo;
  for (int k = 0; k < CLASSI; ++k) {
    if (leggi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k) < 0) return "conteggio negativo nella classe " + std::to_string(k);
  }
  return {};
}

esito_lettura carica_bow(bow_list& bag, const char* path, difetto_modello* difetto) {
  // Never a wait: a FIFO in the model's place is refused, not read.
  file_ptr file = apri_file_regolare(path);
  if (!file) {
    if (errno == ENOENT) return esito_lettura::mancante;
    if (difetto) *difetto = {0, perche_illeggibile(path, errno)};
    return esito_lettura::illeggibile;
  }

  constexpr size_t RECORD_PER_BLOCCO = 256;  // 18 KB a read: small enough to reuse, large enough to stream
  std::vector<unsigned char> blocco(RECORD_PER_BLOCCO * LUNGHEZZA_RECORD);
  std::vector<voce> voci;
  char precedente[LUNGHEZZA_PAROLA] = {};
  long record = 0;
  const auto rifiuta = [&](long r, std::string motivo) {
    if (difetto) *difetto = {r, std::move(motivo)};
    return esito_lettura::non_modello;
  };
  for (;;) {
    const size_t letti = std::fread(blocco.data(), 1, blocco.size(), file.get());
    for (size_t r = 0; r + LUNGHEZZA_RECORD <= letti; r += LUNGHEZZA_RECORD) {
      const unsigned char* rec = blocco.data() + r;
      ++record;
      if (std::string motivo = difetto_record(rec); !motivo.empty()) return rifiuta(record, std::move(motivo));
      voce v;
      copia_parola(v.parola, parola_chiave(std::string_view(reinterpret_cast<const char*>(rec), LUNGHEZZA_PAROLA)));
      // Zero-padded words compare as strcmp does: the writer's order.
      const int ordine = std::memcmp(precedente, v.parola, LUNGHEZZA_PAROLA);
      if (record > 1 && ordine >= 0) return rifiuta(record, ordine == 0 ? "parola ripetuta" : "parola fuori ordine");
      std::memcpy(precedente, v.parola, LUNGHEZZA_PAROLA);
      bool positivo = false;
      for (int k = 0; k < CLASSI; ++k) {
        v.conteggi[k] = leggi_int32_le(rec + LUNGHEZZA_PAROLA + 4 * k);
        positivo = positivo || v.conteggi[k] > 0;
      }
      if (positivo) voci.push_back(v);
    }
    if (letti % LUNGHEZZA_RECORD != 0 && !std::ferror(file.get()))
      return rifiuta(record + 1, "il file finisce a meta' del record (la lunghezza non e' un multiplo di " +
                                     std::to_string(LUNGHEZZA_RECORD) + " byte)");
    if (letti < blocco.size()) break;
  }
  if (std::ferror(file.get())) {
    if (difetto) *difetto = {0, std::strerror(errno)};
    return esito_lettura::illeggibile;
  }
  // Sorted with no word twice: one merge into the bag.
  unisci(bag, voci);
  return esito_lettura::letto;
}

esito_lettura leggi_bow(bow_list& bag, const char* path) {
  difetto_modello difetto;
  const esito_lettura esito = carica_bow(bag, path, &difetto);
  if (esito == esito_lettura::non_modello) {
    std::fprintf(messaggi(), "Il file %s non e' un modello di velmora_bow: record %ld (dal byte %ld), %s\n",
                 stampabile(path).c_str(), difetto.record, (difetto.record - 1) * LUNGHEZZA_RECORD,
                 difetto.motivo.c_str());
  } else if (esito == esito_lettura::illeggibile) {
    std::fprintf(messaggi(), "Il file %s non si puo' leggere: %s\n", stampabile(path).c_str(), difetto.motivo.c_str());
  } else if (esito == esito_lettura::mancante) {
    std::fprintf(messaggi(), "File <%s> non trovato\n", stampabile(path).c_str());
  }
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
  const int errore = errno;
  std::printf("File <%s> non trovato\n", path);
  causa_su_standard_error("scrivere", path, errore);
  return false;
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
    aggiungi_termini(model->conteggi, totali, n, punteggi);
  }
  chiudi_punteggi(totali, punteggi);
}
