// The command line of velmora_apms, checked in full before any file is read.
#include "opzioni.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "destinazione.h"
#include "nomi.h"
#include "numeri.h"
#include "riga_comando.h"

// The recipe: the combination chosen on a validation share of the demo's
// training rows (docs/ricetta.md).
opzioni opzioni_ricetta() {
  opzioni r;
  r.epoche = 90;
  r.tasso = 0.5;
  r.funzione = costo::entropia;
  r.decadimento = 1e-4;
  r.inizio = inizio_pesi::scalato;
  r.riduzione = 0.5;
  r.ogni = 20;
  r.lotto = 10;
  r.spostamenti = 2;
  r.media = 20;
  return r;
}

namespace {

// The settings a command line gave explicitly, which the recipe leaves alone.
enum campo : unsigned {
  EPOCHE = 1u << 0, TASSO = 1u << 1, VERIFICA = 1u << 2, COSTO = 1u << 3, DECADIMENTO = 1u << 4,
  INIZIO = 1u << 5, RIDUZIONE = 1u << 6, LOTTO = 1u << 7, SPOSTAMENTI = 1u << 8, SEME_ = 1u << 9,
  DA = 1u << 10, VALIDAZIONE = 1u << 11, MEDIA = 1u << 12,
};

bool leggi_epoche(const char* s, opzioni& o) {
  long n = 0;
  if (intero_in(s, 1, 100000, n)) {
    o.epoche = static_cast<int>(n);
    return true;
  }
  std::printf("Numero di epoche non valido: %s (da 1 a 100000)\n", stampabile(s).c_str());
  return false;
}

bool leggi_tasso(const char* s, opzioni& o) {
  double t = 0.0;
  if (reale_finito(s, t) && t > 0.0) {
    o.tasso = t;
    return true;
  }
  std::printf("Tasso di apprendimento non valido: %s (un numero maggiore di 0)\n", stampabile(s).c_str());
  return false;
}

// F or F,N: the factor, then every how many epochs (1 when missing).
bool leggi_riduzione(const char* s, opzioni& o) {
  char* fine = nullptr;
  const double f = std::strtod(s, &fine);
  long n = 1;
  bool buona = fine != s && std::isfinite(f) && f > 0.0 && f <= 1.0;
  if (buona && *fine == ',') buona = intero_in(fine + 1, 1, 100000, n);
  else buona = buona && *fine == '\0';
  if (buona) {
    o.riduzione = f;
    o.ogni = static_cast<int>(n);
    return true;
  }
  std::printf("Riduzione del tasso non valida: %s (F oppure F,N: un fattore maggiore di 0 e al massimo 1,"
              " ogni N epoche da 1 a 100000)\n", stampabile(s).c_str());
  return false;
}

bool leggi_seme(const char* s, opzioni& o) {
  char* fine = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(s, &fine, 10);
  if (*s >= '0' && *s <= '9' && *fine == '\0' && errno == 0) {
    o.seme = n;
    return true;
  }
  std::printf("Seme non valido: %s (un intero da 0 a 18446744073709551615)\n", stampabile(s).c_str());
  return false;
}

// A number in its range, or the message "COSA: VALUE (RANGE)".
bool leggi_numero(const char* s, double minimo, double massimo, bool aperto_sotto, double& v, const char* cosa,
                  const char* intervallo) {
  double t = 0.0;
  if (reale_finito(s, t) && (aperto_sotto ? t > minimo : t >= minimo) && t <= massimo) {
    v = t;
    return true;
  }
  std::printf("%s: %s (%s)\n", cosa, stampabile(s).c_str(), intervallo);
  return false;
}

bool leggi_parola(const char* s, const char* a, const char* b, int& scelta, const char* cosa) {
  if (std::strcmp(s, a) == 0 || std::strcmp(s, b) == 0) {
    scelta = std::strcmp(s, b) == 0;
    return true;
  }
  std::printf("%s: %s (%s o %s)\n", cosa, stampabile(s).c_str(), a, b);
  return false;
}

// The option nome with its values v; false with a message on a bad value.
// A chain of names rather than a table: each setting has checks of its own.
bool leggi_opzione(const char* nome, const char* const* v, opzioni& o, unsigned& esplicite) {
  const auto e = [&](const char* n, campo c) {
    if (std::strcmp(nome, n) != 0) return false;
    esplicite |= c;
    return true;
  };
  int scelta = 0;
  long n = 0;
  if (e("--epoche", EPOCHE)) return leggi_epoche(v[0], o);
  if (e("--tasso", TASSO)) return leggi_tasso(v[0], o);
  if (e("--riduzione", RIDUZIONE)) return leggi_riduzione(v[0], o);
  if (e("--seme", SEME_)) return leggi_seme(v[0], o);
  if (e("--decadimento", DECADIMENTO))
    return leggi_numero(v[0], 0.0, HUGE_VAL, false, o.decadimento, "Decadimento non valido", "un numero da 0 in su");
  if (e("--validazione", VALIDAZIONE))
    return leggi_numero(v[0], 0.0, 50.0, true, o.validazione, "Quota di validazione non valida",
                        "una percentuale maggiore di 0 e al massimo 50");
  if (e("--verifica", VERIFICA)) {
    o.path_verifica = v[0];
  } else if (std::strcmp(nome, "--ripresa") == 0) {
    o.path_ripresa = v[0];
  } else if (std::strcmp(nome, "--rapporto") == 0) {
    o.path_rapporto = v[0];
  } else if (std::strcmp(nome, "--curva") == 0) {
    o.path_curva = v[0];
  } else if (std::strcmp(nome, "--fili") == 0) {
    if (!intero_in(v[0], 1, FILI_PERMESSI, n)) {
      std::printf("Numero di fili non valido: %s (da 1 a %d)\n", stampabile(v[0]).c_str(), FILI_PERMESSI);
      return false;
    }
    o.fili = static_cast<int>(n);
  } else if (e("--da", DA)) {
    o.da_intercalari = v[0];
    o.da_efferenti = v[1];
  } else if (e("--costo", COSTO)) {
    if (!leggi_parola(v[0], "quadratico", "entropia", scelta, "Costo non valido")) return false;
    o.funzione = scelta ? costo::entropia : costo::quadratico;
  } else if (e("--inizio", INIZIO)) {
    if (!leggi_parola(v[0], "fisso", "scalato", scelta, "Inizio non valido")) return false;
    o.inizio = scelta ? inizio_pesi::scalato : inizio_pesi::fisso;
  } else if (e("--lotto", LOTTO)) {
    if (!intero_in(v[0], 1, LOTTO_MASSIMO, n)) {
      std::printf("Lotto non valido: %s (da 1 a %d righe)\n", stampabile(v[0]).c_str(), LOTTO_MASSIMO);
      return false;
    }
    o.lotto = static_cast<int>(n);
  } else if (e("--media", MEDIA)) {
    if (!intero_in(v[0], 0, MEDIA_MASSIMA, n)) {
      std::printf("Media non valida: %s (da 0 a %d epoche)\n", stampabile(v[0]).c_str(), MEDIA_MASSIMA);
      return false;
    }
    o.media = static_cast<int>(n);
  } else if (e("--spostamenti", SPOSTAMENTI)) {
    if (!intero_in(v[0], 0, SPOSTAMENTO_MASSIMO, n)) {
      std::printf("Spostamenti non validi: %s (0, 1 o 2)\n", stampabile(v[0]).c_str());
      return false;
    }
    o.spostamenti = static_cast<int>(n);
  }
  return true;
}

// Every option of the command line, with the values it takes.
const std::vector<opzione> OPZIONI = {
    {"--epoche", 1},     {"--tasso", 1},       {"--verifica", 1, true}, {"--costo", 1},  {"--decadimento", 1},
    {"--inizio", 1},     {"--riduzione", 1},   {"--lotto", 1},          {"--spostamenti", 1}, {"--seme", 1},
    {"--validazione", 1}, {"--media", 1},      {"--da", 2, true},       {"--ricetta"},
    {"--ripresa", 1, true}, {"--fili", 1},       {"--rapporto", 1, true}, {"--curva", 1, true},
};

bool leggi_posizionale(const char* a, opzioni& o, unsigned& esplicite) {
  switch (++o.posizionali) {
    case 1: o.path_addestramento = a; break;
    case 2: o.path_intercalari = a; break;
    case 3: o.path_efferenti = a; break;
    case 4: esplicite |= EPOCHE; return leggi_epoche(a, o);
    case 5: esplicite |= TASSO; return leggi_tasso(a, o);
    default: esplicite |= VERIFICA; o.path_verifica = a; break;
  }
  return true;
}

void applica_ricetta(opzioni& o, unsigned esplicite) {
  const opzioni r = opzioni_ricetta();
  if (!(esplicite & EPOCHE)) o.epoche = r.epoche;
  if (!(esplicite & TASSO)) o.tasso = r.tasso;
  if (!(esplicite & COSTO)) o.funzione = r.funzione;
  if (!(esplicite & DECADIMENTO)) o.decadimento = r.decadimento;
  if (!(esplicite & INIZIO)) o.inizio = r.inizio;
  if (!(esplicite & RIDUZIONE)) o.riduzione = r.riduzione, o.ogni = r.ogni;
  if (!(esplicite & LOTTO)) o.lotto = r.lotto;
  if (!(esplicite & SPOSTAMENTI)) o.spostamenti = r.spostamenti;
  if (!(esplicite & SEME_)) o.seme = r.seme;
  if (!(esplicite & VALIDAZIONE)) o.validazione = r.validazione;
  if (!(esplicite & MEDIA)) o.media = r.media;
}

}  // namespace

esito_comando leggi_opzioni(int argc, char** argv, opzioni& o) {
  riga_comando r;
  const esito_comando esito = leggi_riga_comando(argc, argv, 1, OPZIONI, {{}, 6}, r);
  if (esito != esito_comando::valida) return esito;
  // In the order of the line, so that of two values for one setting the later wins.
  unsigned esplicite = 0;
  for (const voce_riga& v : r.voci) {
    if (v.posizionale()) {
      if (!leggi_posizionale(v.valori[0], o, esplicite)) return esito_comando::sbagliata;
    } else if (std::strcmp(v.o.nome, "--ricetta") == 0) {
      o.ricetta = true;
    } else if (!leggi_opzione(v.o.nome, v.valori.data(), o, esplicite)) {
      return esito_comando::sbagliata;
    }
  }
  if (o.ricetta) applica_ricetta(o, esplicite);
  if (o.posizionali >= 3 && stessa_destinazione(o.path_intercalari, o.path_efferenti)) {
    std::printf("I due file dei pesi devono essere diversi: %s\n", stampabile(o.path_intercalari).c_str());
    return esito_comando::sbagliata;
  }
  return esito_comando::valida;
}

void stampa_uso() {
  const opzioni d, r = opzioni_ricetta();
  char tasso[32], decadimento[32], riduzione[32];
  formatta_numero(tasso, sizeof tasso, r.tasso);
  formatta_numero(decadimento, sizeof decadimento, r.decadimento);
  formatta_numero(riduzione, sizeof riduzione, r.riduzione);
  std::printf("\nUSO:\n velmora_apms <addestramento.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>"
              " [epoche] [tasso] [verifica.csv] [opzioni]\n\n");
  std::printf("\nPARAMETRI:\n"
              "<addestramento.csv>          file csv con le righe di addestramento\n"
              "<connessioni_intercalari.w>  file da scrivere: pesi delle connessioni tra i neuroni afferenti e quelli intercalari\n"
              "<connessioni_efferenti.w>    file da scrivere: pesi delle connessioni tra i neuroni intercalari e quelli efferenti\n"
              "[epoche]                     passate sulle righe di addestramento (predefinito: %d)\n"
              "[tasso]                      tasso di apprendimento (predefinito: %g)\n"
              "[verifica.csv]               file csv con righe di verifica, valutate dopo ogni epoca\n",
              EPOCHE_PREDEFINITE, TASSO_PREDEFINITO);
  std::printf("\nOPZIONI (in qualsiasi punto della riga di comando):\n"
              "--epoche N                   come [epoche], da 1 a 100000\n"
              "--tasso T                    come [tasso]\n"
              "--verifica FILE              come [verifica.csv]: righe solo riportate, mai usate per scegliere\n"
              "--costo quadratico|entropia  errore quadratico o entropia incrociata (predefinito: quadratico)\n"
              "--decadimento L              decadimento L2 di ogni peso tranne quelli di soglia (predefinito: 0)\n"
              "--inizio fisso|scalato       pesi iniziali in intervalli fissi o con ampiezza 1/radice(ingressi)\n"
              "                             (predefinito: fisso)\n"
              "--riduzione F[,N]            moltiplica il tasso per F dopo ogni N epoche (predefinito: 1, nessuna)\n"
              "--lotto N                    righe per correzione, la media delle loro correzioni, da 1 a %d\n"
              "                             (predefinito: 1)\n"
              "--spostamenti 0|1|2          ogni riga anche spostata di 1 (o di 1 e 2) pixel nelle quattro direzioni:\n"
              "                             in ogni epoca una copia a caso per riga (predefinito: 0)\n"
              "--seme S                     seme del generatore (predefinito: %llu)\n"
              "--da H.w O.w                 parte dai pesi di questi due file invece che da pesi estratti\n"
              "--validazione P              tiene da parte il P%% delle righe di addestramento e scrive i pesi\n"
              "                             dell'epoca migliore su di esse (predefinito: 0, nessuna)\n"
              "--media K                    la rete di ogni epoca e' la media dei pesi delle ultime K epoche,\n"
              "                             da 0 a %d (predefinito: 0, nessuna media)\n"
              "--ricetta                    la combinazione migliore trovata: %d epoche, tasso %s, costo entropia,\n"
              "                             decadimento %s, inizio scalato, riduzione %s,%d, lotto %d, spostamenti %d,\n"
              "                             media %d (i valori dati esplicitamente prevalgono)\n"
              "--ripresa FILE               tiene in FILE lo stato della corsa dopo ogni epoca: SIGINT o SIGTERM la\n"
              "                             fermano, e lo stesso comando la riprende da li' con gli stessi pesi;\n"
              "                             FILE e' rimosso alla fine (predefinito: nessuna ripresa)\n"
              "--fili N                     fili di calcolo dell'addestramento, da 1 a %d; i pesi scritti non\n"
              "                             dipendono dal loro numero (predefinito: tutti i core disponibili)\n"
              "--rapporto FILE.html         scrive anche la pagina della corsa: curva di apprendimento, pesi di ogni\n"
              "                             neurone, modello di ogni cifra, matrice di confusione, righe lette male,\n"
              "                             una lavagna per disegnare una cifra (predefinito: nessuna pagina)\n"
              "--curva FILE.tsv             scrive anche le cifre di ogni epoca in una tabella separata da\n"
              "                             tabulazioni (predefinito: nessuna tabella)\n"
              "Con - la pagina o la tabella va su standard output, e ogni messaggio su standard error.\n",
              LOTTO_MASSIMO, static_cast<unsigned long long>(d.seme), MEDIA_MASSIMA, r.epoche, tasso, decadimento, riduzione,
              r.ogni, r.lotto, r.spostamenti, r.media, FILI_PERMESSI);
  std::printf("\nCOLLEGAMENTI INTERNI:\npercettrone multistrato (pms), benchmark percettrone multistrato (bpms) \n ");
}
