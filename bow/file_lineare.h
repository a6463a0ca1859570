// The linear model's file, "Bow.lineare", kept beside Bow.txt: written only
// through the suite's atomic write, checked whole as it is read, and tied to
// the Bow.txt it was trained beside by a fingerprint of that file's bytes.
//
// Little-endian throughout, doubles as their eight IEEE bytes, so that the
// file is the same byte for byte on every build. A header of 184 bytes:
//
//   offset  bytes  what
//        0      8  "BOWLINEA"
//        8      4  version, 2 (version 1, the averaged passive-aggressive
//                  rule on Bow.txt's words, is refused: train again)
//       12      4  the classes with data: bit k for class k, bits 10 ... 31 zero
//       16      8  F, the number of slots with a weight
//       24      8  the length of Bow.txt in bytes     } the Bow.txt saved by the
//       32      8  the FNV-1a 64 of Bow.txt's bytes   } run that trained the model
//       40      8  the number of training texts       } impronta_corpus of the
//       48      8  their fingerprint                  } training texts
//       56      8  C (a double, finite, > 0)
//       64      4  bit 0: pairs of words; bit 1: NB ratios; bits 2 ... 31 zero
//       68      4  the folds of the choice: 0 (none) or 2 ... 255
//       72      8  the chosen settings' cross-validated accuracy, 0 ... 1 (0 without folds)
//       80      8  the softmax's temperature (0.0001 ... 10000; training fits it in 0.001 ... 1000)
//       88      8  a, the top class's calibration (0.01 ... 100)
//       96      8  b, the same (-50 ... 50)
//      104     80  the ten biases beta_0 ... beta_9 (finite doubles)
//
// then F records of 92 bytes, one per slot in strictly ascending order: the
// slot (uint32 below 2^20; a pair's, bit 19, only with pairs), its idf (a
// finite double >= 1), then its ten weights W_0j ... W_9j (finite doubles; 0
// or -0 for a class without data). Nothing follows the last record. The file
// is 184 + 92 F bytes long; F is 0 exactly when no class has data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bow_lib.h"
#include "impronta.h"
#include "lineare.h"

inline constexpr int LUNGHEZZA_INTESTAZIONE_LINEARE = 184;
inline constexpr int LUNGHEZZA_RECORD_LINEARE = 4 + 8 + 8 * CLASSI;  // 92
inline constexpr uint32_t VERSIONE_LINEARE = 2;
inline constexpr char MAGIA_LINEARE[8] = {'B', 'O', 'W', 'L', 'I', 'N', 'E', 'A'};

// The fingerprint of the training texts, one accepted text at a time in
// training order: its class, its path within the corpus folder ("K/NAME",
// "K/FOLDER/NAME", whatever the corpus folder is called) and the impronta of
// its bytes, each as 64-bit little-endian numbers but the path's bytes.
struct impronta_corpus {
  impronta tutto;
  uint64_t testi = 0;
  void aggiungi_testo(int classe, std::string_view nome, const impronta& testo);
};

// Whether the file at path_bow is, byte for byte as far as its fingerprint
// tells, the Bow.txt the model was trained beside. false when it cannot be read.
bool corrisponde(const modello_lineare& m, const char* path_bow);

// Where a file that is not a linear model first shows it.
struct difetto_lineare {
  long record = 0;       // 0 for the header, 1 for the first slot
  std::string motivo;    // in the words of the report
  bool vecchio = false;  // a model of an earlier version, to train again
};

// The model's bytes written to f; false when a write failed.
bool codifica_lineare(const modello_lineare& m, std::FILE* f);
// Reads a model from f to its end, checking every field: letto (and m
// replaced), illeggibile on a read error, non_modello (with the first bad
// part in difetto) for anything but a file codifica_lineare could have
// written. m is left as it was unless letto.
esito_lettura decodifica_lineare(modello_lineare& m, std::FILE* f, difetto_lineare* difetto = nullptr);

// Replaces path with the model through the suite's atomic write; false,
// printing nothing and leaving path as it was, on any failure.
bool scrivi_lineare(const modello_lineare& m, const char* path);
// decodifica_lineare of the file at path; mancante when there is none.
esito_lettura carica_lineare(modello_lineare& m, const char* path, difetto_lineare* difetto = nullptr);
// The model at path, ready to score beside the Bow.txt at path_bow: loaded,
// checked, and trained beside that very Bow.txt. false after printing why
// not, in Italian: no such file, unreadable, of an earlier version, not a
// linear model (naming its first bad part), or trained beside another Bow.txt.
bool leggi_lineare(modello_lineare& m, const char* path, const char* path_bow);
