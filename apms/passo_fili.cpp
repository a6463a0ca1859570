// The threaded step, run by thread 0: each step's data laid out, the team
// started and met, and the timing that decides whether thread 0 goes alone.
#include "passo_fili.h"

#include <algorithm>
#include <system_error>

#include "passo_fili_stato.h"
#include "righe.h"
#include "veloce.h"

namespace {

// Threads 1 ... fili - 1: one step after another until told to stop.
void ciclo_filo(void* contesto, int filo) {
  auto& m = *static_cast<motore_fili*>(contesto);
  for (;;) {
    m.team->attendi(filo);  // the step's data is ready
    if (m.ferma) return;
    const dati_passo& d = m.dati[m.corrente];
    elenco& el = m.stati[filo].el;
    elenca_righe(d, el, m.livello);
    fase_1(m, m.stati[filo], el, d);
    m.team->attendi(filo);  // every hidden output is there
    fase_2(m, m.stati[filo], m.voci[filo], el, d);
  }
}

// Room for a step of quante rows in every thread's state, made by thread 0
// before the others start: no thread allocates during a step, so running
// out of memory stops thread 0 alone, with the others waiting.
void dimensiona(motore_fili& m, int quante) {
  const auto q = static_cast<size_t>(quante);
  for (int f = 0; f <= m.fili; ++f) {
    if (f == m.fili && !m.solo) break;
    filo_stato& s = f < m.fili ? m.stati[f] : *m.solo;
    s.errore.almeno(q * PASSO_USCITE);
    s.pendenza.almeno(q * PASSO_USCITE);
    s.errore_eff.almeno(q * COLONNE_EFFERENTI);
    s.pendenza_eff.almeno(q * COLONNE_EFFERENTI);
    s.ogni.reserve((q + 63) / 64);
    elenco& el = s.el;
    el.fine.reserve(q);
    el.massimo.reserve(q);
    if (el.indici.size() < q * INGRESSI) {
      el.indici.resize(q * INGRESSI);
      el.valori.resize(q * INGRESSI);
    }
    el.inizio.reserve(INGRESSI + 1);
    if (el.righe.size() < q * INGRESSI) {
      el.righe.resize(q * INGRESSI);
      el.x.resize(q * INGRESSI);
    }
  }
}

// The threads' blocks gathered for thread 0 alone: their weights, the
// largest of their bounds, and every input visited if any thread visits
// them all (both still hold for every weight).
void a_solo(motore_fili& m) {
  filo_stato& so = *m.solo;
  so.limite = 0.0;
  so.visita = false;
  for (int f = 0; f < m.fili; ++f) {
    const filo_stato& s = m.stati[f];
    for (int j = 0; j < INGRESSI; ++j)
      std::copy(s.pesi.p + j * s.colonne, s.pesi.p + (j + 1) * s.colonne, so.pesi.p + j * so.colonne + 8 * s.primo);
    so.limite = std::max(so.limite, s.limite);
    so.visita = so.visita || s.visita;
  }
}

// And handed back, with the output weights thread 0 trained alone.
void a_squadra(motore_fili& m) {
  const filo_stato& so = *m.solo;
  for (int f = 0; f < m.fili; ++f) {
    filo_stato& s = m.stati[f];
    for (int j = 0; j < INGRESSI; ++j)
      std::copy(so.pesi.p + j * so.colonne + 8 * s.primo, so.pesi.p + j * so.colonne + 8 * s.fine,
                s.pesi.p + j * s.colonne);
    s.limite = so.limite;
    s.visita = so.visita;
    if (f > 0) std::copy(std::begin(m.a.pesi->efferenti), std::end(m.a.pesi->efferenti), s.efferenti);
  }
}

// Threads 1 ... fili - 1 leave their loop.
void ferma_squadra(motore_fili& m) {
  if (!m.in_corso) return;
  m.ferma = true;
  m.team->attendi(0);
  m.team->concludi();
  m.in_corso = false;
}

// Thread 0's part of a step whose data is in dati[corrente], or every
// thread's part when it goes alone.
void passo_fili(motore_fili& m) {
  dati_passo& d = m.dati[m.corrente];
  adattamento& ad = m.ad;
  dimensiona(m, d.quante);
  if (ad.finestra > 0 && ad.passi == 0) ad.inizio = std::chrono::steady_clock::now();
  filo_stato& s0 = ad.solo ? *m.solo : m.stati[0];
  elenco& el = s0.el;
  if (ad.solo) {
    elenca_righe(d, el, m.livello);
    fase_1(m, s0, el, d);
    fase_2(m, s0, m.voci[0], el, d);
  } else {
    if (m.fili > 1) {
      if (!m.in_corso) {
        m.ferma = false;
        m.team->avvia(ciclo_filo, &m);
        m.in_corso = true;
      }
      m.team->attendi(0);
    }
    elenca_righe(d, el, m.livello);
    fase_1(m, s0, el, d);
    if (m.fili > 1) m.team->attendi(0);
    fase_2(m, s0, m.voci[0], el, d);
  }
  m.giuste = s0.giuste;
  m.classe = s0.classe;
  if (ad.finestra == 0) return;
  ++ad.passi;
  ad.righe += d.quante;
  // A window ends after finestra rows, or sooner when they are slow; a try
  // of the other way takes a quarter of that, since it is the slower way
  // more often than not.
  const std::chrono::duration<double> durata = std::chrono::steady_clock::now() - ad.inizio;
  const int quarto = ad.prova ? 4 : 1;
  if (ad.righe * quarto < ad.finestra && durata.count() * quarto < FINESTRA_MASSIMA_S) return;
  const int modo = ad.solo ? 1 : 0;
  ad.per_riga[modo] = durata.count() / static_cast<double>(ad.righe);
  ad.passi = 0;
  ad.righe = 0;
  bool cambia = false;
  if (ad.prova) {
    ad.prova = false;
    ad.contate = 0;
    if (ad.per_riga[modo] < ad.per_riga[1 - modo]) {
      ad.attesa = 4;
    } else {
      cambia = true;
      ad.attesa = std::min(ad.attesa * 2, 256);
    }
  } else if (++ad.contate >= ad.attesa) {
    ad.prova = true;
    cambia = true;
  }
  if (cambia) {
    ad.solo = !ad.solo;
    if (ad.solo) {
      ferma_squadra(m);
      a_solo(m);
    } else {
      a_squadra(m);
    }
  }
}

// The step's data: the other of the two sets, dati[corrente] once chosen.
dati_passo& dati_nuovi(motore_fili& m) {
  m.corrente ^= 1;
  return m.dati[m.corrente];
}

// Runs the step whose rows are in d on every thread.
void lancia(motore_fili& m, dati_passo& d, rete_cifre& rete, bool online, const passo& p) {
  d.online = online;
  d.p = p;
  d.rete = &rete;
  passo_fili(m);
}

}  // namespace

void libera_motore_fili::operator()(motore_fili* m) const {
  if (m->pronto) attendi_fili(*m);
  delete m;
}

motore_fili_ptr prepara_fili(addestramento_veloce& a, int fili, livello_simd livello, int finestra) {
  int n = std::clamp(fili, 1, FILI_MASSIMI);
  // Where no thread can be made, one does all: the same bits.
  std::unique_ptr<squadra> team;
  if (n > 1) {
    try {
      team = std::make_unique<squadra>(n);
    } catch (const std::system_error&) {
      n = 1;
    }
  }
  motore_fili_ptr m(new motore_fili(a, livello, n));
  m->team = std::move(team);
  m->ad.finestra = n > 1 ? std::max(finestra, 0) : 0;
  m->stati = std::make_unique<filo_stato[]>(static_cast<size_t>(n));
  m->voci = std::make_unique<voci_ingresso[]>(static_cast<size_t>(n));
  // Thread 0 also lays out every step: the threads after it take the
  // blocks left over when they do not divide evenly.
  int blocco = 0;
  for (int f = 0; f < n; ++f) {
    filo_stato& s = m->stati[f];
    s.primo = blocco;
    blocco += FILI_MASSIMI / n + (f >= n - FILI_MASSIMI % n ? 1 : 0);
    s.fine = blocco;
    if (f == 0) {
      s.efferenti = a.pesi->efferenti;
    } else {
      s.copia_efferenti.almeno(std::size(a.pesi->efferenti));
      std::copy(std::begin(a.pesi->efferenti), std::end(a.pesi->efferenti), s.copia_efferenti.p);
      s.efferenti = s.copia_efferenti.p;
    }
    s.colonne = 8 * (s.fine - s.primo);
    s.pesi.almeno(static_cast<size_t>(INGRESSI) * static_cast<size_t>(s.colonne));
    for (int j = 0; j < INGRESSI; ++j)
      std::copy(a.pesi->intercalari + j * COLONNE_INTERCALARI + 8 * s.primo,
                a.pesi->intercalari + j * COLONNE_INTERCALARI + 8 * s.fine, s.pesi.p + j * s.colonne);
    s.limite = a.limite_intercalari;
    s.visita = a.pesi->qualche_non_finito;
    s.denso.almeno(INGRESSI);
  }
  m->stati[0].scrive_rete = true;
  if (n > 1) {
    m->solo = std::make_unique<filo_stato>();
    filo_stato& so = *m->solo;
    so.primo = 0;
    so.fine = FILI_MASSIMI;
    so.colonne = COLONNE_INTERCALARI;
    so.pesi.almeno(static_cast<size_t>(INGRESSI) * COLONNE_INTERCALARI);
    so.efferenti = a.pesi->efferenti;
    so.denso.almeno(INGRESSI);
    so.scrive_rete = true;
  }
  m->pronto = true;
  return m;
}

int fili_in_uso(const motore_fili& m) { return m.fili; }

int addestra_riga_fili(motore_fili& m, rete_cifre& rete, int32_t etichetta, double tasso, costo funzione) {
  dati_passo& d = dati_nuovi(m);
  prepara_dati(d, rete.pixel, &etichetta, 1);
  lancia(m, d, rete, true, passo{tasso, funzione, 0.0});
  return m.classe;
}

int addestra_lotto_fili(motore_fili& m, rete_cifre& rete, const righe_cifre& lotto, const passo& p) {
  dati_passo& d = dati_nuovi(m);
  prepara_dati(d, lotto.pixel.data(), lotto.etichette.data(), lotto.quante);
  lancia(m, d, rete, false, p);
  return m.giuste;
}

int addestra_lotto_fili(motore_fili& m, rete_cifre& rete, const righe_cifre& righe, const int* scelte,
                        const int* copie, int quante, const passo& p) {
  dati_passo& d = dati_nuovi(m);
  d.quante = quante;
  d.parole = (quante + 63) / 64;
  d.pixel = righe.pixel.data();
  d.righe.assign(scelte, scelte + quante);
  d.copie.assign(copie, copie + quante);
  d.etichette.resize(static_cast<size_t>(quante));
  for (int t = 0; t < quante; ++t)
    d.etichette[static_cast<size_t>(t)] = righe.etichette[static_cast<size_t>(scelte[t])];
  d.uscite.almeno(static_cast<size_t>(quante) * PASSO_USCITE);
  lancia(m, d, rete, false, p);
  return m.giuste;
}

namespace {

// One share of an evaluation per thread.
struct valutazione_fili {
  const pesi_veloci* pesi;
  const righe_cifre* righe;
  int fili;
  std::vector<std::unique_ptr<rete_cifre>> reti;
  std::vector<risultato> parziali;
  double* uscite;  // each row's outputs, or null
};

void valuta_parte(void* contesto, int filo) {
  auto& v = *static_cast<valutazione_fili*>(contesto);
  const long q = v.righe->quante;
  rete_cifre& rete = *v.reti[static_cast<size_t>(filo)];
  risultato& esito = v.parziali[static_cast<size_t>(filo)];
  for (long r = q * filo / v.fili; r < q * (filo + 1) / v.fili; ++r) {
    prendi_riga(rete, *v.righe, static_cast<int>(r));
    conta_risposta(esito, rete.etichetta, net_recognize_veloce(rete, *v.pesi));
    if (v.uscite) std::copy(rete.uscita_efferenti, rete.uscita_efferenti + N_EFFERENTI, v.uscite + N_EFFERENTI * r);
  }
}

}  // namespace

risultato valuta_righe_fili(motore_fili& m, const rete_cifre& rete, const righe_cifre& righe, double* uscite) {
  ferma_squadra(m);
  const auto pesi = prepara_pesi(rete);
  // A share takes a few rows at least: below that the threads cost more than they save.
  const int fili = m.team && righe.quante >= 64 * m.fili ? m.fili : 1;
  valutazione_fili v{pesi.get(), &righe, fili, {}, std::vector<risultato>(static_cast<size_t>(fili)), uscite};
  for (int f = 0; f < fili; ++f) v.reti.push_back(crea_rete());
  if (fili > 1) {
    m.team->avvia(valuta_parte, &v);
    valuta_parte(&v, 0);
    m.team->concludi();
  } else {
    valuta_parte(&v, 0);
  }
  // Integer counts: their sum does not depend on the shares.
  risultato esito;
  for (const risultato& p : v.parziali) {
    esito.riconosciute += p.riconosciute;
    esito.senza_risposta += p.senza_risposta;
    for (size_t e = 0; e < N_EFFERENTI; ++e)
      for (size_t c = 0; c < N_EFFERENTI; ++c) esito.confusione[e][c] += p.confusione[e][c];
  }
  return esito;
}

void attendi_fili(motore_fili& m) {
  ferma_squadra(m);
  // What comes until the next step (an evaluation, say) is no step's time.
  m.ad.passi = 0;
  m.ad.righe = 0;
  // The hidden weights back in their place, and the bound and the flags the
  // single-threaded step keeps for the layer.
  addestramento_veloce& a = m.a;
  for (int f = 0; f < (m.ad.solo ? 1 : m.fili); ++f) {
    const filo_stato& s = m.ad.solo ? *m.solo : m.stati[f];
    for (int j = 0; j < INGRESSI; ++j)
      std::copy(s.pesi.p + j * s.colonne, s.pesi.p + (j + 1) * s.colonne,
                a.pesi->intercalari + j * COLONNE_INTERCALARI + 8 * s.primo);
    a.limite_intercalari = std::max(a.limite_intercalari, s.limite);
    if (s.visita && !a.pesi->qualche_non_finito) {
      a.pesi->qualche_non_finito = true;
      std::fill(std::begin(a.pesi->non_finite), std::end(a.pesi->non_finite), static_cast<uint16_t>(0xFFFF));
    }
  }
}
