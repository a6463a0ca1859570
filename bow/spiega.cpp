// velmora_bow spiega FILE: why a text goes to the class it goes to. The ten
// scores, printed as classifica prints them, then for the chosen class and
// the runner-up the words that weigh most in each score, and the words that
// set the two apart.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "spiega.h"

#include "azioni_comuni.h"
#include "bow_lib.h"
#include "corpus.h"
#include "nomi.h"
#include "punteggi.h"
#include "valori.h"

namespace {

constexpr long PAROLE_PREDEFINITE = 10;

void uso_spiega() {
  std::printf("Uso: velmora_bow spiega FILE [--punteggio NOME] [--alfa A] [--parole N]\n"
              "Classifica FILE con Bow.txt come classifica e spiega la scelta: per la classe scelta e\n"
              "per la seconda, le parole che pesano di piu' nel punteggio (conteggio nel testo, nella\n"
              "classe, termine nel punteggio), e quelle che separano di piu' le due classi.\n"
              "Non scrive niente.\n");
  uso_punteggio();
  std::printf("--parole N        quante parole per elenco (predefinito: %ld)\n", PAROLE_PREDEFINITE);
}

// What the text holds, as the rule sees it.
struct testo_pesato {
  std::vector<voce_parola> voci;
  std::vector<long> posizioni;
  double punteggi[CLASSI];
  int scelta, seconda;  // seconda: -1 when no other class has data
};

// The runner-up: the best of the classes with data other than scelta, the lower on a tie.
int seconda_classe(const pesi_regola& r, const double punteggi[CLASSI], int scelta) {
  int seconda = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (k != scelta && r.con_dati[k] && (seconda < 0 || punteggi[k] > punteggi[seconda])) seconda = k;
  return seconda;
}

// One word of the text with its term in a class, or the difference of its terms in two.
struct riga_parola {
  size_t i;      // index in the text's words
  double peso;   // what is sorted on: the magnitude of the term
  double valore;
};

// The words with the largest magnitudes of valore(i), at most n, ties in word order.
template <class Valore>
std::vector<riga_parola> primi(const testo_pesato& t, long n, Valore valore) {
  std::vector<riga_parola> righe;
  for (size_t i = 0; i < t.voci.size(); ++i) {
    if (t.posizioni[i] < 0) continue;
    const double v = valore(i);
    righe.push_back({i, std::fabs(v), v});
  }
  std::stable_sort(righe.begin(), righe.end(), [](const riga_parola& a, const riga_parola& b) { return a.peso > b.peso; });
  if (righe.size() > static_cast<size_t>(n)) righe.resize(static_cast<size_t>(n));
  return righe;
}

void stampa_classe(const modello_indicizzato& m, const pesi_regola& r, const testo_pesato& t, int k,
                   const char* quale, long n) {
  std::printf("\n%s: classe %d (parole totali %d), punteggio %f\n", quale, k, m.totali[k], t.punteggi[k]);
  if (r.p.tipo == regola::velmora) std::printf("parte fissa: -1\n");
  if (r.p.tipo == regola::bayes) std::printf("parte fissa, ln(T/totale): %f\n", r.base[k]);
  std::printf("%-31s %10s %12s %16s\n", "parola", "nel testo", "nella classe", "termine");
  for (const riga_parola& w : primi(t, n, [&](size_t i) { return termine(m, r, t.posizioni[i], occorrenze(t.voci[i]), k); })) {
    const size_t pos = static_cast<size_t>(t.posizioni[w.i]);
    std::printf("%-31s %10.0f %12d %16.6f\n", t.voci[w.i].parola, occorrenze(t.voci[w.i]), m.conteggi[pos][k], w.valore);
  }
}

void stampa_differenze(const modello_indicizzato& m, const pesi_regola& r, const testo_pesato& t, long n) {
  const int a = t.scelta, b = t.seconda;
  std::printf("\nLe parole che separano di piu' le due classi (termine in %d meno termine in %d):\n", a, b);
  char nella_a[16], nella_b[16];
  std::snprintf(nella_a, sizeof nella_a, "nella %d", a);
  std::snprintf(nella_b, sizeof nella_b, "nella %d", b);
  std::printf("%-31s %10s %12s %12s %16s\n", "parola", "nel testo", nella_a, nella_b, "differenza");
  for (const riga_parola& w : primi(t, n, [&](size_t i) {
         const double q = occorrenze(t.voci[i]);
         return termine(m, r, t.posizioni[i], q, a) - termine(m, r, t.posizioni[i], q, b);
       })) {
    const size_t pos = static_cast<size_t>(t.posizioni[w.i]);
    std::printf("%-31s %10.0f %12d %12d %16.6f\n", t.voci[w.i].parola, occorrenze(t.voci[w.i]), m.conteggi[pos][a],
                m.conteggi[pos][b], w.valore);
  }
}

void stampa_regola(const pesi_regola& r, const testo_pesato& t) {
  long ignote = 0, tutte = 0;
  for (size_t i = 0; i < t.voci.size(); ++i) {
    ignote += t.posizioni[i] < 0;
    tutte += static_cast<long>(occorrenze(t.voci[i]));
  }
  static const char* const FORMULE[] = {
      "log10(c/T) x n / T per una parola che la classe ha visto, log10(1/T) x n per una che non ha visto, poi -1",
      "ln(T/totale) + somma di n x ln((c + alfa) / (T + alfa x V))",
      "somma di n x -ln((c' + alfa) / (T' + alfa x V)), c' e T' delle altre classi"};
  std::printf("\nPunteggio %s", nome_regola(r.p.tipo));
  if (r.p.tipo != regola::velmora) std::printf(", alfa %g", r.p.alfa);
  std::printf(": %s\n", FORMULE[static_cast<int>(r.p.tipo)]);
  std::printf("Parole del testo: %ld, %zu diverse, %ld ignote al modello (non contano)\n", tutte, t.voci.size(),
              ignote);
}

// Loads the model and counts the text at path as classifica reads it, with
// its messages, but cleaned in memory. false: a message was printed.
bool leggi_modello_e_testo(const char* path, modello_indicizzato& m, tabella_parole& tabella) {
  if (!carica_e_indicizza(m, "Senza un modello non c'e' niente da spiegare: prima velmora_bow addestra o aggiungi"))
    return false;
  switch (leggi_e_conta(path, tabella)) {
    case lettura::letta:
      return true;
    case lettura::troppo_lunga:
      parola_troppo_lunga();
      return false;
    default:
      std::printf("File %s non trovato\n", stampabile(path).c_str());
      return false;
  }
}

}  // namespace

int spiega(int argc, char** argv) {
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, {{"--parole", 1}}, {{"FILE"}}, uso_spiega, letta)) return letta.stato;
  const riga_comando& r = letta.r;
  const punteggio& p = letta.p;
  const long n = leggi_numero_parole(r, "--parole", PAROLE_PREDEFINITE);
  if (n < 0) {
    uso_spiega();
    return 1;
  }
  modello_indicizzato m;
  tabella_parole tabella;
  if (!leggi_modello_e_testo(r.posizionali[0], m, tabella)) return 1;
  const pesi_regola regola = prepara_regola(m, p);
  testo_pesato t;
  t.voci = voci_ordinate(tabella);
  t.posizioni = posizioni_nel_modello(m, t.voci);
  punteggi_regola(m, regola, t.voci, t.posizioni, t.punteggi);
  t.scelta = classe_regola(regola, t.punteggi);
  t.seconda = seconda_classe(regola, t.punteggi, t.scelta);
  stampa_classificazione(regola, t.punteggi, t.scelta);
  stampa_regola(regola, t);
  if (!regola.con_dati[t.scelta]) {
    std::printf("Nessuna classe ha dati: non c'e' niente da spiegare\n");
    return 0;
  }
  stampa_classe(m, regola, t, t.scelta, "Scelta", n);
  if (t.seconda < 0) {
    std::printf("\nNessun'altra classe ha dati\n");
    return 0;
  }
  stampa_classe(m, regola, t, t.seconda, "Seconda", n);
  stampa_differenze(m, regola, t, n);
  return 0;
}
