// Atomic replacement of every file the suite writes. A new file is written
// beside its target and only then renamed over it, so a reader sees the old
// file or the new one, whole, and a failure at any step (a full disk, a
// signal, a crash, a power cut) leaves the old file as it was.
//
// One policy for every writer: every write, the flush and the close are
// checked; the file is synced before the rename and its folder after it; a
// target reached through symbolic links is replaced where the links lead and
// keeps its permission bits and, where the system allows, its owner and group.
// Only a regular file is ever replaced: a device, a FIFO, a socket, a folder
// or a loop of links is refused, and so is a file the user may not write.
// While it is written the new file has no name (O_TMPFILE), so no signal can
// leave it behind. It gets one only for the rename, with SIGINT, SIGTERM,
// SIGHUP and SIGQUIT held back; where the file system has no unnamed files it
// has that name throughout. A signal that came while they were held stops
// the install before the rename: the target stays as it was, and the signal
// takes effect once the temporary is gone.
// Temporaries are named ".velmora-HHHHHHHHHHHHHHHH-RRRRRRRRRRRRCCCC": a hash
// of the target's name, twelve random characters and a check of both, so a
// name no user file plausibly has. A temporary whose writer was killed
// outright is removed by the next write of the same target, and only when its
// name checks out, it is a regular file of this user, and no live writer
// holds the lock every writer keeps on its temporary.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>

// A file being written beside its target.
struct file_nuovo {
  std::string destinazione;   // the file replaced: the target with its symbolic links followed
  std::string temporaneo;     // the temporary's path while it has a name, else empty
  std::FILE* file = nullptr;  // open for writing until installed or discarded
  int cartella = -1;          // the target's folder, synced after the rename
  mode_t modo = 0;            // the old file's permission bits, or 0666 less the umask
  uid_t proprietario = 0;     // the old file's owner and group, when there was one
  gid_t gruppo = 0;
  bool sostituisce = false;   // the target exists: its owner and group are given to the new file
  int tenuto = -1;            // the new file, still open after its stream is closed: its lock lasts until the rename
  bool trattiene = false;     // signals are held back on its behalf

  file_nuovo() = default;
  file_nuovo(const file_nuovo&) = delete;
  file_nuovo& operator=(const file_nuovo&) = delete;
  ~file_nuovo();  // discards whatever was not installed
};

// Starts a new file for path; false (errno set) when its folder takes none,
// or when path is anything but a regular file the user may write.
bool apri_file_nuovo(file_nuovo& nuovo, const char* path);
// Checks, syncs and renames the new file over its target, then syncs the
// folder; false when any step failed. The target is then as it was, unless
// only the sync of the folder failed. The new file is closed either way.
bool installa_file(file_nuovo& nuovo);
// Installs two new files, both or neither: when the second rename fails
// the first target is put back as it was. Returns 0 when both are in place,
// else 1 or 2: the file that failed (the first, when both would have).
// A record beside the first target, synced before the first rename, lets
// completa_coppia end an install whose writer was killed between the two.
int installa_coppia(file_nuovo& primo, file_nuovo& secondo);
// Ends the install of a pair whose first file is path_primo, when its writer
// was killed between the two renames: the second new file, which has waited
// under its temporary name, is renamed over its target, "La scrittura dei
// pesi A e B era stata interrotta: completata ora" printed, and true
// returned. Also true when there is nothing to end (no record, or a writer
// killed before its first rename or after its second); a live writer
// between its renames is waited for.
// false, after a message, when the pair on disk is not one: the second file
// changed since the kill, or the rename cannot be done now.
bool completa_coppia(const char* path_primo);
// Drops the new file; nothing of it is left. errno is kept.
void scarta_file(file_nuovo& nuovo);
// Starts writing to disk the bytes of f from offset da to what has been
// written so far, without waiting for them, so that the sync before the
// rename finds little left: a long file then reaches the disk while its
// writer is still at work. Returns the offset reached, the da of the next
// call. A hint only; a failure shows at that sync. In a build without syncs
// it starts nothing.
long avvia_scrittura(std::FILE* f, long da);

// The whole content of path replaced by n bytes, atomically.
bool scrivi_file_atomico(const char* path, const void* dati, size_t n);
