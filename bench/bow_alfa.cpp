// The smoothing of velmora_bow's two Bayes rules, chosen by cross-validation
// on a training corpus alone: its texts are dealt into PIEGHE folds (text i
// of each class, in name order, into fold i % PIEGHE); each fold in turn is
// scored against the model addestra would save from the other folds, under
// each rule and smoothing, and the texts each gets right are summed over the
// folds, so every training text is validated once.
//   bow_alfa ADDESTRAMENTO [PIEGHE]          (default 4)
// The rule for the choice: the most texts right, on a tie the larger
// smoothing; the complement weights are normalised only if that beats the
// plain weights by more than one standard error.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bow_lib.h"
#include "pulizia.h"
#include "corpus.h"
#include "punteggi.h"

namespace {

struct testo {
  std::unique_ptr<tabella_parole> tabella;
  std::vector<voce_parola> voci;
  int classe, piega;
};

// The model addestra would save from every text outside fold piega.
modello_indicizzato modello_senza(const std::vector<testo>& testi, int piega) {
  borsa modello;
  for (int k = 0; k < CLASSI; ++k) {
    tabella_parole classe;
    for (const testo& t : testi)
      if (t.classe == k && t.piega != piega) unisci_tabelle(classe, *t.tabella);
    unisci_parole(modello.testa, voci_ordinate(classe), k);
  }
  return indicizza_modello(modello.testa);
}

// The texts of fold piega that the rule gets right.
int giusti(const modello_indicizzato& m, const std::vector<testo>& testi, int piega, punteggio p) {
  const pesi_regola r = prepara_regola(m, p);
  int g = 0;
  for (const testo& t : testi) {
    if (t.piega != piega) continue;
    double s[CLASSI];
    punteggi_regola(m, r, t.voci, posizioni_nel_modello(m, t.voci), s);
    g += classe_regola(r, s) == t.classe;
  }
  return g;
}

std::vector<testo> leggi_testi(const corpus& c, int pieghe) {
  std::vector<testo> testi;
  int nella_classe = 0;
  for (size_t i = 0; i < c.file.size(); ++i) {
    nella_classe = i > 0 && c.file[i].classe == c.file[i - 1].classe ? nella_classe + 1 : 0;
    testo t{std::make_unique<tabella_parole>(), {}, c.file[i].classe, nella_classe % pieghe};
    if (leggi_e_conta(c.file[i].path, *t.tabella) != lettura::letta) continue;
    t.voci = voci_ordinate(*t.tabella);
    testi.push_back(std::move(t));
  }
  return testi;
}

}  // namespace

int main(int argc, char** argv) {
  const int pieghe = argc == 3 ? std::atoi(argv[2]) : 4;
  corpus c;
  if ((argc != 2 && argc != 3) || pieghe < 2) {
    std::printf("Uso: bow_alfa ADDESTRAMENTO [PIEGHE]\n");
    return 1;
  }
  if (!elenca_corpus(argv[1], c)) return 1;
  const std::vector<testo> testi = leggi_testi(c, pieghe);
  const int n = static_cast<int>(testi.size());
  const double alfe[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.3, 0.5, 0.7, 1.0, 1.5, 2.0, 3.0};
  constexpr int ALFE = sizeof alfe / sizeof alfe[0];
  const punteggio varianti[] = {{regola::velmora, 0, false}, {regola::bayes, 0, false},
                                {regola::complemento, 0, false}, {regola::complemento, 0, true}};
  int g[ALFE][4] = {};
  for (int f = 0; f < pieghe; ++f) {
    const modello_indicizzato m = modello_senza(testi, f);
    for (int a = 0; a < ALFE; ++a)
      for (int v = 0; v < 4; ++v) g[a][v] += giusti(m, testi, f, {varianti[v].tipo, alfe[a], varianti[v].normalizza});
  }
  std::printf("%d training texts in %d folds, each validated once against the other folds\n", n, pieghe);
  std::printf("velmora: %d (%.2f%%)\n", g[0][0], 100.0 * g[0][0] / n);
  std::printf("%8s %18s %18s %18s\n", "alfa", "bayes", "complemento", "complemento norm.");
  int migliore[4] = {-1, -1, -1, -1};
  double alfa_migliore[4] = {};
  for (int a = 0; a < ALFE; ++a) {
    std::printf("%8g", alfe[a]);
    for (int v = 1; v < 4; ++v) {
      std::printf(" %8d (%6.2f%%)", g[a][v], 100.0 * g[a][v] / n);
      // The grid rises, so >= keeps the larger smoothing of a tie.
      if (g[a][v] >= migliore[v]) migliore[v] = g[a][v], alfa_migliore[v] = alfe[a];
    }
    std::printf("\n");
  }
  const double p = static_cast<double>(migliore[2]) / n, errore = std::sqrt(p * (1 - p) / n) * n;
  const bool normalizza = migliore[3] - migliore[2] > errore;
  std::printf("\nChosen: bayes alfa %g (%d); complemento alfa %g (%d), normalised: %s "
              "(normalised best %d at alfa %g; one standard error is %.1f texts)\n",
              alfa_migliore[1], migliore[1], alfa_migliore[normalizza ? 3 : 2], migliore[normalizza ? 3 : 2],
              normalizza ? "yes" : "no", migliore[3], alfa_migliore[3], errore);
  return 0;
}
