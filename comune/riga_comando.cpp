#include "riga_comando.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "nomi.h"
#include "uscita.h"

#ifndef VELMORA_VERSIONE
#define VELMORA_VERSIONE "sviluppo"
#endif

namespace {

const opzione AIUTO{"--help"}, VERSIONE{"--version"};

const opzione* cerca(const std::vector<opzione>& accettate, std::string_view nome) {
  for (const opzione& o : accettate)
    if (nome == o.nome) return &o;
  return nullptr;
}

// A value an option takes from the words that follow it: a word that looks
// like an option is never taken as a value, and a file that begins with
// "--" is refused even after "=", so that a mistyped line writes no such file.
bool valore_accettabile(const opzione& o, const char* v, bool dopo_uguale) {
  if (std::strncmp(v, "--", 2) != 0) return true;
  if (o.file) {
    std::fprintf(messaggi(),
                 "Il file dell'opzione %s non puo' cominciare con --: %s (un file con quel nome si scrive ./%s)\n",
                 o.nome, stampabile(v).c_str(), stampabile(v).c_str());
  } else if (dopo_uguale) {
    return true;  // "--alfa=--3" is a value, bad or not, as it was written
  } else {
    std::fprintf(messaggi(), "Manca il valore dell'opzione %s\n", o.nome);
  }
  return false;
}

}  // namespace

esito_comando leggi_riga_comando(int argc, char** argv, int primo, const std::vector<opzione>& accettate,
                              const posizionali& attesi, riga_comando& r, bool con_aiuto) {
  const size_t massimo = attesi.nomi.size() + static_cast<size_t>(attesi.facoltativi);
  bool opzioni_finite = false;
  for (int i = primo; i < argc; ++i) {
    const char* a = argv[i];
    if (!opzioni_finite && std::strcmp(a, "--") == 0) {
      opzioni_finite = true;
      continue;
    }
    if (opzioni_finite || std::strncmp(a, "--", 2) != 0) {
      if (r.posizionali.size() < massimo) {
        r.posizionali.push_back(a);
        r.voci.push_back({opzione{nullptr}, {a}});
      } else if (!attesi.altri_ignorati) {
        std::fprintf(messaggi(), "Argomento in piu': %s\n", stampabile(a).c_str());
        return esito_comando::sbagliata;
      }
      continue;
    }
    const char* uguale = std::strchr(a, '=');
    const std::string_view nome(a, uguale ? static_cast<size_t>(uguale - a) : std::strlen(a));
    if (con_aiuto && (nome == AIUTO.nome || nome == VERSIONE.nome))
      return nome == AIUTO.nome ? esito_comando::aiuto : esito_comando::versione;
    const opzione* o = cerca(accettate, nome);
    if (!o) {
      std::fprintf(messaggi(), "Opzione sconosciuta: %s\n", stampabile(a).c_str());
      return esito_comando::sbagliata;
    }
    voce_riga v{*o, {}};
    if (uguale && o->valori == 0) {
      std::fprintf(messaggi(), "L'opzione %s non prende valori: %s\n", o->nome, stampabile(a).c_str());
      return esito_comando::sbagliata;
    }
    if (uguale) {
      if (!valore_accettabile(*o, uguale + 1, true)) return esito_comando::sbagliata;
      v.valori.push_back(uguale + 1);
    }
    while (static_cast<int>(v.valori.size()) < o->valori) {
      if (i + 1 == argc) {
        std::fprintf(messaggi(), "Manca il valore dell'opzione %s\n", o->nome);
        return esito_comando::sbagliata;
      }
      if (!valore_accettabile(*o, argv[i + 1], false)) return esito_comando::sbagliata;
      v.valori.push_back(argv[++i]);
    }
    r.voci.push_back(std::move(v));
  }
  if (r.posizionali.size() < attesi.nomi.size()) {
    std::fprintf(messaggi(), "Manca l'argomento %s\n", attesi.nomi[r.posizionali.size()]);
    return esito_comando::sbagliata;
  }
  return esito_comando::valida;
}

bool risponde_aiuto(int argc, char** argv, int primo, void (*uso)(), const char* programma,
                    bool solo_se_non_file) {
  for (int i = primo; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (solo_se_non_file && access(argv[i], F_OK) == 0) continue;
    if (std::strcmp(argv[i], AIUTO.nome) == 0) {
      uso();
      return true;
    }
    if (std::strcmp(argv[i], VERSIONE.nome) == 0) {
      stampa_versione(programma);
      return true;
    }
  }
  return false;
}

const std::vector<const char*>* valori_opzione(const riga_comando& r, const char* nome) {
  const std::vector<const char*>* v = nullptr;
  for (const voce_riga& d : r.voci)
    if (!d.posizionale() && std::strcmp(d.o.nome, nome) == 0) v = &d.valori;
  return v;
}

const char* valore_opzione(const riga_comando& r, const char* nome) {
  const std::vector<const char*>* v = valori_opzione(r, nome);
  return v && !v->empty() ? v->front() : nullptr;
}

bool opzione_data(const riga_comando& r, const char* nome) { return valori_opzione(r, nome) != nullptr; }

bool valore_standard_output(int argc, char** argv, const std::vector<const char*>& nomi) {
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    const std::string_view a = argv[i];
    for (const char* nome : nomi) {
      const std::string_view n = nome;
      if (a.size() == n.size() + 2 && a.substr(0, n.size()) == n && a.substr(n.size()) == "=-") return true;
      if (a == n && i + 1 < argc && std::string_view(argv[i + 1]) == "-") return true;
    }
  }
  return false;
}

const char* versione_velmora() { return VELMORA_VERSIONE; }

void stampa_versione(const char* programma) { std::printf("%s (velmora) %s\n", programma, VELMORA_VERSIONE); }
