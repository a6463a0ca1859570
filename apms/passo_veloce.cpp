// Fast training step. Each weight's correction is independent of the others
// and each neuron's error sum runs in a fixed order, so laying the weights
// out by input, neurons across the vector lanes, changes no bit: every lane
// does what perc_correzione does for that weight.
#include "passo_veloce.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <limits>
#include <numeric>

#include "vettori.h"

namespace {

// Every hidden input, in order: the list of a step that corrects them all.
const std::array<int16_t, N_AFFERENTI + 1>& ogni_ingresso() {
  static const auto t = [] {
    std::array<int16_t, N_AFFERENTI + 1> t{};
    std::iota(t.begin(), t.end(), int16_t{0});
    return t;
  }();
  return t;
}

// The tails took the lanes' corrections too: put back what they held, in
// the output layer and for the hidden inputs listed in attivi (in order),
// which are the only ones a step changed.
void rimetti_code(addestramento_veloce& a, const int16_t* attivi, int n) {
  pesi_veloci& p = *a.pesi;
  for (int j = ULTIMA_COLONNA_EFFERENTI + 1; j <= N_INTERCALARI; ++j)
    p.efferenti[j * COLONNE_EFFERENTI + N_EFFERENTI - 1] = a.coda_efferenti[j - ULTIMA_COLONNA_EFFERENTI - 1];
  for (int t = n - 1; t >= 0 && attivi[t] > ULTIMA_COLONNA_INTERCALARI; --t)
    p.intercalari[attivi[t] * COLONNE_INTERCALARI + N_INTERCALARI - 1] =
        a.coda_intercalari[attivi[t] - ULTIMA_COLONNA_INTERCALARI - 1];
}

constexpr double LIMITE_PESI = LIMITE_PESI_INTERCALARI;

// The forward pass visits every input from now on. Weights that are not
// finite stay so (inf plus anything is inf or not a number), so this is
// never undone.
void visita_tutti(pesi_veloci& p) {
  p.qualche_non_finito = true;
  std::fill(std::begin(p.non_finite), std::end(p.non_finite), static_cast<uint16_t>(0xFFFF));
}

// perc_correzione on one input's weights, `vettori` vectors of consecutive
// neurons: w = (d * ((x * c) * b)) + w, the operands in the same order.
template <typename V>
[[gnu::always_inline]] inline void correggi(double* pesi, const double* errore, const double* pendenza, double x,
                                            double b, int vettori) {
  V* w = reinterpret_cast<V*>(pesi);
  const V* c = reinterpret_cast<const V*>(errore);
  const V* d = reinterpret_cast<const V*>(pendenza);
  for (int v = 0; v < vettori; ++v) w[v] = (d[v] * ((x * c[v]) * b)) + w[v];
}

// Both layers' corrections on V-wide vectors: every input of the output
// layer, and the hidden inputs listed in attivi.
template <typename V>
[[gnu::always_inline]] inline void correggi_strati(pesi_veloci& p, const rete_cifre& rete, const correzioni_riga& c,
                                                   double b, const int16_t* attivi, int n_attivi) {
  constexpr int L = CORSIE<V>;
  constexpr int VETTORI_EFFERENTI = (N_EFFERENTI + L - 1) / L;
  for (int j = 0; j <= N_INTERCALARI; ++j)
    correggi<V>(p.efferenti + j * COLONNE_EFFERENTI, c.errore_efferenti, c.pendenza_efferenti,
                rete.ingresso_efferenti[j], b, VETTORI_EFFERENTI);
  for (int t = 0; t < n_attivi; ++t) {
    const int j = attivi[t];
    correggi<V>(p.intercalari + j * COLONNE_INTERCALARI, c.errore_intercalari, c.pendenza_intercalari,
                rete.ingresso[j], b, COLONNE_INTERCALARI / L);
  }
}

[[gnu::target("avx512f")]] void correggi_avx512(pesi_veloci& p, const rete_cifre& rete, const correzioni_riga& c,
                                                double b, const int16_t* attivi, int n) {
  correggi_strati<v8d>(p, rete, c, b, attivi, n);
}
[[gnu::target("avx2")]] void correggi_avx2(pesi_veloci& p, const rete_cifre& rete, const correzioni_riga& c,
                                           double b, const int16_t* attivi, int n) {
  correggi_strati<v4d>(p, rete, c, b, attivi, n);
}
void correggi_base(pesi_veloci& p, const rete_cifre& rete, const correzioni_riga& c, double b,
                   const int16_t* attivi, int n) {
  correggi_strati<v2d>(p, rete, c, b, attivi, n);
}

}  // namespace

std::unique_ptr<addestramento_veloce> prepara_addestramento(const rete_cifre& rete) {
  auto a = std::make_unique<addestramento_veloce>();
  a->pesi = prepara_pesi(rete);
  const double* ultimo_intercalare = rete.pesi_intercalari + (N_INTERCALARI - 1) * (N_AFFERENTI + 1);
  std::copy(ultimo_intercalare + ULTIMA_COLONNA_INTERCALARI + 1, ultimo_intercalare + N_AFFERENTI + 1,
            a->coda_intercalari);
  const double* ultimo_efferente = rete.pesi_efferenti + (N_EFFERENTI - 1) * (N_INTERCALARI + 1);
  std::copy(ultimo_efferente + ULTIMA_COLONNA_EFFERENTI + 1, ultimo_efferente + N_INTERCALARI + 1,
            a->coda_efferenti);
  for (const double w : rete.pesi_intercalari) {
    a->limite_intercalari = std::max(a->limite_intercalari, std::fabs(w));
    a->aggiorna_tutti = a->aggiorna_tutti || std::isnan(w) || (w == 0.0 && std::signbit(w));
  }
  if (a->pesi->qualche_non_finito) visita_tutti(*a->pesi);
  return a;
}

void riporta_pesi(const addestramento_veloce& a, rete_cifre& rete) {
  for (int j = 0; j <= N_AFFERENTI; ++j)
    for (int i = 0; i < N_INTERCALARI; ++i)
      rete.pesi_intercalari[i * (N_AFFERENTI + 1) + j] = a.pesi->intercalari[j * COLONNE_INTERCALARI + i];
  for (int j = 0; j <= N_INTERCALARI; ++j)
    for (int k = 0; k < N_EFFERENTI; ++k)
      rete.pesi_efferenti[k * (N_INTERCALARI + 1) + j] = a.pesi->efferenti[j * COLONNE_EFFERENTI + k];
}

void calcola_correzioni(const rete_cifre& rete, const addestramento_veloce& a, int32_t etichetta,
                        correzioni_riga& c, costo funzione) {
  // Dactiv_function(net) is (1.0 - s) * s with s = activ_function(net), and
  // s is the output the forward pass stored: the same bits, no exp call.
  // The cross-entropy's output slope is 1.0: 1.0 * y is y, so its
  // corrections and deltas are those of the straightforward step.
  double delta[N_EFFERENTI];
  std::fill(std::begin(c.errore_efferenti), std::end(c.errore_efferenti), 0.0);
  std::fill(std::begin(c.pendenza_efferenti), std::end(c.pendenza_efferenti), 0.0);
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double s = rete.uscita_efferenti[k];
    c.errore_efferenti[k] = (k == etichetta ? 1.0 : 0.0) - s;
    c.pendenza_efferenti[k] = funzione == costo::entropia ? 1.0 : (1.0 - s) * s;
    delta[k] = c.pendenza_efferenti[k] * c.errore_efferenti[k];
  }
  // Hidden neuron i: the sum over k = 0 ... 9, in order, of its weight into
  // output k times delta[k], read before this row corrects those weights.
  std::fill(std::begin(c.errore_intercalari), std::end(c.errore_intercalari), 0.0);
  std::fill(std::begin(c.pendenza_intercalari), std::end(c.pendenza_intercalari), 0.0);
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const double* w = a.pesi->efferenti + (i + 1) * COLONNE_EFFERENTI;
    double somma = 0.0;
    for (int k = 0; k < N_EFFERENTI; ++k) somma = (w[k] * delta[k]) + somma;
    const double s = rete.uscita_intercalari[i];
    c.errore_intercalari[i] = somma;
    c.pendenza_intercalari[i] = (1.0 - s) * s;
  }
}

// Written as one piece: the case for leaving zero inputs out and the bound
// that keeps the forward pass's own shortcut valid rest on the same facts.
void applica_correzioni(addestramento_veloce& a, const rete_cifre& rete, const ingressi_visitati& visitati,
                        const correzioni_riga& c, double tasso, livello_simd livello) {
  pesi_veloci& p = *a.pesi;
  // An input of 0.0 adds d * ((0.0 * c) * b) to each of its weights: a zero
  // when d, c and b are finite, and adding a zero leaves every weight as it
  // was, except -0.0 (which +0.0 turns into +0.0) and a signalling
  // not-a-number (which it quiets). Neither can arise in training: a sum is
  // -0.0 only when both terms are, and arithmetic makes quiet ones only.
  // So the inputs the forward pass visited are enough: the nonzero ones,
  // and some zero ones whose corrections change nothing.
  bool finite = std::isfinite(tasso);
  double errore_massimo = 0.0;
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const double e = std::fabs(c.errore_intercalari[i]);
    finite = finite && e <= std::numeric_limits<double>::max() && std::isfinite(c.pendenza_intercalari[i]);
    errore_massimo = e > errore_massimo ? e : errore_massimo;
  }
  const bool tutti = !finite || a.aggiorna_tutti;
  const int16_t* attivi = tutti ? ogni_ingresso().data() : visitati.indici;
  const int n = tutti ? N_AFFERENTI + 1 : visitati.quanti;

  switch (livello) {
    case livello_simd::avx512: correggi_avx512(p, rete, c, tasso, attivi, n); break;
    case livello_simd::avx2: correggi_avx2(p, rete, c, tasso, attivi, n); break;
    case livello_simd::base: correggi_base(p, rete, c, tasso, attivi, n); break;
  }

  rimetti_code(a, attivi, n);

  // The forward pass skips zero inputs while no hidden weight can be
  // infinite or not a number. A correction is at most |x| * |c| * |b| (the
  // slope d is at most 1) give or take three roundings, and a corrected
  // weight at most the old one plus it, give or take one: so the bound
  // grows by twice that product per row. Rounding can make the bound fall
  // short by a relative 2^-52 per row at most, far inside the distance from
  // LIMITE_PESI to the largest double.
  if (!p.qualche_non_finito) {
    double ingresso_massimo = 1.0;  // pixels in 0 ... 255
    if (!visitati.in_scala)
      for (int t = 0; t < n; ++t) ingresso_massimo = std::max(ingresso_massimo, std::fabs(rete.ingresso[attivi[t]]));
    a.limite_intercalari = a.limite_intercalari + 2.0 * ingresso_massimo * errore_massimo * std::fabs(tasso);
    if (!finite || !(a.limite_intercalari < LIMITE_PESI)) visita_tutti(p);
  }
}

int addestra_riga_veloce(rete_cifre& rete, addestramento_veloce& a, int32_t etichetta, double tasso,
                         costo funzione, livello_simd livello) {
  ingressi_visitati visitati;
  const int risposta = net_recognize_veloce(rete, *a.pesi, livello, visitati);
  correzioni_riga c;
  calcola_correzioni(rete, a, etichetta, c, funzione);
  applica_correzioni(a, rete, visitati, c, tasso, livello);
  return risposta;
}

// ---- A step of several rows ----------------------------------------------------------

namespace {

// The rows of a step that correct one input's weights: their input values
// and their errors and slopes for the layer.
struct righe_ingresso {
  double x[LOTTO_MASSIMO];
  const double* errore[LOTTO_MASSIMO];
  const double* pendenza[LOTTO_MASSIMO];
  int quante = 0;
};

// One input's weights, `vettori` vectors of consecutive neurons: the sum K
// of the rows' corrections d * ((x * c) * b) in row order from 0.0, then
// w = (K / B) + (f * w) with decay, (K / B) + w without.
template <typename V>
[[gnu::always_inline]] inline void correggi_lotto(double* pesi, int vettori, const righe_ingresso& r, double b,
                                                  double righe, double f, bool decadimento) {
  V* w = reinterpret_cast<V*>(pesi);
  for (int v = 0; v < vettori; ++v) {
    V somma = {};
    for (int t = 0; t < r.quante; ++t) {
      const V c = reinterpret_cast<const V*>(r.errore[t])[v];
      const V d = reinterpret_cast<const V*>(r.pendenza[t])[v];
      somma = (d * ((r.x[t] * c) * b)) + somma;
    }
    const V media = somma / righe;
    w[v] = decadimento ? media + (f * w[v]) : media + w[v];
  }
}

[[gnu::target("avx512f")]] void correggi_lotto_avx512(double* pesi, int colonne, const righe_ingresso& r, double b,
                                                      double righe, double f, bool decadimento) {
  correggi_lotto<v8d>(pesi, colonne / 8, r, b, righe, f, decadimento);
}
[[gnu::target("avx2")]] void correggi_lotto_avx2(double* pesi, int colonne, const righe_ingresso& r, double b,
                                                 double righe, double f, bool decadimento) {
  correggi_lotto<v4d>(pesi, colonne / 4, r, b, righe, f, decadimento);
}
void correggi_lotto_base(double* pesi, int colonne, const righe_ingresso& r, double b, double righe, double f,
                         bool decadimento) {
  correggi_lotto<v2d>(pesi, colonne / 2, r, b, righe, f, decadimento);
}

// Every weight of one layer, input by input. An input of 0.0 adds a zero
// to K, which never changes it (K starts at +0.0 and a sum is -0.0 only when
// both terms are), so a row is left out of the inputs it does not feed
// unless its errors are not all finite. Without decay a hidden input no
// row fed adds +0.0 to its weights, a change only to -0.0 and to a
// signalling not-a-number: it is skipped unless the run started from such
// weights. The output layer's 101 inputs are all corrected.
void correggi_strato(addestramento_veloce& a, bool intercalari, double b, double f, bool decadimento,
                     livello_simd livello) {
  const int quante = static_cast<int>(a.ogni_ingresso.size());
  const int ingressi = intercalari ? N_AFFERENTI + 1 : N_INTERCALARI + 1;
  const int colonne = intercalari ? COLONNE_INTERCALARI : COLONNE_EFFERENTI;
  const std::vector<double>& x = intercalari ? a.ingressi : a.ingressi_efferenti;
  double* pesi = intercalari ? a.pesi->intercalari : a.pesi->efferenti;
  righe_ingresso r;
  for (int j = 0; j < ingressi; ++j) {
    r.quante = 0;
    for (int t = 0; t < quante; ++t) {
      const double v = x[static_cast<size_t>(t) * static_cast<size_t>(ingressi) + static_cast<size_t>(j)];
      if (v == 0.0 && !a.ogni_ingresso[static_cast<size_t>(t)]) continue;
      const correzioni_riga& c = a.correzioni[static_cast<size_t>(t)];
      r.x[r.quante] = v;
      r.errore[r.quante] = intercalari ? c.errore_intercalari : c.errore_efferenti;
      r.pendenza[r.quante] = intercalari ? c.pendenza_intercalari : c.pendenza_efferenti;
      ++r.quante;
    }
    const bool decade = decadimento && j > 0;  // never the bias
    if (r.quante == 0 && !decade && intercalari && !a.aggiorna_tutti) continue;
    double* w = pesi + j * colonne;
    switch (livello) {
      case livello_simd::avx512: correggi_lotto_avx512(w, colonne, r, b, quante, f, decade); break;
      case livello_simd::avx2: correggi_lotto_avx2(w, colonne, r, b, quante, f, decade); break;
      case livello_simd::base: correggi_lotto_base(w, colonne, r, b, quante, f, decade); break;
    }
  }
}

}  // namespace

// Written as one piece, like applica_correzioni: the rows' forward passes,
// the corrections, and the bound that keeps the forward pass's shortcut
// valid, which rests on the largest input and error of every row.
int addestra_lotto_veloce(rete_cifre& rete, addestramento_veloce& a, const righe_cifre& lotto, const passo& p,
                          livello_simd livello) {
  const auto quante = static_cast<size_t>(lotto.quante);
  a.correzioni.resize(quante);
  a.ingressi.resize(quante * (N_AFFERENTI + 1));
  a.ingressi_efferenti.resize(quante * (N_INTERCALARI + 1));
  a.ogni_ingresso.assign(quante, 0);
  const double f = 1.0 - (p.tasso * p.decadimento);
  const bool decadimento = p.decadimento != 0.0;
  bool finite = std::isfinite(p.tasso) && std::isfinite(f);
  double errore_massimo = 0.0, ingresso_massimo = 1.0;  // pixels in 0 ... 255
  int giuste = 0;
  for (size_t t = 0; t < quante; ++t) {
    prendi_riga(rete, lotto, static_cast<int>(t));
    ingressi_visitati visitati;
    if (net_recognize_veloce(rete, *a.pesi, livello, visitati) == rete.etichetta) ++giuste;
    correzioni_riga& c = a.correzioni[t];
    calcola_correzioni(rete, a, rete.etichetta, c, p.funzione);
    std::copy(std::begin(rete.ingresso), std::end(rete.ingresso),
              a.ingressi.begin() + static_cast<long>(t * (N_AFFERENTI + 1)));
    std::copy(std::begin(rete.ingresso_efferenti), std::end(rete.ingresso_efferenti),
              a.ingressi_efferenti.begin() + static_cast<long>(t * (N_INTERCALARI + 1)));
    bool riga_finita = true;
    for (int i = 0; i < N_INTERCALARI; ++i) {
      const double e = std::fabs(c.errore_intercalari[i]);
      riga_finita = riga_finita && e <= std::numeric_limits<double>::max() && std::isfinite(c.pendenza_intercalari[i]);
      errore_massimo = e > errore_massimo ? e : errore_massimo;
    }
    a.ogni_ingresso[t] = !riga_finita;
    finite = finite && riga_finita;
    if (!visitati.in_scala)
      for (int j = 0; j <= N_AFFERENTI; ++j) ingresso_massimo = std::max(ingresso_massimo, std::fabs(rete.ingresso[j]));
  }
  correggi_strato(a, false, p.tasso, f, decadimento, livello);
  correggi_strato(a, true, p.tasso, f, decadimento, livello);

  rimetti_code(a, ogni_ingresso().data(), N_AFFERENTI + 1);

  // As in applica_correzioni: K / B is at most the largest correction of
  // the step, give or take a few roundings, and with decay |f * w| is at
  // most |f| times the bound (twice that covers its rounding).
  pesi_veloci& pv = *a.pesi;
  if (!pv.qualche_non_finito) {
    if (decadimento && std::fabs(f) > 1.0) a.limite_intercalari = a.limite_intercalari * (2.0 * std::fabs(f));
    a.limite_intercalari = a.limite_intercalari + 2.0 * ingresso_massimo * errore_massimo * std::fabs(p.tasso);
    if (!finite || !(a.limite_intercalari < LIMITE_PESI)) visita_tutti(pv);
  }
  return giuste;
}
