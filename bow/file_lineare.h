// The linear model's file, "Bow.lineare", kept beside Bow.txt: written only
// through the suite's atomic write, checked whole as it is read, and tied to
// the Bow.txt it was trained beside by a fingerprint of that file's bytes.
//
// Little-endian throughout, doubles as their eight IEEE bytes, so that the
// file is the same byte for byte on every build. A header of 160 bytes:
//
//   offset  bytes  what
//        0      8  "BOWLINEA"
//        8      4  version, 1
//       12      4  the classes with data: bit k for class k, bits 10 ... 31 zero
//       16      8  V, the number of words
//       24      8  the length of Bow.txt in bytes     } the Bow.txt saved by the
//       32      8  the FNV-1a 64 of Bow.txt's bytes   } run that trained the model
//       40      8  the number of training texts       } impronta_corpus of the
//       48      8  their fingerprint                  } training texts
//       56      8  C, the learner's aggressiveness (a double, finite, > 0)
//       64      8  the seed of the shuffles
//       72      4  the epochs, >= 1
//       76      4  zero
//       80     80  the ten biases beta_0 ... beta_9 (finite doubles)
//
// then V records of 112 bytes, one per word in strictly ascending byte order:
// the word in 32 bytes as Bow.txt stores it (1 to 31 bytes of 0x5B ... 0x7F,
// then zeros), then its ten weights W_0w ... W_9w (finite doubles; 0 or -0
// for a class without data). Nothing follows the last record. The file is
// 160 + 112 V bytes long; V is 0 exactly when no class has data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bow_lib.h"
#include "impronta.h"
#include "lineare.h"

inline constexpr int LUNGHEZZA_INTESTAZIONE_LINEARE = 160;
inline constexpr int LUNGHEZZA_RECORD_LINEARE = LUNGHEZZA_PAROLA + 8 * CLASSI;  // 112
inline constexpr uint32_t VERSIONE_LINEARE = 1;
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
  long record = 0;     // 0 for the header, 1 for the first word
  std::string motivo;  // in the words of the report
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
// not, in Italian: no such file, unreadable, not a linear model (naming its
// first bad part), or trained beside another Bow.txt.
bool leggi_lineare(modello_lineare& m, const char* path, const char* path_bow);
