// Threads for the trainer: how many cores the process may use, a barrier
// that spins briefly and then sleeps on a futex, and a small fixed team of
// threads that run one job at a time beside the caller.
#pragma once

#include <sched.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// The cores this process may run on (its CPU affinity), at least 1.
int fili_disponibili();

// Every one of `fili` threads, numbered 0 ... fili - 1, waits in attendi
// until all of them are there. Each thread counts its own arrivals on a
// cache line of its own and reads the others' lines: no line is written
// by two threads. A waiter spins for a while, then sleeps on the futex of
// the line it waits for, so a thread whose partner was descheduled does not
// burn its core. Whatever a thread wrote before attendi is seen by every
// thread after it.
class barriera {
 public:
  explicit barriera(int fili);
  barriera(const barriera&) = delete;
  barriera& operator=(const barriera&) = delete;
  void attendi(int filo);

 private:
  struct alignas(64) posto {
    std::atomic<uint32_t> giro{0};       // arrivals of its thread; futex word
    std::atomic<uint32_t> dormienti{0};  // threads asleep on giro
  };
  std::vector<posto> posti_;
};

// Threads 1 ... fili - 1, started once, beside the caller, which is thread
// 0. A job runs on threads 1 ... fili - 1 from avvia until concludi; while
// it runs, the caller and the job meet at attendi, as often as both call it.
class squadra {
 public:
  using lavoro = void (*)(void* contesto, int filo);
  // Throws std::system_error when a thread cannot be made.
  explicit squadra(int fili);
  squadra(const squadra&) = delete;
  squadra& operator=(const squadra&) = delete;
  ~squadra();  // no job may be running; gives the caller back its cores

  int fili() const { return static_cast<int>(fili_.size()) + 1; }
  // Threads 1 ... fili - 1 start lavoro(contesto, filo); returns at once.
  void avvia(lavoro l, void* contesto);
  // Returns once every job thread has returned from its lavoro.
  void concludi() { b_.attendi(0); }
  // The caller (filo 0) and the job threads all meet here.
  void attendi(int filo) { b_.attendi(filo); }

 private:
  void ciclo(int filo);
  barriera b_;
  lavoro lavoro_ = nullptr;
  void* contesto_ = nullptr;
  bool chiudi_ = false;
  std::atomic<int> avvio_{0};  // 1: every thread was made, 2: one could not be
  std::vector<std::thread> fili_;
  cpu_set_t prima_;        // the caller's cores before the team kept it on one
  bool fissato_ = false;   // given back when the team goes
};
