// Every figure is a ratio of whole counts, computed in one division, so the
// report is the same on every machine.
#include "rapporto.h"

#include <cstdio>

#include "nomi.h"
#include "uscita.h"

namespace {

struct riassunto {
  int64_t file[CLASSI] = {};    // row sums: files whose true class is k
  int64_t scelti[CLASSI] = {};  // column sums: files put in class k
  int64_t corretti = 0, totale = 0;
};

riassunto riassumi(const esito_valutazione& e) {
  riassunto r;
  for (int v = 0; v < CLASSI; ++v) {
    for (int s = 0; s < CLASSI; ++s) {
      r.file[v] += e.confusione[v][s];
      r.scelti[s] += e.confusione[v][s];
    }
    r.corretti += e.confusione[v][v];
    r.totale += r.file[v];
  }
  return r;
}

// "%5.1f%%" of parte / tutto in a field of 11, or "-" when tutto is 0.
void percentuale(int64_t parte, int64_t tutto) {
  if (tutto == 0) {
    std::printf("%11s", "-");
  } else {
    std::printf("%10.1f%%", 100.0 * static_cast<double>(parte) / static_cast<double>(tutto));
  }
}

void stampa_classi(const esito_valutazione& e, const riassunto& r) {
  std::printf("Classe       File   Corretti Precisione   Richiamo         F1\n");
  for (int k = 0; k < CLASSI; ++k) {
    const int64_t giusti = e.confusione[k][k];
    std::printf("%6d %10lld %10lld", k, static_cast<long long>(r.file[k]), static_cast<long long>(giusti));
    percentuale(giusti, r.scelti[k]);
    percentuale(giusti, r.file[k]);
    // F1 = 2PR / (P + R) = 2 giusti / (file + scelti); "-" unless both P and R are defined.
    percentuale(2 * giusti, r.scelti[k] > 0 && r.file[k] > 0 ? r.file[k] + r.scelti[k] : 0);
    std::printf("\n");
  }
}

void stampa_matrice(const esito_valutazione& e) {
  std::printf("\nMatrice di confusione (righe: classe vera, colonne: classe scelta):\n    ");
  for (int s = 0; s < CLASSI; ++s) std::printf("%6d", s);
  std::printf("\n");
  for (int v = 0; v < CLASSI; ++v) {
    std::printf("%2d |", v);
    for (int s = 0; s < CLASSI; ++s) std::printf("%6lld", static_cast<long long>(e.confusione[v][s]));
    std::printf("\n");
  }
}

}  // namespace

void stampa_rapporto(const esito_valutazione& e, bool errori) {
  const riassunto r = riassumi(e);
  if (errori) {
    std::printf("File classificati male (classe vera, classe scelta, file): %zu\n", e.sbagliati.size());
    for (const file_sbagliato& f : e.sbagliati) {
      if (uscita_interrotta()) return;
      std::printf("%d %d %s\n", f.vera, f.scelta, stampabile(f.path).c_str());
    }
    std::printf("\n");
  }
  stampa_classi(e, r);
  if (r.totale > 0) {
    std::printf("Accuratezza: %.2f%%\n", 100.0 * static_cast<double>(r.corretti) / static_cast<double>(r.totale));
  } else {
    std::printf("Accuratezza: -\n");
  }
  stampa_matrice(e);
  if (!e.scarti.empty()) std::printf("\n");
  stampa_scarti(e.scarti);
  std::printf("\nCorretti %lld di %lld\n", static_cast<long long>(r.corretti), static_cast<long long>(r.totale));
}
