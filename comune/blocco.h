// The lock of a folder, for a read-change-write cycle of a file in it that
// runs started together must take in turn.
#pragma once

#include <string>

// An exclusive lock on the folder that holds a file, for a read-change-write
// cycle of that file across processes. The folder is locked, not the file,
// because the file is replaced by rename while the lock is held.
struct blocco_cartella {
  int fd = -1;
  blocco_cartella() = default;
  blocco_cartella(const blocco_cartella&) = delete;
  blocco_cartella& operator=(const blocco_cartella&) = delete;
  ~blocco_cartella();  // releases the lock
};

// Waits until the folder of path (links followed) is locked. false when it
// cannot be: the caller must then change nothing.
bool blocca_cartella(blocco_cartella& blocco, const char* path);
// The folder blocca_cartella locks for path, as the messages name it.
std::string cartella_da_bloccare(const char* path);
