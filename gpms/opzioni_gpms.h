// The command line of velmora_gpms: the three files and the options, in any order.
#pragma once

#include <climits>

#include "riga_comando.h"

struct opzioni_galleria {
  const char* posizionali[3] = {};  // rows file, hidden-layer weights, output-layer weights
  int quanti = 0;                   // positional arguments given
  bool tutte = false;
  bool elenco = false;
  bool schermo = false;
  int massimo = INT_MAX;
  const char* png = nullptr;         // the contact sheet, or "-" for standard output
  const char* predizioni = nullptr;  // the tab-separated predictions, or "-" for standard output
  const char* rapporto = nullptr;    // the digits page, or "-" for standard output
};

// Reads the command line with the suite's scanner; fewer than three files
// leave quanti below 3, for the caller to print the usage. sbagliata after a
// message naming what is wrong; aiuto and versione for --help and --version.
esito_comando leggi_opzioni_galleria(int argc, char** argv, opzioni_galleria& o);

// Whether the command line sends an output to standard output ("-" given
// to --png, --predizioni or --rapporto): nothing else may then be printed there, the
// banner neither, which comes before the command line is read.
bool chiede_standard_output(int argc, char** argv);
