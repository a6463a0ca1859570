// The threaded step's second phase: on each thread's copy, the output layer
// of every row, the output errors and the errors of the thread's hidden
// neurons, then every correction of the thread's weights, row by row online
// or input by input, each input's rows in row order, for a step of several.
#include <algorithm>
#include <cmath>
#include <limits>

#include "passo_fili_stato.h"
#include "vettori.h"

namespace {

// ---- Phase 2: output layer, errors, corrections ------------------------------------

// The output layer of every row on the thread's copy, the class and the
// output errors, then the errors of the thread's hidden neurons through the
// output weights as they are before the step. Returns whether every one of
// them is finite, and their largest magnitude in errore_massimo.
template <typename V>
[[gnu::always_inline]] inline bool errori(filo_stato& s, const dati_passo& d, uint64_t* ogni,
                                          double& errore_massimo) {
  constexpr int L = CORSIE<V>;
  constexpr int VE = COLONNE_EFFERENTI / L;
  const int i0 = s.primo * 8, i1 = std::min(s.fine * 8, N_INTERCALARI);
  const double* W2 = s.efferenti;
  bool tutto_finito = true;
  s.giuste = 0;
  for (int t = 0; t < d.quante; ++t) {
    const double* h = d.uscite.p + static_cast<size_t>(t) * PASSO_USCITE;
    V acc[VE] = {};
    for (int j = 0; j <= N_INTERCALARI; ++j) {
      const double x = h[j];
      const V* w = reinterpret_cast<const V*>(W2 + j * COLONNE_EFFERENTI);
      for (int b = 0; b < VE; ++b) acc[b] = (x * w[b]) + acc[b];
    }
    double somme[N_EFFERENTI], uscite[N_EFFERENTI];
    for (int k = 0; k < N_EFFERENTI; ++k) {
      somme[k] = acc[k / L][k % L];
      uscite[k] = activ_function(somme[k]);
    }
    const int classe = classe_migliore(uscite);
    const int32_t etichetta = d.etichette[static_cast<size_t>(t)];
    if (classe == etichetta) ++s.giuste;
    s.classe = classe;
    if (t == d.quante - 1 && s.scrive_rete) {
      std::copy(somme, somme + N_EFFERENTI, d.rete->somma_efferenti);
      std::copy(uscite, uscite + N_EFFERENTI, d.rete->uscita_efferenti);
    }
    double* ce = s.errore_eff.p + static_cast<size_t>(t) * COLONNE_EFFERENTI;
    double* pe = s.pendenza_eff.p + static_cast<size_t>(t) * COLONNE_EFFERENTI;
    double delta[N_EFFERENTI];
    for (int k = 0; k < N_EFFERENTI; ++k) {
      ce[k] = (k == etichetta ? 1.0 : 0.0) - uscite[k];
      pe[k] = d.p.funzione == costo::entropia ? 1.0 : (1.0 - uscite[k]) * uscite[k];
      delta[k] = pe[k] * ce[k];
    }
    double* c = s.errore.p + static_cast<size_t>(t) * PASSO_USCITE;
    double* dd = s.pendenza.p + static_cast<size_t>(t) * PASSO_USCITE;
    bool finita = true;
    for (int i = i0; i < i1; ++i) {
      const double* w = W2 + (i + 1) * COLONNE_EFFERENTI;
      double somma = 0.0;
      for (int k = 0; k < N_EFFERENTI; ++k) somma = (w[k] * delta[k]) + somma;
      const double u = h[1 + i];
      c[i] = somma;
      dd[i] = (1.0 - u) * u;
      const double e = std::fabs(somma);
      finita = finita && e <= std::numeric_limits<double>::max() && std::isfinite(dd[i]);
      errore_massimo = e > errore_massimo ? e : errore_massimo;
    }
    if (!finita) ogni[t / 64] |= uint64_t{1} << (t % 64);
    tutto_finito = tutto_finito && finita;
  }
  return tutto_finito;
}

// The tails took the lanes' corrections too: put back what they held.
void rimetti_coda_efferenti(const addestramento_veloce& a, double* W2) {
  for (int j = ULTIMA_COLONNA_EFFERENTI + 1; j <= N_INTERCALARI; ++j)
    W2[j * COLONNE_EFFERENTI + N_EFFERENTI - 1] = a.coda_efferenti[j - ULTIMA_COLONNA_EFFERENTI - 1];
}

// One row, every weight corrected at once: w = (d * ((x * c) * b)) + w.
template <typename V>
[[gnu::always_inline]] inline void correggi_riga(motore_fili& m, filo_stato& s, const elenco& el, const dati_passo& d, bool finite,
                                                 double massimo, double errore_massimo) {
  constexpr int L = CORSIE<V>;
  constexpr int VE = COLONNE_EFFERENTI / L;
  const double b = d.p.tasso;
  addestramento_veloce& a = m.a;
  const double* h = d.uscite.p;
  {
    const V* c = reinterpret_cast<const V*>(s.errore_eff.p);
    const V* dd = reinterpret_cast<const V*>(s.pendenza_eff.p);
    for (int j = 0; j <= N_INTERCALARI; ++j) {
      V* w = reinterpret_cast<V*>(s.efferenti + j * COLONNE_EFFERENTI);
      const double x = h[j];
      for (int v = 0; v < VE; ++v) w[v] = (dd[v] * ((x * c[v]) * b)) + w[v];
    }
    rimetti_coda_efferenti(a, s.efferenti);
  }
  if (s.primo == s.fine) return;
  constexpr int PER_BLOCCO = 8 / L;
  const int v0 = s.primo * PER_BLOCCO, v1 = s.fine * PER_BLOCCO;
  const bool tutti = !finite || a.aggiorna_tutti;
  const int16_t* indici = el.indici.data();
  const double* valori = el.valori.data();
  int n = el.fine[0];
  if (tutti) su_ogni_ingresso(s.denso.p, indici, valori, n);
  const V* c = reinterpret_cast<const V*>(s.errore.p);
  const V* dd = reinterpret_cast<const V*>(s.pendenza.p);
  double* W = s.pesi.p;
  const int colonne = s.colonne;
  for (int k = 0; k < n; ++k) {
    V* w = reinterpret_cast<V*>(W + indici[k] * colonne);
    const double x = valori[k];
    for (int v = v0; v < v1; ++v) w[v - v0] = (dd[v] * ((x * c[v]) * b)) + w[v - v0];
  }
  if (s.fine * 8 > N_INTERCALARI - 1)
    for (int k = n - 1; k >= 0 && indici[k] > ULTIMA_COLONNA_INTERCALARI; --k)
      W[indici[k] * colonne + N_INTERCALARI - 1 - 8 * s.primo] =
          a.coda_intercalari[indici[k] - ULTIMA_COLONNA_INTERCALARI - 1];
  // The bound of applica_correzioni, on this thread's weights.
  if (!s.visita) {
    s.limite = s.limite + 2.0 * massimo * errore_massimo * std::fabs(b);
    if (!finite || !(s.limite < LIMITE_PESI_INTERCALARI)) s.visita = true;
  }
}

// The rows of the step, each weight's corrections summed in row order from
// 0.0: w = (K / B) + (f * w) with decay, (K / B) + w without.
template <typename V>
[[gnu::always_inline]] inline void correggi_lotto(motore_fili& m, filo_stato& s, voci_ingresso& r,
                                                  const elenco& el, const dati_passo& d, const uint64_t* ogni, bool finite,
                                                  double massimo, double errore_massimo) {
  constexpr int L = CORSIE<V>;
  constexpr int VE = COLONNE_EFFERENTI / L;
  addestramento_veloce& a = m.a;
  const double b = d.p.tasso;
  const double righe = d.quante;
  const double f = 1.0 - (d.p.tasso * d.p.decadimento);
  const bool decadimento = d.p.decadimento != 0.0;
  const int quante = d.quante;

  // The output layer: every row for every input.
  for (int j = 0; j <= N_INTERCALARI; ++j) {
    V K[VE] = {};
    for (int t = 0; t < quante; ++t) {
      const double x = d.uscite.p[static_cast<size_t>(t) * PASSO_USCITE + static_cast<size_t>(j)];
      const V* c = reinterpret_cast<const V*>(s.errore_eff.p + static_cast<size_t>(t) * COLONNE_EFFERENTI);
      const V* dd = reinterpret_cast<const V*>(s.pendenza_eff.p + static_cast<size_t>(t) * COLONNE_EFFERENTI);
      for (int v = 0; v < VE; ++v) K[v] = (dd[v] * ((x * c[v]) * b)) + K[v];
    }
    V* w = reinterpret_cast<V*>(s.efferenti + j * COLONNE_EFFERENTI);
    const bool decade = decadimento && j > 0;
    for (int v = 0; v < VE; ++v) {
      const V media = K[v] / righe;
      w[v] = decade ? media + (f * w[v]) : media + w[v];
    }
  }
  rimetti_coda_efferenti(a, s.efferenti);
  if (s.primo == s.fine) return;

  // The thread's hidden blocks, input by input: the rows that feed the
  // input, and the rows whose errors here are not all finite.
  constexpr int PER_BLOCCO = 8 / L;
  const int v0 = s.primo * PER_BLOCCO, v1 = s.fine * PER_BLOCCO;
  double* W = s.pesi.p;
  const int colonne = s.colonne;
  bool qualche_ogni = false;
  for (int p = 0; p < d.parole; ++p) qualche_ogni = qualche_ogni || ogni[p] != 0;
  for (int j = 0; j < INGRESSI; ++j) {
    r.quante = 0;
    for (int e = el.inizio[static_cast<size_t>(j)]; e < el.inizio[static_cast<size_t>(j) + 1]; ++e) {
      r.riga[r.quante] = el.righe[static_cast<size_t>(e)];
      r.x[r.quante] = el.x[static_cast<size_t>(e)];
      ++r.quante;
    }
    if (qualche_ogni) {
      // The rows with errors that are not all finite, each where it belongs.
      int n = 0, e = 0;
      for (int t = 0; t < quante; ++t) {
        if (e < r.quante && r.riga[e] == t) {
          r.riga_2[n] = t;
          r.x_2[n++] = r.x[e++];
        } else if (ogni[t / 64] >> (t % 64) & 1) {
          r.riga_2[n] = t;
          r.x_2[n++] = 0.0;
        }
      }
      std::copy(r.riga_2, r.riga_2 + n, r.riga);
      std::copy(r.x_2, r.x_2 + n, r.x);
      r.quante = n;
    }
    const bool decade = decadimento && j > 0;  // never the bias
    double* wj = W + j * colonne;
    if (r.quante == 0) {
      // K is +0.0, and so is K / B: no division.
      if (!decade && !a.aggiorna_tutti) continue;
      V* w = reinterpret_cast<V*>(wj);
      for (int v = 0; v < v1 - v0; ++v) w[v] = decade ? V{} + (f * w[v]) : V{} + w[v];
      continue;
    }
    for (int b0 = v0; b0 < v1; b0 += BLOCCO) {
      con_blocco(std::min(BLOCCO, v1 - b0), [&]<int NB>() {
        V K[NB] = {};
        for (int e = 0; e < r.quante; ++e) {
          const double x = r.x[e];
          const size_t riga = static_cast<size_t>(r.riga[e]) * PASSO_USCITE;
          const V* c = reinterpret_cast<const V*>(s.errore.p + riga) + b0;
          const V* dd = reinterpret_cast<const V*>(s.pendenza.p + riga) + b0;
#pragma GCC unroll 13
          for (int v = 0; v < NB; ++v) K[v] = (dd[v] * ((x * c[v]) * b)) + K[v];
        }
        V* w = reinterpret_cast<V*>(wj) + (b0 - v0);
#pragma GCC unroll 13
        for (int v = 0; v < NB; ++v) {
          const V media = K[v] / righe;
          w[v] = decade ? media + (f * w[v]) : media + w[v];
        }
      });
    }
  }
  if (s.fine * 8 > N_INTERCALARI - 1)
    for (int j = ULTIMA_COLONNA_INTERCALARI + 1; j <= N_AFFERENTI; ++j)
      W[j * colonne + N_INTERCALARI - 1 - 8 * s.primo] = a.coda_intercalari[j - ULTIMA_COLONNA_INTERCALARI - 1];

  // The bound of addestra_lotto_veloce, on this thread's weights.
  if (!s.visita) {
    if (decadimento && std::fabs(f) > 1.0) s.limite = s.limite * (2.0 * std::fabs(f));
    s.limite = s.limite + 2.0 * massimo * errore_massimo * std::fabs(b);
    if (!finite || !(s.limite < LIMITE_PESI_INTERCALARI)) s.visita = true;
  }
}

template <typename V>
[[gnu::always_inline]] inline void dopo(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el,
                                        const dati_passo& d) {
  s.ogni.assign(static_cast<size_t>(d.parole), 0);
  double errore_massimo = 0.0;
  bool finite = errori<V>(s, d, s.ogni.data(), errore_massimo) && std::isfinite(d.p.tasso);
  double massimo = 1.0;
  for (int t = 0; t < d.quante; ++t) massimo = std::max(massimo, el.massimo[static_cast<size_t>(t)]);
  if (d.online) {
    correggi_riga<V>(m, s, el, d, finite, massimo, errore_massimo);
  } else {
    finite = finite && std::isfinite(1.0 - (d.p.tasso * d.p.decadimento));
    correggi_lotto<V>(m, s, r, el, d, s.ogni.data(), finite, massimo, errore_massimo);
  }
}

[[gnu::target("avx512f")]] void dopo_avx512(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el,
                                            const dati_passo& d) {
  dopo<v8d>(m, s, r, el, d);
}
[[gnu::target("avx2")]] void dopo_avx2(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el,
                                       const dati_passo& d) {
  dopo<v4d>(m, s, r, el, d);
}
void dopo_base(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el, const dati_passo& d) {
  dopo<v2d>(m, s, r, el, d);
}

}  // namespace

void fase_2(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el, const dati_passo& d) {
  switch (m.livello) {
    case livello_simd::avx512: dopo_avx512(m, s, r, el, d); break;
    case livello_simd::avx2: dopo_avx2(m, s, r, el, d); break;
    case livello_simd::base: dopo_base(m, s, r, el, d); break;
  }
}
