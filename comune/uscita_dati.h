// Standard output given over to data: the rows, the predictions or the PNG
// sheet a program writes to "-". Nothing but the data may then reach it.
// The programs print their messages with std::printf from many places (the
// command-line scanner, the row and weight readers, "Memoria
// insufficiente"); rather than thread a stream through each of them,
// descriptor 1 becomes a copy of standard error, and the data gets a stream
// of its own on what descriptor 1 was.
#pragma once

#include <cstdio>

// Makes the split: from here on std::printf goes to standard error. The data
// stream, or nullptr (after a message) when standard output is closed.
std::FILE* separa_uscita_dati();
// Flushes and closes the data stream: false, after "Impossibile scrivere su
// standard output", when any write failed (a full disk, a closed pipe).
bool chiudi_uscita_dati(std::FILE* dati);
