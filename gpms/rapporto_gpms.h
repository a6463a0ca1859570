// velmora_gpms --rapporto FILE.html: the digits page of a pair of weight
// files on a rows file, without a learning curve (the weights alone carry
// no history).
#pragma once

#include <cstdio>

#include "lib.h"
#include "opzioni_gpms.h"
#include "pagina_cifre.h"

// Whether the page may go where asked: not the target of the sheet or of
// the predictions (two outputs, one file). Otherwise prints why and returns false.
bool controlla_rapporto(const opzioni_galleria& o);

// Writes the page of the rows counted in p (conta_riga) and the weights of
// rete, to o.rapporto or, for "-", to dati; false after naming the file.
bool scrivi_rapporto(const opzioni_galleria& o, const rete_cifre& rete, pagina_cifre& p, std::FILE* dati);
