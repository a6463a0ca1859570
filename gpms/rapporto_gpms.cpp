#include "rapporto_gpms.h"

#include <cstdio>
#include <string_view>

#include "destinazione.h"
#include "nomi.h"
#include "pagina.h"

namespace {

bool standard(const char* path) { return path && std::string_view(path) == "-"; }

}  // namespace

bool controlla_rapporto(const opzioni_galleria& o) {
  if (!o.rapporto) return true;
  for (const char* altro : {o.png, o.predizioni}) {
    if (!altro) continue;
    const bool stesso = standard(o.rapporto) ? standard(altro) : !standard(altro) && stessa_destinazione(o.rapporto, altro);
    if (!stesso) continue;
    std::printf("La pagina e %s non possono andare nello stesso file: %s\n", altro == o.png ? "il foglio PNG" : "le predizioni",
                stampabile(o.rapporto).c_str());
    return false;
  }
  return true;
}

bool scrivi_rapporto(const opzioni_galleria& o, const rete_cifre& rete, pagina_cifre& p, std::FILE* dati) {
  p.programma = "velmora_gpms";
  p.rete = &rete;
  p.insieme = o.posizionali[0];
  p.impostazioni = {{"righe", std::to_string(p.righe)}, {"righe lette male", std::to_string(p.sbagliate.size())}};
  p.file = {descrivi_file("righe", o.posizionali[0]), descrivi_file("pesi intercalari", o.posizionali[1]),
            descrivi_file("pesi efferenti", o.posizionali[2])};
  if (!scrivi_pagina(o.rapporto, componi_pagina_cifre(p), dati)) {
    std::printf("Impossibile scrivere il file %s\n", stampabile(o.rapporto).c_str());
    return false;
  }
  if (!standard(o.rapporto)) std::printf("Pagina scritta in %s\n", stampabile(o.rapporto).c_str());
  return true;
}
