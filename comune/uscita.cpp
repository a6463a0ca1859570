#include "uscita.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "nomi.h"

namespace {

std::FILE* flusso_messaggi = nullptr;  // null: stdout
int causa_interruzione = 0;            // errno of the first failed write seen, or 0

}  // namespace

std::FILE* messaggi() { return flusso_messaggi ? flusso_messaggi : stdout; }

void messaggi_su_standard_error() { flusso_messaggi = stderr; }

void causa_su_standard_error(const char* verbo, const char* path, int errore) {
  std::fprintf(stderr, "Impossibile %s il file %s: %s\n", verbo, stampabile(path).c_str(),
               std::strerror(errore != 0 ? errore : EIO));
}

bool uscita_interrotta() {
  if (!std::ferror(stdout)) return false;
  // Called right after a write, errno is still that write's.
  if (causa_interruzione == 0) causa_interruzione = errno != 0 ? errno : EIO;
  return true;
}

void occupa_descrittori_chiusi() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is fd itself: 0 opened for writing only, 1 and
    // 2 for reading only, so that each refuses what the run would do with it.
    const int sostituto = open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY));
    if (sostituto >= 0 && sostituto != fd) close(sostituto);
  }
}

int chiudi_uscita(int stato) {
  const int ultimo = errno;
  int errore = 0;
  if (std::ferror(stdout)) {
    errore = causa_interruzione;
    // No loop saw it. When a buffer that filled up could not be written its
    // bytes are still there, and a new try tells the cause; when a flush of
    // the program's own failed they are gone, and the cause is that flush's,
    // the last failure of the run.
    if (errore == 0) {
      std::clearerr(stdout);
      errore = std::fflush(stdout) != 0 ? errno : ultimo != 0 ? ultimo : EIO;
    }
  } else if (std::fflush(stdout) != 0) {
    errore = errno;
  }
  // The close is the last write: on some file systems only it reports the failure.
  if (std::fclose(stdout) != 0 && errore == 0) errore = errno;
  if (errore == 0) return stato;
  std::fprintf(stderr, "Errore di scrittura sullo standard output: %s\n", std::strerror(errore));
  return 1;
}

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
  const int ultimo = errno;
  int errore = 0;
  if (std::ferror(dati)) {
    // Bytes that could not be written are still in the buffer: a new try tells the cause.
    std::clearerr(dati);
    errore = std::fflush(dati) != 0 ? errno : ultimo != 0 ? ultimo : EIO;
  } else if (std::fflush(dati) != 0) {
    errore = errno;
  }
  if (std::fclose(dati) != 0 && errore == 0) errore = errno;
  if (errore == 0) return true;
  std::fprintf(stderr, "Errore di scrittura sullo standard output: %s\n", std::strerror(errore));
  return false;
}
