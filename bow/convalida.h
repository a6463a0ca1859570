// velmora_bow convalida CARTELLA: k-fold cross-validation of the scoring
// rules on a labelled corpus, in memory.
#pragma once

// The whole command line (argv[1] is "convalida"); returns the exit status.
int convalida(int argc, char** argv);
