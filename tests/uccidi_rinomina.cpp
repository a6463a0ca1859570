// Preloaded into a program by the tests: the process is killed outright
// (SIGKILL) just before it renames a file over a target named as
// VELMORA_UCCIDI_PRIMA_DI says (its last component), as a kill -9 or a power
// cut finds a writer between two renames. Every other rename is done.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* da, const char* a) {
  const char* bersaglio = std::getenv("VELMORA_UCCIDI_PRIMA_DI");
  const char* barra = std::strrchr(a, '/');
  if (bersaglio && std::strcmp(barra ? barra + 1 : a, bersaglio) == 0) kill(getpid(), SIGKILL);
  using funzione = int (*)(const char*, const char*);
  static const auto vera = reinterpret_cast<funzione>(dlsym(RTLD_NEXT, "rename"));
  return vera(da, a);
}
