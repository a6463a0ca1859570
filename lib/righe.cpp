#include "righe.h"

#include <algorithm>
#include <cctype>

#include "nomi.h"

namespace {

// Skips blanks and line breaks; true when the file has nothing else left.
bool solo_spazi_alla_fine(lettore_righe& l) {
  for (int c; (c = leggi_byte(l)) != EOF;) {
    if (!std::isspace(c)) {
      rimetti_byte(l, c);
      return false;
    }
  }
  return true;
}

}  // namespace

esito_riga_csv leggi_riga_controllata(lettore_righe& l, int32_t* pixel, int32_t& etichetta) {
  if (solo_spazi_alla_fine(l)) return esito_riga_csv::fine;
  etichetta = -1;
  if (leggi_riga(l, pixel, etichetta) != N_AFFERENTI + 1 || !chiudi_riga(l)) return esito_riga_csv::non_valida;
  return etichetta < 0 || etichetta > 9 ? esito_riga_csv::etichetta_fuori : esito_riga_csv::letta;
}

void stampa_riga_rifiutata(esito_riga_csv esito, int riga, const char* path, int32_t etichetta) {
  if (esito == esito_riga_csv::etichetta_fuori)
    std::printf("Riga %d del file %s: etichetta %d fuori dall'intervallo 0 ... 9\n", riga, stampabile(path).c_str(),
                etichetta);
  else
    std::printf("Riga %d del file %s non valida\n", riga, stampabile(path).c_str());
}

bool carica_righe(std::FILE* f, const char* path, righe_cifre& righe, bool diretta) {
  // The reader's straightforward mode is the one it keeps for pipes.
  lettore_righe l = crea_lettore(f, diretta ? 1 : CAPIENZA_LETTORE);
  if (diretta) l.ricercabile = false;
  int32_t pixel[N_AFFERENTI] = {};
  for (;;) {
    int32_t etichetta = -1;
    const esito_riga_csv esito = leggi_riga_controllata(l, pixel, etichetta);
    if (esito == esito_riga_csv::fine) return true;
    if (esito != esito_riga_csv::letta) {
      stampa_riga_rifiutata(esito, righe.quante + 1, path, etichetta);
      return false;
    }
    righe.pixel.insert(righe.pixel.end(), pixel, pixel + N_AFFERENTI);
    righe.etichette.push_back(etichetta);
    ++righe.quante;
  }
}

void prendi_riga(rete_cifre& rete, const righe_cifre& righe, int r) {
  const int32_t* p = righe.pixel.data() + static_cast<size_t>(r) * N_AFFERENTI;
  std::copy(p, p + N_AFFERENTI, rete.pixel);
  rete.etichetta = righe.etichette[static_cast<size_t>(r)];
}
