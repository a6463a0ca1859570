// Shared pieces of the fuzz targets: in-memory files that behave like real
// ones, the failure report, and the seed-corpus writer each target provides.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "file.h"

namespace fz {

using ::file_ptr;

// A stream over these bytes, open at its start, without any system call;
// the bytes must outlive it.
inline file_ptr memstream(const uint8_t* data, size_t size) {
  static char vuoto[1];
  void* buf = size ? static_cast<void*>(const_cast<uint8_t*>(data)) : vuoto;
  std::FILE* f = fmemopen(buf, size, "r");
  if (!f) std::abort();
  return file_ptr(f);
}

// A file of exactly these bytes, open at its start. It lives in memory but has
// a real descriptor, so a reader that goes below stdio, or takes a path,
// sees the same bytes.
inline file_ptr memfile(const uint8_t* data, size_t size, const char* modo = "r") {
  int fd = memfd_create("velmora-fuzz", 0);
  if (fd < 0) std::abort();
  for (size_t scritti = 0; scritti < size;) {
    ssize_t n = write(fd, data + scritti, size - scritti);
    if (n <= 0) std::abort();
    scritti += static_cast<size_t>(n);
  }
  if (lseek(fd, 0, SEEK_SET) != 0) std::abort();
  std::FILE* f = fdopen(fd, modo);
  if (!f) std::abort();
  return file_ptr(f);
}

// A path naming the same open file, for readers that take a path.
inline std::string percorso(std::FILE* f) { return "/proc/self/fd/" + std::to_string(fileno(f)); }

// Writes one seed file; a seed that cannot be written is a broken setup.
inline void scrivi_seme(const std::string& dir, const std::string& nome, const std::string& bytes) {
  file_ptr f(std::fopen((dir + "/" + nome).c_str(), "wb"));
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size()) {
    std::fprintf(stderr, "seme %s/%s non scritto\n", dir.c_str(), nome.c_str());
    std::exit(1);
  }
}

// While it lives, what the code under test prints goes nowhere: its
// messages are checked by the programs' own tests, and here would only slow
// every run. Cheap enough for every input: stdout is only swapped.
struct muto {
  std::FILE* vero = stdout;
  muto() {
    static std::FILE* nulla = std::fopen("/dev/null", "w");
    stdout = nulla;
  }
  ~muto() { stdout = vero; }
  muto(const muto&) = delete;
  muto& operator=(const muto&) = delete;
};

}  // namespace fz

// A broken property is a finding: say which and stop the way a crash does,
// so the fuzzer keeps the input.
#define FZ_CHECK(cond, ...)                                        \
  do {                                                             \
    if (!(cond)) {                                                 \
      std::fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                           \
      std::fputc('\n', stderr);                                    \
      std::abort();                                                \
    }                                                              \
  } while (0)

// Provided by every target: writes its seed corpus into dir.
void scrivi_semi(const std::string& dir);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
