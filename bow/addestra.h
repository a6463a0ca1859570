// velmora_bow addestra CARTELLA: every text of a corpus added to its class, in one save.
#pragma once

// The whole command line (argv[1] is "addestra"); returns the exit status.
int addestra(int argc, char** argv);
