// The guard every program's entry runs under: an allocation that fails ends
// the run with the suite's message, after every file being written has been
// discarded by the destructors on the way out.
#pragma once

// Runs esegui(argc, argv) and returns its status; on std::bad_alloc (or a
// size no container can hold) prints "Memoria insufficiente" and returns 1.
int con_memoria_controllata(int (*esegui)(int, char**), int argc, char** argv);
