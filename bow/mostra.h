// velmora_bow mostra CLASSE: the words of a class.
#pragma once

// The whole command line (argv[1] is "mostra"); returns the exit status.
int mostra(int argc, char** argv);
