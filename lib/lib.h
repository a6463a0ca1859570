// Perceptron library of the velmora suite: neuron and layer arithmetic,
// weight files, CSV digit rows, the 784-100-10 digit network, and the grey
// drawing of a digit on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "file.h"

// ---- Neuron and layer arithmetic ---------------------------------------------
// Vectors are bias-extended: element 0 is the constant 1.0. A layer of m
// neurons fed by n inputs keeps m rows of n + 1 weights, bias weight first.

// Logistic function 1 / (1 + exp(-x)).
double activ_function(double x);
// Its derivative through its value: (1 - s) * s with s = activ_function(x).
double Dactiv_function(double x);
// Weighted sum of the n + 1 products x[j] * w[j], in index order.
double perc_calc_output(const double* w, const double* x, int n);
// For each of the m neurons: its weighted sum and its activation.
void layer_feed_forward(double* somme, double* uscite, const double* W, const double* x, int m, int n);
// dst = (1.0, src[0], ..., src[n - 1]).
void layer_map_out_in(double* dst, const double* src, int n);
// Correction step: w[j] += Dactiv(net) * ((x[j] * c) * b) for j = 0 ... n.
void perc_correzione(double* w, const double* x, double net, double b, double c, int n);

// ---- Weight files --------------------------------------------------------------
// Raw little-endian doubles, inputs * neurons of them: the weight block
// without the tail of its last row.

// Reads inputs * neurons doubles into the start of W; a short file leaves the rest as it was.
void layer_read(std::FILE* file, double* W, int inputs, int neurons);
// layer_read that also says how many bytes the file delivered (at most
// inputs * neurons * 8); it never prints and never ends the process.
long leggi_pesi(std::FILE* file, double* W, int inputs, int neurons);
// A weight file that must hold exactly inputs * neurons doubles, no more and
// no fewer, read into the start of W: for the programs that came after the
// recogniser and the benchmark, which read only as far as they need. false,
// after "File PATH non trovato" or "File PATH: dimensione errata (N byte,
// attesi M)", when it is missing or has another length. Never ends the process.
bool carica_pesi_esatti(const char* path, double* W, int inputs, int neurons);
// Writes the first inputs * neurons doubles of W.
void layer_writedown(std::FILE* file, const double* W, int inputs, int neurons);

// ---- Digit network ---------------------------------------------------------------

inline constexpr int N_AFFERENTI = 784;    // input neurons, one per pixel of 28 x 28
inline constexpr int N_INTERCALARI = 100;  // hidden neurons
inline constexpr int N_EFFERENTI = 10;     // output neurons, one per digit
inline constexpr int LATO_IMMAGINE = 28;

inline constexpr long VALORI_INTERCALARI = long{N_AFFERENTI} * N_INTERCALARI;  // doubles in the hidden file
inline constexpr long VALORI_EFFERENTI = long{N_INTERCALARI} * N_EFFERENTI;    // doubles in the output file

struct rete_cifre {
  double pesi_intercalari[N_INTERCALARI * (N_AFFERENTI + 1)];  // 100 x 785, row-major, bias first
  double pesi_efferenti[N_EFFERENTI * (N_INTERCALARI + 1)];    // 10 x 101, row-major, bias first
  double ingresso[N_AFFERENTI + 1];             // 1.0, then the pixels scaled to 0 ... 1
  double somma_intercalari[N_INTERCALARI];      // hidden weighted sums
  double uscita_intercalari[N_INTERCALARI];     // hidden activations
  double ingresso_efferenti[N_INTERCALARI + 1]; // 1.0, then the hidden activations
  double somma_efferenti[N_EFFERENTI];          // output weighted sums
  double uscita_efferenti[N_EFFERENTI];         // output activations, one per digit
  int32_t pixel[N_AFFERENTI];                   // pixels of the current row, 0 ... 255
  int32_t etichetta;                            // label of the current row
};

// A network record with every field zero, the matrix tails included.
std::unique_ptr<rete_cifre> crea_rete();

// Reads one CSV row "label,p0,...,p783" with the scanf rules: returns the sum
// of the conversion counts of its 785 reads (785 for a complete row, negative
// contributions at end of file). A failed read leaves its destination as it was.
int get_image(int32_t* pixels, int32_t& etichetta, std::FILE* file);

// Loads the hidden then the output weight file and opens the rows file; any
// missing or too short file prints a message and ends the process with status 1.
file_ptr net_load(rete_cifre& rete, const char* path_righe, const char* path_intercalari,
                  const char* path_efferenti);

// The digit with the largest of the N_EFFERENTI outputs (the lower on a tie),
// or -1 when none exceeds 0.0.
int classe_migliore(const double* uscite);
// Forward pass on rete.pixel; returns the digit whose output is largest, or
// -1 when no output exceeds 0.0 (all zero, or not a number).
int net_recognize(rete_cifre& rete);

// ---- Terminal output ----------------------------------------------------------------

// Size of the terminal on standard output: 0 and the sizes, or -1 leaving both untouched.
int dimensioni_finestra(int32_t& righe, int32_t& colonne);
// The extremes of n values as the drawing takes them: the minimum starts at
// 10.0 and the maximum at -10.0, so they bound values all above or all below.
void estremi_griglia(const double* valori, int n, double& minimo, double& massimo);
// Colour of v on the 256-colour grey ramp, 232 (darkest) ... 255 (lightest),
// between the extremes: the lowest value lightest; a flat grid is all 255.
int tono_grigio(double v, double minimo, double massimo);
// The escapes that paint a righe x colonne grid as grey cells two columns
// wide, top-left cell at screen row riga0, column colonna0, each cell reset.
std::string componi_oggetto(const double* valori, int righe, int colonne, int riga0, int colonna0);
// Writes componi_oggetto's frame to standard output in one write and flushes.
void print_object(const double* valori, int righe, int colonne, int riga0, int colonna0);

// ---- The network's files in a usage text ---------------------------------------------

// The PARAMETRI block of a usage text that takes the network's three files:
// the rows file (described as descrizione_righe), then the hidden-layer and
// the output-layer weight files.
void stampa_parametri_rete(const char* descrizione_righe);
