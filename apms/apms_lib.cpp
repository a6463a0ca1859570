// Training of the digit network: online backpropagation built from the
// library's forward pass and correction step.
#include "apms.h"

#include "nomi.h"
#include "scrittura.h"
#include "veloce.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

// ---- Generator ----------------------------------------------------------------------

uint64_t prossimo(generatore& g) {
  uint64_t z = (g.stato += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double uniforme(generatore& g) { return static_cast<double>(prossimo(g) >> 11) * 0x1.0p-53; }

uint32_t sotto(generatore& g, uint32_t n) { return static_cast<uint32_t>(prossimo(g) % n); }

// ---- Training -----------------------------------------------------------------------------

void inizializza_pesi(rete_cifre& rete, generatore& g, inizio_pesi inizio) {
  const bool scalato = inizio == inizio_pesi::scalato;
  const double a_intercalari = scalato ? std::sqrt(3.0 / N_AFFERENTI) : AMPIEZZA_INTERCALARI;
  const double a_efferenti = scalato ? std::sqrt(3.0 / N_INTERCALARI) : AMPIEZZA_EFFERENTI;
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const int ultima = i == N_INTERCALARI - 1 ? ULTIMA_COLONNA_INTERCALARI : N_AFFERENTI;
    double* w = rete.pesi_intercalari + static_cast<long>(i) * (N_AFFERENTI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * a_intercalari;
  }
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const int ultima = k == N_EFFERENTI - 1 ? ULTIMA_COLONNA_EFFERENTI : N_INTERCALARI;
    double* w = rete.pesi_efferenti + k * (N_INTERCALARI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * a_efferenti;
  }
}

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

// ---- Shifted copies and the validation share --------------------------------------------

void sposta_riga(const int32_t* da, int32_t* a, int copia) {
  if (copia == 0) {
    std::copy(da, da + N_AFFERENTI, a);
    return;
  }
  const int passi = (copia - 1) / 4 + 1, verso = (copia - 1) % 4;
  const int dx = verso == 0 ? passi : verso == 1 ? -passi : 0;
  const int dy = verso == 2 ? passi : verso == 3 ? -passi : 0;
  for (int riga = 0; riga < LATO_IMMAGINE; ++riga)
    for (int colonna = 0; colonna < LATO_IMMAGINE; ++colonna) {
      const int r = riga - dy, c = colonna - dx;
      const bool dentro = r >= 0 && r < LATO_IMMAGINE && c >= 0 && c < LATO_IMMAGINE;
      a[riga * LATO_IMMAGINE + colonna] = dentro ? da[r * LATO_IMMAGINE + c] : 0;
    }
}

std::vector<int> righe_di_validazione(int quante, double quota, generatore& g) {
  std::vector<int> ordine(static_cast<size_t>(quante));
  std::iota(ordine.begin(), ordine.end(), 0);
  for (int i = quante - 1; i > 0; --i)
    std::swap(ordine[static_cast<size_t>(i)], ordine[sotto(g, static_cast<uint32_t>(i) + 1)]);
  const auto da_parte = static_cast<size_t>(std::floor(quante * quota / 100.0));
  std::vector<int> scelte(ordine.begin(), ordine.begin() + static_cast<long>(da_parte));
  std::sort(scelte.begin(), scelte.end());
  return scelte;
}

risultato valuta(rete_cifre& rete, const righe_cifre& righe) {
  // The weights do not change here, so the library's vectorised forward pass
  // (same bits as net_recognize) pays for laying them out once.
  const auto pesi = prepara_pesi(rete);
  risultato esito;
  for (int r = 0; r < righe.quante; ++r) {
    prendi_riga(rete, righe, r);
    const int risposta = net_recognize_veloce(rete, *pesi);
    if (risposta < 0) {
      ++esito.senza_risposta;
      continue;
    }
    ++esito.confusione[static_cast<size_t>(rete.etichetta)][static_cast<size_t>(risposta)];
    if (risposta == rete.etichetta) ++esito.riconosciute;
  }
  return esito;
}

void stampa_confusione(const risultato& esito, const char* path) {
  std::printf("\nMatrice di confusione su %s (righe: etichetta, colonne: cifra riconosciuta):\n    ",
              stampabile(path).c_str());
  for (int c = 0; c < 10; ++c) std::printf("%6d", c);
  std::printf("\n");
  for (int e = 0; e < 10; ++e) {
    std::printf("%2d |", e);
    for (int c = 0; c < 10; ++c) std::printf("%6d", esito.confusione[static_cast<size_t>(e)][static_cast<size_t>(c)]);
    std::printf("\n");
  }
  if (esito.senza_risposta > 0) std::printf("Righe senza risposta: %d\n", esito.senza_risposta);
}

// ---- Weight files ---------------------------------------------------------------------------

bool scrivi_pesi(const rete_cifre& rete, const char* path_intercalari, const char* path_efferenti) {
  file_nuovo intercalari, efferenti;
  int fallito = 0;
  if (!apri_file_nuovo(intercalari, path_intercalari))
    fallito = 1;
  else if (!apri_file_nuovo(efferenti, path_efferenti))
    fallito = 2;
  if (fallito == 0) {
    // Every write is checked when the files are installed.
    layer_writedown(intercalari.file, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI);
    layer_writedown(efferenti.file, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
    fallito = installa_coppia(intercalari, efferenti);
  }
  if (fallito == 0) return true;
  std::printf("Impossibile scrivere il file %s\n", stampabile(fallito == 1 ? path_intercalari : path_efferenti).c_str());
  return false;
}

bool leggi_pesi_di_partenza(rete_cifre& rete, const char* path_intercalari, const char* path_efferenti) {
  return carica_pesi_esatti(path_intercalari, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI) &&
         carica_pesi_esatti(path_efferenti, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
}

// ---- Before any work ----------------------------------------------------------------------

namespace {

// The first bytes of a file hold nothing but the characters of CSV rows,
// among them a comma: rows, not weights, which a mistaken argument order
// would destroy. A weight file is raw doubles and never reads so.
bool contiene_righe(const char* path) {
  // Opened without blocking and read only when it is a regular file: a
  // FIFO here would wait for a writer for ever.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  file_ptr f(fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr);
  if (!f) {
    close(fd);
    return false;
  }
  char buf[4096];
  const size_t n = std::fread(buf, 1, sizeof buf, f.get());
  bool virgola = false;
  for (size_t i = 0; i < n; ++i) {
    const char c = buf[i];
    if (c == ',') virgola = true;
    else if (!std::isdigit(static_cast<unsigned char>(c)) && !std::isspace(static_cast<unsigned char>(c)) &&
             c != '-' && c != '+')
      return false;
  }
  return virgola;
}

}  // namespace

bool controlla_pesi_da_scrivere(const char* path, const char* ingresso, const char* verifica) {
  const char* motivo = perche_non_scrivibile(path);
  std::string testo;
  struct stat st;
  if (!motivo && stat(path, &st) == 0) {
    for (const char* in : {ingresso, verifica}) {
      if (in && stesso_file(path, in)) {
        testo = "e' il file di righe " + stampabile(in);
        motivo = testo.c_str();
        break;
      }
    }
    if (!motivo && contiene_righe(path)) motivo = "contiene righe CSV, non pesi: gli argomenti sono nell'ordine giusto?";
  }
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere i pesi: %s\n", stampabile(path).c_str(), motivo);
  std::printf("Impossibile scrivere il file %s\n", stampabile(path).c_str());
  return false;
}
