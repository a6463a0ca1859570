// The guard every program's entry runs under: an allocation that fails ends
// the run with the suite's message, after every file being written has been
// discarded by the destructors on the way out; and standard output is
// checked to have been written whole (comune/uscita.h).
#pragma once

// Runs esegui(argc, argv) and returns its status; on std::bad_alloc (or a
// size no container can hold) prints "Memoria insufficiente" and returns 1.
// Before it, closed standard descriptors get a stand-in; after it, standard
// output is flushed and closed, and a failed write makes the status 1.
int con_memoria_controllata(int (*esegui)(int, char**), int argc, char** argv);
