// What velmora_apms prints of a run: the settings it trains with, the
// progress of an epoch on a terminal, and the closing accuracies.
#pragma once

#include <chrono>
#include <functional>

#include "dati.h"
#include "lib.h"
#include "opzioni.h"
#include "valutazione.h"

// 100 x parte / tutto, or 0 when tutto is 0.
double percentuale(int parte, int tutto);
// Seconds since inizio, for the lines printed on a terminal only.
double secondi_da(std::chrono::steady_clock::time_point inizio);

// The lines that open a run: the rows of each set, the epochs, rate and
// seed, and every other setting when one differs from its default, so that
// a printed log says how to reproduce its run.
void stampa_testata(const opzioni& o, const dati& d, int righe_lette);

// The progress of an epoch on a terminal, rewritten in place.
void barra(int epoca, int epoche, int fatte, int tutte, int giuste, double secondi);

// How a run evaluates a set of rows: valuta_righe, or the same on threads.
using valutazione_righe = std::function<risultato(rete_cifre&, const righe_cifre&)>;

// The accuracy on the training rows, on the validation share and on the
// held-out ones, and the confusion matrix of the held-out rows (of the
// training rows without them).
void riepilogo(rete_cifre& rete, const dati& d, const opzioni& o, const valutazione_righe& valuta = valuta_righe);
