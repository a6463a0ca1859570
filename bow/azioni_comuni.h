// What the actions of velmora_bow share: the model's path, how an action
// that changes the model locks and loads it, how one that scores many texts
// loads it and lays it out, and the refusals they all print alike.
#pragma once

#include "blocco.h"
#include "bow_lib.h"
#include "punteggi.h"

inline constexpr const char* MODELLO = "Bow.txt";
// The linear model, beside it: written only by addestra --lineare.
inline constexpr const char* MODELLO_LINEARE = "Bow.lineare";

// The refusal of a text with a run of LUNGHEZZA_MAX or more letters, as
// aggiungi and classifica print it; returns the exit status, 1.
int parola_troppo_lunga();

// Whether the run may replace path, the file that receives cosa ("il
// modello"): refused now, with the reason printed, when it is a folder, a
// special file, a loop of links or a file the user may not write.
bool puo_ricevere(const char* path, const char* cosa);

// For a read-change-write of the model: locks its folder, then loads it.
// false, with the reason printed, when the lock cannot be taken, or the
// model exists but cannot be read or is not a model: nothing may then
// change. A missing model loads as an empty one, after its message.
bool blocca_e_carica(blocco_cartella& blocco, borsa& modello);

// For scoring many texts: the model loaded and laid out. false, with the
// reason printed (senza_modello when there is no model to read).
bool carica_e_indicizza(modello_indicizzato& m, const char* senza_modello);
