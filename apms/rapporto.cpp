#include "rapporto.h"

#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "destinazione.h"
#include "nomi.h"
#include "numeri.h"
#include "pagina.h"
#include "riga_comando.h"

namespace {

bool standard(const char* path) { return path && std::string_view(path) == "-"; }

// Why path may not receive cosa, or empty.
std::string perche_no(const char* path, const opzioni& o) {
  if (standard(path)) return "";
  if (const char* m = perche_non_scrivibile(path)) return m;
  for (const char* pesi : {o.path_intercalari, o.path_efferenti})
    if (stessa_destinazione(path, pesi)) return "e' il file dei pesi " + stampabile(pesi);
  if (o.path_ripresa && stessa_destinazione(path, o.path_ripresa)) return "e' il file di ripresa";
  for (const char* righe : {o.path_addestramento, o.path_verifica})
    if (righe && stesso_file(path, righe)) return "e' il file di righe " + stampabile(righe);
  return "";
}

std::string reale(double v) {
  char b[32];
  formatta_numero(b, sizeof b, v);
  return b;
}

std::vector<std::pair<std::string, std::string>> impostazioni(const opzioni& o, const dati& d) {
  std::string riduzione = o.riduzione == 1.0 ? "nessuna"
                          : o.ogni == 1      ? "x" + reale(o.riduzione) + " ogni epoca"
                                             : "x" + reale(o.riduzione) + " ogni " + std::to_string(o.ogni) + " epoche";
  return {
      {"epoche", std::to_string(o.epoche)},
      {"tasso di apprendimento", reale(o.tasso)},
      {"costo", o.funzione == costo::entropia ? "entropia incrociata" : "quadratico"},
      {"decadimento L2", reale(o.decadimento)},
      {"pesi iniziali", o.da_intercalari ? "dai file di partenza" : o.inizio == inizio_pesi::scalato ? "scalati" : "fissi"},
      {"riduzione del tasso", riduzione},
      {"lotto", std::to_string(o.lotto)},
      {"spostamenti", std::to_string(o.spostamenti)},
      {"seme", std::to_string(o.seme)},
      {"validazione", o.validazione > 0 ? reale(o.validazione) + "% (" + std::to_string(d.validazione.quante) + " righe)"
                                        : "nessuna"},
      {"media", o.media > 0 ? "ultime " + std::to_string(o.media) + " epoche" : "nessuna"},
      {"ricetta", o.ricetta ? "si" : "no"},
      {"righe di addestramento", std::to_string(d.addestramento.quante)},
      {"righe di verifica", o.path_verifica ? std::to_string(d.verifica.quante) : "nessuna"},
  };
}

// The numbers in their file of the training rows left after the validation
// share, which dividi_validazione chose with the generator of seed + 1.
std::vector<int> numeri_addestramento(const opzioni& o, const dati& d) {
  const int tutte = d.addestramento.quante + d.validazione.quante;
  std::vector<int> numeri;
  std::vector<int> via;
  if (d.validazione.quante > 0) {
    generatore g{o.seme + 1};
    via = righe_di_validazione(tutte, o.validazione, g);
  }
  size_t s = 0;
  for (int r = 0; r < tutte; ++r) {
    if (s < via.size() && via[s] == r) {
      ++s;
      continue;
    }
    numeri.push_back(r + 1);
  }
  return numeri;
}

bool scrivi(const char* path, const std::string& testo, std::FILE* uscita, const char* cosa) {
  if (!scrivi_pagina(path, testo, uscita)) {
    std::printf("Impossibile scrivere il file %s\n", stampabile(path).c_str());
    return false;
  }
  if (!standard(path)) std::printf("%s scritta in %s\n", cosa, stampabile(path).c_str());
  return true;
}

}  // namespace

double costo_medio(costo funzione, const righe_cifre& righe, const double* uscite) {
  if (righe.quante == 0) return NAN;
  double somma = 0.0;
  for (int r = 0; r < righe.quante; ++r) {
    const int etichetta = righe.etichette[static_cast<size_t>(r)];
    for (int k = 0; k < N_EFFERENTI; ++k) {
      const double s = uscite[static_cast<size_t>(r) * N_EFFERENTI + k];
      const double t = k == etichetta ? 1.0 : 0.0;
      if (funzione == costo::quadratico) {
        somma = ((t - s) * (t - s)) / 2.0 + somma;
      } else {
        const double x = t == 1.0 ? s : 1.0 - s;
        somma = somma - std::log(std::max(x, 1e-300));
      }
    }
  }
  return somma / righe.quante;
}

bool controlla_rapporti(const opzioni& o) {
  if (o.path_rapporto && o.path_curva && (standard(o.path_rapporto) ? standard(o.path_curva)
                                          : !standard(o.path_curva) && stessa_destinazione(o.path_rapporto, o.path_curva))) {
    std::printf("La pagina e la tabella della curva devono andare in due file diversi: %s\n",
                stampabile(o.path_rapporto).c_str());
    return false;
  }
  for (const auto& [path, cosa] : {std::pair{o.path_rapporto, "la pagina"}, std::pair{o.path_curva, "la curva"}}) {
    if (!path) continue;
    const std::string motivo = perche_no(path, o);
    if (motivo.empty()) continue;
    std::printf("Il file %s non puo' ricevere %s: %s\n", stampabile(path).c_str(), cosa, motivo.c_str());
    std::printf("Impossibile scrivere il file %s\n", stampabile(path).c_str());
    return false;
  }
  return true;
}

bool scrivi_rapporti(const opzioni& o, const dati& d, rete_cifre& rete, const esito_corsa& e,
                     const valutazione_uscite& valuta, std::FILE* uscita) {
  if (o.path_curva && !scrivi(o.path_curva, curva_tsv(e.storia), uscita, "Curva")) return false;
  if (!o.path_rapporto) return true;
  pagina_cifre p;
  p.programma = "velmora_apms";
  p.rete = &rete;
  p.con_storia = true;
  p.storia = e.storia;
  p.epoche_senza_storia = e.epoche_senza_storia;
  p.epoca_tenuta = e.epoca_tenuta;
  p.tenuta = e.tenuta;
  const bool verifica = o.path_verifica != nullptr;
  const righe_cifre& righe = verifica ? d.verifica : d.addestramento;
  p.insieme = verifica ? o.path_verifica
                       : std::string(o.path_addestramento) +
                             (d.validazione.quante ? " (senza le righe di validazione)" : "");
  std::vector<int> numeri;
  if (!verifica) numeri = numeri_addestramento(o, d);
  std::vector<double> uscite(static_cast<size_t>(righe.quante) * N_EFFERENTI);
  valuta(rete, righe, uscite.data());
  for (int r = 0; r < righe.quante; ++r) {
    const double* u = uscite.data() + static_cast<size_t>(r) * N_EFFERENTI;
    conta_riga(p, verifica ? r + 1 : numeri[static_cast<size_t>(r)], righe.etichette[static_cast<size_t>(r)],
               classe_migliore(u), u, righe.pixel.data() + static_cast<size_t>(r) * N_AFFERENTI);
  }
  p.impostazioni = impostazioni(o, d);
  p.file.push_back(descrivi_file("righe di addestramento", o.path_addestramento));
  if (verifica) p.file.push_back(descrivi_file("righe di verifica", o.path_verifica));
  if (o.da_intercalari) {
    p.file.push_back(descrivi_file("pesi intercalari di partenza", o.da_intercalari));
    p.file.push_back(descrivi_file("pesi efferenti di partenza", o.da_efferenti));
  }
  p.file.push_back(descrivi_file("pesi intercalari scritti", o.path_intercalari));
  p.file.push_back(descrivi_file("pesi efferenti scritti", o.path_efferenti));
  return scrivi(o.path_rapporto, componi_pagina_cifre(p), uscita, "Pagina");
}
