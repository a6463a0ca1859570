// Perceptron library: the straightforward forms. Every sum runs in index
// order with each product rounded before it is added (the build forbids
// contraction into fused multiply-add), so results are identical to the
// last bit at every optimisation level.
#include "lib.h"

#include "nomi.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// ---- Neuron and layer arithmetic ---------------------------------------------

double activ_function(double x) { return 1.0 / (1.0 + std::exp(-x)); }

double Dactiv_function(double x) {
  double s = activ_function(x);
  return (1.0 - s) * s;
}

double perc_calc_output(const double* w, const double* x, int n) {
  double sum = 0.0;
  for (int j = 0; j <= n; ++j) sum = (x[j] * w[j]) + sum;
  return sum;
}

void layer_feed_forward(double* somme, double* uscite, const double* W, const double* x, int m, int n) {
  for (int i = 0; i < m; ++i) {
    somme[i] = perc_calc_output(W + static_cast<long>(i) * (n + 1), x, n);
    uscite[i] = activ_function(somme[i]);
  }
}

void layer_map_out_in(double* dst, const double* src, int n) {
  dst[0] = 1.0;
  for (int j = 1; j <= n; ++j) dst[j] = src[j - 1];
}

void perc_correzione(double* w, const double* x, double net, double b, double c, int n) {
  // The derivative depends on net alone and exp is a pure function, so one
  // evaluation gives the same bits as evaluating it afresh for every weight.
  const double d = Dactiv_function(net);
  for (int j = 0; j <= n; ++j) w[j] = (d * ((x[j] * c) * b)) + w[j];
}

// ---- Weight files --------------------------------------------------------------

long leggi_pesi(std::FILE* file, double* W, int inputs, int neurons) {
  // Only whole values are stored: a trailing partial value leaves its
  // element as it was, like every element past the end of a short file.
  std::vector<double> buf(static_cast<size_t>(inputs) * static_cast<size_t>(neurons));
  size_t bytes = std::fread(buf.data(), 1, buf.size() * sizeof(double), file);
  std::memcpy(W, buf.data(), bytes / sizeof(double) * sizeof(double));
  return static_cast<long>(bytes);
}

void layer_read(std::FILE* file, double* W, int inputs, int neurons) { leggi_pesi(file, W, inputs, neurons); }

bool carica_pesi_esatti(const char* path, double* W, int inputs, int neurons) {
  file_ptr f = apri_file(path, "rb");
  if (!f) {
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    return false;
  }
  const long attesi = static_cast<long>(inputs) * neurons * static_cast<long>(sizeof(double));
  long letti = leggi_pesi(f.get(), W, inputs, neurons);
  // Counted to the end, since a pipe has no size to ask for.
  char resto[4096];
  for (size_t n; letti >= attesi && (n = std::fread(resto, 1, sizeof resto, f.get())) > 0;) letti += static_cast<long>(n);
  if (letti == attesi) return true;
  std::printf("File %s: dimensione errata (%ld byte, attesi %ld)\n", stampabile(path).c_str(), letti, attesi);
  return false;
}

void layer_writedown(std::FILE* file, const double* W, int inputs, int neurons) {
  std::fwrite(W, sizeof(double), static_cast<size_t>(inputs) * static_cast<size_t>(neurons), file);
}

// ---- Digit rows -------------------------------------------------------------------

int get_image(int32_t* pixels, int32_t& etichetta, std::FILE* file) {
  int totale = std::fscanf(file, "%d", &etichetta);
  for (int i = 0; i < N_AFFERENTI; ++i) totale += std::fscanf(file, ",%d", &pixels[i]);
  return totale;
}

// ---- Digit network ------------------------------------------------------------------

std::unique_ptr<rete_cifre> crea_rete() {
  // Value-initialised: every weight, the tails the files do not supply,
  // the pixels and the label all start at zero.
  return std::make_unique<rete_cifre>();
}

static file_ptr apri_o_esci(const char* path, const char* modo) {
  file_ptr f = apri_file(path, modo);
  if (!f) {
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    std::exit(1);
  }
  return f;
}

// Loads one weight file; a file shorter than the layer needs would leave part
// of the matrix unset and silently cripple the network, so it is refused.
static void carica_pesi(const char* path, double* W, int inputs, int neurons) {
  file_ptr f = apri_o_esci(path, "rb");
  const long attesi = static_cast<long>(inputs) * neurons * static_cast<long>(sizeof(double));
  const long letti = leggi_pesi(f.get(), W, inputs, neurons);
  if (letti < attesi) {
    std::printf("File %s: dimensione errata (%ld byte, attesi %ld)\n", stampabile(path).c_str(), letti, attesi);
    std::exit(1);
  }
}

file_ptr net_load(rete_cifre& rete, const char* path_righe, const char* path_intercalari,
                  const char* path_efferenti) {
  carica_pesi(path_intercalari, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI);
  carica_pesi(path_efferenti, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
  return apri_o_esci(path_righe, "r");
}

int classe_migliore(const double* uscite) {
  // No output above 0.0 (all zero, or not a number) names no digit; of equal
  // largest outputs the lower digit wins.
  double migliore = 0.0;
  int classe = -1;
  for (int k = 0; k < N_EFFERENTI; ++k) {
    if (uscite[k] > migliore) {
      migliore = uscite[k];
      classe = k;
    }
  }
  return classe;
}

int net_recognize(rete_cifre& rete) {
  rete.ingresso[0] = 1.0;
  for (int j = 0; j < N_AFFERENTI; ++j) rete.ingresso[j + 1] = static_cast<double>(rete.pixel[j]) / 255.0;
  layer_feed_forward(rete.somma_intercalari, rete.uscita_intercalari, rete.pesi_intercalari, rete.ingresso,
                     N_INTERCALARI, N_AFFERENTI);
  layer_map_out_in(rete.ingresso_efferenti, rete.uscita_intercalari, N_INTERCALARI);
  layer_feed_forward(rete.somma_efferenti, rete.uscita_efferenti, rete.pesi_efferenti, rete.ingresso_efferenti,
                     N_EFFERENTI, N_INTERCALARI);
  return classe_migliore(rete.uscita_efferenti);
}

// ---- Terminal output ------------------------------------------------------------------

int dimensioni_finestra(int32_t& righe, int32_t& colonne) {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return -1;
  colonne = ws.ws_col;
  righe = ws.ws_row;
  return 0;
}

void estremi_griglia(const double* valori, int n, double& minimo, double& massimo) {
  minimo = 10.0;
  massimo = -10.0;
  for (int k = 0; k < n; ++k) {
    if (valori[k] > massimo) massimo = valori[k];
    if (minimo > valori[k]) minimo = valori[k];
  }
}

int tono_grigio(double v, double minimo, double massimo) {
  const double alto = 255.0, basso = 232.0;
  const double scala = (alto - basso) / (massimo - minimo);
  const double t = ((v - minimo) * scala) + basso;
  const double grigio = (alto - t) + basso;
  // A flat grid (zero range) gives not-a-number here, and converting that to
  // an integer is undefined: such cells take the lightest grey. Every other
  // value lies between the extremes, so the tone stays within 232 ... 255.
  if (!(grigio > -2147483648.0 && grigio < 2147483648.0)) return 255;
  return static_cast<int>(grigio);
}

std::string componi_oggetto(const double* valori, int righe, int colonne, int riga0, int colonna0) {
  double minimo, massimo;
  estremi_griglia(valori, righe * colonne, minimo, massimo);
  std::string cornice;
  cornice.reserve(static_cast<size_t>(righe) * static_cast<size_t>(colonne) * 32);
  char cella[64];
  for (int i = 0; i < righe; ++i) {
    for (int j = 0; j < colonne; ++j) {
      const int n = std::snprintf(cella, sizeof cella, "\33[%d;%dH\33[48;5;%dm  \33[0m", riga0 + i, colonna0 + 2 * j,
                                  tono_grigio(valori[i * colonne + j], minimo, massimo));
      cornice.append(cella, static_cast<size_t>(n));
    }
  }
  return cornice;
}

void print_object(const double* valori, int righe, int colonne, int riga0, int colonna0) {
  // One write for the whole frame, so the screen never shows it half-drawn.
  const std::string cornice = componi_oggetto(valori, righe, colonne, riga0, colonna0);
  std::fwrite(cornice.data(), 1, cornice.size(), stdout);
  std::fflush(stdout);
}

// ---- The network's files in a usage text ---------------------------------------------

void stampa_parametri_rete(const char* descrizione_righe) {
  std::printf("\nPARAMETRI:\n"
              "<ingressi.csv>               %s\n"
              "<connessioni_intercalari.w>  pesi delle connessioni tra i neuroni di afferenti e quelli intercalari\n"
              "<connessioni_efferenti.w>    pesi delle connessioni tra i neuroni intercalari e quelli efferenti\n",
              descrizione_righe);
}
