// Preloaded into a program by the tests: every fsync of a folder fails with
// EIO, as on a disk that lost the folder's entry. Files sync as usual.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>

extern "C" int fsync(int fd) {
  struct stat s;
  if (fstat(fd, &s) == 0 && S_ISDIR(s.st_mode)) {
    errno = EIO;
    return -1;
  }
  using funzione = int (*)(int);
  static const auto vera = reinterpret_cast<funzione>(dlsym(RTLD_NEXT, "fsync"));
  return vera(fd);
}
