// velmora_bow spiega FILE: why a text goes to the class it goes to.
#pragma once

// The whole command line (argv[1] is "spiega"); returns the exit status.
int spiega(int argc, char** argv);
