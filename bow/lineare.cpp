// The linear rule: its features, its training and its scores. Every sum
// starts from 0.0 and adds one term at a time in the order written; a loop
// over the ten classes inside a loop over words keeps, for each class, the
// order of its own sum.
#include "lineare.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "pulizia.h"
#include "punteggi.h"
#include "tabella_parole.h"

namespace {

// splitmix64: the order of the texts in every epoch.
struct splitmix64 {
  uint64_t stato;
  uint64_t prossimo() {
    stato += 0x9E3779B97F4A7C15ull;
    uint64_t z = stato;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

// Fisher-Yates from the last place down: place i swaps with next() mod (i + 1).
void mescola(std::vector<uint32_t>& ordine, splitmix64& g) {
  for (size_t i = ordine.size(); i-- > 1;) std::swap(ordine[i], ordine[static_cast<size_t>(g.prossimo() % (i + 1))]);
}

using parola_fissa = std::array<char, LUNGHEZZA_PAROLA>;

// The words of all the texts, strictly ascending.
std::vector<parola_fissa> parole_dei_testi(const std::vector<testo_lineare>& testi) {
  std::vector<parola_fissa> parole;
  for (const testo_lineare& t : testi)
    for (const voce_parola& v : t.voci) {
      parola_fissa p;
      std::memcpy(p.data(), v.parola, LUNGHEZZA_PAROLA);
      parole.push_back(p);
    }
  const auto prima = [](const parola_fissa& a, const parola_fissa& b) {
    return std::memcmp(a.data(), b.data(), LUNGHEZZA_PAROLA) < 0;
  };
  std::sort(parole.begin(), parole.end(), prima);
  parole.erase(std::unique(parole.begin(), parole.end()), parole.end());
  return parole;
}

// The naive Bayes log-count ratios of every word for every class, from the
// texts' counts as Bow.txt would keep them:
//   r_kw = ln((c_kw + 1) / (T_k + V)) - ln((c'_kw + 1) / (T'_k + V)),
// c' and T' the sums over the other classes.
std::vector<std::array<double, CLASSI>> rapporti(const std::vector<std::array<int64_t, CLASSI>>& c,
                                                 const int64_t (&totali)[CLASSI]) {
  const double V = static_cast<double>(c.size());
  int64_t tutto = 0;
  for (int k = 0; k < CLASSI; ++k) tutto += totali[k];
  double P[CLASSI], Q[CLASSI];
  for (int k = 0; k < CLASSI; ++k) {
    P[k] = static_cast<double>(totali[k]) + ALFA_LINEARE * V;
    Q[k] = static_cast<double>(tutto - totali[k]) + ALFA_LINEARE * V;
  }
  std::vector<std::array<double, CLASSI>> r(c.size());
  for (size_t w = 0; w < c.size(); ++w) {
    int64_t somma = 0;
    for (int k = 0; k < CLASSI; ++k) somma += c[w][k];
    for (int k = 0; k < CLASSI; ++k) {
      const double proprio = std::log((static_cast<double>(c[w][k]) + ALFA_LINEARE) / P[k]);
      const double altri = std::log((static_cast<double>(somma - c[w][k]) + ALFA_LINEARE) / Q[k]);
      r[w][k] = proprio - altri;
    }
  }
  return r;
}

// The training texts as the learner reads them: per text, its known words'
// indices and phi_kw = x_w * r_kw, ten per word, in word order.
struct testi_pronti {
  std::vector<uint32_t> id;     // word index of each feature
  std::vector<double> phi;      // CLASSI per feature
  std::vector<size_t> inizio;   // text i's features: inizio[i] ... inizio[i + 1] - 1
};

// The best-scoring class with data other than salta, the lower on a tie; -1 when none.
int migliore(const double s[CLASSI], const std::array<bool, CLASSI>& con_dati, int salta) {
  int b = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (con_dati[k] && k != salta && (b < 0 || s[k] > s[b])) b = k;
  return b;
}

}  // namespace

modello_lineare addestra_lineare(const std::vector<testo_lineare>& testi, const impostazioni_lineari& imp) {
  modello_lineare m;
  m.provenienza.impostazioni = imp;
  m.provenienza.testi = testi.size();
  m.parole = parole_dei_testi(testi);
  const size_t V = m.parole.size();

  // Counts, the ratios and the classes with data.
  std::vector<std::vector<long>> posizioni(testi.size());
  std::vector<std::array<int64_t, CLASSI>> c(V, std::array<int64_t, CLASSI>{});
  for (size_t i = 0; i < testi.size(); ++i) {
    posizioni[i] = posizioni_tra(m.parole, testi[i].voci);
    for (size_t j = 0; j < posizioni[i].size(); ++j)
      c[static_cast<size_t>(posizioni[i][j])][testi[i].classe] += testi[i].voci[j].n;
  }
  int64_t totali[CLASSI] = {};
  for (auto& cw : c)
    for (int k = 0; k < CLASSI; ++k) {
      cw[k] = std::min<int64_t>(cw[k], CONTEGGIO_MAX);  // as Bow.txt keeps a count
      totali[k] += cw[k];
    }
  for (int k = 0; k < CLASSI; ++k) m.con_dati[k] = totali[k] > 0;
  const std::vector<std::array<double, CLASSI>> r = rapporti(c, totali);

  // Each text's features, once: phi is the same whenever it is computed.
  testi_pronti t;
  t.inizio.push_back(0);
  for (size_t i = 0; i < testi.size(); ++i) {
    const std::vector<double> x = componenti_lineari(testi[i].voci, posizioni[i]);
    for (size_t j = 0; j < x.size(); ++j) {
      const auto w = static_cast<size_t>(posizioni[i][j]);
      t.id.push_back(static_cast<uint32_t>(w));
      for (int k = 0; k < CLASSI; ++k) t.phi.push_back(x[j] * r[w][k]);
    }
    t.inizio.push_back(t.id.size());
  }

  // Averaged PA-I: current weights pv, and pu, the sum of step number x
  // change, for the average over every step.
  std::vector<double> pv(V * CLASSI, 0.0), pu(V * CLASSI, 0.0);
  double b[CLASSI] = {}, bu[CLASSI] = {};
  double passo = 1.0;
  std::vector<uint32_t> ordine(testi.size());
  std::iota(ordine.begin(), ordine.end(), 0u);
  splitmix64 g{imp.seme};
  for (uint32_t e = 0; e < imp.epoche; ++e) {
    mescola(ordine, g);
    for (const uint32_t i : ordine) {
      const int y = testi[i].classe;
      const size_t da = t.inizio[i], a = t.inizio[i + 1];
      double s[CLASSI] = {};
      for (size_t f = da; f < a; ++f) {
        const double* phi = &t.phi[f * CLASSI];
        const double* v = &pv[t.id[f] * size_t{CLASSI}];
        for (int k = 0; k < CLASSI; ++k) s[k] = s[k] + phi[k] * v[k];
      }
      for (int k = 0; k < CLASSI; ++k) s[k] = s[k] + b[k];
      const int rivale = migliore(s, m.con_dati, y);
      const double perdita = rivale >= 0 ? 1.0 - (s[y] - s[rivale]) : 0.0;
      if (perdita > 0.0) {
        double q = 0.0;
        for (size_t f = da; f < a; ++f) {
          const double* phi = &t.phi[f * CLASSI];
          q = q + phi[y] * phi[y];
          q = q + phi[rivale] * phi[rivale];
        }
        q = q + 2.0;  // the bias's feature, 1 for y and 1 for the rival
        double tau = perdita / q;
        if (tau > imp.c) tau = imp.c;
        for (const auto& [k, passo_k] : {std::pair{y, tau}, std::pair{rivale, -tau}}) {
          const double u = passo * passo_k;
          for (size_t f = da; f < a; ++f) {
            const double phi = t.phi[f * CLASSI + static_cast<size_t>(k)];
            const size_t p = t.id[f] * size_t{CLASSI} + static_cast<size_t>(k);
            pv[p] = pv[p] + passo_k * phi;
            pu[p] = pu[p] + u * phi;
          }
          b[k] = b[k] + passo_k;
          bu[k] = bu[k] + u;
        }
      }
      passo = passo + 1.0;
    }
  }

  // The average over all steps, with the ratio folded in.
  m.pesi.resize(V);
  for (size_t w = 0; w < V; ++w)
    for (int k = 0; k < CLASSI; ++k) {
      const size_t p = w * CLASSI + static_cast<size_t>(k);
      m.pesi[w][k] = (pv[p] - pu[p] / passo) * r[w][k];
    }
  for (int k = 0; k < CLASSI; ++k) m.bias[k] = b[k] - bu[k] / passo;
  return m;
}

std::vector<long> posizioni_lineari(const modello_lineare& m, const std::vector<voce_parola>& voci) {
  return posizioni_tra(m.parole, voci);
}

std::vector<double> componenti_lineari(const std::vector<voce_parola>& voci, const std::vector<long>& posizioni) {
  std::vector<double> x(voci.size(), 0.0);
  double s = 0.0;
  for (size_t i = 0; i < voci.size(); ++i) {
    if (posizioni[i] < 0) continue;
    x[i] = 1.0 + std::log(occorrenze(voci[i]));
    s = s + x[i] * x[i];
  }
  if (!(s > 0.0)) return x;
  const double lunghezza = std::sqrt(s);
  for (size_t i = 0; i < voci.size(); ++i)
    if (posizioni[i] >= 0) x[i] = x[i] / lunghezza;
  return x;
}

void punteggi_lineari(const modello_lineare& m, const std::vector<voce_parola>& voci,
                      const std::vector<long>& posizioni, double punteggi[CLASSI]) {
  const std::vector<double> x = componenti_lineari(voci, posizioni);
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = 0.0;
  for (size_t i = 0; i < voci.size(); ++i) {
    if (posizioni[i] < 0) continue;
    for (int k = 0; k < CLASSI; ++k) punteggi[k] = punteggi[k] + contributo_lineare(m, posizioni[i], x[i], k);
  }
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = punteggi[k] + m.bias[k];
}

int classe_lineare(const modello_lineare& m, const double punteggi[CLASSI]) {
  const int scelta = migliore(punteggi, m.con_dati, -1);
  return scelta < 0 ? 0 : scelta;
}

testo_lineare testo_lineare_da(std::string_view byte_del_testo, int classe) {
  tabella_parole tabella;
  conta_byte(byte_del_testo, tabella);
  return {classe, voci_ordinate(tabella)};
}

void punteggi_testo_lineare(const modello_lineare& m, const testo_lineare& t, double punteggi[CLASSI]) {
  punteggi_lineari(m, t.voci, posizioni_lineari(m, t.voci), punteggi);
}

void probabilita_lineari(const modello_lineare& m, const double punteggi[CLASSI], double p[CLASSI]) {
  softmax_classi(punteggi, m.con_dati.data(), p);
}
