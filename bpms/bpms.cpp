// velmora_bpms: runs the digit network over the first 10000 rows of a CSV
// rows file and keeps a running count of the rows it recognises.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "intestazione.h"
#include "lettore_righe.h"
#include "lib.h"
#include "memoria.h"
#include "nomi.h"
#include "riga_comando.h"
#include "veloce.h"

inline constexpr int N_BENCHMARK = 10000;

// ---- Row source and network ---------------------------------------------------
// Built with VELMORA_BPMS_RIFERIMENTO the program runs on the straightforward
// forms (one fscanf per number, one scalar loop per neuron); both builds
// write the same bytes.

#ifdef VELMORA_BPMS_RIFERIMENTO
struct motore {
  lettore_righe lettore;  // in its straightforward mode: get_image and fgetc throughout
};
static motore prepara_motore(const rete_cifre&, std::FILE* righe) {
  lettore_righe l;
  l.file = righe;
  return {std::move(l)};
}
static int leggi(motore& m, rete_cifre& rete) { return get_image(rete.pixel, rete.etichetta, m.lettore.file); }
static int riconosci(const motore&, rete_cifre& rete) { return net_recognize(rete); }
#else
struct motore {
  lettore_righe lettore;
  std::unique_ptr<pesi_veloci> pesi;  // laid out once: the weights do not change during the run
};
static motore prepara_motore(const rete_cifre& rete, std::FILE* righe) {
  return {crea_lettore(righe), prepara_pesi(rete)};
}
static int leggi(motore& m, rete_cifre& rete) { return leggi_riga(m.lettore, rete.pixel, rete.etichetta); }
static int riconosci(const motore& m, rete_cifre& rete) { return net_recognize_veloce(rete, *m.pesi); }
#endif

// ---- main ----------------------------------------------------------------------

// Screen rows 6 and 7, the same after every row: formatted once.
static std::string righe_fisse(const char* intercalari, const char* efferenti) {
  static constexpr char formato[] = "\33[6;1H______________________________________________\33[7;1H| benchmark %s, %s";
  std::string s(static_cast<size_t>(std::snprintf(nullptr, 0, formato, intercalari, efferenti)), '\0');
  std::snprintf(s.data(), s.size() + 1, formato, intercalari, efferenti);
  return s;
}

// Prints the usage text, fixed byte for byte; returns the exit status, 1.
static int uso() {
  std::printf("\nUSO:\n velmora_bpms <ingresso.csv> <connessioni_intercalari.w> <connessioni_efferenti.w>\n\n");
  stampa_parametri_rete("file csv con i dati di test");
  std::printf("\nCOLLEGAMENTI INTERNI:\naddestramento percettrone multistrato (apms) \n ");
  std::printf("uso: tq_lettore <digit.csv> <layer1.w> <layer2.w>");
  return 1;
}

static int esegui(int argc, char** argv) {
  // --help and --version among the three files, where no file of that name
  // exists: the usage or the version, without the banner, status 0. Words
  // after the third were always ignored, and still are.
  if (risponde_aiuto(argc < 4 ? argc : 4, argv, 1, [] { uso(); }, "velmora_bpms", true)) return 0;
  stampa_intestazione("benchmarck percettrone multistrato (bpms)");
  if (argc < 4) return uso();

  int riconosciuti = 0;
  auto rete = crea_rete();
  file_ptr righe = net_load(*rete, argv[1], argv[2], argv[3]);
  motore m = prepara_motore(*rete, righe.get());
  const std::string intestazione = righe_fisse(stampabile(argv[2]).c_str(), stampabile(argv[3]).c_str());
  for (int i = 0; i < N_BENCHMARK; ++i) {
    const int letti = leggi(m, *rete);
    if (letti == -(N_AFFERENTI + 1) && i > 0) {
      // The label read met end of file: fewer rows than N_BENCHMARK. The
      // last status line reports the rows actually evaluated.
      // On a terminal the shorter total would leave the tail of the old
      // "di 10000" on screen: erase the rest of that line there.
      righe.reset();
      std::printf("\33[9;1HRiconosciuti %d di %d%s\n", riconosciuti, i, isatty(STDOUT_FILENO) ? "\33[K" : "");
      std::fflush(stdout);
      return 0;
    }
    // A row must end its line: more values or text after its last pixel
    // make it, not the next one, the bad row.
    if (letti != N_AFFERENTI + 1 || !chiudi_riga(m.lettore)) {
      std::printf("Riga %d del file %s non valida\n", i + 1, stampabile(argv[1]).c_str());
      return 1;
    }
    const int migliore = riconosci(m, *rete);
    std::fwrite(intestazione.data(), 1, intestazione.size(), stdout);
    if (migliore >= 0 && migliore == rete->etichetta) ++riconosciuti;
    std::printf("\33[9;1HRiconosciuti %d di %d\n", riconosciuti, N_BENCHMARK);
    std::fflush(stdout);
  }
  return 0;
}

int main(int argc, char** argv) { return con_memoria_controllata(esegui, argc, argv); }
