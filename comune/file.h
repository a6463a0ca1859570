// The file handle every program of the suite holds its stdio files with.
#pragma once

#include <cstdio>
#include <memory>

struct chiudi_file {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using file_ptr = std::unique_ptr<std::FILE, chiudi_file>;  // closed when it goes out of scope
