#include "opzioni_gpms.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "destinazione.h"
#include "nomi.h"
#include "numeri.h"

esito_comando leggi_opzioni_galleria(int argc, char** argv, opzioni_galleria& o) {
  static const std::vector<opzione> OPZIONI = {{"--tutte"},  {"--elenco"},         {"--schermo"},
                                               {"--massimo", 1}, {"--png", 1, true}, {"--predizioni", 1, true},
                                               {"--rapporto", 1, true}};
  riga_comando r;
  const esito_comando esito = leggi_riga_comando(argc, argv, 1, OPZIONI, {{}, 3}, r);
  if (esito != esito_comando::valida) return esito;
  for (const char* p : r.posizionali) o.posizionali[o.quanti++] = p;
  o.tutte = opzione_data(r, "--tutte");
  o.elenco = opzione_data(r, "--elenco");
  o.schermo = opzione_data(r, "--schermo");
  o.png = valore_opzione(r, "--png");
  o.predizioni = valore_opzione(r, "--predizioni");
  o.rapporto = valore_opzione(r, "--rapporto");
  if (const char* v = valore_opzione(r, "--massimo")) {
    long n = 0;
    if (!intero_in(v, 1, INT_MAX, n)) {
      std::printf("Numero massimo di cifre non valido: %s (da 1 a %d)\n", stampabile(v).c_str(), INT_MAX);
      return esito_comando::sbagliata;
    }
    o.massimo = static_cast<int>(n);
  }
  if (o.png && o.predizioni && std::string_view(o.png) == "-" && std::string_view(o.predizioni) == "-") {
    std::printf("Il foglio PNG e le predizioni non possono andare entrambi su standard output (-)\n");
    return esito_comando::sbagliata;
  }
  // Two outputs are two files: one would replace the other. Names that lead
  // to one target (through links or "..") or to one existing file are one.
  if (o.png && o.predizioni && std::string_view(o.png) != "-" && std::string_view(o.predizioni) != "-" &&
      stessa_destinazione(o.png, o.predizioni)) {
    std::printf("Il foglio PNG e le predizioni devono andare in due file diversi: %s e %s\n",
                stampabile(o.png).c_str(), stampabile(o.predizioni).c_str());
    return esito_comando::sbagliata;
  }
  return esito_comando::valida;
}

bool chiede_standard_output(int argc, char** argv) {
  return valore_standard_output(argc, argv, {"--png", "--predizioni", "--rapporto"});
}
