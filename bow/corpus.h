// A labelled corpus on disk: a folder whose subfolders 0 ... 9 hold the texts
// of each class, one text per file, at any depth below them.
#pragma once

#include <string>
#include <vector>

#include "bow_lib.h"
#include "impronta.h"
#include "tabella_parole.h"

struct file_corpus {
  std::string path;  // CARTELLA/K/NAME or CARTELLA/K/FOLDER/.../NAME, as the user wrote CARTELLA
  int classe;        // K
  size_t nome;       // where "K/..." starts in path: the text's name within the corpus, whatever CARTELLA is
};

struct corpus {
  std::vector<file_corpus> file;  // sorted by path, byte by byte (strcmp order): class 0 first
  int classi = 0;                 // class subfolders found
  int ignorati = 0;               // entries below the class subfolders that are not texts of the corpus
};

// Lists the texts of cartella: below each subfolder named exactly 0 ... 9,
// at any depth (cammina_testi), the regular files (symbolic links followed),
// except hidden ones (a name starting with '.') and the "*.clean" copies
// aggiungi and classifica leave beside a text, which would count it twice.
// Hidden folders, links to folders and special files are ignored, and
// counted. false, with the reason printed, when cartella is missing, is not
// a folder, has no class subfolder, has a folder below one that cannot be
// read (named), or holds no text at all.
bool elenca_corpus(const char* cartella, corpus& c);

// "Voci ignorate ..." with the count, when c.ignorati is not 0.
void stampa_ignorati(const corpus& c);

// Why a text was left out.
enum class lettura { letta, troppo_lunga, non_aperta, errore_lettura, non_regolare };

// Why a text was left out, in the words of the reports ("non si puo' aprire");
// empty for letta.
const char* motivo_scarto(lettura l);

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

// The walk of a folder shared by predici and the corpus actions: appends to
// testi the texts below cartella, at any depth, each as cartella joined with
// its path below it: the regular files (links to files followed), except
// hidden ones and the .clean copies. Hidden folders and links to folders are
// not entered (no loop of links can be followed), special files are left
// out; each entry left out adds 1 to ignorati. The texts appended are sorted
// by path, byte by byte (strcmp order). false, with the folder that cannot
// be read in illeggibile, on an error; nothing is printed. Folders are read
// one at a time.
bool cammina_testi(const std::string& cartella, std::vector<std::string>& testi, int& ignorati,
                   std::string& illeggibile);

// cammina_testi for predici: false, with the reason printed (on messaggi()), when cartella
// or a folder below it cannot be read.
bool elenca_testi(const char* cartella, std::vector<std::string>& testi);

// Why a text was left out, in words ("non si puo' aprire"); "" for letta.
const char* motivo_scarto(lettura motivo);

// The files left out, one line each ("File PATH scartato: REASON"), and
// their count by reason; nothing when there are none.
void stampa_scarti(const std::vector<scarto>& scarti);
