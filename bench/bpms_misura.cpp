// Times velmora_bpms against its straightforward build and against the
// floors of the work it does, side by side in one run:
//   bpms_misura RIGHE.csv INTERCALARI.w EFFERENTI.w RIFERIMENTO SPEDITO [GIRI=9]
// The two programs are timed as whole processes (fork to exit, standard
// output on /dev/null); the floors are timed in this process around the one
// phase they measure, on a file already in the page cache. Every figure is
// the median of GIRI runs, the runs of all figures interleaved.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib.h"
#include "veloce.h"

inline constexpr int N_RIGHE = 10000;

static double adesso_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Wall time of one run of a program, from fork to its exit.
static double processo_ms(const std::vector<const char*>& argv) {
  const double t0 = adesso_ms();
  const pid_t pid = fork();
  if (pid == 0) {
    const int nulla = open("/dev/null", O_WRONLY);
    dup2(nulla, STDOUT_FILENO);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int stato = 0;
  waitpid(pid, &stato, 0);
  const double t = adesso_ms() - t0;
  if (!WIFEXITED(stato) || (WEXITSTATUS(stato) != 0 && argv.size() > 2)) {
    std::printf("%s: uscita anomala\n", argv[0]);
    std::exit(1);
  }
  return t;
}

static long somma_controllo = 0;  // keeps the floors' work observable

static double lettura_ms(const char* path) {
  const double t0 = adesso_ms();
  file_ptr f(std::fopen(path, "r"));
  std::vector<char> buf(size_t{1} << 20);
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f.get())) > 0) somma_controllo += buf[n - 1];
  return adesso_ms() - t0;
}

static double analisi_ms(const char* path, std::vector<int32_t>* righe) {
  const double t0 = adesso_ms();
  file_ptr f(std::fopen(path, "r"));
  lettore_righe l = crea_lettore(f.get());
  int32_t pixel[N_AFFERENTI] = {}, etichetta = 0;
  for (int r = 0; r < N_RIGHE; ++r) {
    somma_controllo += leggi_riga(l, pixel, etichetta) + pixel[N_AFFERENTI / 2];
    if (righe) righe->insert(righe->end(), pixel, pixel + N_AFFERENTI);
  }
  return adesso_ms() - t0;
}

static double rete_ms(rete_cifre& rete, const pesi_veloci& pesi, const std::vector<int32_t>& righe) {
  const double t0 = adesso_ms();
  for (int r = 0; r < N_RIGHE; ++r) {
    std::copy_n(righe.data() + static_cast<long>(r) * N_AFFERENTI, N_AFFERENTI, rete.pixel);
    somma_controllo += net_recognize_veloce(rete, pesi);
  }
  return adesso_ms() - t0;
}

static double mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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
  analisi_ms(righe, &pixel);  // also brings the file into the page cache

  enum { RIF, SPED, AVVIO, LETT, ANAL, RETE, N };
  std::vector<double> t[N];
  for (int g = 0; g < giri; ++g) {
    t[RIF].push_back(processo_ms({argv[4], righe, intercalari, efferenti, nullptr}));
    t[SPED].push_back(processo_ms({argv[5], righe, intercalari, efferenti, nullptr}));
    t[AVVIO].push_back(processo_ms({argv[5], nullptr}));
    t[LETT].push_back(lettura_ms(righe));
    t[ANAL].push_back(analisi_ms(righe, nullptr));
    t[RETE].push_back(rete_ms(*rete, *pesi, pixel));
  }
  double m[N];
  for (int k = 0; k < N; ++k) m[k] = mediana(t[k]);

  std::printf("velmora_bpms, 10000 righe di %s (mediane di %d giri, livello vettoriale %s)\n", righe, giri,
              livello_disponibile() == livello_simd::avx512 ? "avx512"
              : livello_disponibile() == livello_simd::avx2 ? "avx2"
                                                             : "base");
  std::printf("  %-44s %9.1f ms\n", "forme dirette (fscanf, un ciclo per neurone)", m[RIF]);
  std::printf("  %-44s %9.1f ms   %5.1fx piu' veloce\n", "come distribuito", m[SPED], m[RIF] / m[SPED]);
  std::printf("soglie\n");
  std::printf("  %-44s %9.1f ms\n", "avvio del processo (senza argomenti)", m[AVVIO]);
  std::printf("  %-44s %9.1f ms\n", "lettura del file", m[LETT]);
  std::printf("  %-44s %9.1f ms   distribuito = %.2fx\n", "lettura e analisi delle righe", m[ANAL], m[SPED] / m[ANAL]);
  std::printf("  %-44s %9.1f ms\n", "solo le propagazioni in avanti", m[RETE]);
  std::printf("(controllo %ld)\n", somma_controllo % 10);
  return 0;
}
