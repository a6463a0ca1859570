// The actions of velmora_bow on a whole corpus and on the model, besides
// aggiungi and classifica. Each takes the whole command line (argv[1] is its
// word, argc >= 2) and returns the exit status.
#pragma once

inline constexpr const char* MODELLO = "Bow.txt";

// The refusal of a text with a run of LUNGHEZZA_MAX or more letters, as
// aggiungi and classifica print it; returns the exit status, 1.
int parola_troppo_lunga();

// Whether the run may replace path, the file that receives cosa ("il
// modello"): refused now, with the reason printed, when it is a folder, a
// special file, a loop of links or a file the user may not write.
bool puo_ricevere(const char* path, const char* cosa);

struct blocco_cartella;
// Locks the model's folder for a read-change-write of Bow.txt; false, with
// the reason printed, when it cannot be locked: nothing may then change.
bool blocca_modello(blocco_cartella& blocco);

// addestra CARTELLA: adds every text of the corpus to its class, in one save.
int addestra(int argc, char** argv);
// valuta CARTELLA [--errori] [--punteggio NOME] [--alfa A]: classifies every
// text of the corpus and reports.
int valuta(int argc, char** argv);
// mostra CLASSE [--primi N]: the words of a class.
int mostra(int argc, char** argv);
// spiega FILE [--punteggio NOME] [--alfa A] [--parole N]: why FILE goes to its class.
int spiega(int argc, char** argv);
