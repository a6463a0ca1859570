// The word-bag algorithms in their plain step-by-step form: one occurrence at
// a time, linear search, one byte at a time. The fast paths of bow_lib must
// give exactly what these give. Then the exact texts velmora_bow prints.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bow_lib.h"

namespace ref {

struct nodo {
  std::string parola;
  std::array<int32_t, CLASSI> conteggi{};
  bool operator==(const nodo&) const = default;
};
using bag = std::vector<nodo>;  // in list order

// Walks from the head: equal word counts one more (saturating), a smaller one
// goes in front of the first larger node, otherwise at the end.
inline void aggiorna(bag& b, const std::string& word, int classe) {
  size_t i = 0;
  for (; i < b.size(); ++i) {
    int c = std::strcmp(word.c_str(), b[i].parola.c_str());
    if (c == 0) {
      if (b[i].conteggi[classe] < CONTEGGIO_MAX) ++b[i].conteggi[classe];
      return;
    }
    if (c < 0) break;
  }
  nodo n{word, {}};
  n.conteggi[classe] = 1;
  b.insert(b.begin() + static_cast<long>(i), n);
}

// One model file record: the word zero-padded, then the ten counts.
inline std::string record(const std::string& parola, std::array<int32_t, CLASSI> c) {
  std::string r(LUNGHEZZA_RECORD, '\0');
  std::memcpy(r.data(), parola.data(), std::min(parola.size(), size_t{LUNGHEZZA_PAROLA}));
  std::memcpy(r.data() + LUNGHEZZA_PAROLA, c.data(), sizeof c);
  return r;
}

// Re-adds every stored occurrence of every complete 72-byte record.
inline void leggi(bag& b, const std::string& file) {
  for (size_t r = 0; r + LUNGHEZZA_RECORD <= file.size(); r += LUNGHEZZA_RECORD) {
    std::string word(file.data() + r, strnlen(file.data() + r, LUNGHEZZA_PAROLA - 1));
    for (int k = 0; k < CLASSI; ++k) {
      int32_t c;
      std::memcpy(&c, file.data() + r + LUNGHEZZA_PAROLA + 4 * k, 4);
      for (int32_t j = 0; j < c; ++j) aggiorna(b, word, k);
    }
  }
}

inline const nodo* ricorrenza(const bag& b, const std::string& word) {
  for (const nodo& n : b)
    if (n.parola == word) return &n;
  return nullptr;
}

inline void classifica(const bag& doc, const bag& model, double punteggi[CLASSI]) {
  int32_t totali[CLASSI];
  for (int k = 0; k < CLASSI; ++k) {
    punteggi[k] = 0.0;
    int64_t t = 0;
    for (const nodo& n : model) t += n.conteggi[k];
    totali[k] = static_cast<int32_t>(t);
  }
  for (const nodo& d : doc) {
    double n = d.conteggi[0];
    const nodo* c = ricorrenza(model, d.parola);
    if (!c) continue;
    for (int k = 0; k < CLASSI; ++k) {
      if (c->conteggi[k] > 0) {
        double p = static_cast<double>(c->conteggi[k]) / static_cast<double>(totali[k]);
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

// The cleaned text, stopping at the byte that follows a run of 30 word characters.
inline std::string pulisci(const std::string& testo, bool& troppo_lunga) {
  std::string out;
  int contatore = 0;
  troppo_lunga = false;
  for (unsigned char byte : testo) {
    int c = std::tolower(byte);
    if (contatore >= LUNGHEZZA_MAX) {
      troppo_lunga = true;
      break;
    }
    if (static_cast<signed char>(c) <= 0x40) {
      out += ' ';
      contatore = 0;
    } else {
      out += static_cast<char>(c);
      ++contatore;
    }
  }
  return out;
}

inline std::vector<std::string> parole(const std::string& pulito) {
  std::istringstream in(pulito);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

inline bag da_lista(const blocco_bow* b) {
  bag out;
  for (; b; b = b->prossimo) {
    nodo n{b->parola, {}};
    std::memcpy(n.conteggi.data(), b->conteggi, sizeof b->conteggi);
    out.push_back(n);
  }
  return out;
}

// ---- What velmora_bow prints ---------------------------------------------------------

inline const std::string USO = "Uso: velmora_bow AZIONE FILE [CLASSE]\nAZIONE = {aggiungi, classifica }\n";
inline const std::string NO_MODELLO = "File <Bow.txt> non trovato\n";
inline const std::string TROPPO_LUNGA = "Attenzione: le parle devono avere lunghezza massima 30\n";

// The ten class totals aggiungi prints.
inline std::string totali(const std::array<long, CLASSI>& t) {
  std::string s;
  for (int k = 0; k < CLASSI; ++k)
    s += "Classe " + std::to_string(k) + ", parole totali:" + std::to_string(t[k]) + "\n";
  return s;
}

// The block classifica prints: the ten scores as %f, then the class.
inline std::string classificazione(const std::array<const char*, CLASSI>& p, int classe) {
  std::string s = "CLASSIFICAZIONE:\n";
  for (int k = 0; k < CLASSI; ++k) s += "Class " + std::to_string(k) + ", p=" + p[k] + "\n";
  return s + "\nIl documento appartiene alla classe " + std::to_string(classe) + "\n";
}

}  // namespace ref

namespace ref {

// The usage text of one of the corpus actions starts so.
inline std::string uso_azione(const std::string& azione) { return "Uso: velmora_bow " + azione + " "; }

// The confusion matrix block of valuta's report, from its 100 counts.
inline std::string matrice(const std::array<std::array<long, CLASSI>, CLASSI>& m) {
  std::string s = "\nMatrice di confusione (righe: classe vera, colonne: classe scelta):\n    ";
  char buf[16];
  for (int c = 0; c < CLASSI; ++c) {
    std::snprintf(buf, sizeof buf, "%6d", c);
    s += buf;
  }
  s += "\n";
  for (int v = 0; v < CLASSI; ++v) {
    std::snprintf(buf, sizeof buf, "%2d |", v);
    s += buf;
    for (int c = 0; c < CLASSI; ++c) {
      std::snprintf(buf, sizeof buf, "%6ld", m[v][c]);
      s += buf;
    }
    s += "\n";
  }
  return s;
}

}  // namespace ref
