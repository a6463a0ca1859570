// Times velmora_bpms against its straightforward build and against the
// floors of the work it does, side by side in one run:
//   bpms_misura RIGHE.csv INTERCALARI.w EFFERENTI.w RIFERIMENTO SPEDITO [GIRI=9]
// The two programs are timed as whole processes (fork to exit, standard
// output on /dev/null); the floors are timed in this process around the one
// phase they measure, on a file already in the page cache. Every figure is
// the median of GIRI runs, the runs of all figures interleaved, as wall time
// and as CPU time (user + system), the steadier one when other jobs share
// the cores.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib.h"
#include "misura.h"
#include "lettore_righe.h"
#include "veloce.h"

inline constexpr int N_RIGHE = 10000;

static long somma_controllo = 0;  // keeps the floors' work observable

static void lettura(const char* path) {
  file_ptr f(std::fopen(path, "r"));
  std::vector<char> buf(size_t{1} << 20);
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f.get())) > 0) somma_controllo += buf[n - 1];
}

static void analisi(const char* path, std::vector<int32_t>* righe) {
  file_ptr f(std::fopen(path, "r"));
  lettore_righe l = crea_lettore(f.get());
  int32_t pixel[N_AFFERENTI] = {}, etichetta = 0;
  for (int r = 0; r < N_RIGHE; ++r) {
    somma_controllo += leggi_riga(l, pixel, etichetta) + pixel[N_AFFERENTI / 2];
    if (righe) righe->insert(righe->end(), pixel, pixel + N_AFFERENTI);
  }
}

static void propagazioni(rete_cifre& rete, const pesi_veloci& pesi, const std::vector<int32_t>& righe) {
  for (int r = 0; r < N_RIGHE; ++r) {
    std::copy_n(righe.data() + static_cast<long>(r) * N_AFFERENTI, N_AFFERENTI, rete.pixel);
    somma_controllo += net_recognize_veloce(rete, pesi);
  }
}

enum { RIF, SPED, AVVIO, LETT, ANAL, RETE, N };

// The medians of the table, and the ratios the targets speak of.
static void stampa_tabella(const serie (&s)[N], int giri, const char* righe) {
  tempo m[N];
  for (int k = 0; k < N; ++k) m[k] = s[k].mediane();
  std::printf("velmora_bpms, 10000 righe di %s\n", righe);
  stampa_testata(giri, nome_livello(livello_disponibile()));
  stampa_mediane("forme dirette (fscanf, un ciclo per neurone)", m[RIF]);
  std::printf("\n");
  stampa_mediane("come distribuito", m[SPED]);
  std::printf("   %5.1fx / %5.1fx piu' veloce\n", m[RIF].parete / m[SPED].parete, m[RIF].cpu / m[SPED].cpu);
  std::printf("soglie\n");
  stampa_mediane("avvio del processo (senza argomenti)", m[AVVIO]);
  std::printf("\n");
  stampa_mediane("lettura del file", m[LETT]);
  std::printf("\n");
  stampa_mediane("lettura e analisi delle righe", m[ANAL]);
  std::printf("   distribuito = %.2fx / %.2fx\n", m[SPED].parete / m[ANAL].parete, m[SPED].cpu / m[ANAL].cpu);
  stampa_mediane("solo le propagazioni in avanti", m[RETE]);
  std::printf("\n(controllo %ld)\n", somma_controllo % 10);
}

int main(int argc, char** argv) {
  if (argc < 6) {
    std::printf("uso: bpms_misura <righe.csv> <intercalari.w> <efferenti.w> <riferimento> <spedito> [giri=9]\n");
    return 1;
  }
  const char *righe = argv[1], *intercalari = argv[2], *efferenti = argv[3];
  const int giri = argc > 6 ? std::max(1, std::atoi(argv[6])) : 9;

  auto rete = crea_rete();
  file_ptr f = net_load(*rete, righe, intercalari, efferenti);
  f.reset();
  auto pesi = prepara_pesi(*rete);
  std::vector<int32_t> pixel;
  analisi(righe, &pixel);  // also brings the file into the page cache

  serie s[N];
  for (int g = 0; g < giri; ++g) {
    const tempo t[N] = {
        processo({argv[4], righe, intercalari, efferenti, nullptr}),
        processo({argv[5], righe, intercalari, efferenti, nullptr}),
        processo({argv[5], nullptr}),
        fase([&] { lettura(righe); }),
        fase([&] { analisi(righe, nullptr); }),
        fase([&] { propagazioni(*rete, *pesi, pixel); }),
    };
    for (int k = 0; k < N; ++k) s[k].aggiungi(t[k]);
  }
  stampa_tabella(s, giri, righe);
  return 0;
}
