// velmora_apms --rapporto and --curva: the run's page and its epochs as a
// table, checked at the door with the other targets, written after the
// weights through the suite's atomic write. "-" gives standard output to
// the page or the table alone: every message then goes to standard error.
#pragma once

#include <cstdio>

#include <functional>
#include <string>
#include <vector>

#include "dati.h"
#include "opzioni.h"
#include "pagina_cifre.h"
#include "passo.h"
#include "valutazione.h"

// The mean cost per row of the rows whose outputs are uscite (quante x
// N_EFFERENTI), the run's cost function without the L2 term, summed row
// after row. The logarithms of the cross-entropy take an output of exactly
// 0 or 1 as 1e-300 from it, so a saturated output costs a lot, not infinity.
double costo_medio(costo funzione, const righe_cifre& righe, const double* uscite);

// Whether the page and the table may be written where asked, checked before
// any row is read: each a file that can be written, or "-"; neither a weight
// file, the resume file, a rows file, nor the other. Otherwise prints why
// and returns false.
bool controlla_rapporti(const opzioni& o);

// What the page takes from the epochs.
struct esito_corsa {
  std::vector<epoca_curva> storia;
  int epoche_senza_storia = 0;
  int epoca_tenuta = 0;
  std::string tenuta;  // how the weights written were chosen
};

// A set of rows evaluated, each row's outputs kept.
using valutazione_uscite = std::function<risultato(rete_cifre&, const righe_cifre&, double*)>;

// Writes the page and the table asked for, after the weights: rete holds
// the weights written; "-" writes to uscita, the stream standard output was
// given over to (uscita_dati.h). false after a message naming the file not written.
bool scrivi_rapporti(const opzioni& o, const dati& d, rete_cifre& rete, const esito_corsa& e,
                     const valutazione_uscite& valuta, std::FILE* uscita);
