#include "azioni_comuni.h"

#include <cstdio>

#include "destinazione.h"
#include "file_lineare.h"
#include "nomi.h"
#include "uscita.h"

int parola_troppo_lunga() {
  std::printf("Attenzione: le parle devono avere lunghezza massima %d\n", LUNGHEZZA_MAX);
  return 1;
}

bool puo_ricevere(const char* path, const char* cosa, bool anche_cartella) {
  const char* motivo = anche_cartella ? perche_non_scrivibile(path) : perche_non_sostituibile(path);
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere %s: %s\n", stampabile(path).c_str(), cosa, motivo);
  return false;
}

bool blocca_e_carica(blocco_cartella& blocco, borsa& modello) {
  // Runs started together wait for each other here, so their additions add
  // up instead of overwriting each other.
  if (!blocca_cartella(blocco, MODELLO)) {
    std::printf("Impossibile bloccare la cartella %s: senza il blocco %s non viene cambiato\n",
                stampabile(cartella_da_bloccare(MODELLO)).c_str(), MODELLO);
    return false;
  }
  // Only a model that does not exist may be replaced; one that exists but
  // cannot be read, or is not a model, is left alone.
  const esito_lettura letto = leggi_bow(modello.testa, MODELLO);
  return letto != esito_lettura::illeggibile && letto != esito_lettura::non_modello;
}

bool carica_e_indicizza(modello_indicizzato& m, const char* senza_modello) {
  // No lock, as for classifica: the model is replaced whole by a rename.
  borsa modello;
  const esito_lettura letto = leggi_bow(modello.testa, MODELLO);
  if (letto == esito_lettura::mancante) std::fprintf(messaggi(), "%s\n", senza_modello);
  if (letto != esito_lettura::letto) return false;
  m = indicizza_modello(modello.testa);
  return true;
}

bool leggi_azione(int argc, char** argv, const std::vector<opzione>& accettate, const posizionali& attesi,
                  riga_comando& r, void (*uso)(std::FILE*), int& stato, int primo) {
  switch (leggi_riga_comando(argc, argv, primo, accettate, attesi, r)) {
    case esito_comando::valida: return true;
    case esito_comando::aiuto: uso(stdout); stato = 0; return false;
    case esito_comando::versione: stampa_versione("velmora_bow"); stato = 0; return false;
    case esito_comando::sbagliata: break;
  }
  uso(messaggi());
  stato = 1;
  return false;
}

bool leggi_azione_con_regola(int argc, char** argv, std::vector<opzione> accettate, const posizionali& attesi,
                             void (*uso)(std::FILE*), riga_con_regola& letta, int primo) {
  accettate.push_back(OPZIONE_PUNTEGGIO);
  accettate.push_back(OPZIONE_ALFA);
  if (!leggi_azione(argc, argv, accettate, attesi, letta.r, uso, letta.stato, primo)) return false;
  if (leggi_punteggio(letta.r, letta.p)) return true;
  uso(messaggi());
  letta.stato = 1;
  return false;
}

void stampa_regola_usata(const punteggio& p) {
  if (p.tipo == regola::lineare) std::printf("Punteggio: lineare, da %s\n", MODELLO_LINEARE);
  else if (p.tipo != regola::velmora) std::printf("Punteggio: %s, alfa %g\n", nome_regola(p.tipo), p.alfa);
}

bool prepara_valutatore(const punteggio& p, const char* senza_modello, valutatore& v) {
  v.p = p;
  if (p.tipo == regola::lineare) return leggi_lineare(v.lineare, MODELLO_LINEARE, MODELLO);
  if (!carica_e_indicizza(v.m, senza_modello)) return false;
  v.r = prepara_regola(v.m, p);
  return true;
}

int valuta_testo(const valutatore& v, const std::vector<voce_parola>& voci, std::string_view byte,
                 double punteggi[CLASSI]) {
  if (v.p.tipo == regola::lineare) {
    punteggi_testo_lineare(v.lineare, testo_lineare_da(byte, 0), punteggi);
    return classe_lineare(v.lineare, punteggi);
  }
  punteggi_regola(v.m, v.r, voci, posizioni_nel_modello(v.m, voci), punteggi);
  return classe_regola(v.r, punteggi);
}

bool con_dati(const valutatore& v, int k) {
  return v.p.tipo == regola::lineare ? v.lineare.con_dati[static_cast<size_t>(k)] : v.r.con_dati[k];
}

void stampa_classificazione(const valutatore& v, const double punteggi[CLASSI], int scelta) {
  std::printf("CLASSIFICAZIONE:\n");
  for (int k = 0; k < CLASSI; ++k) {
    if (v.p.tipo == regola::velmora || con_dati(v, k)) {
      std::printf("Class %d, p=%f\n", k, punteggi[k]);
    } else {
      std::printf("Class %d, senza dati\n", k);
    }
  }
  std::printf("\nIl documento appartiene alla classe %d\n", scelta);
}

bool da_probabilita(const punteggio& p) { return p.tipo != regola::velmora; }

void probabilita_testo(const valutatore& v, const double punteggi[CLASSI], double p[CLASSI]) {
  if (v.p.tipo == regola::lineare) {
    probabilita_lineari(v.lineare, punteggi, p);
  } else {
    probabilita_regola(v.r, punteggi, p);
  }
}
