// velmora_apms: trains the digit network of velmora_pms and velmora_bpms on
// a CSV rows file and writes its two weight files. This file is the run: the
// rows read, the epochs in turn, the weights chosen and written.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <vector>

#include "dati.h"
#include "file.h"
#include "intestazione.h"
#include "memoria.h"
#include "nomi.h"
#include "numeri.h"
#include "opzioni.h"
#include "passo.h"
#include "fili.h"
#include "passo_fili.h"
#include "passo_veloce.h"
#include "pesi.h"
#include "rapporto.h"
#include "resoconto.h"
#include "scrittura.h"
#include "uscita.h"
#include "ripresa.h"
#include "riga_comando.h"
#include "valutazione.h"

// ---- Training step ----------------------------------------------------------------
// Built with VELMORA_APMS_RIFERIMENTO the program reads its rows with scanf
// and trains with the straightforward step, addestra_riga on the weights of
// rete, on one thread; both builds write the same weight files and the same
// text, for any number of threads.

#ifdef VELMORA_APMS_RIFERIMENTO
inline constexpr bool LETTURA_DIRETTA = true;
struct motore {};
static motore prepara_motore(const rete_cifre&, int) { return {}; }
static int addestra(motore&, rete_cifre& rete, const passo& p) {
  return addestra_riga(rete, rete.etichetta, p.tasso, p.funzione);
}
// The rows of a step laid out one after the other, each copy made.
static int addestra_righe(motore&, rete_cifre& rete, const righe_cifre& righe, const std::vector<int>& scelte,
                          const std::vector<int>& copie, const passo& p) {
  righe_cifre lotto;
  lotto.quante = static_cast<int>(scelte.size());
  lotto.pixel.resize(scelte.size() * N_AFFERENTI);
  for (size_t t = 0; t < scelte.size(); ++t) {
    sposta_riga(righe.pixel.data() + static_cast<size_t>(scelte[t]) * N_AFFERENTI, lotto.pixel.data() + t * N_AFFERENTI,
                copie[t]);
    lotto.etichette.push_back(righe.etichette[static_cast<size_t>(scelte[t])]);
  }
  return addestra_lotto(rete, lotto, p);
}
static void aggiorna_rete(motore&, rete_cifre&) {}
static risultato valuta(motore&, rete_cifre& rete, const righe_cifre& righe) { return valuta_righe(rete, righe); }
static risultato valuta(motore&, rete_cifre& rete, const righe_cifre& righe, double* uscite) {
  return valuta_righe_uscite(rete, righe, uscite);
}
#else
inline constexpr bool LETTURA_DIRETTA = false;
struct motore {
  std::unique_ptr<addestramento_veloce> stato;  // the weights being trained, laid out by input
  motore_fili_ptr fili;                         // the threads that train them
};
static motore prepara_motore(const rete_cifre& rete, int fili) {
  motore m{prepara_addestramento(rete), nullptr};
  m.fili = prepara_fili(*m.stato, fili, livello_disponibile());
  return m;
}
static int addestra(motore& m, rete_cifre& rete, const passo& p) {
  return addestra_riga_fili(*m.fili, rete, rete.etichetta, p.tasso, p.funzione);
}
// The rows of a step read where they were loaded, each thread making the copies it needs.
static int addestra_righe(motore& m, rete_cifre& rete, const righe_cifre& righe, const std::vector<int>& scelte,
                          const std::vector<int>& copie, const passo& p) {
  return addestra_lotto_fili(*m.fili, rete, righe, scelte.data(), copie.data(), static_cast<int>(scelte.size()), p);
}
// The weights of rete catch up with training, to be evaluated or written.
static void aggiorna_rete(motore& m, rete_cifre& rete) {
  attendi_fili(*m.fili);
  riporta_pesi(*m.stato, rete);
}
// A set of rows evaluated, once the weights caught up, on the step's threads.
static risultato valuta(motore& m, rete_cifre& rete, const righe_cifre& righe) {
  return valuta_righe_fili(*m.fili, rete, righe);
}
static risultato valuta(motore& m, rete_cifre& rete, const righe_cifre& righe, double* uscite) {
  return valuta_righe_fili(*m.fili, rete, righe, uscite);
}
#endif

// ---- The rows ----------------------------------------------------------------------

// Every row of the file at path; false after the message naming what is wrong.
static bool leggi_righe(const char* path, righe_cifre& righe) {
  file_ptr f = apri_file(path, "r");
  if (!f) {
    std::printf("File %s non trovato\n", stampabile(path).c_str());
    return false;
  }
  return carica_righe(f.get(), path, righe, LETTURA_DIRETTA);
}

// Every row is read and checked before any training, so a bad file stops the
// run at once and leaves the weight files untouched. False: stop with status 1.
static bool carica_dati(const opzioni& o, dati& d) {
  if (!leggi_righe(o.path_addestramento, d.addestramento)) return false;
  if (d.addestramento.quante == 0) {
    std::printf("Il file %s non contiene righe\n", stampabile(o.path_addestramento).c_str());
    return false;
  }
  if (o.path_verifica && !leggi_righe(o.path_verifica, d.verifica)) return false;
  const int tutte = d.addestramento.quante;
  // At most half of the rows are held aside, so training always keeps some.
  if (o.validazione > 0.0 && !dividi_validazione(d.addestramento, d.validazione, o.validazione, o.seme)) {
    char quota[32];
    formatta_numero(quota, sizeof quota, o.validazione);
    std::printf("Quota di validazione troppo piccola: il %s%% di %d righe non ne tiene da parte nessuna\n", quota,
                tutte);
    return false;
  }
  stampa_testata(o, d, tutte);
  return true;
}

// ---- The epochs -------------------------------------------------------------------

// What an epoch needs besides the network: its order, the generator of the
// shifted copies, and the settings of its steps.
struct epoca_in_corso {
  const std::vector<int>& ordine;
  generatore& copie;
  const passo& p;
  int epoca;
  const opzioni& o;
  bool terminale;
};

// One pass over the training rows in the epoch's order, one row per step
// or lotto rows per step (the last step takes the rows left); returns the
// rows the network recognised just before learning from them, or -1 when a
// stop was asked, the epoch left unfinished.
static int epoca_di_addestramento(motore& m, rete_cifre& rete, const righe_cifre& righe, epoca_in_corso& e) {
  const auto inizio = std::chrono::steady_clock::now();
  const bool online = e.o.lotto == 1 && e.o.decadimento == 0.0;
  std::vector<int> scelte, copie;  // a step's rows and their copies
  int giuste = 0;
  for (int n = 0; n < righe.quante;) {
    if (fermata_chiesta()) return -1;
    const int quante = std::min(e.o.lotto, righe.quante - n);
    if (online) {
      // The order is random, so no cache guesses the next row: ask for it now.
      if (n + 1 < righe.quante) {
        const auto* dopo = righe.pixel.data() + static_cast<size_t>(e.ordine[static_cast<size_t>(n) + 1]) * N_AFFERENTI;
        for (int b = 0; b < N_AFFERENTI; b += 64 / static_cast<int>(sizeof *dopo)) __builtin_prefetch(dopo + b);
      }
      prendi_copia(righe, e.ordine[static_cast<size_t>(n)], e.o.spostamenti, e.copie, rete.pixel, rete.etichetta);
      if (addestra(m, rete, e.p) == rete.etichetta) ++giuste;
    } else {
      scelte.assign(e.ordine.begin() + n, e.ordine.begin() + n + quante);
      copie.resize(static_cast<size_t>(quante));
      for (int& c : copie) c = scegli_copia(e.o.spostamenti, e.copie);
      // The next step's rows, in random order: asked for now, they arrive
      // while this step trains.
      for (int t = n + quante; t < std::min(n + 2 * quante, righe.quante); ++t) {
        const auto* dopo = righe.pixel.data() + static_cast<size_t>(e.ordine[static_cast<size_t>(t)]) * N_AFFERENTI;
        for (int b = 0; b < N_AFFERENTI; b += 64 / static_cast<int>(sizeof *dopo)) __builtin_prefetch(dopo + b);
      }
      giuste += addestra_righe(m, rete, righe, scelte, copie, e.p);
    }
    const int prima = n;
    n += quante;
    if (e.terminale && n / 250 != prima / 250)
      barra(e.epoca, e.o.epoche, n, righe.quante, giuste, secondi_da(inizio));
  }
  return giuste;
}

// Whether the run keeps the sets' costs in its history: only for a page, a
// table, or a resume file that a run with them may go on from.
static bool con_costi(const opzioni& o) { return o.path_rapporto || o.path_curva || o.path_ripresa; }

// A set evaluated after an epoch: the rows recognised and, when the run
// keeps them, their mean cost, into the epoch's history.
static risultato valuta_con_costo(motore& m, rete_cifre& rete, const righe_cifre& righe, const opzioni& o,
                                  int& giuste, int& quante, double& costo_righe) {
  std::vector<double> uscite(con_costi(o) ? static_cast<size_t>(righe.quante) * N_EFFERENTI : 0);
  const risultato esito = con_costi(o) ? valuta(m, rete, righe, uscite.data()) : valuta(m, rete, righe);
  giuste = esito.riconosciute;
  quante = righe.quante;
  if (con_costi(o)) costo_righe = costo_medio(o.funzione, righe, uscite.data());
  return esito;
}

// After an epoch: its line, with the validation and held-out accuracies of
// the epoch's network (with --media, the mean), kept when the validation
// rows say it is the best so far; the same figures, and the sets' costs,
// into the run's history.
static void fine_epoca(motore& m, rete_cifre& rete, corsa& c, const dati& d, const epoca_in_corso& e, int giuste) {
  if (e.terminale) std::printf("\r\33[K");
  std::printf("Epoca %d di %d: accuratezza %.2f%%", e.epoca, e.o.epoche, percentuale(giuste, d.addestramento.quante));
  if (e.o.riduzione != 1.0) {
    char tasso[32];
    formatta_numero(tasso, sizeof tasso, e.p.tasso);
    std::printf(" (tasso %s)", tasso);
  }
  epoca_curva punto;
  punto.epoca = e.epoca;
  punto.tasso = e.p.tasso;
  punto.giuste = giuste;
  punto.righe = d.addestramento.quante;
  // With no other set, the training rows give the cost, for the page and the table only.
  const bool costo_addestramento =
      d.validazione.quante == 0 && !e.o.path_verifica && (e.o.path_rapporto || e.o.path_curva);
  if (d.validazione.quante > 0 || e.o.path_verifica || e.o.media > 0 || e.o.path_ripresa || costo_addestramento)
    aggiorna_rete(m, rete);
  if (e.o.media > 0) aggiungi_epoca(c.mm, rete, e.o.media);
  rete_cifre& valutata = e.o.media > 0 ? *c.mm.rete : rete;
  if (costo_addestramento) {
    int g = 0, q = 0;
    valuta_con_costo(m, valutata, d.addestramento, e.o, g, q, punto.costo_addestramento);
  }
  if (d.validazione.quante > 0) {
    const risultato esito = valuta_con_costo(m, valutata, d.validazione, e.o, punto.giuste_validazione,
                                             punto.righe_validazione, punto.costo_validazione);
    std::printf(", validazione %.2f%%", percentuale(esito.riconosciute, d.validazione.quante));
    if (esito.riconosciute > c.meglio.riconosciute) {
      c.meglio.epoca = e.epoca;
      c.meglio.riconosciute = esito.riconosciute;
      copia_pesi(valutata, *c.meglio.rete);
    }
  }
  if (e.o.path_verifica) {
    const risultato esito = valuta_con_costo(m, valutata, d.verifica, e.o, punto.giuste_verifica,
                                             punto.righe_verifica, punto.costo_verifica);
    std::printf(", verifica %.2f%%", percentuale(esito.riconosciute, d.verifica.quante));
  }
  c.storia.push_back(punto);
}

// How the epochs ended.
enum class esito_epoche { finite, fermate, fallite };

// The run's resume file, when it has one.
struct ripresa_in_corso {
  const char* path = nullptr;
  std::string comando;  // the command line, as a shell takes it
  std::vector<uint64_t> firma;
  int epoche_tenute = 0;  // the epochs the file holds
  ripresa_scritta scritta;
};

// The state the resume file keeps, or the run from its start when there is
// none. false: the file was refused, with why, and left as it is.
static bool riprendi(const opzioni& o, const dati& d, corsa& c, rete_cifre& rete, ripresa_in_corso& r) {
  std::string motivo;
  const std::string nome = stampabile(r.path);
  switch (leggi_ripresa(r.path, r.firma, o, d.validazione.quante, c, rete, motivo)) {
    case esito_ripresa::mancante:
      return true;
    case esito_ripresa::ripresa:
      r.epoche_tenute = c.epoca;
      r.scritta = identifica_ripresa(r.path);
      std::printf("Ripresa da %s: %d epoche di %d gia' fatte\n", nome.c_str(), c.epoca, o.epoche);
      return true;
    case esito_ripresa::rifiutata:
      break;
  }
  std::printf("Il file %s %s\n", nome.c_str(), motivo.c_str());
  std::printf("Il file %s resta com'e': per ricominciare da capo, cancellalo o scegli un altro file di ripresa\n",
              nome.c_str());
  return false;
}

// After an epoch, the state into the resume file. false: the write failed,
// and the run stops (with the file as it was) unless a stop was asked.
static bool tieni_ripresa(const corsa& c, const rete_cifre& rete, ripresa_in_corso& r) {
  if (!scrivi_ripresa(r.path, r.firma, c, rete)) {
    if (!fermata_chiesta())
      std::printf("Impossibile scrivere la ripresa %s\n", stampabile(r.path).c_str());
    return false;
  }
  r.epoche_tenute = c.epoca;
  r.scritta = identifica_ripresa(r.path);
  return true;
}

// What the page takes from the run: its history, and which weights it kept.
static void descrivi_esito(const opzioni& o, corsa& c, esito_corsa& e) {
  e.storia = std::move(c.storia);
  e.epoche_senza_storia = c.epoche_senza_storia;
  e.epoca_tenuta = c.meglio.epoca > 0 ? c.meglio.epoca : o.epoche;
  if (c.meglio.epoca > 0)
    e.tenuta = "quelli dell'epoca " + std::to_string(c.meglio.epoca) + ", la migliore sulle righe di validazione";
  else if (o.media > 0)
    e.tenuta = "la media dei pesi delle ultime " + std::to_string(std::min(o.media, o.epoche)) + " epoche";
  else
    e.tenuta = "quelli dell'ultima epoca";
}

// Every epoch in turn, from the generator's starting weights, the warm
// start's, or the state the resume file kept; one line per epoch. Leaves the
// weights to write in rete (with --media the mean of the last epochs; with a
// validation share, those of the best epoch) and the seconds spent in durata,
// then prints the closing report.
static esito_epoche esegui_epoche(rete_cifre& rete, const dati& d, const opzioni& o, bool terminale,
                                  ripresa_in_corso& r, double& durata, esito_corsa& esito) {
  corsa c;
  c.estrazioni = generatore{o.seme};
  c.copie = generatore{o.seme + 2};
  c.tasso = o.tasso;
  if (!o.da_intercalari) inizializza_pesi(rete, c.estrazioni, o.inizio);
  c.ordine.resize(static_cast<size_t>(d.addestramento.quante));
  std::iota(c.ordine.begin(), c.ordine.end(), 0);
  if (r.path) {
    r.firma = firma_corsa(o, d, rete);
    if (!riprendi(o, d, c, rete, r)) return esito_epoche::fallite;
    intercetta_fermata();
  }
  motore m = prepara_motore(rete, o.fili > 0 ? o.fili : fili_disponibili());
  passo p{c.tasso, o.funzione, o.decadimento};
  const auto inizio = std::chrono::steady_clock::now();
  for (int epoca = c.epoca + 1; epoca <= o.epoche; ++epoca) {
    mescola(c.ordine, c.estrazioni);
    const auto inizio_epoca = std::chrono::steady_clock::now();
    epoca_in_corso e{c.ordine, c.copie, p, epoca, o, terminale};
    const int giuste = epoca_di_addestramento(m, rete, d.addestramento, e);
    if (giuste < 0) return esito_epoche::fermate;
    fine_epoca(m, rete, c, d, e, giuste);
    if (terminale) std::printf(", %.1f s", secondi_da(inizio_epoca));
    std::printf("\n");
    std::fflush(stdout);
    if (epoca % o.ogni == 0) p.tasso = p.tasso * o.riduzione;
    c.epoca = epoca;
    c.tasso = p.tasso;
    if (r.path && !tieni_ripresa(c, rete, r)) return fermata_chiesta() ? esito_epoche::fermate : esito_epoche::fallite;
  }
  aggiorna_rete(m, rete);
  if (o.media > 0) copia_pesi(*c.mm.rete, rete);
  if (c.meglio.epoca > 0) {
    copia_pesi(*c.meglio.rete, rete);
    std::printf("\nPesi dell'epoca %d, la migliore sulle righe di validazione\n", c.meglio.epoca);
  }
  descrivi_esito(o, c, esito);
  durata = secondi_da(inizio);
  riepilogo(rete, d, o, [&m](rete_cifre& x, const righe_cifre& righe) { return valuta(m, x, righe); });
  return esito_epoche::finite;
}

// A stop asked by SIGINT or SIGTERM: what the resume file keeps.
static int fermato(const opzioni& o, const ripresa_in_corso& r, bool terminale) {
  if (terminale) std::printf("\r\33[K");
  if (r.epoche_tenute > 0)
    std::printf("\nAddestramento fermato: la ripresa %s tiene %d epoche di %d. Per riprendere da li':\n",
                stampabile(r.path).c_str(), r.epoche_tenute, o.epoche);
  else
    std::printf("\nAddestramento fermato durante la prima epoca: non c'e' niente da riprendere. Per ricominciare:\n");
  std::printf("  %s\n", r.comando.c_str());
  return 1;
}

// ---- main ----------------------------------------------------------------------

static int esegui(int argc, char** argv) {
  // A page or table on standard output takes it alone, from the banner on.
  std::FILE* uscita = nullptr;
  if (valore_standard_output(argc, argv, {"--rapporto", "--curva"}) && !(uscita = separa_uscita_dati())) return 1;
  if (risponde_aiuto(argc, argv, 1, stampa_uso, "velmora_apms")) return 0;
  // The screen is cleared, and the progress drawn, only on a terminal, and
  // only for a command line that starts a run: a mistyped option there gets
  // its one line, with the screen as it was. Elsewhere the banner comes
  // first, as a log reads.
  static constexpr const char* TITOLO = "addestramento percettrone multistrato (apms)";
  const bool terminale = isatty(STDOUT_FILENO) == 1;
  if (!terminale) stampa_intestazione(TITOLO, false);
  opzioni o;
  if (argc < 4) {
    stampa_uso();
    return 1;
  }
  if (leggi_opzioni(argc, argv, o) != esito_comando::valida) return 1;
  if (o.posizionali < 3) {
    stampa_uso();
    return 1;
  }
  if (terminale) stampa_intestazione(TITOLO);
  // A pair whose writer was killed between its two renames is completed
  // first: a warm start may not read half of it. The targets are then
  // checked before any row is read: a run that could not write its weights
  // fails now, not after hours of training. A target pair that cannot be
  // completed was reported, and is written anew.
  if (o.da_intercalari && !completa_coppia(o.da_intercalari)) return 1;
  completa_coppia(o.path_intercalari);
  for (const char* path : {o.path_intercalari, o.path_efferenti})
    if (!controlla_pesi_da_scrivere(path, o.path_addestramento, o.path_verifica)) return 1;
  if (o.path_ripresa && !controlla_ripresa(o)) return 1;
  if (!controlla_rapporti(o)) return 1;

  auto rete = crea_rete();
  if (o.da_intercalari && !leggi_pesi_di_partenza(*rete, o.da_intercalari, o.da_efferenti)) return 1;
  dati d;
  if (!carica_dati(o, d)) return 1;
  ripresa_in_corso r;
  r.path = o.path_ripresa;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) r.comando += ' ';
    r.comando += per_la_shell(argv[i]);
  }
  double durata = 0.0;
  esito_corsa esito;
  switch (esegui_epoche(*rete, d, o, terminale, r, durata, esito)) {
    case esito_epoche::finite: break;
    case esito_epoche::fermate: return fermato(o, r, terminale);
    case esito_epoche::fallite: return 1;
  }
  if (terminale) std::printf("Tempo di addestramento: %.1f s\n", durata);

  if (fermata_chiesta()) return fermato(o, r, terminale);
  if (!scrivi_pesi(*rete, o.path_intercalari, o.path_efferenti)) return fermata_chiesta() ? fermato(o, r, terminale) : 1;
  std::printf("\nPesi scritti in %s e %s\n", stampabile(o.path_intercalari).c_str(),
              stampabile(o.path_efferenti).c_str());
  // The resume file stays while the page or the table is missing: the same
  // command then writes them without training again.
  if (!scrivi_rapporti(o, d, *rete, esito, valuta_righe_uscite, uscita)) return 1;
  if (uscita && !chiudi_uscita_dati(uscita)) return 1;
  if (r.path && rimuovi_ripresa(r.path, r.scritta))
    std::printf("Ripresa %s rimossa: l'addestramento e' finito\n", stampabile(r.path).c_str());
  return 0;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
