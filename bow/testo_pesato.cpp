#include "testo_pesato.h"

#include <utility>

#include "lineare.h"
#include "punteggi.h"

namespace {

bool lineare(const valutatore& v) { return v.p.tipo == regola::lineare; }

}  // namespace

testo_pesato pesa_testo(const valutatore& v, std::vector<voce_parola> voci) {
  testo_pesato t;
  t.voci = std::move(voci);
  t.posizioni = lineare(v) ? posizioni_lineari(v.lineare, t.voci) : posizioni_nel_modello(v.m, t.voci);
  if (lineare(v)) t.x = componenti_lineari(t.voci, t.posizioni);
  t.scelta = valuta_testo(v, t.voci, t.punteggi);
  return t;
}

double termine_parola(const valutatore& v, const testo_pesato& t, size_t i, int k) {
  if (lineare(v)) return contributo_lineare(v.lineare, t.posizioni[i], t.x[i], k);
  return termine(v.m, v.r, t.posizioni[i], occorrenze(t.voci[i]), k);
}

const std::vector<std::array<char, LUNGHEZZA_PAROLA>>& parole_del_modello(const valutatore& v) {
  return lineare(v) ? v.lineare.parole : v.m.parole;
}

double termine_unitario(const valutatore& v, long posizione, int k) {
  if (lineare(v)) return contributo_lineare(v.lineare, posizione, 1.0, k);
  return termine(v.m, v.r, posizione, 1.0, k);
}
