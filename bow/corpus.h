// A labelled corpus on disk: a folder whose subfolders 0 ... 9 hold the texts
// of each class, one text per file.
#pragma once

#include <string>
#include <vector>

#include "bow_lib.h"
#include "impronta.h"
#include "tabella_parole.h"

struct file_corpus {
  std::string path;  // CARTELLA/K/NAME, as the user wrote CARTELLA
  int classe;        // K
};

struct corpus {
  std::vector<file_corpus> file;  // class 0 first, each class's files sorted by name (byte order)
  int classi = 0;                 // class subfolders found
  int ignorati = 0;               // entries of the class subfolders that are not texts of the corpus
};

// Lists the texts of cartella: in each subfolder named exactly 0 ... 9, the
// regular files (symbolic links followed), except hidden ones (a name
// starting with '.') and the "*.clean" copies aggiungi and classifica leave
// beside a text, which would count it twice; subfolders and special files
// are ignored too. false, with the reason printed, when cartella is missing,
// is not a folder, has no class subfolder or one that cannot be read, or
// holds no text at all.
bool elenca_corpus(const char* cartella, corpus& c);

// "Voci ignorate ..." with the count, when c.ignorati is not 0.
void stampa_ignorati(const corpus& c);

// Why a text was left out.
enum class lettura { letta, troppo_lunga, non_aperta, errore_lettura, non_regolare };

struct scarto {
  std::string path;
  lettura motivo;
};

// Counts the words of the file at path into tabella, cleaned in memory as
// aggiungi and classifica clean them (nothing is written). The file is
// opened without blocking and must be a regular file when opened, so that
// an entry swapped for a FIFO since the listing can make no run wait; with
// anche_flussi (a file the user named) a pipe is read too. Unless the
// result is letta, tabella may hold part of the text: count into a table of
// its own. Unless grezzo is null, the bytes read are also taken into it (all
// of them when the result is letta); unless copia is null, appended to it.
lettura leggi_e_conta(const std::string& path, tabella_parole& tabella, impronta* grezzo = nullptr,
                      bool anche_flussi = false, std::string* copia = nullptr);

// The texts below cartella, at any depth: the regular files (links to files
// followed, links to folders not entered), except hidden ones and what is
// below a hidden folder, and the .clean copies; sorted by path in byte
// order. false, with the reason printed, when cartella cannot be read.
bool elenca_testi(const char* cartella, std::vector<std::string>& testi);

// The files left out, one line each ("File PATH scartato: REASON"), and
// their count by reason; nothing when there are none.
void stampa_scarti(const std::vector<scarto>& scarti);
