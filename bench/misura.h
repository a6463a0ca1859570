// Timing helpers of the benchmarks: whole processes from fork to exit, and
// medians. Wall time and CPU time (user + system) are both kept: when other
// jobs share the cores the CPU time is the steadier figure.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

struct tempo {
  double parete;  // wall milliseconds
  double cpu;     // user + system milliseconds
};

inline double adesso_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// CPU time of this process so far.
inline double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One run of a phase of this process.
template <typename F>
tempo fase(F&& f) {
  const double t0 = adesso_ms(), c0 = cpu_ms();
  f();
  return {adesso_ms() - t0, cpu_ms() - c0};
}

// One run of a program, standard output on /dev/null. A run that does not
// exit with status 0 ends the benchmark, unless it was given no arguments.
inline tempo processo(const std::vector<const char*>& argv) {
  const double t0 = adesso_ms();
  const pid_t pid = fork();
  if (pid == 0) {
    const int nulla = open("/dev/null", O_WRONLY);
    dup2(nulla, STDOUT_FILENO);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  int stato = 0;
  rusage uso{};
  wait4(pid, &stato, 0, &uso);
  const double t = adesso_ms() - t0;
  if (!WIFEXITED(stato) || (WEXITSTATUS(stato) != 0 && argv.size() > 2)) {
    std::printf("%s: uscita anomala\n", argv[0]);
    std::exit(1);
  }
  auto ms = [](timeval v) { return static_cast<double>(v.tv_sec) * 1e3 + static_cast<double>(v.tv_usec) / 1e3; };
  return {t, ms(uso.ru_utime) + ms(uso.ru_stime)};
}

inline double mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The runs of one job, for their medians.
struct serie {
  std::vector<double> parete, cpu;
  void aggiungi(tempo t) {
    parete.push_back(t.parete);
    cpu.push_back(t.cpu);
  }
  tempo mediane() const { return {mediana(parete), mediana(cpu)}; }
};

// The table's heading: the runs and the vector unit the fast paths chose.
inline void stampa_testata(int giri, const char* livello) {
  std::printf("mediane di %d giri, livello vettoriale %s; millisecondi di parete / di cpu\n", giri, livello);
}

// One job's medians, under a name, on a line left open for a remark.
inline void stampa_mediane(const char* nome, tempo t, const char* formato = "  %-44s %8.1f / %8.1f") {
  std::printf(formato, nome, t.parete, t.cpu);
}
