// The resume file of velmora_apms (--ripresa FILE): the whole state of a run
// at the end of an epoch, written after every epoch through the suite's
// atomic write. A run stopped by SIGINT or SIGTERM, killed, or cut by a power
// loss goes on from the last epoch kept when the same command is given
// again, and ends with the same weight files and the same epoch lines as a
// run that never stopped.
//
// The file is the run's own: it records the settings and fingerprints of
// the rows and of the starting weights, and a file of another run, or one
// that is not a resume file at all, is refused and never overwritten.
//
// Layout, every field 8 bytes little-endian (integers unsigned, reals IEEE
// doubles): "velmora_apms rip" (16 bytes); the version (1); the number of
// fields of the run's signature, then the fields; the epochs done; the
// states of the two generators (row orders, shifted copies); the number of
// training rows, then their order in the last epoch; the rate; the
// network's weights, both matrices with their tails (VALORI_RETE doubles);
// the best validation epoch, its rows recognised plus one (0: none yet), and
// its weights when there is one; the number of epochs the mean keeps, then
// their weights, oldest first; from version 2, the number of epochs done
// before a resume that kept no history, the number of epochs the history
// holds, then per epoch its number, rate, training rows recognised and
// counted, the validation rows recognised, counted and their mean cost, the
// same for the held-out rows, and the training rows' cost (costs NaN when
// not computed); last, the check of every byte before it.
//
// A file of version 1 (written before the history was kept) is still
// resumed, with the same weights: its epochs are missing from the history,
// and the page says how many.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dati.h"
#include "lib.h"
#include "opzioni.h"
#include "pagina_cifre.h"
#include "pesi.h"

// Doubles in the network's two weight matrices, tails included.
inline constexpr long VALORI_RETE = long{N_INTERCALARI} * (N_AFFERENTI + 1) + long{N_EFFERENTI} * (N_INTERCALARI + 1);

// What a run carries from one epoch to the next, besides the weights the
// network holds.
struct corsa {
  int epoca = 0;                // epochs done
  generatore estrazioni{SEME};  // drew the starting weights, then draws each epoch's row order
  generatore copie{SEME + 2};   // draws the shifted copy of each row
  std::vector<int> ordine;      // the last epoch's order of the training rows, which the next one shuffles
  double tasso = 0.0;           // the rate of the next epoch
  migliore meglio;
  media_mobile mm;
  std::vector<epoca_curva> storia;  // one per epoch done, for the page and the curve table
  int epoche_senza_storia = 0;      // epochs kept by a version 1 resume file, which has no history
};

// The run's signature: its settings, and fingerprints of its rows and of
// the weights it starts from (after they are drawn or read), in a fixed
// order. The number of threads is not part of it: the weights do not
// depend on it.
std::vector<uint64_t> firma_corsa(const opzioni& o, const dati& d, const rete_cifre& partenza);

// Writes the state after c.epoca epochs; false when the write failed, the
// old file then as it was.
bool scrivi_ripresa(const char* path, const std::vector<uint64_t>& firma, const corsa& c, const rete_cifre& rete);
// The bytes of that file, to f.
void scrivi_ripresa(std::FILE* f, const std::vector<uint64_t>& firma, const corsa& c, const rete_cifre& rete);

enum class esito_ripresa { mancante, ripresa, rifiutata };

// Reads a resume file into c and rete. mancante: there is none, and the run
// starts from the beginning. rifiutata: the message naming the file and why
// is in motivo ("non e' una ripresa di velmora_apms: ..." or "e' di un altro
// addestramento: ..."); c and rete may be partly filled. c.ordine comes
// with as many rows as the run trains on. ripresa: c and rete
// hold the state kept, checked against the run's options (epoca at most
// o.epoche, the mean's epochs at most o.media, ...).
esito_ripresa leggi_ripresa(std::FILE* f, const std::vector<uint64_t>& firma, const opzioni& o, int righe_validazione,
                            corsa& c, rete_cifre& rete, std::string& motivo);
esito_ripresa leggi_ripresa(const char* path, const std::vector<uint64_t>& firma, const opzioni& o,
                            int righe_validazione, corsa& c, rete_cifre& rete, std::string& motivo);

// Whether a resume file may be kept at path, checked before any row is
// read: it must be writable, neither a weight file nor a rows file of the
// run, and when it exists it must start as a resume file does. Otherwise
// prints why and returns false.
bool controlla_ripresa(const opzioni& o);

// The file just written at path, to be removed once the run ends: only a
// file that is still that one (same device and inode) is removed.
struct ripresa_scritta {
  dev_t dispositivo = 0;
  ino_t inode = 0;
  bool nota = false;
};
ripresa_scritta identifica_ripresa(const char* path);
bool rimuovi_ripresa(const char* path, const ripresa_scritta& r);

// ---- Stopping ---------------------------------------------------------------------------

// From now on SIGINT and SIGTERM no longer end the process: they ask the run
// to stop at its next step.
void intercetta_fermata();
// Whether a stop was asked.
bool fermata_chiesta();
