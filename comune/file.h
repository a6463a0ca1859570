// The file handle every program of the suite holds its stdio files with.
#pragma once

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

struct chiudi_file {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using file_ptr = std::unique_ptr<std::FILE, chiudi_file>;  // closed when it goes out of scope

// fopen, except that a file that could not be opened for lack of memory
// throws std::bad_alloc: it is reported as that, not as a missing file.
inline file_ptr apri_file(const char* path, const char* modo) {
  std::FILE* f = std::fopen(path, modo);
  if (!f && errno == ENOMEM) throw std::bad_alloc();
  return file_ptr(f);
}
