// The one command-line scanner of the suite's actions and programs: options
// anywhere among the positional arguments, "--opt value" or "--opt=value",
// "--" ending the options, and the same refusals everywhere.
#pragma once

#include <vector>

// One option a command accepts.
struct opzione {
  const char* nome;   // "--punteggio"
  int valori = 0;     // 0 for a flag; else the values that follow it (1 or 2)
  bool file = false;  // its values name files: one that begins with "--" is refused
};

// The positional arguments a command takes.
struct posizionali {
  std::vector<const char*> nomi;  // the required ones, in order ("CARTELLA"), named when missing
  int facoltativi = 0;            // how many more may follow them
  bool altri_ignorati = false;    // any further plain word is ignored, as some commands always did; else refused
};

// One argument read: a positional one, or an option with its values.
struct voce_riga {
  opzione o{nullptr};                // the option (its name null for a positional argument)
  std::vector<const char*> valori;   // the option's values, or the positional argument alone
  bool posizionale() const { return o.nome == nullptr; }
};

struct riga_comando {
  std::vector<voce_riga> voci;          // in the order of the command line, ignored words left out
  std::vector<const char*> posizionali; // the positional arguments alone, in order
};

enum class esito_comando {
  valida,
  sbagliata,  // the reason was printed
  aiuto,      // --help was given: the caller prints its help and ends with status 0
  versione,   // --version was given: likewise with stampa_versione
};

// Reads argv[primo ...] against the options and positional arguments a
// command takes. Refusals, each printed on one line: "Opzione sconosciuta:
// X", "Manca il valore dell'opzione X", "L'opzione X non prende valori: X=V",
// "Il file dell'opzione X non puo' cominciare con --: V (un file con quel
// nome si scrive ./V)", "Manca l'argomento NOME", "Argomento in piu': X" (on messaggi()).
// With con_aiuto, --help and --version are understood wherever they stand.
esito_comando leggi_riga_comando(int argc, char** argv, int primo, const std::vector<opzione>& accettate,
                              const posizionali& attesi, riga_comando& r, bool con_aiuto = true);

// --help or --version standing among the words before "--": prints the usage
// (uso) or programma's version and returns true, the program then ending
// with status 0; else false. For a program that prints its banner before it
// reads its command line, and must not for these two. With solo_se_non_file
// a word that names an existing file is that file, not the option: for the
// programs that read no options, whose arguments were always files.
bool risponde_aiuto(int argc, char** argv, int primo, void (*uso)(), const char* programma,
                    bool solo_se_non_file = false);

// The values of the option nome as last given, or null when it was not given.
const std::vector<const char*>* valori_opzione(const riga_comando& r, const char* nome);
// The first value of the option nome as last given, or null.
const char* valore_opzione(const riga_comando& r, const char* nome);
// Whether the option nome was given.
bool opzione_data(const riga_comando& r, const char* nome);

// Whether one of the options named (each taking one value) is given "-",
// standard output, among the words before "--": read before the command
// line is, for a program whose banner must then not go there either.
bool valore_standard_output(int argc, char** argv, const std::vector<const char*>& nomi);

// The suite's version, as --version gives it.
const char* versione_velmora();

// "PROGRAMMA (velmora) VERSIONE" and a line feed.
void stampa_versione(const char* programma);
