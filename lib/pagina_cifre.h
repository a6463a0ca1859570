// The digits page (velmora_apms and velmora_gpms --rapporto): one HTML file
// that shows what the network learned and how it got there. The learning
// curve, each hidden neuron's incoming weights as a picture, each digit's
// template, the confusion heat map with the rows of each cell, the misread
// rows drawn with their ten outputs, a pad to draw a digit on whose outputs
// the page computes from the run's own weights, and the run's settings and
// files. Every figure is also in the page's JSON block. docs/pagine.md says
// what each one is and how it is computed.
//
// The same history as a table for other tools: curva_tsv (--curva).
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "impronta.h"
#include "lib.h"

// Misread rows the page draws at most, the most confident first; the JSON
// block and the cells' lists name every one.
inline constexpr int SBAGLIATE_MOSTRATE = 100;

// One epoch of a training run. A set with 0 rows was not evaluated; a cost
// not computed is NaN.
struct epoca_curva {
  int epoca = 0;
  double tasso = 0.0;  // the rate the epoch trained with
  int giuste = 0;      // training rows recognised just before the step that learned from them
  int righe = 0;
  int giuste_validazione = 0, righe_validazione = 0;
  double costo_validazione = NAN;  // mean cost per row of the epoch's network on those rows
  int giuste_verifica = 0, righe_verifica = 0;
  double costo_verifica = NAN;
  double costo_addestramento = NAN;  // on the training rows after the epoch, when no other set is held out
};

// The epochs as a tab-separated table: a header line, then one line per
// epoch; percentages as the trainer prints them (%.2f), counts and the rate
// as they are, costs as the shortest decimal that reads back as the same
// double; an empty field for a set the run has not.
std::string curva_tsv(const std::vector<epoca_curva>& epoche);

// The epoch whose held-out accuracy is highest (validation rows, else the
// held-out rows, else the training rows during the epoch), the earliest of
// equals; 0 for no epoch.
int epoca_migliore(const std::vector<epoca_curva>& epoche);

// One row the network read, as the page keeps it.
struct riga_letta {
  int riga = 0;       // its number in its file, from 1
  int etichetta = 0;
  int risposta = -1;  // the digit recognised, -1 for none
  std::array<double, N_EFFERENTI> uscite{};
  std::array<uint8_t, N_AFFERENTI> pixel{};
};

// A file of the run: what it is, its path and the fingerprint of its bytes.
struct file_corsa {
  std::string ruolo;  // "righe di addestramento", "pesi intercalari", ...
  std::string path;
  bool letto = false;  // false: it could not be read again for its fingerprint
  impronta byte;
};
// The file at path with its fingerprint.
file_corsa descrivi_file(std::string ruolo, const char* path);

struct pagina_cifre {
  std::string programma;  // "velmora_apms", "velmora_gpms"
  const rete_cifre* rete = nullptr;

  // The learning curve: a trainer's run has one, velmora_gpms has none.
  bool con_storia = false;
  std::vector<epoca_curva> storia;
  int epoche_senza_storia = 0;  // epochs done before a resume that kept no history
  int epoca_tenuta = 0;         // the epoch whose weights were written
  std::string tenuta;           // how they were chosen, in words

  // The rows the matrix and the misread rows are on.
  std::string insieme;
  std::array<std::array<std::vector<int>, N_EFFERENTI>, N_EFFERENTI> celle;  // row numbers, [label][answer]
  int senza_risposta = 0;
  int righe = 0;
  std::vector<riga_letta> sbagliate;  // every misread row, in file order

  std::vector<std::pair<std::string, std::string>> impostazioni;  // name, value
  std::vector<file_corsa> file;
};

// Counts one row the network read: its cell, and the row itself when misread.
void conta_riga(pagina_cifre& p, int riga, int etichetta, int risposta, const double* uscite, const int32_t* pixel);

// The whole page.
std::string componi_pagina_cifre(const pagina_cifre& p);

// The script of the page (pagina_cifre_script.cpp).
extern const char* const SCRIPT_PAGINA_CIFRE;
