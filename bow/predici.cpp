// velmora_bow predici [FILE | CARTELLA | -]...: classifies texts with Bow.txt,
// loaded once, and writes for each one a tab-separated line: the path, the
// class, the ten scores. Under the built-in rule the class is the one
// classifica names. Numbers are written as the shortest decimal that reads
// back as the same double, so the same inputs give the same bytes.
#include "predici.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "azioni_comuni.h"
#include "corpus.h"
#include "nomi.h"
#include "numeri.h"
#include "valori.h"

namespace {

void uso_predici() {
  std::printf("Uso: velmora_bow predici [FILE | CARTELLA | -]... [--punteggio NOME] [--alfa A]\n"
              "Classifica con Bow.txt ogni testo dato: un FILE, ogni testo sotto una CARTELLA (a ogni\n"
              "profondita', tranne i file nascosti e le copie .clean), o, con - o senza argomenti, i\n"
              "percorsi letti da standard input, uno per riga. Scrive su standard output una riga\n"
              "d'intestazione, poi per ogni testo, separati da tabulazioni: il percorso, la classe e i\n"
              "dieci punteggi. Un testo che non si puo' classificare ha - al posto della classe e dei\n"
              "punteggi, e lo stato di uscita e' allora 1. Non scrive niente su disco.\n");
  uso_punteggio();
}

// A text to classify, and whether the user named it (a path given may be
// a pipe; one found in a folder must be a regular file).
struct testo {
  std::string path;
  bool nominato;
};

// Adds the texts one argument names: a folder's texts, a file, or the paths
// read from standard input. false when a folder cannot be read.
bool aggiungi_testi(const char* argomento, std::vector<testo>& testi) {
  if (std::string_view(argomento) == "-") {
    for (std::string riga; std::getline(std::cin, riga);)
      if (!riga.empty()) testi.push_back({riga, true});
    return true;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(argomento, ec)) {
    std::vector<std::string> trovati;
    if (!elenca_testi(argomento, trovati)) return false;
    for (std::string& t : trovati) testi.push_back({std::move(t), false});
    return true;
  }
  testi.push_back({argomento, true});
  return true;
}

// One line: the path, then the class and the ten scores, or "-" in each of
// their places. Composed whole and written in one call.
void stampa_riga(const std::string& path, int classe, const double* punteggi) {
  std::string riga = stampabile(path);
  riga += '\t';
  riga += classe < 0 ? "-" : std::to_string(classe);
  char numero[32];
  for (int k = 0; k < CLASSI; ++k) {
    riga += '\t';
    if (classe < 0) {
      riga += '-';
    } else {
      riga.append(numero, scrivi_reale(numero, punteggi[k]));
    }
  }
  riga += '\n';
  std::fwrite(riga.data(), 1, riga.size(), stdout);
}

}  // namespace

int predici(int argc, char** argv) {
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, {}, {{}, INT_MAX}, uso_predici, letta)) return letta.stato;
  const riga_comando& r = letta.r;
  const punteggio& p = letta.p;
  std::vector<testo> testi;
  if (r.posizionali.empty() && !aggiungi_testi("-", testi)) return 1;
  for (const char* a : r.posizionali)
    if (!aggiungi_testi(a, testi)) return 1;
  valutatore v;
  if (!prepara_valutatore(p, "Senza un modello non c'e' niente da predire: prima velmora_bow addestra", v)) return 1;

  std::printf("file\tclasse");
  for (int k = 0; k < CLASSI; ++k) std::printf("\tp%d", k);
  std::printf("\n");
  bool tutti = true;
  for (const auto& [path, nominato] : testi) {
    tabella_parole tabella;
    std::string byte;
    if (leggi_e_conta(path, tabella, nullptr, nominato, p.tipo == regola::lineare ? &byte : nullptr) !=
        lettura::letta) {
      stampa_riga(path, -1, nullptr);
      tutti = false;
      continue;
    }
    double punteggi[CLASSI];
    const int classe = valuta_testo(v, voci_ordinate(tabella), byte, punteggi);
    stampa_riga(path, classe, punteggi);
  }
  return tutti ? 0 : 1;
}
