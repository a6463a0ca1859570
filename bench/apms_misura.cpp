// Times velmora_apms against its straightforward build, side by side in one
// run, and against two floors of its work:
//   apms_misura RIGHE.csv CARTELLA RIFERIMENTO SPEDITO [GIRI=5] [EPOCHE=15] [TASSO=0.3]
// The programs are timed as whole processes (fork to exit, standard output
// on /dev/null), each writing its own pair of weight files in CARTELLA
// (rif_*.w and sped_*.w, for cmp); which one goes first alternates from run
// to run. The floors are timed in this process: reading the rows, and the
// forward passes alone of as many rows as training visits. Every figure is
// the median of GIRI runs, as wall time and as CPU time (user + system).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "dati.h"
#include "file.h"
#include "passo.h"
#include "pesi.h"
#include "righe.h"
#include "misura.h"
#include "veloce.h"

static long somma_controllo = 0;  // keeps the floors' work observable

// The forward passes of `epoche` epochs on the starting weights, rows in file order.
static void propagazioni(const righe_cifre& righe, int epoche) {
  auto rete = crea_rete();
  generatore g{SEME};
  inizializza_pesi(*rete, g);
  const auto pesi = prepara_pesi(*rete);
  for (int e = 0; e < epoche; ++e)
    for (int r = 0; r < righe.quante; ++r) {
      prendi_riga(*rete, righe, r);
      somma_controllo += net_recognize_veloce(*rete, *pesi);
    }
}

enum { RIF, SPED, LETT, RETE, N };

// The medians of the table, and the ratios the targets speak of.
static void stampa_tabella(const serie (&s)[N], int giri) {
  tempo m[N];
  for (int k = 0; k < N; ++k) m[k] = s[k].mediane();
  stampa_testata(giri, nome_livello(livello_disponibile()));
  const char* formato = "  %-44s %8.0f / %8.0f";
  stampa_mediane("forme dirette (fscanf, un peso alla volta)", m[RIF], formato);
  std::printf("\n");
  stampa_mediane("come distribuito", m[SPED], formato);
  std::printf("   %5.1fx / %5.1fx piu' veloce\n", m[RIF].parete / m[SPED].parete, m[RIF].cpu / m[SPED].cpu);
  std::printf("soglie\n");
  stampa_mediane("lettura delle righe", m[LETT], formato);
  std::printf("\n");
  stampa_mediane("solo le propagazioni in avanti", m[RETE], formato);
  std::printf("   distribuito = %.2fx / %.2fx\n", m[SPED].parete / m[RETE].parete, m[SPED].cpu / m[RETE].cpu);
  std::printf("(controllo %ld)\n", somma_controllo % 10);
}

// Every row of the file at path, or the run stops with the refusal.
static righe_cifre tutte_le_righe(const char* path) {
  righe_cifre r;
  file_ptr f = apri_file(path, "r");
  if (!f || !carica_righe(f.get(), path, r)) std::exit(1);
  return r;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("uso: apms_misura <righe.csv> <cartella> <riferimento> <spedito> [giri=5] [epoche=15] [tasso=0.3]\n");
    return 1;
  }
  const char* righe = argv[1];
  const std::string cartella = argv[2];
  const int giri = argc > 5 ? std::max(1, std::atoi(argv[5])) : 5;
  const std::string epoche = argc > 6 ? argv[6] : "15", tasso = argc > 7 ? argv[7] : "0.3";
  const std::string h_rif = cartella + "/rif_intercalari.w", o_rif = cartella + "/rif_efferenti.w";
  const std::string h_sped = cartella + "/sped_intercalari.w", o_sped = cartella + "/sped_efferenti.w";
  const righe_cifre dati = tutte_le_righe(righe);  // also brings the file into the page cache

  serie s[N];
  std::printf("velmora_apms, %d righe di %s, %s epoche, tasso %s\n", dati.quante, righe, epoche.c_str(),
              tasso.c_str());
  for (int g = 0; g < giri; ++g) {
    tempo t[N];
    for (int k : g % 2 ? std::vector<int>{SPED, RIF} : std::vector<int>{RIF, SPED}) {
      const bool rif = k == RIF;
      t[k] = processo({argv[rif ? 3 : 4], righe, (rif ? h_rif : h_sped).c_str(), (rif ? o_rif : o_sped).c_str(),
                       epoche.c_str(), tasso.c_str(), nullptr});
    }
    t[LETT] = fase([&] { somma_controllo += tutte_le_righe(righe).quante; });
    t[RETE] = fase([&] { propagazioni(dati, std::atoi(epoche.c_str())); });
    for (int k = 0; k < N; ++k) s[k].aggiungi(t[k]);
    std::printf("  giro %d: %.0f / %.0f ms contro %.0f / %.0f ms, %.1fx / %.1fx\n", g + 1, t[RIF].parete,
                t[RIF].cpu, t[SPED].parete, t[SPED].cpu, t[RIF].parete / t[SPED].parete, t[RIF].cpu / t[SPED].cpu);
    std::fflush(stdout);
  }
  stampa_tabella(s, giri);
  return 0;
}
