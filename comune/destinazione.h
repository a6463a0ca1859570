// Where a file of the suite is written, checked before any work: the target
// with its symbolic links followed, whether it may be replaced, and whether
// two paths name one target or one file.
#pragma once

#include <string>

// The folder of path ("." for a bare name, "/" for a name at the root) and its last component.
std::string cartella_di(const std::string& path);
std::string base_di(const std::string& path);

enum class stato_destinazione {
  scrivibile,
  cartella_mancante,        // the folder does not exist, or a part of the path is not a folder
  cartella_non_scrivibile,  // the folder takes no new file
  e_una_cartella,           // the target itself is a folder
  e_speciale,               // the target is a FIFO, a device or a socket
  ciclo,                    // the target is a loop of symbolic links
  non_permesso,             // the target exists and the user may not write it
};

// Whether path could be written, tried for real in its folder without
// leaving anything there and without opening the target, so that no check
// can block on a FIFO; for a program that must refuse before any work.
stato_destinazione controlla_destinazione(const char* path);
// controlla_destinazione in words, as the messages of the suite give it:
// nullptr when path can be written, else why not ("la sua cartella non
// esiste", "e' una FIFO").
const char* perche_non_scrivibile(const char* path);

// The reasons of perche_non_scrivibile that lie with the target itself (a
// folder, a special file, a loop of links, a file the user may not write),
// not with its folder; nullptr for any other case. For a program whose
// messages about a missing or closed folder come later, in their own words.
const char* perche_non_sostituibile(const char* path);

// Whether two paths name the same target once links are followed and their
// folders resolved ("h.w", "./h.w" and a link to h.w all do), or one
// existing file (two hard links of it): two outputs that must be two files.
bool stessa_destinazione(const char* a, const char* b);

// Whether two paths name one existing file (same device and inode): a
// target that is also an input of the same run.
bool stesso_file(const char* a, const char* b);

// path with every symbolic link along its last component followed (a
// dangling link gives the path it points to).
std::string segui_collegamenti(const std::string& path);
