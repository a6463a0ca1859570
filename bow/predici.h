// velmora_bow predici: the class of every text, one tab-separated line each, for a pipeline.
#pragma once

// The whole command line (argv[1] is "predici"); returns the exit status.
int predici(int argc, char** argv);
