// Scoring. Against an indexed model the built-in rule adds the same terms
// as classifica_testo, in the same order; only the search for each word differs.
#include "punteggi.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

// ---- The built-in rule ------------------------------------------------------------

void aggiungi_termini(const int32_t c[CLASSI], const int32_t totali[CLASSI], double n, double punteggi[CLASSI]) {
  for (int k = 0; k < CLASSI; ++k)
    if (totali[k] > 0) punteggi[k] = termine_classe(c[k], totali[k], n) + punteggi[k];
}

void chiudi_punteggi(const int32_t totali[CLASSI], double punteggi[CLASSI]) {
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

// ---- The model laid out -------------------------------------------------------------

modello_indicizzato indicizza_modello(const blocco_bow* model) {
  modello_indicizzato m;
  for (int k = 0; k < CLASSI; ++k) m.totali[k] = totale_classe(model, k);
  for (; model; model = model->prossimo) {
    std::array<char, LUNGHEZZA_PAROLA> parola;
    std::memcpy(parola.data(), model->parola, LUNGHEZZA_PAROLA);
    std::array<int32_t, CLASSI> c;
    std::memcpy(c.data(), model->conteggi, sizeof c);
    m.parole.push_back(parola);
    m.conteggi.push_back(c);
  }
  return m;
}

std::vector<long> posizioni_tra(const std::vector<std::array<char, LUNGHEZZA_PAROLA>>& parole,
                                const std::vector<voce_parola>& voci) {
  std::vector<long> out;
  out.reserve(voci.size());
  // Both sides are sorted: each search starts where the last one ended.
  auto da = parole.begin();
  for (const voce_parola& v : voci) {
    da = std::lower_bound(da, parole.end(), v.parola, [](const std::array<char, LUNGHEZZA_PAROLA>& a, const char* b) {
      return std::memcmp(a.data(), b, LUNGHEZZA_PAROLA) < 0;
    });
    const bool trovata = da != parole.end() && std::memcmp(da->data(), v.parola, LUNGHEZZA_PAROLA) == 0;
    out.push_back(trovata ? da - parole.begin() : -1);
  }
  return out;
}

void punteggi_velmora(const modello_indicizzato& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]) {
  const int32_t* totali = m.totali;
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = 0.0;
  for (size_t i = 0; i < voci.size(); ++i) {
    if (posizioni[i] < 0) continue;
    aggiungi_termini(m.conteggi[static_cast<size_t>(posizioni[i])].data(), totali, occorrenze(voci[i]), punteggi);
  }
  chiudi_punteggi(totali, punteggi);
}

// ---- The scoring rules ------------------------------------------------------------------

namespace {

// Per word, ln((c + alfa) / (T + alfa x V)) for the class's own counts
// (bayes) or the other classes' (complemento, negated).
void pesi_di_classe(const modello_indicizzato& m, pesi_regola& r, int k, const int64_t (&totali)[CLASSI],
                    int64_t tutto) {
  const double alfa = r.p.alfa, V = static_cast<double>(m.parole.size());
  const bool complemento = r.p.tipo == regola::complemento;
  const double T = static_cast<double>(complemento ? tutto - totali[k] : totali[k]);
  for (size_t w = 0; w < m.parole.size(); ++w) {
    int64_t c = m.conteggi[w][k];
    if (complemento) {
      c = 0;
      for (int j = 0; j < CLASSI; ++j)
        if (j != k) c += m.conteggi[w][j];
    }
    const double peso = std::log((static_cast<double>(c) + alfa) / (T + alfa * V));
    r.pesi[w][k] = complemento ? -peso : peso;
  }
  if (!complemento || !r.p.normalizza) return;
  double somma = 0.0;
  for (size_t w = 0; w < m.parole.size(); ++w) somma = somma + std::fabs(r.pesi[w][k]);
  for (size_t w = 0; w < m.parole.size(); ++w) r.pesi[w][k] = r.pesi[w][k] / somma;
}

}  // namespace

pesi_regola prepara_regola(const modello_indicizzato& m, punteggio p) {
  pesi_regola r;
  r.p = p;
  // Exact 64-bit totals: the saturated ones of the built-in rule would
  // misstate a class past 2^31 - 1 words.
  int64_t totali[CLASSI] = {}, tutto = 0;
  for (const auto& c : m.conteggi)
    for (int k = 0; k < CLASSI; ++k) totali[k] += c[k];
  for (int k = 0; k < CLASSI; ++k) {
    r.con_dati[k] = totali[k] > 0;
    tutto += totali[k];
  }
  if (p.tipo == regola::velmora) return r;
  r.pesi.resize(m.parole.size());
  for (int k = 0; k < CLASSI; ++k) {
    if (!r.con_dati[k]) continue;
    if (p.tipo == regola::bayes) r.base[k] = std::log(static_cast<double>(totali[k]) / static_cast<double>(tutto));
    pesi_di_classe(m, r, k, totali, tutto);
  }
  return r;
}

double termine(const modello_indicizzato& m, const pesi_regola& r, long posizione, double n, int k) {
  if (!r.con_dati[k]) return 0.0;
  const size_t w = static_cast<size_t>(posizione);
  if (r.p.tipo != regola::velmora) return n * r.pesi[w][k];
  return termine_classe(m.conteggi[w][k], m.totali[k], n);
}

void punteggi_regola(const modello_indicizzato& m, const pesi_regola& r, const std::vector<voce_parola>& voci,
                     const std::vector<long>& posizioni, double punteggi[CLASSI]) {
  if (r.p.tipo == regola::velmora) {
    punteggi_velmora(m, voci, posizioni, punteggi);
    return;
  }
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = r.base[k];
  for (size_t i = 0; i < voci.size(); ++i) {
    if (posizioni[i] < 0) continue;
    const double n = occorrenze(voci[i]);
    const std::array<double, CLASSI>& peso = r.pesi[static_cast<size_t>(posizioni[i])];
    for (int k = 0; k < CLASSI; ++k)
      if (r.con_dati[k]) punteggi[k] = punteggi[k] + n * peso[k];
  }
}

int classe_regola(const pesi_regola& r, const double punteggi[CLASSI]) {
  if (r.p.tipo == regola::velmora) return classe_scelta(punteggi);
  int scelta = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (r.con_dati[k] && (scelta < 0 || punteggi[k] > punteggi[scelta])) scelta = k;
  return scelta < 0 ? 0 : scelta;
}

// ---- Probabilities ------------------------------------------------------------------------

void softmax_classi(const double punteggi[CLASSI], const bool con_dati[CLASSI], double p[CLASSI]) {
  int primo = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (con_dati[k] && (primo < 0 || punteggi[k] > punteggi[primo])) primo = k;
  double somma = 0.0;
  for (int k = 0; k < CLASSI; ++k) {
    p[k] = con_dati[k] ? std::exp(punteggi[k] - punteggi[primo]) : 0.0;
    somma = somma + p[k];
  }
  for (int k = 0; k < CLASSI; ++k) p[k] = con_dati[k] ? p[k] / somma : 0.0;
}

void probabilita_regola(const pesi_regola& r, const double punteggi[CLASSI], double p[CLASSI]) {
  softmax_classi(punteggi, r.con_dati, p);
}

bool regola_da_nome(const char* nome, punteggio& p) {
  const std::string_view n(nome);
  if (n == "velmora") {
    p = {regola::velmora, 0.0, false};
  } else if (n == "bayes") {
    p = {regola::bayes, ALFA_BAYES, false};
  } else if (n == "complemento") {
    p = {regola::complemento, ALFA_COMPLEMENTO, NORMALIZZA_COMPLEMENTO};
  } else if (n == "lineare") {
    p = {regola::lineare, 0.0, false};
  } else {
    return false;
  }
  return true;
}

const char* nome_regola(regola r) {
  switch (r) {
    case regola::velmora: return "velmora";
    case regola::bayes: return "bayes";
    case regola::complemento: return "complemento";
    case regola::lineare: return "lineare";
  }
  return "";
}
