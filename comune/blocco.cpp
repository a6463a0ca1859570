#include "blocco.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "destinazione.h"

blocco_cartella::~blocco_cartella() {
  if (fd >= 0) close(fd);  // closing releases the lock
}

std::string cartella_da_bloccare(const char* path) { return cartella_di(segui_collegamenti(path)); }

bool blocca_cartella(blocco_cartella& b, const char* path) {
  b.fd = open(cartella_da_bloccare(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (b.fd < 0) return false;
  while (flock(b.fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(b.fd);
      b.fd = -1;
      return false;
    }
  }
  return true;
}
