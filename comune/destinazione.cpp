#include "destinazione.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "file.h"

std::string cartella_di(const std::string& path) {
  const size_t barra = path.rfind('/');
  if (barra == std::string::npos) return ".";
  return barra == 0 ? "/" : path.substr(0, barra);
}

std::string base_di(const std::string& path) {
  const size_t barra = path.rfind('/');
  return barra == std::string::npos ? path : path.substr(barra + 1);
}

bool stesso_file(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string segui_collegamenti(const std::string& path) {
  std::string p = path;
  for (int salti = 0; salti < 40; ++salti) {  // a loop of links stays a link: stat then says ELOOP
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::string dove(PATH_MAX, '\0');
    const ssize_t n = readlink(p.c_str(), dove.data(), dove.size());
    if (n <= 0 || static_cast<size_t>(n) >= dove.size()) return p;
    dove.resize(static_cast<size_t>(n));
    const size_t barra = p.rfind('/');
    p = (dove[0] == '/' || barra == std::string::npos) ? dove : p.substr(0, barra + 1) + dove;
  }
  return p;
}

bool stessa_destinazione(const char* a, const char* b) {
  auto canonico = [](const char* path) {
    const std::string d = segui_collegamenti(path);
    char* cartella = realpath(cartella_di(d).c_str(), nullptr);
    const std::string c = cartella ? std::string(cartella) : cartella_di(d);
    std::free(cartella);
    return c + "/" + base_di(d);
  };
  return stesso_file(a, b) || canonico(a) == canonico(b);
}

stato_destinazione controlla_destinazione(const char* path) {
  struct stat st;
  // The kernel's own walk first: a link into /proc (as /dev/stdout is)
  // names no path that the walk below could follow.
  if (stat(path, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return stato_destinazione::e_speciale;
  const std::string destinazione = segui_collegamenti(path);
  // stat, never open: a FIFO would block the check.
  if (stat(destinazione.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return stato_destinazione::e_una_cartella;
    if (!S_ISREG(st.st_mode)) return stato_destinazione::e_speciale;
    // As the shell's redirection decides: the user's own rights on the file.
    if (faccessat(AT_FDCWD, destinazione.c_str(), W_OK, AT_EACCESS) != 0)
      return errno == EROFS ? stato_destinazione::cartella_non_scrivibile : stato_destinazione::non_permesso;
  } else if (errno == ELOOP) {
    return stato_destinazione::ciclo;
  }
  const std::string cartella = cartella_di(destinazione);
  if (stat(cartella.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return stato_destinazione::cartella_mancante;
  // A real try, which leaves nothing: an unnamed file in that folder.
  const int fd = open(cartella.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return stato_destinazione::scrivibile;
  }
  if (errno == ENOENT) return stato_destinazione::cartella_mancante;  // removed, as a working folder can be
  if (errno == EACCES || errno == EPERM || errno == EROFS) return stato_destinazione::cartella_non_scrivibile;
  // No unnamed files on this file system: the permissions must do.
  return faccessat(AT_FDCWD, cartella.c_str(), W_OK | X_OK, AT_EACCESS) == 0
             ? stato_destinazione::scrivibile
             : stato_destinazione::cartella_non_scrivibile;
}

const char* perche_non_scrivibile(const char* path) {
  switch (controlla_destinazione(path)) {
    case stato_destinazione::scrivibile: break;
    case stato_destinazione::cartella_mancante: return "la sua cartella non esiste";
    case stato_destinazione::cartella_non_scrivibile: return "la sua cartella non accetta nuovi file";
    case stato_destinazione::e_una_cartella: return "e' una cartella";
    case stato_destinazione::ciclo: return "e' un ciclo di collegamenti simbolici";
    case stato_destinazione::non_permesso: return "non si ha il permesso di scriverlo";
    case stato_destinazione::e_speciale: return natura_speciale(path);
  }
  return nullptr;
}

const char* perche_non_sostituibile(const char* path) {
  switch (controlla_destinazione(path)) {
    case stato_destinazione::e_una_cartella:
    case stato_destinazione::e_speciale:
    case stato_destinazione::ciclo:
    case stato_destinazione::non_permesso: return perche_non_scrivibile(path);
    default: return nullptr;
  }
}
