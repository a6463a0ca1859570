// velmora_bow convalida CARTELLA: k-fold cross-validation on a labelled
// corpus. The folds are stratified and fixed by the bytes of each text
// (assegna_pieghe, the very folds addestra --lineare chooses its settings
// on); for each fold, every rule learns from the other folds' texts alone
// and classifies the fold's. The count rules learn from the counts addestra
// would keep in Bow.txt, the linear rule as addestra --lineare learns it,
// its own choice of settings included. Everything happens in memory:
// nothing is written, Bow.txt and Bow.lineare are neither read nor touched.
#include "convalida.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "avanzamento.h"
#include "azioni_comuni.h"
#include "bow_lib.h"
#include "corpus.h"
#include "lineare.h"
#include "nomi.h"
#include "numeri.h"
#include "punteggi.h"
#include "uscita.h"
#include "valori.h"

namespace {

constexpr long PIEGHE_PREDEFINITE = PIEGHE_LINEARI;
constexpr long PIEGHE_MASSIME = 100;

void uso_convalida(std::FILE* f) {
  std::fprintf(f, "Uso: velmora_bow convalida CARTELLA [--pieghe K] [--punteggio NOME] [--alfa A]\n"
                  "Convalida incrociata a K pieghe sui testi delle sottocartelle 0 ... 9 di CARTELLA: per\n"
                  "ogni piega ogni regola impara dai testi delle altre pieghe e classifica quelli della\n"
                  "piega. Le pieghe sono stratificate per classe e fissate dai byte di ogni testo: le\n"
                  "stesse a ogni esecuzione. Stampa per regola l'accuratezza media, la sua deviazione\n"
                  "standard e quella di ogni piega. Tutto in memoria: non legge ne' scrive Bow.txt o\n"
                  "Bow.lineare, non scrive niente.\n"
                  "--pieghe K        quante pieghe, da 2 a %ld (predefinito: %ld)\n"
                  "--punteggio NOME  solo la regola NOME (predefinito: tutte e quattro)\n"
                  "--alfa A          la lisciatura di bayes e complemento, con --punteggio\n",
                  PIEGHE_MASSIME, PIEGHE_PREDEFINITE);
}

// The corpus as read: each accepted text's class, the fingerprint of its
// bytes, its words for the count rules and its features for the linear rule.
struct testi_letti {
  std::vector<int> classi;
  std::vector<uint64_t> impronte;
  std::vector<std::vector<voce_parola>> voci;  // when a count rule is asked for
  std::vector<testo_lineare> lineari;           // when the linear rule is
  std::vector<scarto> scarti;
};

void leggi_testi(const corpus& c, bool conteggi, bool lineare, testi_letti& t) {
  avanzamento a = inizia_avanzamento("convalida", c.file.size());
  for (size_t i = 0; i < c.file.size(); ++i) {
    tabella_parole tabella;
    impronta byte;
    std::string grezzo;
    const lettura l = leggi_e_conta(c.file[i].path, tabella, &byte, false, lineare ? &grezzo : nullptr);
    segna_avanzamento(a, i + 1);
    if (l != lettura::letta) {
      t.scarti.push_back({c.file[i].path, l});
      continue;
    }
    t.classi.push_back(c.file[i].classe);
    t.impronte.push_back(byte.fnv);
    if (conteggi) t.voci.push_back(voci_ordinate(tabella));
    if (lineare) t.lineari.push_back(testo_lineare_da(grezzo, c.file[i].classe));
  }
  chiudi_avanzamento(a);
}

// The count model of the texts outside fold f: per class, the words of its
// texts summed as addestra sums them, added to an empty bag.
modello_indicizzato modello_piega(const testi_letti& t, const std::vector<uint8_t>& piega, int f) {
  borsa b;
  for (int k = 0; k < CLASSI; ++k) {
    std::vector<voce_parola> tutte;
    for (size_t i = 0; i < t.classi.size(); ++i)
      if (t.classi[i] == k && piega[i] != f) tutte.insert(tutte.end(), t.voci[i].begin(), t.voci[i].end());
    std::stable_sort(tutte.begin(), tutte.end(), [](const voce_parola& a, const voce_parola& b) {
      return std::memcmp(a.parola, b.parola, LUNGHEZZA_PAROLA) < 0;
    });
    std::vector<voce_parola> unite;
    for (const voce_parola& v : tutte) {
      if (!unite.empty() && std::memcmp(unite.back().parola, v.parola, LUNGHEZZA_PAROLA) == 0) unite.back().n += v.n;
      else unite.push_back(v);
    }
    if (!unite.empty()) unisci_parole(b.testa, unite, k);
  }
  return indicizza_modello(b.testa);
}

// One rule's right answers and texts per fold.
struct esito_regola {
  punteggio p;
  std::vector<long> giusti, testi;
  std::vector<scelta_lineare> scelte;  // lineare: the settings each fold's training chose
};

void convalida_conteggi(const testi_letti& t, const std::vector<uint8_t>& piega, int pieghe,
                        std::vector<esito_regola>& regole) {
  for (int f = 0; f < pieghe; ++f) {
    valutatore v;
    v.m = modello_piega(t, piega, f);
    for (esito_regola& e : regole) {
      if (e.p.tipo == regola::lineare) continue;
      v.p = e.p;
      v.r = prepara_regola(v.m, e.p);
      double punteggi[CLASSI];
      for (size_t i = 0; i < t.classi.size(); ++i) {
        if (piega[i] != f) continue;
        ++e.testi[static_cast<size_t>(f)];
        e.giusti[static_cast<size_t>(f)] += valuta_testo(v, t.voci[i], {}, punteggi) == t.classi[i];
      }
    }
  }
}

void convalida_lineare(const testi_letti& t, const std::vector<uint8_t>& piega, int pieghe, esito_regola& e) {
  for (int f = 0; f < pieghe; ++f) {
    std::vector<testo_lineare> addestramento;
    for (size_t i = 0; i < t.lineari.size(); ++i)
      if (piega[i] != f) addestramento.push_back(t.lineari[i]);
    const modello_lineare m = addestra_lineare(addestramento);
    addestramento = {};
    e.scelte.push_back(m.scelta);
    double punteggi[CLASSI];
    for (size_t i = 0; i < t.lineari.size(); ++i) {
      if (piega[i] != f) continue;
      ++e.testi[static_cast<size_t>(f)];
      punteggi_testo_lineare(m, t.lineari[i], punteggi);
      e.giusti[static_cast<size_t>(f)] += classe_lineare(m, punteggi) == t.classi[i];
    }
  }
}

// A percentage with two decimals, or "-" for a fold without texts.
std::string percento(double x) {
  if (!std::isfinite(x)) return "-";
  char s[32];
  std::snprintf(s, sizeof s, "%.2f%%", 100.0 * x);
  return s;
}

void stampa_esiti(const std::vector<esito_regola>& regole, int pieghe) {
  std::printf("%-12s %8s %8s", "Punteggio", "media", "dev.std");
  for (int f = 1; f <= pieghe; ++f) std::printf(" %9s", ("piega " + std::to_string(f)).c_str());
  std::printf("\n");
  for (const esito_regola& e : regole) {
    // The mean and the sample standard deviation over the folds that hold texts.
    std::vector<double> a;
    for (int f = 0; f < pieghe; ++f)
      if (e.testi[static_cast<size_t>(f)] > 0)
        a.push_back(static_cast<double>(e.giusti[static_cast<size_t>(f)]) /
                    static_cast<double>(e.testi[static_cast<size_t>(f)]));
    double media = NAN, dev = NAN;
    if (!a.empty()) {
      double s = 0.0;
      for (const double x : a) s = s + x;
      media = s / static_cast<double>(a.size());
    }
    if (a.size() >= 2) {
      double q = 0.0;
      for (const double x : a) q = q + (x - media) * (x - media);
      dev = std::sqrt(q / static_cast<double>(a.size() - 1));
    }
    std::printf("%-12s %8s %8s", nome_regola(e.p.tipo), percento(media).c_str(), percento(dev).c_str());
    for (int f = 0; f < pieghe; ++f) {
      const long n = e.testi[static_cast<size_t>(f)];
      std::printf(" %9s", percento(n > 0 ? static_cast<double>(e.giusti[static_cast<size_t>(f)]) / static_cast<double>(n)
                                         : NAN).c_str());
    }
    std::printf("\n");
  }
  for (const esito_regola& e : regole) {
    if (e.scelte.empty()) continue;
    std::printf("Scelte della regola lineare per piega:");
    for (size_t f = 0; f < e.scelte.size(); ++f)
      std::printf("%s %zu: C %g, coppie %s, rapporti NB %s", f == 0 ? "" : ";", f + 1, e.scelte[f].c,
                  e.scelte[f].coppie ? "si" : "no", e.scelte[f].rapporti ? "si" : "no");
    std::printf("\n");
  }
}

}  // namespace

int convalida(int argc, char** argv) {
  riga_con_regola letta;
  if (!leggi_azione_con_regola(argc, argv, {{"--pieghe", 1}}, {{"CARTELLA"}}, uso_convalida, letta))
    return letta.stato;
  const riga_comando& r = letta.r;
  long pieghe = PIEGHE_PREDEFINITE;
  if (const char* v = valore_opzione(r, "--pieghe"); v && !intero_in(v, 2, PIEGHE_MASSIME, pieghe)) {
    std::fprintf(messaggi(), "Numero di pieghe non valido: %s (da 2 a %ld)\n", stampabile(v).c_str(), PIEGHE_MASSIME);
    uso_convalida(messaggi());
    return 1;
  }
  std::vector<esito_regola> regole;
  if (opzione_data(r, OPZIONE_PUNTEGGIO.nome)) {
    regole.push_back({letta.p, {}, {}, {}});
  } else {
    for (const char* nome : {"velmora", "bayes", "complemento", "lineare"}) {
      regole.push_back({});
      regola_da_nome(nome, regole.back().p);
    }
  }
  bool conteggi = false, lineare = false;
  for (esito_regola& e : regole) {
    e.giusti.assign(static_cast<size_t>(pieghe), 0);
    e.testi.assign(static_cast<size_t>(pieghe), 0);
    (e.p.tipo == regola::lineare ? lineare : conteggi) = true;
  }
  corpus c;
  if (!elenca_corpus(r.posizionali[0], c)) return 1;
  testi_letti t;
  leggi_testi(c, conteggi, lineare, t);
  if (t.classi.empty()) {
    stampa_scarti(t.scarti);
    std::printf("Nessun testo da convalidare\n");
    return 1;
  }
  const std::vector<uint8_t> piega = assegna_pieghe(t.classi, t.impronte, static_cast<uint32_t>(pieghe));
  if (conteggi) convalida_conteggi(t, piega, static_cast<int>(pieghe), regole);
  for (esito_regola& e : regole)
    if (e.p.tipo == regola::lineare) convalida_lineare(t, piega, static_cast<int>(pieghe), e);
  std::printf("Convalida incrociata a %ld pieghe su %zu testi (stratificate per classe, fissate dai byte dei testi)\n",
              pieghe, t.classi.size());
  stampa_esiti(regole, static_cast<int>(pieghe));
  stampa_ignorati(c);
  stampa_scarti(t.scarti);
  return 0;
}
