#include "testo_pesato.h"

#include <algorithm>
#include <string>
#include <utility>

#include "punteggi.h"

testo_pesato pesa_testo(const valutatore& v, std::vector<voce_parola> voci, std::string_view byte) {
  testo_pesato t;
  t.voci = std::move(voci);
  t.lineare = v.p.tipo == regola::lineare;
  if (t.lineare) {
    t.tratti = tratti_lineari(v.lineare, byte);
    // A cleaned word stands for the feature of the same name, when the
    // model holds one (the linear rule reads words its own way: a word the
    // cleaning splits, as citt of citta', has none).
    t.posizioni.assign(t.voci.size(), -1);
    for (size_t j = 0; j < t.tratti.size(); ++j) {
      const tratto_lineare& f = t.tratti[j];
      if (f.indice < 0 || f.nome.find(' ') != std::string::npos) continue;
      voce_parola chiave{};
      if (f.nome.size() >= LUNGHEZZA_PAROLA) continue;
      std::copy(f.nome.begin(), f.nome.end(), chiave.parola);
      const auto it = std::lower_bound(t.voci.begin(), t.voci.end(), chiave, [](const voce_parola& a, const voce_parola& b) {
        return std::string_view(a.parola) < std::string_view(b.parola);
      });
      if (it != t.voci.end() && std::string_view(it->parola) == f.nome)
        t.posizioni[static_cast<size_t>(it - t.voci.begin())] = static_cast<long>(j);
    }
  } else {
    t.posizioni = posizioni_nel_modello(v.m, t.voci);
  }
  t.scelta = valuta_testo(v, t.voci, byte, t.punteggi);
  return t;
}

size_t voci_del_testo(const testo_pesato& t) { return t.lineare ? t.tratti.size() : t.voci.size(); }

bool nel_modello(const testo_pesato& t, size_t i) { return t.lineare ? t.tratti[i].indice >= 0 : t.posizioni[i] >= 0; }

const char* nome_voce(const testo_pesato& t, size_t i) { return t.lineare ? t.tratti[i].nome.c_str() : t.voci[i].parola; }

double occorrenze_voce(const testo_pesato& t, size_t i) {
  return t.lineare ? static_cast<double>(t.tratti[i].n) : occorrenze(t.voci[i]);
}

double termine_voce(const valutatore& v, const testo_pesato& t, size_t i, int k) {
  if (t.lineare) return contributo_lineare(v.lineare, t.tratti[i], k);
  return termine(v.m, v.r, t.posizioni[i], occorrenze(t.voci[i]), k);
}

double termine_parola(const valutatore& v, const testo_pesato& t, size_t i, int k) {
  if (t.posizioni[i] < 0) return 0.0;
  if (t.lineare) return contributo_lineare(v.lineare, t.tratti[static_cast<size_t>(t.posizioni[i])], k);
  return termine(v.m, v.r, t.posizioni[i], occorrenze(t.voci[i]), k);
}
