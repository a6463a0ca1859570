// The actions of velmora_bow on a whole corpus and on the model, besides
// aggiungi and classifica. Each takes the whole command line (argv[1] is its
// word, argc >= 2) and returns the exit status.
#pragma once

inline constexpr const char* MODELLO = "Bow.txt";

// The refusal of a text with a run of LUNGHEZZA_MAX or more letters, as
// aggiungi and classifica print it; returns the exit status, 1.
int parola_troppo_lunga();

// addestra CARTELLA: adds every text of the corpus to its class, in one save.
int addestra(int argc, char** argv);
// valuta CARTELLA [--errori] [--punteggio NOME] [--alfa A]: classifies every
// text of the corpus and reports.
int valuta(int argc, char** argv);
// mostra CLASSE [--primi N]: the words of a class.
int mostra(int argc, char** argv);
// spiega FILE [--punteggio NOME] [--alfa A] [--parole N]: why FILE goes to its class.
int spiega(int argc, char** argv);
