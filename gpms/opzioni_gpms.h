// The command line of velmora_gpms: the three files and the options, in any order.
#pragma once

#include <climits>

struct opzioni_galleria {
  const char* posizionali[3] = {};  // rows file, hidden-layer weights, output-layer weights
  int quanti = 0;                   // positional arguments given
  bool tutte = false;
  bool elenco = false;
  bool schermo = false;
  int massimo = INT_MAX;
  const char* png = nullptr;
};

// Options may come anywhere among the three files. false: a message was printed.
bool leggi_opzioni_galleria(int argc, char** argv, opzioni_galleria& o);
