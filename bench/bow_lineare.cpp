// The linear rule of velmora_bow timed in memory, for bench/bow_lineare.sh.
//
//   bow_lineare tempi ADDESTRAMENTO VERIFICA [GIRI]
//       with every text read once into memory: the median time of training
//       the linear rule on ADDESTRAMENTO, and of scoring every text of
//       VERIFICA under lineare and under complemento (against the model
//       addestra would save from ADDESTRAMENTO), over GIRI runs (default 5).
//
//   bow_lineare verifica ADDESTRAMENTO VERIFICA
//       trains the linear rule on ADDESTRAMENTO as addestra --lineare does
//       and prints, on one tab-separated line: the held-out texts right and
//       accepted, the settings chosen and their cross-validated accuracy,
//       the temperature, the expected calibration error of the
//       probabilities on VERIFICA (15 equal bins of the top probability:
//       the mean over texts of |accuracy - confidence| of each text's bin),
//       and the CPU seconds of training.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "misura.h"
#include "bow_lib.h"
#include "corpus.h"
#include "lineare.h"
#include "punteggi.h"

namespace {

struct letto {
  std::string path;
  int classe;
  std::vector<voce_parola> voci;  // for the count rules
  testo_lineare testo;            // for the linear rule
};

// The texts of the corpus velmora_bow accepts, in its order.
std::vector<letto> leggi(const char* cartella) {
  corpus c;
  if (!elenca_corpus(cartella, c)) std::exit(1);
  std::vector<letto> out;
  for (const file_corpus& f : c.file) {
    tabella_parole t;
    std::string byte;
    if (leggi_e_conta(f.path, t, nullptr, false, &byte) == lettura::letta)
      out.push_back({f.path, f.classe, voci_ordinate(t), testo_lineare_da(byte, f.classe)});
  }
  return out;
}

double mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int tempi(const char* addestramento, const char* verifica, int giri) {
  const std::vector<letto> a = leggi(addestramento), v = leggi(verifica);
  std::vector<testo_lineare> testi;
  borsa bag;
  for (const letto& t : a) {
    testi.push_back(t.testo);
    unisci_parole(bag.testa, t.voci, t.classe);
  }
  const modello_indicizzato mi = indicizza_modello(bag.testa);
  const pesi_regola complemento = prepara_regola(mi, {regola::complemento, ALFA_COMPLEMENTO, false});
  std::vector<double> ta, tl, tc;
  modello_lineare m;
  long scelte = 0;  // keeps the scoring from being optimised away
  for (int g = 0; g < giri; ++g) {
    ta.push_back(fase([&] { m = addestra_lineare(testi); }).cpu);
    tl.push_back(fase([&] {
      for (const letto& t : v) {
        double s[CLASSI];
        punteggi_testo_lineare(m, t.testo, s);
        scelte += classe_lineare(m, s);
      }
    }).cpu);
    tc.push_back(fase([&] {
      for (const letto& t : v) {
        double s[CLASSI];
        punteggi_regola(mi, complemento, t.voci, posizioni_nel_modello(mi, t.voci), s);
        scelte += classe_regola(complemento, s);
      }
    }).cpu);
  }
  std::printf("testi %zu di addestramento, %zu di verifica; %zu tratti; %d giri (mediane, ms di CPU)\n", a.size(),
              v.size(), m.posti.size(), giri);
  std::printf("addestramento lineare, convalida della scelta compresa: %.1f ms\n", mediana(ta));
  std::printf("punteggi lineare: %.2f ms, %.2f us per testo\n", mediana(tl), 1e3 * mediana(tl) / v.size());
  std::printf("punteggi complemento: %.2f ms, %.2f us per testo\n", mediana(tc), 1e3 * mediana(tc) / v.size());
  return scelte < 0;
}

int verifica(const char* addestramento, const char* verifica) {
  const std::vector<letto> a = leggi(addestramento), v = leggi(verifica);
  std::vector<testo_lineare> testi;
  for (const letto& t : a) testi.push_back(t.testo);
  modello_lineare m;
  const double cpu = fase([&] { m = addestra_lineare(testi); }).cpu;
  constexpr int CESTI = 15;
  double fiducia[CESTI] = {}, giusti_cesto[CESTI] = {};
  long quanti[CESTI] = {}, giusti = 0;
  for (const letto& t : v) {
    double s[CLASSI], p[CLASSI];
    punteggi_testo_lineare(m, t.testo, s);
    probabilita_lineari(m, s, p);
    const int k = classe_lineare(m, s);
    const int c = std::min(CESTI - 1, static_cast<int>(p[k] * CESTI));
    fiducia[c] += p[k];
    giusti_cesto[c] += k == t.classe;
    ++quanti[c];
    giusti += k == t.classe;
  }
  double ece = 0.0;
  if (std::getenv("CESTI"))
    for (int c = 0; c < CESTI; ++c)
      if (quanti[c]) std::fprintf(stderr, "cesto %d: %ld testi, fiducia %.3f, accuratezza %.3f\n", c, quanti[c], fiducia[c] / quanti[c], giusti_cesto[c] / quanti[c]);
  for (int c = 0; c < CESTI; ++c)
    if (quanti[c] > 0) ece += std::fabs(giusti_cesto[c] - fiducia[c]) / static_cast<double>(v.size());
  std::printf("%ld\t%zu\tC %g, coppie %s, rapporti NB %s\t%.4f\t%.4f\t%.4f\t%.3f\n", giusti, v.size(), m.scelta.c,
              m.scelta.coppie ? "si" : "no", m.scelta.rapporti ? "si" : "no", m.accuratezza_cv, m.temperatura, ece,
              cpu);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "tempi") == 0)
    return tempi(argv[2], argv[3], argc == 5 ? std::max(1, std::atoi(argv[4])) : 5);
  if (argc == 4 && std::strcmp(argv[1], "verifica") == 0) return verifica(argv[2], argv[3]);
  std::printf("Uso: bow_lineare tempi ADDESTRAMENTO VERIFICA [GIRI]\n"
              "     bow_lineare verifica ADDESTRAMENTO VERIFICA\n");
  return 1;
}
