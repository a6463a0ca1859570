#include "uscita_dati.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

std::FILE* separa_uscita_dati() {
  std::fflush(stdout);
  const int dati = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  // Messages go to standard error, or nowhere when it is closed: never into the data.
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    const int nulla = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nulla >= 0 && nulla != STDOUT_FILENO) {
      dup2(nulla, STDOUT_FILENO);
      close(nulla);
    }
  }
  std::FILE* f = dati >= 0 ? fdopen(dati, "wb") : nullptr;
  if (!f) {
    if (dati >= 0) close(dati);
    std::printf("Standard output non e' aperto: i dati non hanno dove andare\n");
  }
  return f;
}

bool chiudi_uscita_dati(std::FILE* dati) {
  bool ok = std::fflush(dati) == 0 && !std::ferror(dati);
  ok = std::fclose(dati) == 0 && ok;
  if (!ok) std::printf("Impossibile scrivere su standard output\n");
  return ok;
}
