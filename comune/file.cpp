#include "file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

file_ptr apri_file_regolare(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return nullptr;
  }
  // Checked on what was opened, not on the name, which may change meanwhile;
  // the reads that follow may wait, as on any file.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, O_RDONLY) != 0) {
    const int errore = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    errno = errore;
    return nullptr;
  }
  file_ptr f(fdopen(fd, "rb"));
  if (!f) {
    const int errore = errno;
    close(fd);
    if (errore == ENOMEM) throw std::bad_alloc();
    errno = errore;
  }
  return f;
}

const char* natura_speciale(const char* path) {
  struct stat st {};
  stat(path, &st);
  if (S_ISFIFO(st.st_mode)) return "e' una FIFO, non un file regolare";
  if (S_ISSOCK(st.st_mode)) return "e' un socket, non un file regolare";
  return "e' un dispositivo, non un file regolare";
}

const char* perche_illeggibile(const char* path, int errore) {
  switch (errore) {
    case EISDIR: return "e' una cartella";
    case EINVAL: return natura_speciale(path);
    case ELOOP: return "e' un ciclo di collegamenti simbolici";
    case EACCES: return "non si ha il permesso di leggerlo";
    default: return std::strerror(errore);
  }
}
