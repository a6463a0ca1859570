// A thread arriving at the barrier advances its own round counter and
// wakes whoever sleeps on it; then it waits for every other counter to
// reach its round, spinning first and then sleeping with FUTEX_WAIT.
#include "fili.h"

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <pthread.h>

#include <climits>

int fili_disponibili() {
  cpu_set_t insieme;
  CPU_ZERO(&insieme);
  if (sched_getaffinity(0, sizeof insieme, &insieme) != 0) return 1;
  const int n = CPU_COUNT(&insieme);
  return n > 0 ? n : 1;
}

namespace {

// How long a waiter spins before it sleeps: far longer than a step's wait,
// far shorter than the pauses between epochs.
constexpr int ATTESA_US = 1000;

inline void pausa() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

uint32_t* parola(std::atomic<uint32_t>& a) { return reinterpret_cast<uint32_t*>(&a); }

}  // namespace

barriera::barriera(int fili) : posti_(static_cast<size_t>(fili < 1 ? 1 : fili)) {}

void barriera::attendi(int filo) {
  posto& mio = posti_[static_cast<size_t>(filo)];
  const uint32_t giro = mio.giro.load(std::memory_order_relaxed) + 1;
  mio.giro.store(giro, std::memory_order_seq_cst);
  if (mio.dormienti.load(std::memory_order_seq_cst) > 0)
    syscall(SYS_futex, parola(mio.giro), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
  for (posto& altro : posti_) {
    if (&altro == &mio) continue;
    // The other thread is at most one round ahead: done once it reached this one.
    const auto arrivato = [&] {
      return static_cast<int32_t>(altro.giro.load(std::memory_order_seq_cst) - giro) >= 0;
    };
    // Spinning keeps the core: a thread that gives it up, even to a process
    // of the lowest priority, may wait a whole time slice to get it back.
    const auto limite = std::chrono::steady_clock::now() + std::chrono::microseconds(ATTESA_US);
    for (int i = 1; !arrivato(); ++i) {
      pausa();
      if (i % 256 == 0 && std::chrono::steady_clock::now() > limite) break;
    }
    if (arrivato()) continue;
    // Either the other thread sees this count, or this one sees its arrival.
    altro.dormienti.fetch_add(1, std::memory_order_seq_cst);
    for (uint32_t visto; static_cast<int32_t>((visto = altro.giro.load(std::memory_order_seq_cst)) - giro) < 0;)
      syscall(SYS_futex, parola(altro.giro), FUTEX_WAIT_PRIVATE, visto, nullptr, nullptr, 0);
    altro.dormienti.fetch_sub(1, std::memory_order_seq_cst);
  }
}

namespace {

// The cores of the process's affinity, in order.
std::vector<int> cores() {
  std::vector<int> c;
  cpu_set_t insieme;
  CPU_ZERO(&insieme);
  if (sched_getaffinity(0, sizeof insieme, &insieme) != 0) return c;
  for (int k = 0; k < CPU_SETSIZE; ++k)
    if (CPU_ISSET(k, &insieme)) c.push_back(k);
  return c;
}

void su_core(int core) {
  cpu_set_t uno;
  CPU_ZERO(&uno);
  CPU_SET(core, &uno);
  pthread_setaffinity_np(pthread_self(), sizeof uno, &uno);
}

}  // namespace

squadra::squadra(int fili) : b_(fili < 1 ? 1 : fili) {
  // One thread per core when there are enough: left to itself, the
  // scheduler may keep two threads of the team on one core (waking a
  // partner where the waker runs, or leaving another process the other
  // core), and then every meeting waits for a time slice.
  const std::vector<int> c = cores();
  const bool fissa = fili > 1 && static_cast<int>(c.size()) >= fili;
  // A thread that cannot be made (no room for its stack) undoes the team:
  // the threads made so far go only when all are there.
  try {
    for (int f = 1; f < fili; ++f)
      fili_.emplace_back([this, f, core = fissa ? c[static_cast<size_t>(f)] : -1] {
        if (core >= 0) su_core(core);
        avvio_.wait(0);
        if (avvio_.load() == 1) ciclo(f);
      });
  } catch (...) {
    avvio_.store(2);
    avvio_.notify_all();
    for (std::thread& t : fili_) t.join();
    throw;
  }
  if (fissa) {
    fissato_ = pthread_getaffinity_np(pthread_self(), sizeof prima_, &prima_) == 0;
    su_core(c[0]);
  }
  avvio_.store(1);
  avvio_.notify_all();
}

squadra::~squadra() {
  chiudi_ = true;
  b_.attendi(0);
  for (std::thread& t : fili_) t.join();
  if (fissato_) pthread_setaffinity_np(pthread_self(), sizeof prima_, &prima_);
}

void squadra::avvia(lavoro l, void* contesto) {
  lavoro_ = l;
  contesto_ = contesto;
  b_.attendi(0);
}

void squadra::ciclo(int filo) {
  for (;;) {
    b_.attendi(filo);
    if (chiudi_) return;
    lavoro_(contesto_, filo);
    b_.attendi(filo);
  }
}
