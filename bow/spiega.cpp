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
#include "testo_pesato.h"
#include "uscita.h"
#include "valori.h"

namespace {

constexpr long PAROLE_PREDEFINITE = 10;

void uso_spiega(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow spiega FILE [--punteggio NOME] [--alfa A] [--parole N]\n"
                  "Classifica FILE con Bow.txt come classifica e spiega la scelta: per la classe scelta e\n"
                  "per la seconda, le parole che pesano di piu' nel punteggio (conteggio nel testo, nella\n"
                  "classe, termine nel punteggio), e quelle che separano di piu' le due classi.\n"
                  "Non scrive niente.\n");
  uso_punteggio(f);
  std::fprintf(f, "--parole N        quante parole per elenco (predefinito: %ld)\n", PAROLE_PREDEFINITE);
}

bool lineare(const valutatore& v) { return v.p.tipo == regola::lineare; }

// What the model holds for item i in class k: its count in the class, or
// under lineare its weight.
void stampa_nella_classe(const valutatore& v, const testo_pesato& t, size_t i, int k) {
  if (lineare(v)) std::printf(" %12.6f", v.lineare.pesi[static_cast<size_t>(t.tratti[i].indice)][static_cast<size_t>(k)]);
  else std::printf(" %12d", v.m.conteggi[static_cast<size_t>(t.posizioni[i])][k]);
}

// The runner-up: the best of the classes with data other than scelta, the lower on a tie.
int seconda_classe(const valutatore& v, const double punteggi[CLASSI], int scelta) {
  int seconda = -1;
  for (int k = 0; k < CLASSI; ++k)
    if (k != scelta && con_dati(v, k) && (seconda < 0 || punteggi[k] > punteggi[seconda])) seconda = k;
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
  for (size_t i = 0; i < voci_del_testo(t); ++i) {
    if (!nel_modello(t, i)) continue;
    const double v = valore(i);
    righe.push_back({i, std::fabs(v), v});
  }
  std::stable_sort(righe.begin(), righe.end(), [](const riga_parola& a, const riga_parola& b) { return a.peso > b.peso; });
  if (righe.size() > static_cast<size_t>(n)) righe.resize(static_cast<size_t>(n));
  return righe;
}

void stampa_classe(const valutatore& v, const testo_pesato& t, int k, const char* quale, long n) {
  if (lineare(v)) {
    std::printf("\n%s: classe %d, punteggio %f\n", quale, k, t.punteggi[k]);
    std::printf("parte fissa, beta: %f\n", v.lineare.bias[static_cast<size_t>(k)]);
  } else {
    std::printf("\n%s: classe %d (parole totali %d), punteggio %f\n", quale, k, v.m.totali[k], t.punteggi[k]);
  }
  if (v.p.tipo == regola::velmora) std::printf("parte fissa: -1\n");
  if (v.p.tipo == regola::bayes) std::printf("parte fissa, ln(T/totale): %f\n", v.r.base[k]);
  std::printf("%-31s %10s %12s %16s\n", "parola", "nel testo", lineare(v) ? "peso" : "nella classe", "termine");
  for (const riga_parola& w : primi(t, n, [&](size_t i) { return termine_voce(v, t, i, k); })) {
    std::printf("%-31s %10.0f", nome_voce(t, w.i), occorrenze_voce(t, w.i));
    stampa_nella_classe(v, t, w.i, k);
    std::printf(" %16.6f\n", w.valore);
  }
}

void stampa_differenze(const valutatore& v, const testo_pesato& t, int b, long n) {
  const int a = t.scelta;
  std::printf("\nLe parole che separano di piu' le due classi (termine in %d meno termine in %d):\n", a, b);
  char nella_a[16], nella_b[16];
  const char* forma = lineare(v) ? "peso in %d" : "nella %d";
  std::snprintf(nella_a, sizeof nella_a, forma, a);
  std::snprintf(nella_b, sizeof nella_b, forma, b);
  std::printf("%-31s %10s %12s %12s %16s\n", "parola", "nel testo", nella_a, nella_b, "differenza");
  for (const riga_parola& w :
       primi(t, n, [&](size_t i) { return termine_voce(v, t, i, a) - termine_voce(v, t, i, b); })) {
    std::printf("%-31s %10.0f", nome_voce(t, w.i), occorrenze_voce(t, w.i));
    stampa_nella_classe(v, t, w.i, a);
    stampa_nella_classe(v, t, w.i, b);
    std::printf(" %16.6f\n", w.valore);
  }
}

void stampa_regola(const valutatore& v, const testo_pesato& t) {
  long ignote = 0, tutte = 0;
  for (size_t i = 0; i < voci_del_testo(t); ++i) {
    ignote += !nel_modello(t, i);
    if (!lineare(v) || !e_coppia(t.tratti[i].posto)) tutte += static_cast<long>(occorrenze_voce(t, i));
  }
  static const char* const FORMULE[] = {
      "log10(c/T) x n / T per una parola che la classe ha visto, log10(1/T) x n per una che non ha visto, poi -1",
      "ln(T/totale) + somma di n x ln((c + alfa) / (T + alfa x V))",
      "somma di n x -ln((c' + alfa) / (T' + alfa x V)), c' e T' delle altre classi",
      "beta + somma di x x peso, x = (1 + ln n) x idf / lunghezza del testo, su parole e coppie di parole"};
  std::printf("\nPunteggio %s", nome_regola(v.p.tipo));
  if (v.p.tipo == regola::bayes || v.p.tipo == regola::complemento) std::printf(", alfa %g", v.p.alfa);
  std::printf(": %s\n", FORMULE[static_cast<int>(v.p.tipo)]);
  if (lineare(v)) {
    std::printf("Parole del testo: %ld; parole e coppie diverse: %zu, %ld ignote al modello (non contano)\n", tutte,
                t.tratti.size(), ignote);
    return;
  }
  std::printf("Parole del testo: %ld, %zu diverse, %ld ignote al modello (non contano)\n", tutte, t.voci.size(),
              ignote);
}

// Loads what the rule needs and counts the text at path as classifica reads
// it, with its messages, but cleaned in memory. false: a message was printed.
bool leggi_modello_e_testo(const char* path, valutatore& v, tabella_parole& tabella, std::string& byte) {
  if (!prepara_valutatore(v.p, "Senza un modello non c'e' niente da spiegare: prima velmora_bow addestra o aggiungi",
                          v))
    return false;
  switch (leggi_e_conta(path, tabella, nullptr, false, lineare(v) ? &byte : nullptr)) {
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
  const long n = leggi_numero_parole(r, "--parole", PAROLE_PREDEFINITE);
  if (n < 0) {
    uso_spiega(messaggi());
    return 1;
  }
  valutatore v;
  v.p = letta.p;
  tabella_parole tabella;
  std::string byte;
  if (!leggi_modello_e_testo(r.posizionali[0], v, tabella, byte)) return 1;
  const testo_pesato t = pesa_testo(v, voci_ordinate(tabella), byte);
  const int seconda = seconda_classe(v, t.punteggi, t.scelta);
  stampa_classificazione(v, t.punteggi, t.scelta);
  stampa_regola(v, t);
  if (!con_dati(v, t.scelta)) {
    std::printf("Nessuna classe ha dati: non c'e' niente da spiegare\n");
    return 0;
  }
  stampa_classe(v, t, t.scelta, "Scelta", n);
  if (seconda < 0) {
    std::printf("\nNessun'altra classe ha dati\n");
    return 0;
  }
  stampa_classe(v, t, seconda, "Seconda", n);
  stampa_differenze(v, t, seconda, n);
  return 0;
}
