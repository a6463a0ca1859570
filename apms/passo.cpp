// Every weight of the reference step is moved by the library's correction
// step or its batch form, in the order the header gives.
#include "passo.h"

#include <iterator>
#include <vector>

#include "pesi.h"

namespace {

// The errors of one row after its forward pass, and the slopes they are
// multiplied by in each correction d * ((x * c) * b).
struct errori_riga {
  double errore_efferenti[N_EFFERENTI];
  double pendenza_efferenti[N_EFFERENTI];
  double errore_intercalari[N_INTERCALARI];
};

// Output errors: target (1.0 for the label, 0.0 otherwise) minus output.
// For the quadratic cost, delta adds the slope of the logistic at the
// neuron's weighted sum; for the cross-entropy the slope is 1.0 and delta
// is the error itself. Hidden errors are propagated back through the
// output weights before this row changes them: the sum over k = 0 ... 9 in
// order of w[k][i + 1] * delta[k].
void calcola_errori(const rete_cifre& rete, int32_t etichetta, costo funzione, errori_riga& e) {
  double delta_efferenti[N_EFFERENTI];
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double obiettivo = k == etichetta ? 1.0 : 0.0;
    e.errore_efferenti[k] = obiettivo - rete.uscita_efferenti[k];
    e.pendenza_efferenti[k] = funzione == costo::entropia ? 1.0 : Dactiv_function(rete.somma_efferenti[k]);
    delta_efferenti[k] = funzione == costo::entropia ? e.errore_efferenti[k]
                                                     : e.pendenza_efferenti[k] * e.errore_efferenti[k];
  }
  for (int i = 0; i < N_INTERCALARI; ++i) {
    double somma = 0.0;
    for (int k = 0; k < N_EFFERENTI; ++k)
      somma = (rete.pesi_efferenti[k * (N_INTERCALARI + 1) + i + 1] * delta_efferenti[k]) + somma;
    e.errore_intercalari[i] = somma;
  }
}

}  // namespace

int addestra_riga(rete_cifre& rete, int32_t etichetta, double tasso, costo funzione) {
  const int risposta = net_recognize(rete);
  errori_riga e;
  calcola_errori(rete, etichetta, funzione, e);
  const double* errore_efferenti = e.errore_efferenti;
  const double* errore_intercalari = e.errore_intercalari;

  // Updates: output neurons 0 ... 9, then hidden neurons 0 ... 99, each
  // neuron's weights bias first. The last neuron of each layer stops at the
  // last column a weight file can hold, so its tail stays 0.0 and the network
  // written to disk is the network trained here.
  // The cross-entropy's output slope is 1.0, which perc_correzione cannot
  // be told: its corrections are 1.0 * ((x * c) * b), written out.
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const int ultima = k == N_EFFERENTI - 1 ? ULTIMA_COLONNA_EFFERENTI : N_INTERCALARI;
    double* w = rete.pesi_efferenti + k * (N_INTERCALARI + 1);
    if (funzione == costo::quadratico)
      perc_correzione(w, rete.ingresso_efferenti, rete.somma_efferenti[k], tasso, errore_efferenti[k], ultima);
    else
      for (int j = 0; j <= ultima; ++j)
        w[j] = (1.0 * ((rete.ingresso_efferenti[j] * errore_efferenti[k]) * tasso)) + w[j];
  }
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const int ultima = i == N_INTERCALARI - 1 ? ULTIMA_COLONNA_INTERCALARI : N_AFFERENTI;
    perc_correzione(rete.pesi_intercalari + static_cast<long>(i) * (N_AFFERENTI + 1), rete.ingresso,
                    rete.somma_intercalari[i], tasso, errore_intercalari[i], ultima);
  }
  return risposta;
}

namespace {

// Adds one row's corrections d * ((x * c) * b) of a layer of m neurons fed
// by n inputs to the sums K, in the layout of the weight matrix.
void somma_correzioni(double* K, const double* x, const double* pendenza, const double* errore, double b, int m,
                      int n) {
  for (int i = 0; i < m; ++i)
    for (int j = 0; j <= n; ++j)
      K[i * (n + 1) + j] = (pendenza[i] * ((x[j] * errore[i]) * b)) + K[i * (n + 1) + j];
}

// w = (K / B) + w for biases (column 0) and, without decay, every weight;
// w = (K / B) + (f * w) for the others with decay. The last neuron stops at
// the last column a weight file can hold.
void applica_somme(double* W, const double* K, int righe, double f, bool decadimento, int m, int n, int ultima) {
  for (int i = 0; i < m; ++i) {
    const int fine = i == m - 1 ? ultima : n;
    for (int j = 0; j <= fine; ++j) {
      double& w = W[i * (n + 1) + j];
      const double media = K[i * (n + 1) + j] / righe;
      w = decadimento && j > 0 ? media + (f * w) : media + w;
    }
  }
}

}  // namespace

int addestra_lotto(rete_cifre& rete, const righe_cifre& lotto, const passo& p) {
  std::vector<double> somme_intercalari(std::size(rete.pesi_intercalari), 0.0);
  std::vector<double> somme_efferenti(std::size(rete.pesi_efferenti), 0.0);
  errori_riga e;
  double pendenza_intercalari[N_INTERCALARI];
  int giuste = 0;
  for (int r = 0; r < lotto.quante; ++r) {
    prendi_riga(rete, lotto, r);
    if (net_recognize(rete) == rete.etichetta) ++giuste;
    calcola_errori(rete, rete.etichetta, p.funzione, e);
    for (int i = 0; i < N_INTERCALARI; ++i) pendenza_intercalari[i] = Dactiv_function(rete.somma_intercalari[i]);
    somma_correzioni(somme_efferenti.data(), rete.ingresso_efferenti, e.pendenza_efferenti, e.errore_efferenti,
                     p.tasso, N_EFFERENTI, N_INTERCALARI);
    somma_correzioni(somme_intercalari.data(), rete.ingresso, pendenza_intercalari, e.errore_intercalari, p.tasso,
                     N_INTERCALARI, N_AFFERENTI);
  }
  const double f = 1.0 - (p.tasso * p.decadimento);
  const bool decadimento = p.decadimento != 0.0;
  applica_somme(rete.pesi_efferenti, somme_efferenti.data(), lotto.quante, f, decadimento, N_EFFERENTI,
                N_INTERCALARI, ULTIMA_COLONNA_EFFERENTI);
  applica_somme(rete.pesi_intercalari, somme_intercalari.data(), lotto.quante, f, decadimento, N_INTERCALARI,
                N_AFFERENTI, ULTIMA_COLONNA_INTERCALARI);
  return giuste;
}

