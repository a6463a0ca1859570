// The threaded step's parts, shared by its files (passo_fili.h is what the
// trainer sees): what thread 0 lays out for a step, what each thread keeps,
// and the phases of a step.
//
// Every weight is read and written by one thread only
// (its hidden block's, or its own copy of the output layer), and each of
// its sums runs over the rows in order, exactly as in addestra_lotto: the
// threads change who computes a weight, never how.
//
// Leaving zero inputs out is decided per thread, on its own neurons: an
// input of 0.0 adds a zero to a weighted sum or a correction sum, and a
// zero to a weight, whenever the weights (for the forward pass) or the
// errors (for the corrections) of those neurons are finite, which is all
// that passo_veloce.cpp relies on for the whole layer.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "fili.h"
#include "passo_fili.h"

inline constexpr int BLOCCO = 13;                   // accumulator vectors kept in registers
inline constexpr double FINESTRA_MASSIMA_S = 0.02;  // longest window of the timing of the threads
inline constexpr int PASSO_USCITE = 104;            // doubles per row of hidden outputs (101 used)
inline constexpr int INGRESSI = N_AFFERENTI + 1;

// Zeroed 64-byte-aligned doubles, grown on demand.
struct memoria {
  double* p = nullptr;
  size_t n = 0;
  memoria() = default;
  memoria(const memoria&) = delete;
  memoria& operator=(const memoria&) = delete;
  ~memoria() { std::free(p); }
  void almeno(size_t quanti) {
    if (quanti <= n) return;
    std::free(p);
    const size_t byte = (quanti * sizeof(double) + 63) / 64 * 64;
    p = static_cast<double*>(std::aligned_alloc(64, byte));
    if (!p) {
      n = 0;
      throw std::bad_alloc();
    }
    std::memset(p, 0, byte);
    n = quanti;
  }
};

// What thread 0 lays out for one step before the others start: where its
// rows are, and room for the hidden outputs every thread shares. Two of
// them, used in turn, so a thread still correcting its weights after the
// step reads the step's own data while thread 0 prepares the next.
struct dati_passo {
  int quante = 0;
  int parole = 0;                 // 64-bit words of a mask of rows
  bool online = false;
  passo p;
  rete_cifre* rete = nullptr;     // where the last row's forward pass goes
  std::vector<int32_t> etichette;
  // Row t: the N_AFFERENTI pixels at pixel + N_AFFERENTI * (righe[t], or t
  // when righe is empty), moved as sposta_riga moves copy copie[t] (none
  // when copie is empty). Only read, never written, during the step.
  const int32_t* pixel = nullptr;
  std::vector<int> righe, copie;
  memoria uscite;                 // per row PASSO_USCITE: 1.0, then the hidden outputs
};

// A step's rows as one thread lists them for itself: every thread lists
// every row, from rows no thread writes, so no thread waits for another's
// lists nor fetches them from another core.
struct elenco {
  std::vector<int> fine;          // row t's inputs: t * INGRESSI ... fine[t] - 1
  std::vector<int16_t> indici;    // the bias, then each nonzero pixel's input, in order
  std::vector<double> valori;     // their values
  std::vector<double> massimo;    // per row, the largest |x| (at least 1.0)
  // Input by input, the rows that feed it (for a step of several rows).
  std::vector<int> inizio;        // input j's rows: inizio[j] ... inizio[j + 1] - 1
  std::vector<int> righe;         // in row order
  std::vector<double> x;          // the row's value of the input
};

// One thread's share: its hidden blocks and everything it keeps about them.
struct alignas(64) filo_stato {
  int primo = 0, fine = 0;   // its blocks of 8 hidden neurons: primo ... fine - 1
  // Its hidden weights, input by input, its columns only: no cache line
  // holds another thread's weights, nor is fetched next to them.
  memoria pesi;
  int colonne = 0;
  double* efferenti = nullptr;  // its output weights (thread 0's are the trained ones)
  memoria copia_efferenti;
  // No weight of its blocks exceeds this in magnitude while visita is false.
  double limite = 0.0;
  bool visita = false;       // its forward pass takes every input
  memoria errore, pendenza;  // per row, PASSO_USCITE: its hidden neurons' errors and slopes
  memoria errore_eff, pendenza_eff;  // per row, COLONNE_EFFERENTI: the output layer's
  memoria denso;             // a row's every input, for the forward pass that takes them all
  elenco el;                 // the step's rows, as this thread listed them
  std::vector<uint64_t> ogni;  // rows whose errors here are not all finite: every input
  int giuste = 0, classe = -1;
  bool scrive_rete = false;  // it writes the output layer's results into the step's rete
};

// The rows that correct one input's weights, in row order, with their value
// of the input (and room for merging). One per thread, each on cache lines
// of its own.
struct alignas(64) voci_ingresso {
  int riga[LOTTO_MASSIMO];
  double x[LOTTO_MASSIMO];
  int quante = 0;
  int riga_2[LOTTO_MASSIMO];
  double x_2[LOTTO_MASSIMO];
};

// Whether the threads pay for themselves: on a machine whose cores other
// processes also use, a thread that loses its core holds up the others at
// every step. So thread 0 times windows of steps and now and then runs a
// window alone, doing every thread's part itself (the same operations on
// the same data, so the same bits), and keeps whichever way was faster.
struct adattamento {
  int finestra = 0;    // rows per window, at least; 0: never alone
  bool solo = false;   // thread 0 does every part alone
  bool prova = false;  // this window tries the other way
  int passi = 0;       // steps so far in this window
  long righe = 0;
  std::chrono::steady_clock::time_point inizio;
  double per_riga[2] = {-1.0, -1.0};  // seconds per row, together and alone
  int attesa = 1;                     // windows between tries, doubled after each failed one
  int contate = 0;
};

struct motore_fili {
  addestramento_veloce& a;
  livello_simd livello;
  int fili;
  std::unique_ptr<squadra> team;
  bool in_corso = false;  // threads 1 ... fili - 1 are in their loop
  bool ferma = false;
  int corrente = 0;       // dati[corrente] is this step's
  dati_passo dati[2];
  std::unique_ptr<filo_stato[]> stati;
  // Every block at once, for thread 0 alone: the threads' weights are
  // gathered here while it goes alone, and handed back after.
  std::unique_ptr<filo_stato> solo;
  int giuste = 0, classe = -1;  // the last step's
  std::unique_ptr<voci_ingresso[]> voci;  // one per thread
  adattamento ad;
  bool pronto = false;  // every thread's state was made: the weights are in them

  motore_fili(addestramento_veloce& a_, livello_simd l, int n) : a(a_), livello(l), fili(n) {}
};

// Every input of a row, 0 ... N_AFFERENTI: the list of a forward pass or a
// correction that leaves none out.
inline const std::array<int16_t, INGRESSI>& ogni_ingresso_fili() {
  static const auto t = [] {
    std::array<int16_t, INGRESSI> s{};
    for (int j = 0; j < INGRESSI; ++j) s[static_cast<size_t>(j)] = static_cast<int16_t>(j);
    return s;
  }();
  return t;
}

// A row's nonzero inputs spread over every input, zeros included, in
// denso: the list becomes 0 ... N_AFFERENTI, for a pass that must visit
// each input because some weight on it may not be finite.
inline void su_ogni_ingresso(double* denso, const int16_t*& indici, const double*& valori, int& n) {
  std::fill(denso, denso + INGRESSI, 0.0);
  for (int k = 0; k < n; ++k) denso[indici[k]] = valori[k];
  indici = ogni_ingresso_fili().data();
  valori = denso;
  n = INGRESSI;
}

// ---- Register blocks ------------------------------------------------------------------

// f.template operator()<NB>() for NB = nb, 1 ... BLOCCO: the accumulators of
// a block stay in registers only when their number is known.
template <int NB = 1, typename F>
[[gnu::always_inline]] inline void con_blocco(int nb, F&& f) {
  if constexpr (NB < BLOCCO) {
    if (nb != NB) return con_blocco<NB + 1>(nb, f);
  }
  f.template operator()<NB>();
}

// ---- The phases of a step ---------------------------------------------------------------

// Sizes the step's data for quante rows and takes their labels.
void prepara_dati(dati_passo& d, const int32_t* pixel, const int32_t* etichette, int quante);
// Lists the inputs of the step's rows into el, and then for a step of
// several rows the rows input by input (passo_fili_righe.cpp).
void elenca_righe(const dati_passo& d, elenco& el, livello_simd livello);
// A thread's hidden forward pass, on the rows as el lists them (passo_fili_avanti.cpp).
void fase_1(const motore_fili& m, filo_stato& s, const elenco& el, const dati_passo& d);
// A thread's output layer, errors and corrections (passo_fili_correzioni.cpp).
void fase_2(motore_fili& m, filo_stato& s, voci_ingresso& r, const elenco& el, const dati_passo& d);
