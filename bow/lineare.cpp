// The linear rule: its features, the exact solver, the choice of settings by
// cross-validation, the temperature and the scores. Every sum starts from
// 0.0 and adds one term at a time in the order written.
#include "lineare.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

namespace {

// ---- ln and exp of our own ------------------------------------------------------------------
// glibc picks its log and exp at run time by the processor (an FMA variant
// where the processor has FMA), and the two may differ in the last bit.
// These use only IEEE additions, multiplications and divisions, each rounded
// on its own, and frexp / ldexp, which are exact: the same bits everywhere.
// Within 2 units in the last place of the true value.

constexpr double LN2_ALTO = 6.93147180369123816490e-01;  // ln 2's high bits: k x LN2_ALTO is exact
constexpr double LN2_BASSO = 1.90821492927058770002e-10;

// ln x for a finite x > 0: x = m 2^e, m in [sqrt(1/2), sqrt(2)), ln m = 2 atanh((m - 1) / (m + 1)).
double ln(double x) {
  int e;
  double m = std::frexp(x, &e);
  if (m < 0.70710678118654752440) {
    m = m * 2.0;
    e = e - 1;
  }
  const double s = (m - 1.0) / (m + 1.0), s2 = s * s;
  double somma = 0.0;
  for (int n = 27; n >= 3; n -= 2) somma = (somma + 1.0 / n) * s2;  // |s| < 0.172: s^28 / 29 < 2^-70
  const double lnm = 2.0 * s + 2.0 * s * somma;
  const double k = static_cast<double>(e);
  return k * LN2_ALTO + (k * LN2_BASSO + lnm);
}

// e^x: x = k ln 2 + r, |r| <= ln 2 / 2, e^r by its series to r^18 / 18!.
double esp(double x) {
  if (std::isnan(x)) return x;
  if (x > 709.0) return HUGE_VAL;
  if (x < -745.0) return 0.0;
  const double k = std::floor(x / 0.69314718055994530942 + 0.5);
  const double r = (x - k * LN2_ALTO) - k * LN2_BASSO;
  double somma = 1.0;
  for (int n = 18; n >= 1; --n) somma = 1.0 + somma * r / n;
  return std::ldexp(somma, static_cast<int>(k));
}

// ---- Hashing ---------------------------------------------------------------------------

uint64_t fnv(std::string_view s, uint64_t h = 0xCBF29CE484222325ull) {
  for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  return h;
}
// The slot within a half of the table: FNV-1a's bits folded, so the high ones count too.
uint32_t meta(uint64_t h) { return static_cast<uint32_t>((h ^ (h >> 29) ^ (h >> 43)) & (POSTO_COPPIA - 1)); }

// splitmix64: the order of the solver's passes (a Fisher-Yates shuffle of the
// active texts, place i swapping with i + next() mod (active - i)).
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

// ---- The features of one round ------------------------------------------------------------

// One stored feature of a text: its column and the text's occurrences of
// its slot, packed as in a text's voci (a column is below POSTI_LINEARI),
// and its value x_j. With the occurrences beside it the ratios need only
// the matrix, not the block of texts.
struct elemento {
  uint32_t voce;
  float x;
  uint32_t j() const { return posto_di(voce); }
  uint32_t n() const { return occorrenze_di(voce); }
};

// The training texts of one round as it reads them: the columns are the
// slots they hold (words, and pairs seen in two of them or more), ascending;
// each training text as its elements, in the order of the round's rows. A
// held-out text is read from the block when it is scored (elementi_di).
struct matrice {
  std::vector<uint32_t> posti;     // column -> slot
  std::vector<double> idf;         // per column
  std::vector<elemento> e;         // the rows' elements, row after row
  std::vector<size_t> inizio;      // row a: e[inizio[a] ... inizio[a + 1])
};

constexpr uint32_t DF_MINIMO_COPPIE = 2;

// x_j of the slots of t that the columns hold: (1 + ln n) idf over the
// vector's length. colonna(i, slot) gives the column of t's i-th slot or -1;
// out gets (column, x, occurrences).
template <class Colonna, class Uscita>
void componenti(const uint32_t* voci, size_t n, const std::vector<double>& idf, Colonna colonna, Uscita out) {
  double s = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = voci[i];
    const long j = colonna(i, posto_di(v));
    if (j < 0) continue;
    const double u = (1.0 + ln(static_cast<double>(occorrenze_di(v)))) * idf[static_cast<size_t>(j)];
    s = s + u * u;
  }
  if (!(s > 0.0)) return;
  const double lunghezza = std::sqrt(s);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t v = voci[i];
    const long j = colonna(i, posto_di(v));
    if (j < 0) continue;
    const double u = (1.0 + ln(static_cast<double>(occorrenze_di(v)))) * idf[static_cast<size_t>(j)];
    out(j, u / lunghezza, occorrenze_di(v));
  }
}

// The round's matrix: columns, idf and rows from the training texts righe.
// Every vector is counted before it is filled, so each takes exactly its room.
matrice costruisci(const corpus_lineare& testi, const std::vector<uint32_t>& righe, bool coppie) {
  matrice m;
  std::vector<uint32_t> df(POSTI_LINEARI, 0);
  double n = 0.0;
  for (const uint32_t i : righe) {
    n = n + 1.0;
    for (size_t f = testi.inizio[i]; f < testi.inizio[i + 1]; ++f)
      if (const uint32_t v = testi.voci[f]; coppie || !e_coppia(posto_di(v))) ++df[posto_di(v)];
  }
  std::vector<uint32_t>& colonna = df;  // reused in place: the column of each slot, or NESSUNA
  constexpr uint32_t NESSUNA = UINT32_MAX;
  const auto tenuto = [&](uint32_t p) { return df[p] != 0 && (!e_coppia(p) || df[p] >= DF_MINIMO_COPPIE); };
  size_t colonne = 0;
  for (uint32_t p = 0; p < POSTI_LINEARI; ++p) colonne += tenuto(p);
  m.posti.reserve(colonne);
  m.idf.reserve(colonne);
  for (uint32_t p = 0; p < POSTI_LINEARI; ++p) {
    if (!tenuto(p)) {
      colonna[p] = NESSUNA;
      continue;
    }
    m.idf.push_back(ln((1.0 + n) / (1.0 + static_cast<double>(df[p]))) + 1.0);
    colonna[p] = static_cast<uint32_t>(m.posti.size());
    m.posti.push_back(p);
  }
  // Every slot a column holds gives an element (its weight is at least 1).
  size_t elementi = 0;
  for (const uint32_t i : righe)
    for (size_t f = testi.inizio[i]; f < testi.inizio[i + 1]; ++f) elementi += colonna[posto_di(testi.voci[f])] != NESSUNA;
  m.e.reserve(elementi);
  m.inizio.reserve(righe.size() + 1);
  m.inizio.push_back(0);
  const auto di = [&](size_t, uint32_t p) -> long { return colonna[p] == NESSUNA ? -1 : long{colonna[p]}; };
  for (const uint32_t i : righe) {
    componenti(testi.voci.data() + testi.inizio[i], testi.inizio[i + 1] - testi.inizio[i], m.idf, di,
               [&](long j, double x, uint32_t n) { m.e.push_back({static_cast<uint32_t>(j) | n << BIT_POSTO, static_cast<float>(x)}); });
    m.inizio.push_back(m.e.size());
  }
  return m;
}

// The elements of text i of the block as the round's matrix would hold them
// (its slots without a column left out), into e.
void elementi_di(const corpus_lineare& testi, size_t i, const matrice& m, std::vector<elemento>& e) {
  e.clear();
  const uint32_t* voci = testi.voci.data() + testi.inizio[i];
  auto da = m.posti.begin();
  const auto di = [&](size_t f, uint32_t p) -> long {
    if (f == 0) da = m.posti.begin();  // the slots ascend: each pass's search only moves on
    da = std::lower_bound(da, m.posti.end(), p);
    return da != m.posti.end() && *da == p ? da - m.posti.begin() : -1;
  };
  componenti(voci, testi.inizio[i + 1] - testi.inizio[i], m.idf, di,
             [&](long j, double x, uint32_t n) { e.push_back({static_cast<uint32_t>(j) | n << BIT_POSTO, static_cast<float>(x)}); });
}

// ---- The solver -------------------------------------------------------------------------------
// One class against the rest: the L2-regularised L2-loss SVM with a bias
// feature of value 1, solved in the dual by coordinate descent (Hsieh and
// others, 2008; liblinear's solver 1, with its shrinking): for every active
// text i of the round, in an order shuffled each pass, G = y_i w.x_i - 1 +
// alpha_i / 2C, alpha_i = max(alpha_i - G / Q_ii, 0), w moves by the change
// times y_i x_i. It stops when a pass over every text finds the projected
// gradients within EPS of each other (liblinear's default), or after PASSI_MAX passes.

constexpr double EPS_DUALE = 0.1;
constexpr uint32_t PASSI_MAX = 1000;

struct problema {
  const matrice* m;
  const corpus_lineare* testi;
  std::vector<uint32_t> righe;  // the training texts of the round, ascending: the matrix's rows
  std::vector<int8_t> classe;   // their classes
  std::vector<double> r2;       // the squares of the class's ratios per column, empty without them
  std::vector<double> norme;    // per training text, its squared norm with the bias feature
};

// The classes of the training texts, beside them.
void prepara_righe(problema& p) {
  p.classe.resize(p.righe.size());
  for (size_t a = 0; a < p.righe.size(); ++a) p.classe[a] = p.testi->classi[p.righe[a]];
}

// The ratios of class k (none when r is empty), squared in place, and the squared norms they give.
void metti_rapporti(problema& p, std::vector<double> r) {
  for (double& x : r) x = x * x;
  p.r2 = std::move(r);
  const matrice& m = *p.m;
  p.norme.resize(p.righe.size());
  for (size_t a = 0; a < p.righe.size(); ++a) {
    double s = 1.0;  // the bias feature
    for (size_t f = m.inizio[a]; f < m.inizio[a + 1]; ++f) {
      const double x = static_cast<double>(m.e[f].x);
      s = s + (p.r2.empty() ? x * x : (x * x) * p.r2[m.e[f].j()]);
    }
    p.norme[a] = s;
  }
}

// With the ratios the solver keeps u = r o w, the very weights the model
// stores, rather than w: the score is then x.u, one look-up per feature,
// and a step of w by d (x o r) is a step of u by d (x o r o r).
// Four partial sums, element f going to sum f mod 4 (counted from the
// text's first), then (s0 + s1) + (s2 + s3) + b: a fixed order, so the same
// bits on every build, and four chains of additions instead of one.
double decisione(const elemento* e, size_t n, const std::vector<double>& u, double b) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  size_t f = 0;
  for (; f + 4 <= n; f += 4) {
    s0 = s0 + static_cast<double>(e[f].x) * u[e[f].j()];
    s1 = s1 + static_cast<double>(e[f + 1].x) * u[e[f + 1].j()];
    s2 = s2 + static_cast<double>(e[f + 2].x) * u[e[f + 2].j()];
    s3 = s3 + static_cast<double>(e[f + 3].x) * u[e[f + 3].j()];
  }
  if (f < n) s0 = s0 + static_cast<double>(e[f].x) * u[e[f].j()];
  if (f + 1 < n) s1 = s1 + static_cast<double>(e[f + 1].x) * u[e[f + 1].j()];
  if (f + 2 < n) s2 = s2 + static_cast<double>(e[f + 2].x) * u[e[f + 2].j()];
  return ((s0 + s1) + (s2 + s3)) + b;
}
// The same for row a of the matrix.
double decisione(const matrice& m, const std::vector<double>& u, double b, size_t a) {
  return decisione(m.e.data() + m.inizio[a], m.inizio[a + 1] - m.inizio[a], u, b);
}

// Solves for class k at C from the given alpha, u, b (a warm start, or zeros).
void risolvi(const problema& p, int k, double c, std::vector<double>& alfa, std::vector<double>& u, double& b) {
  const matrice& m = *p.m;
  const size_t l = p.righe.size();
  const double d = 1.0 / (2.0 * c);
  // Shrinking as liblinear does it: a text whose alpha is 0 and whose
  // gradient lies above the last pass's largest projected gradient leaves
  // the active set; when the active ones meet the tolerance, every text
  // comes back for a last check.
  std::vector<uint32_t> ordine(l);
  std::iota(ordine.begin(), ordine.end(), 0u);
  size_t attivi = l;
  double pg_max_prima = HUGE_VAL;
  splitmix64 g{SEME_LINEARE};
  for (uint32_t passo = 0; passo < PASSI_MAX; ++passo) {
    for (size_t i = 0; i + 1 < attivi; ++i)
      std::swap(ordine[i], ordine[i + static_cast<size_t>(g.prossimo() % (attivi - i))]);
    double pg_max = -HUGE_VAL, pg_min = HUGE_VAL;
    for (size_t s = 0; s < attivi; ++s) {
      const uint32_t a = ordine[s];
      const double y = p.classe[a] == k ? 1.0 : -1.0;
      const double gr = y * decisione(m, u, b, a) - 1.0 + d * alfa[a];
      double pg = gr;
      if (alfa[a] == 0.0) {
        if (gr > pg_max_prima) {
          std::swap(ordine[s], ordine[--attivi]);
          --s;
          continue;
        }
        if (gr > 0.0) pg = 0.0;
      }
      pg_max = std::max(pg_max, pg);
      pg_min = std::min(pg_min, pg);
      if (std::fabs(pg) <= 1e-12) continue;
      const double vecchio = alfa[a];
      alfa[a] = std::max(alfa[a] - gr / (p.norme[a] + d), 0.0);
      const double passo_y = (alfa[a] - vecchio) * y;
      for (size_t f = m.inizio[a]; f < m.inizio[a + 1]; ++f) {
        const uint32_t j = m.e[f].j();
        const double x = static_cast<double>(m.e[f].x);
        u[j] = u[j] + passo_y * (p.r2.empty() ? x : x * p.r2[j]);
      }
      b = b + passo_y;
    }
    if (pg_max - pg_min <= EPS_DUALE) {
      if (attivi == l) break;
      attivi = l;
      pg_max_prima = HUGE_VAL;
      continue;
    }
    pg_max_prima = pg_max <= 0.0 ? HUGE_VAL : pg_max;
  }
}

// The occurrences of each column in the training texts of class k (of
// every class when k is -1), and their sum: whole numbers, exact in a double
// whatever the order.
std::vector<double> conteggi(const matrice& m, const problema& p, int k, double& totale) {
  std::vector<double> c(m.posti.size(), 0.0);
  totale = 0.0;
  for (size_t a = 0; a < p.righe.size(); ++a) {
    if (k >= 0 && p.classe[a] != k) continue;
    for (size_t f = m.inizio[a]; f < m.inizio[a + 1]; ++f) {
      const double n = static_cast<double>(m.e[f].n());
      c[m.e[f].j()] = c[m.e[f].j()] + n;
      totale = totale + n;
    }
  }
  return c;
}

// The naive Bayes log-count ratios of class k per column, from the training texts' counts:
//   r_kj = ln((c_kj + 1) / (T_k + V)) - ln((c'_kj + 1) / (T'_k + V)),
// c' and T' those of the other classes (tutti and totale: those of every class).
std::vector<double> rapporti(const matrice& m, const problema& p, int k, const std::vector<double>& tutti,
                             double totale) {
  double tp = 0.0;
  std::vector<double> r = conteggi(m, p, k, tp);  // the class's own counts, turned into its ratios in place
  const double v = static_cast<double>(m.posti.size()), ta = totale - tp;
  for (size_t j = 0; j < r.size(); ++j) r[j] = ln((r[j] + 1.0) / (tp + v)) - ln((tutti[j] - r[j] + 1.0) / (ta + v));
  return r;
}

// Whether each class has a training text with a feature.
std::array<bool, CLASSI> classi_con_dati(const corpus_lineare& testi, const matrice& m,
                                         const std::vector<uint32_t>& righe) {
  std::array<bool, CLASSI> dati{};
  for (size_t a = 0; a < righe.size(); ++a)
    if (m.inizio[a + 1] > m.inizio[a]) dati[static_cast<size_t>(testi.classi[righe[a]])] = true;
  return dati;
}

int migliore(const double s[CLASSI], const std::array<bool, CLASSI>& con_dati) {
  int b = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (con_dati[static_cast<size_t>(k)] && (b < 0 || s[k] > s[b])) b = k;
  return b < 0 ? 0 : b;
}

// ---- One round: train on some texts at several C, score the others -----------------------------

// A held-out text's ten scores, kept as floats: only their order and, for
// the calibration, their first digits matter.
using punteggi_fuori = std::array<float, CLASSI>;
inline std::array<double, CLASSI> in_double(const punteggi_fuori& f) {
  std::array<double, CLASSI> d;
  for (int k = 0; k < CLASSI; ++k) d[static_cast<size_t>(k)] = static_cast<double>(f[static_cast<size_t>(k)]);
  return d;
}

// Trains, for each class with data, at each C of cs in turn (each from the
// last one's solution), on the texts outside fold f; fuori[c][t][k] gets
// the scores of the t-th text of fold f (classes without data: 0), read
// from the block. con_dati gets the round's classes with data.
void giro(const corpus_lineare& testi, const std::vector<uint8_t>& piega, uint32_t f, const scelta_lineare& s,
          const std::vector<double>& cs, std::vector<std::vector<punteggi_fuori>>& fuori,
          std::array<bool, CLASSI>& con_dati) {
  const size_t fuori_piega = static_cast<size_t>(std::count(piega.begin(), piega.end(), f));
  std::vector<uint32_t> righe, prova;
  righe.reserve(testi.size() - fuori_piega);
  prova.reserve(fuori_piega);
  for (uint32_t i = 0; i < testi.size(); ++i) (piega[i] != f ? righe : prova).push_back(i);
  const matrice m = costruisci(testi, righe, s.coppie);
  problema p{&m, &testi, std::move(righe), {}, {}, {}};
  prepara_righe(p);
  con_dati = classi_con_dati(testi, m, p.righe);
  double totale = 0.0;
  const std::vector<double> tutti = s.rapporti ? conteggi(m, p, -1, totale) : std::vector<double>{};
  fuori.assign(cs.size(), std::vector<punteggi_fuori>(prova.size(), punteggi_fuori{}));
  std::vector<elemento> e;
  for (int k = 0; k < CLASSI; ++k) {
    if (!con_dati[static_cast<size_t>(k)]) continue;
    p.r2 = {};  // the last class's, let go before this one's are counted
    metti_rapporti(p, s.rapporti ? rapporti(m, p, k, tutti, totale) : std::vector<double>{});
    std::vector<double> alfa(p.righe.size(), 0.0), w(m.posti.size(), 0.0);
    double b = 0.0;
    for (size_t c = 0; c < cs.size(); ++c) {
      risolvi(p, k, cs[c], alfa, w, b);
      for (size_t t = 0; t < prova.size(); ++t) {
        elementi_di(testi, prova[t], m, e);
        fuori[c][t][static_cast<size_t>(k)] = static_cast<float>(decisione(e.data(), e.size(), w, b));
      }
    }
  }
}

// ---- The temperature ------------------------------------------------------------------------

// softmax(s / T) over the classes with data, 0 for the others; all to
// class 0 when no class has data.
void softmax(const double s[CLASSI], const std::array<bool, CLASSI>& con_dati, double t, double p[CLASSI]) {
  double massimo = -HUGE_VAL;
  for (int k = 0; k < CLASSI; ++k)
    if (con_dati[static_cast<size_t>(k)]) massimo = std::max(massimo, s[k] / t);
  double z = 0.0;
  for (int k = 0; k < CLASSI; ++k) {
    // The top compared first: at an infinite score, inf - inf would be NaN.
    const double x = s[k] / t;
    p[k] = con_dati[static_cast<size_t>(k)] ? (x == massimo ? 1.0 : esp(x - massimo)) : 0.0;
    z = z + p[k];
  }
  if (!(z > 0.0)) {
    for (int k = 0; k < CLASSI; ++k) p[k] = k == 0 ? 1.0 : 0.0;
    return;
  }
  for (int k = 0; k < CLASSI; ++k) p[k] = p[k] / z;
}

// ln(q / (1 - q)), q kept within [1e-12, 1 - 1e-12].
double logit(double q) {
  q = std::min(std::max(q, 1e-12), 1.0 - 1e-12);
  return ln(q / (1.0 - q));
}
double sigma(double z) { return 1.0 / (1.0 + esp(-z)); }

// The mean negative log-likelihood of the true classes under softmax(s / T).
double nll(const std::vector<punteggi_fuori>& s, const std::vector<int>& vere, const std::array<bool, CLASSI>& con_dati,
           double t) {
  double somma = 0.0, p[CLASSI];
  for (size_t i = 0; i < s.size(); ++i) {
    softmax(in_double(s[i]).data(), con_dati, t, p);
    somma = somma - ln(std::max(p[vere[i]], 1e-300));
  }
  return somma / static_cast<double>(s.size());
}

// The temperature that minimises nll, by golden-section search on ln T in [ln 0.001, ln 1000].
double temperatura(const std::vector<punteggi_fuori>& s, const std::vector<int>& vere,
                   const std::array<bool, CLASSI>& con_dati) {
  if (s.empty()) return 1.0;
  const double phi = (std::sqrt(5.0) - 1.0) / 2.0;
  double a = ln(1e-3), b = ln(1e3);
  double x1 = b - phi * (b - a), x2 = a + phi * (b - a);
  double f1 = nll(s, vere, con_dati, esp(x1)), f2 = nll(s, vere, con_dati, esp(x2));
  for (int i = 0; i < 40; ++i) {
    if (f1 <= f2) {
      b = x2;
      x2 = x1;
      f2 = f1;
      x1 = b - phi * (b - a);
      f1 = nll(s, vere, con_dati, esp(x1));
    } else {
      a = x1;
      x1 = x2;
      f1 = f2;
      x2 = a + phi * (b - a);
      f2 = nll(s, vere, con_dati, esp(x2));
    }
  }
  return esp((a + b) / 2.0);
}

// The top class's calibration: a logistic regression of "the top class is
// the true one" on logit q, q the top class's softmax probability, over the
// out-of-fold scores; Newton's method from a = 1, b = 0, at most 50 steps,
// a kept within [0.01, 100] and b within [-50, 50] (where the texts are all
// right or all wrong there is no finite optimum).
void calibra_cima(const std::vector<punteggi_fuori>& s, const std::vector<int>& vere,
                  const std::array<bool, CLASSI>& con_dati, double t, double& a, double& b) {
  std::vector<double> x(s.size()), y(s.size());
  double p[CLASSI];
  for (size_t i = 0; i < s.size(); ++i) {
    const std::array<double, CLASSI> d = in_double(s[i]);
    softmax(d.data(), con_dati, t, p);
    const int cima = migliore(d.data(), con_dati);
    x[i] = logit(p[cima]);
    y[i] = cima == vere[i] ? 1.0 : 0.0;
  }
  a = 1.0;
  b = 0.0;
  for (int passo = 0; passo < 50; ++passo) {
    double ga = 0.0, gb = 0.0, haa = 0.0, hab = 0.0, hbb = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double q = sigma(a * x[i] + b), w = q * (1.0 - q);
      ga = ga + (q - y[i]) * x[i];
      gb = gb + (q - y[i]);
      haa = haa + w * x[i] * x[i];
      hab = hab + w * x[i];
      hbb = hbb + w;
    }
    const double det = haa * hbb - hab * hab;
    if (!(det > 0.0)) break;
    const double da = (hbb * ga - hab * gb) / det, db = (haa * gb - hab * ga) / det;
    a = std::min(std::max(a - da, 0.01), 100.0);
    b = std::min(std::max(b - db, -50.0), 50.0);
    if (std::fabs(da) < 1e-12 && std::fabs(db) < 1e-12) break;
  }
}

}  // namespace

// ---- Features ----------------------------------------------------------------------------

uint32_t posto_parola(std::string_view parola) { return meta(fnv(parola)); }

uint32_t posto_coppia(std::string_view prima, std::string_view seconda) {
  return POSTO_COPPIA | meta(fnv(seconda, fnv(" ", fnv(prima))));
}

testo_lineare testo_lineare_da(std::string_view byte, int classe) {
  testo_lineare t;
  t.classe = classe;
  t.impronta = fnv(byte);
  std::vector<uint32_t> posti;
  std::string prima;
  parole_lineari(byte, [&](std::string_view w) {
    posti.push_back(posto_parola(w));
    if (!prima.empty()) posti.push_back(posto_coppia(prima, w));
    prima.assign(w);
  });
  std::sort(posti.begin(), posti.end());
  for (size_t i = 0; i < posti.size();) {
    size_t j = i;
    while (j < posti.size() && posti[j] == posti[i]) ++j;
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(j - i, OCCORRENZE_MAX_LINEARI));
    t.voci.push_back(posti[i] | n << BIT_POSTO);
    i = j;
  }
  t.voci.shrink_to_fit();
  return t;
}

void corpus_lineare::aggiungi(const testo_lineare& t) {
  // Grown by a quarter at a time, not doubled: while the block moves, old
  // and new are both held, and the block is most of the training's memory.
  if (voci.size() + t.voci.size() > voci.capacity())
    voci.reserve(std::max(voci.size() + t.voci.size(), voci.capacity() + voci.capacity() / 4 + 1024));
  voci.insert(voci.end(), t.voci.begin(), t.voci.end());
  inizio.push_back(voci.size());
  classi.push_back(static_cast<int8_t>(t.classe));
  impronte.push_back(t.impronta);
}

// ---- Folds -------------------------------------------------------------------------------

std::vector<uint8_t> assegna_pieghe(const std::vector<int>& classi, const std::vector<uint64_t>& impronte,
                                    uint32_t pieghe) {
  std::vector<uint32_t> ordine(classi.size());
  std::iota(ordine.begin(), ordine.end(), 0u);
  std::sort(ordine.begin(), ordine.end(), [&](uint32_t a, uint32_t b) {
    if (classi[a] != classi[b]) return classi[a] < classi[b];
    if (impronte[a] != impronte[b]) return impronte[a] < impronte[b];
    return a < b;
  });
  std::vector<uint8_t> piega(classi.size(), 0);
  size_t r = 0;
  for (size_t i = 0; i < ordine.size(); ++i) {
    if (i > 0 && classi[ordine[i]] != classi[ordine[i - 1]]) r = 0;
    piega[ordine[i]] = static_cast<uint8_t>(r++ % pieghe);
  }
  return piega;
}

// ---- Training ------------------------------------------------------------------------------

namespace {

// Cross-validation of settings s at every C of cs: the right out-of-fold
// answers per C; with fuori_scelti, the out-of-fold scores of every text at cs[0].
std::vector<long> convalida_scelta(const corpus_lineare& testi, const std::vector<uint8_t>& piega,
                                   uint32_t pieghe, const scelta_lineare& s, const std::vector<double>& cs,
                                   std::vector<punteggi_fuori>* fuori_scelti,
                                   std::array<bool, CLASSI>* dati_tutti) {
  std::vector<long> giusti(cs.size(), 0);
  if (fuori_scelti) fuori_scelti->assign(testi.size(), punteggi_fuori{});
  for (uint32_t f = 0; f < pieghe; ++f) {
    std::vector<std::vector<punteggi_fuori>> fuori;
    std::array<bool, CLASSI> con_dati;
    giro(testi, piega, f, s, cs, fuori, con_dati);
    for (size_t c = 0; c < cs.size(); ++c) {
      size_t t = 0;
      for (size_t i = 0; i < testi.size(); ++i) {
        if (piega[i] != f) continue;
        giusti[c] += migliore(in_double(fuori[c][t]).data(), con_dati) == testi.classi[i];
        if (fuori_scelti && c == 0) (*fuori_scelti)[i] = fuori[c][t];
        ++t;
      }
    }
    if (dati_tutti)
      for (int k = 0; k < CLASSI; ++k) (*dati_tutti)[static_cast<size_t>(k)] |= con_dati[static_cast<size_t>(k)];
  }
  return giusti;
}

}  // namespace

modello_lineare addestra_lineare(corpus_lineare testi, const impostazioni_lineari& imp) {
  modello_lineare modello;
  modello.provenienza.testi = testi.size();
  scelta_lineare s = imp.fissa;
  const uint32_t pieghe = imp.pieghe >= 2 && testi.size() >= imp.pieghe ? imp.pieghe : 0;
  if (pieghe > 0) {
    std::vector<int> classi;
    classi.assign(testi.classi.begin(), testi.classi.end());
    const std::vector<uint8_t> piega = assegna_pieghe(classi, testi.impronte, pieghe);
    testi.impronte = {};  // they only fix the folds
    const std::vector<double> cs(GRIGLIA_C.begin(), GRIGLIA_C.end());
    // In this order; a later setting replaces the best only when strictly better:
    // a tie goes to the simpler features and the smaller C.
    long migliori = -1;
    for (const bool coppie : {false, true})
      for (const bool rapporti : {false, true}) {
        const std::vector<long> giusti = convalida_scelta(testi, piega, pieghe, {1.0, coppie, rapporti}, cs, nullptr, nullptr);
        for (size_t c = 0; c < cs.size(); ++c)
          if (giusti[c] > migliori) {
            migliori = giusti[c];
            s = {cs[c], coppie, rapporti};
          }
      }
    // The temperature, on the chosen settings' out-of-fold scores.
    std::vector<punteggi_fuori> fuori;
    std::array<bool, CLASSI> dati{};
    convalida_scelta(testi, piega, pieghe, s, {s.c}, &fuori, &dati);
    modello.temperatura = temperatura(fuori, classi, dati);
    calibra_cima(fuori, classi, dati, modello.temperatura, modello.cima_a, modello.cima_b);
    modello.accuratezza_cv = static_cast<double>(migliori) / static_cast<double>(testi.size());
    modello.pieghe = pieghe;
  }
  modello.scelta = s;

  // The model on every text.
  std::vector<uint32_t> tutte(testi.size());
  std::iota(tutte.begin(), tutte.end(), 0u);
  matrice m = costruisci(testi, tutte, s.coppie);
  problema p{&m, &testi, std::move(tutte), {}, {}, {}};
  prepara_righe(p);
  modello.con_dati = classi_con_dati(testi, m, p.righe);
  // From here on the matrix alone is read: the block of texts goes.
  testi = {};
  p.testi = nullptr;
  if (!std::any_of(modello.con_dati.begin(), modello.con_dati.end(), [](bool b) { return b; })) return modello;
  double totale = 0.0;
  const std::vector<double> tutti = s.rapporti ? conteggi(m, p, -1, totale) : std::vector<double>{};
  modello.pesi.assign(m.posti.size(), std::array<double, CLASSI>{});
  for (int k = 0; k < CLASSI; ++k) {
    if (!modello.con_dati[static_cast<size_t>(k)]) continue;
    p.r2 = {};  // the last class's, let go before this one's are counted
    metti_rapporti(p, s.rapporti ? rapporti(m, p, k, tutti, totale) : std::vector<double>{});
    std::vector<double> alfa(p.righe.size(), 0.0), w(m.posti.size(), 0.0);
    double b = 0.0;
    risolvi(p, k, s.c, alfa, w, b);
    for (size_t j = 0; j < w.size(); ++j) modello.pesi[j][static_cast<size_t>(k)] = w[j];
    modello.bias[static_cast<size_t>(k)] = b;
  }
  // The columns become the model's slots: moved, not copied beside the matrix.
  modello.posti = std::move(m.posti);
  modello.idf = std::move(m.idf);
  return modello;
}

modello_lineare addestra_lineare(const std::vector<testo_lineare>& testi, const impostazioni_lineari& imp) {
  corpus_lineare c;
  for (const testo_lineare& t : testi) c.aggiungi(t);
  return addestra_lineare(std::move(c), imp);
}

// ---- Scoring -----------------------------------------------------------------------------------

namespace {

// The model's index of each slot of t (-1 for one it lacks), both ascending.
std::vector<long> indici(const modello_lineare& m, const testo_lineare& t) {
  std::vector<long> out;
  out.reserve(t.voci.size());
  auto da = m.posti.begin();
  for (const uint32_t v : t.voci) {
    da = std::lower_bound(da, m.posti.end(), posto_di(v));
    out.push_back(da != m.posti.end() && *da == posto_di(v) ? da - m.posti.begin() : -1);
  }
  return out;
}

}  // namespace

void punteggi_testo_lineare(const modello_lineare& m, const testo_lineare& t, double punteggi[CLASSI]) {
  const std::vector<long> dove = indici(m, t);
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = 0.0;
  componenti(t.voci.data(), t.voci.size(), m.idf, [&](size_t i, uint32_t) { return dove[i]; }, [&](long j, double x, uint32_t) {
    for (int k = 0; k < CLASSI; ++k)
      punteggi[k] = punteggi[k] + x * m.pesi[static_cast<size_t>(j)][static_cast<size_t>(k)];
  });
  for (int k = 0; k < CLASSI; ++k) punteggi[k] = punteggi[k] + m.bias[static_cast<size_t>(k)];
}

int classe_lineare(const modello_lineare& m, const double punteggi[CLASSI]) { return migliore(punteggi, m.con_dati); }

void probabilita_lineari(const modello_lineare& m, const double punteggi[CLASSI], double p[CLASSI]) {
  softmax(punteggi, m.con_dati, m.temperatura, p);
  const int cima = classe_lineare(m, punteggi);
  const double q = p[cima];
  if (q == 1.0 && std::count(m.con_dati.begin(), m.con_dati.end(), true) <= 1) return;
  // The next class's share after the change must not pass the top's.
  double seconda = 0.0;
  for (int k = 0; k < CLASSI; ++k)
    if (k != cima) seconda = std::max(seconda, p[k]);
  double nuova = sigma(m.cima_a * logit(q) + m.cima_b);
  if (seconda > 0.0) nuova = std::max(nuova, seconda / (1.0 - q + seconda));
  const double resto = 1.0 - q;
  const double altre = static_cast<double>(std::count(m.con_dati.begin(), m.con_dati.end(), true) - 1);
  // The others all 0: they share what is left evenly, each no more than the top.
  if (!(resto > 0.0)) nuova = std::max(nuova, 1.0 / (altre + 1.0));
  for (int k = 0; k < CLASSI; ++k) {
    if (k == cima) continue;
    // Never above the top: at the bounds above, rounding alone could lift a class one ulp past it.
    if (resto > 0.0) {
      p[k] = std::min(p[k] * ((1.0 - nuova) / resto), nuova);
    } else if (m.con_dati[static_cast<size_t>(k)]) {
      p[k] = std::min((1.0 - nuova) / altre, nuova);
    }
  }
  p[cima] = nuova;
}

std::vector<tratto_lineare> tratti_lineari(const modello_lineare& m, std::string_view byte) {
  std::vector<tratto_lineare> tratti;
  std::string prima;
  const auto aggiungi = [&](uint32_t posto, const std::string& nome) {
    tratti.push_back({nome, posto, 1, 0.0, -1});
  };
  parole_lineari(byte, [&](std::string_view w) {
    aggiungi(posto_parola(w), std::string(w));
    if (!prima.empty()) aggiungi(posto_coppia(prima, w), prima + " " + std::string(w));
    prima.assign(w);
  });
  // One entry per slot: names in order of first sight, joined.
  std::stable_sort(tratti.begin(), tratti.end(),
                   [](const tratto_lineare& a, const tratto_lineare& b) { return a.posto < b.posto; });
  std::vector<tratto_lineare> uniti;
  for (const tratto_lineare& t : tratti) {
    if (!uniti.empty() && uniti.back().posto == t.posto) {
      tratto_lineare& u = uniti.back();
      u.n = std::min(u.n + 1, OCCORRENZE_MAX_LINEARI);
      if ((" | " + u.nome + " | ").find(" | " + t.nome + " | ") == std::string::npos) u.nome += " | " + t.nome;
      continue;
    }
    uniti.push_back(t);
  }
  testo_lineare t;
  for (const tratto_lineare& u : uniti) t.voci.push_back(u.posto | u.n << BIT_POSTO);
  const std::vector<long> dove = indici(m, t);
  for (size_t i = 0; i < uniti.size(); ++i) uniti[i].indice = dove[i];
  size_t j = 0;
  componenti(t.voci.data(), t.voci.size(), m.idf, [&](size_t i, uint32_t) { return dove[i]; }, [&](long indice, double x, uint32_t) {
    while (uniti[j].indice != indice) ++j;
    uniti[j].x = x;
  });
  return uniti;
}
