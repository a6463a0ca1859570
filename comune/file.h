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

// Opens path for reading as a regular file without ever waiting: a FIFO in
// a file's place would hold the open until some writer came. Null, errno
// set, when it cannot be opened, with EISDIR for a folder and EINVAL for any
// other file that is not regular; a lack of memory throws std::bad_alloc.
file_ptr apri_file_regolare(const char* path);

// What path is, for one that is neither a regular file nor a folder, in the
// words of the suite's messages: "e' una FIFO, non un file regolare", a
// socket, or a device.
const char* natura_speciale(const char* path);

// Why path could not be opened for reading, errore being the errno of the
// try: "e' una cartella", natura_speciale, "e' un ciclo di collegamenti
// simbolici", "non si ha il permesso di leggerlo", or the system's words.
const char* perche_illeggibile(const char* path, int errore);
