// velmora_bow valuta CARTELLA: every text of a labelled corpus classified, and a report.
#pragma once

// The whole command line (argv[1] is "valuta"); returns the exit status.
int valuta(int argc, char** argv);
