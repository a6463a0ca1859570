#include "opzioni_gpms.h"

#include <cstdio>
#include <cstring>

#include "nomi.h"
#include "numeri.h"

bool leggi_opzioni_galleria(int argc, char** argv, opzioni_galleria& o) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool con_valore = std::strcmp(a, "--massimo") == 0 || std::strcmp(a, "--png") == 0;
    if (con_valore && i + 1 == argc) {
      std::printf("Manca il valore dell'opzione %s\n", stampabile(a).c_str());
      return false;
    }
    if (std::strcmp(a, "--tutte") == 0) {
      o.tutte = true;
    } else if (std::strcmp(a, "--elenco") == 0) {
      o.elenco = true;
    } else if (std::strcmp(a, "--schermo") == 0) {
      o.schermo = true;
    } else if (std::strcmp(a, "--png") == 0) {
      o.png = argv[++i];
    } else if (std::strcmp(a, "--massimo") == 0) {
      const char* v = argv[++i];
      long n = 0;
      if (!intero_in(v, 1, INT_MAX, n)) {
        std::printf("Numero massimo di cifre non valido: %s (da 1 a %d)\n", stampabile(v).c_str(), INT_MAX);
        return false;
      }
      o.massimo = static_cast<int>(n);
    } else if (a[0] == '-' && a[1] == '-') {
      std::printf("Opzione sconosciuta: %s\n", stampabile(a).c_str());
      return false;
    } else if (o.quanti == 3) {
      std::printf("Argomento in piu': %s\n", stampabile(a).c_str());
      return false;
    } else {
      o.posizionali[o.quanti++] = a;
    }
  }
  return true;
}

