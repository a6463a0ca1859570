// Every input (the folder, file names, words, texts) enters the page
// through testo_html or testo_json; the figures come from the rule's own
// terms (testo_pesato.h), never from a second computation of them.
#include "pagina_testi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pagina.h"
#include "pulizia.h"
#include "testo_pesato.h"

namespace {

// ---- The words that weigh most for each class ------------------------------------------

struct parola_pesata {
  std::string parola;  // a word, or under lineare a word or a pair of words ("a b")
  double peso;
};

// An item that may weigh for some class: its name, what one unit of it adds
// to each class's score, and the classes whose list it may enter.
struct voce_candidata {
  std::string nome;
  std::array<double, CLASSI> termini{};
  std::array<bool, CLASSI> ammessa{};
};

// The model's words under the count rules (a word enters only the lists of
// the classes that have seen it); under lineare, whose model keeps slots and
// not words, the words and pairs of the texts evaluated, each slot once
// under the first name it was met with.
std::vector<voce_candidata> voci_candidate(const valutatore& v, const corpus& c) {
  std::vector<voce_candidata> voci;
  if (v.p.tipo != regola::lineare) {
    for (size_t w = 0; w < v.m.parole.size(); ++w) {
      const auto& p = v.m.parole[w];
      voce_candidata x{std::string(p.data(), strnlen(p.data(), p.size())), {}, {}};
      for (int k = 0; k < CLASSI; ++k) {
        const auto kk = static_cast<size_t>(k);
        x.termini[kk] = con_dati(v, k) ? termine(v.m, v.r, static_cast<long>(w), 1.0, k) : 0.0;
        x.ammessa[kk] = con_dati(v, k) && v.m.conteggi[w][k] > 0;
      }
      voci.push_back(std::move(x));
    }
    return voci;
  }
  std::vector<bool> visto(v.lineare.pesi.size());
  for (const file_corpus& f : c.file) {
    tabella_parole tabella;
    std::string byte;
    if (leggi_e_conta(f.path, tabella, nullptr, false, &byte) != lettura::letta) continue;
    for (tratto_lineare& t : tratti_lineari(v.lineare, byte)) {
      if (t.indice < 0 || visto[static_cast<size_t>(t.indice)]) continue;
      visto[static_cast<size_t>(t.indice)] = true;
      voce_candidata x{std::move(t.nome), {}, {}};
      for (int k = 0; k < CLASSI; ++k) {
        const auto kk = static_cast<size_t>(k);
        x.termini[kk] = con_dati(v, k) ? v.lineare.pesi[static_cast<size_t>(t.indice)][kk] : 0.0;
        x.ammessa[kk] = con_dati(v, k);
      }
      voci.push_back(std::move(x));
    }
  }
  return voci;
}

// Per class with data, the PAROLE_PER_CLASSE items with the largest weight
// for it, ties in the order met. An item's weight for class k is the term one
// unit of it adds to k's score minus the mean of the terms it adds to the
// other classes with data: under bayes, the log of a word's probability in
// k against the geometric mean of its probabilities in the others; under
// lineare, its weight for k against its mean weight elsewhere.
std::vector<std::vector<parola_pesata>> parole_di_classe(const valutatore& v, const corpus& c) {
  std::vector<std::vector<parola_pesata>> migliori(CLASSI);
  for (const voce_candidata& x : voci_candidate(v, c)) {
    for (int k = 0; k < CLASSI; ++k) {
      if (!x.ammessa[static_cast<size_t>(k)]) continue;
      double altri = 0.0;
      int quanti = 0;
      for (int j = 0; j < CLASSI; ++j)
        if (j != k && con_dati(v, j)) altri += x.termini[static_cast<size_t>(j)], ++quanti;
      const double t = x.termini[static_cast<size_t>(k)];
      const double peso = quanti > 0 ? t - altri / quanti : t;
      std::vector<parola_pesata>& m = migliori[static_cast<size_t>(k)];
      if (!(peso > 0.0) || (m.size() == PAROLE_PER_CLASSE && !(peso > m.back().peso))) continue;
      auto dove = std::upper_bound(m.begin(), m.end(), peso,
                                   [](double p, const parola_pesata& q) { return p > q.peso; });
      m.insert(dove, {x.nome, peso});
      if (m.size() > PAROLE_PER_CLASSE) m.pop_back();
    }
  }
  return migliori;
}

// x to four significant digits (the built-in rule's terms are a few
// hundred-thousandths), "+" before a positive one when segno.
std::string cifre(double x, bool segno = false) {
  char s[40];
  std::snprintf(s, sizeof s, segno ? "%+.4g" : "%.4g", x);
  return s;
}

std::string percento(double x) {
  char s[24];
  std::snprintf(s, sizeof s, "%.1f%%", 100.0 * x);
  return s;
}

// ---- A misclassified text -----------------------------------------------------------------

// One misclassified text as the page draws it.
struct testo_mostrato {
  const testo_classificato* esito = nullptr;
  int vera = 0;
  bool letto = false;             // read again, as valuta read it
  uint64_t byte = 0;              // its size
  std::string estratto;           // its first bytes, cut after a whole word
  testo_pesato pesato;            // its words under the rule
  std::vector<double> spinte;     // per word of pesato: term in the chosen class minus term in the true one
  double massima = 0.0;           // the largest magnitude among spinte
};

// The first bytes of the regular file at path, at most ESTRATTO_BYTE + 1,
// and its size; false when it cannot be read (as valuta, never waiting on a FIFO).
bool leggi_estratto(const std::string& path, std::string& out, uint64_t& byte) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    byte = static_cast<uint64_t>(st.st_size);
    out.resize(ESTRATTO_BYTE + 1);
    size_t letti = 0;
    while (letti < out.size()) {
      const ssize_t r = read(fd, out.data() + letti, out.size() - letti);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      letti += static_cast<size_t>(r);
    }
    out.resize(letti);
  }
  close(fd);
  return ok;
}

// Where to cut a text longer than ESTRATTO_BYTE: after the last byte the
// cleaning blanks that is plain ASCII (so neither a word nor a UTF-8
// character is split), or at the limit when there is none in its second half.
size_t taglio(const std::string& grezzo, const std::string& pulito) {
  if (grezzo.size() <= ESTRATTO_BYTE) return grezzo.size();
  for (size_t i = ESTRATTO_BYTE; i > ESTRATTO_BYTE / 2; --i)
    if (pulito[i - 1] == ' ' && static_cast<unsigned char>(grezzo[i - 1]) < 0x80) return i;
  size_t i = ESTRATTO_BYTE;
  while (i > 0 && (static_cast<unsigned char>(grezzo[i]) & 0xC0) == 0x80) --i;
  return i;
}

testo_mostrato prepara_testo(const valutatore& v, const corpus& c, const testo_classificato& t) {
  testo_mostrato m;
  m.esito = &t;
  m.vera = c.file[t.file].classe;
  const std::string& path = c.file[t.file].path;
  tabella_parole tabella;
  std::string grezzo;
  std::string byte;
  if (leggi_e_conta(path, tabella, nullptr, false, &byte) != lettura::letta || !leggi_estratto(path, grezzo, m.byte))
    return m;
  m.letto = true;
  m.pesato = pesa_testo(v, voci_ordinate(tabella), byte);
  m.spinte.assign(m.pesato.voci.size(), 0.0);
  for (size_t i = 0; i < m.spinte.size(); ++i) {
    if (m.pesato.posizioni[i] < 0) continue;
    m.spinte[i] = termine_parola(v, m.pesato, i, t.scelta) - termine_parola(v, m.pesato, i, m.vera);
    m.massima = std::max(m.massima, std::fabs(m.spinte[i]));
  }
  std::string pulito(grezzo.size(), ' ');
  stato_pulizia stato;
  pulisci_testo(stato, grezzo.data(), grezzo.size(), pulito.data());
  m.estratto = grezzo.substr(0, taglio(grezzo, pulito));
  return m;
}

// The index among the text's words of the cleaned word w, or -1.
long indice_parola(const testo_pesato& t, std::string_view w) {
  voce_parola chiave{};
  std::memcpy(chiave.parola, w.data(), std::min(w.size(), size_t{LUNGHEZZA_PAROLA - 1}));
  auto it = std::lower_bound(t.voci.begin(), t.voci.end(), chiave, [](const voce_parola& a, const voce_parola& b) {
    return std::memcmp(a.parola, b.parola, LUNGHEZZA_PAROLA) < 0;
  });
  if (it == t.voci.end() || std::memcmp(it->parola, chiave.parola, LUNGHEZZA_PAROLA) != 0) return -1;
  return it - t.voci.begin();
}

// The push of a word drawn as one of LIVELLI shades each way of the
// diverging scale, relative to the text's largest: a class of the page's
// style ("s-3", "s0", "s7"), so that a long text costs a few bytes a word.
constexpr int LIVELLI = 8;

int livello(double spinta, double massima) {
  if (!(massima > 0)) return 0;
  return static_cast<int>(std::lround(spinta / massima * LIVELLI));
}

// The style of the shades, made from the suite's diverging scale.
std::string stile_livelli() {
  std::string s = "<style>\n";
  for (int l = -LIVELLI; l <= LIVELLI; ++l) {
    const double t = static_cast<double>(l) / LIVELLI;
    s += ".s" + std::to_string(l) + "{background:" + colore_divergente(t) + (std::fabs(t) > 0.6 ? ";color:#fff" : "") + "}";
  }
  return s + "\n</style>\n";
}

// The excerpt as HTML, each word the rule weighs shaded by its push; usate
// collects the indices of the words drawn.
std::string estratto_html(const testo_mostrato& m, std::vector<bool>& usate) {
  std::string pulito(m.estratto.size(), ' ');
  stato_pulizia stato;
  pulisci_testo(stato, m.estratto.data(), m.estratto.size(), pulito.data());
  std::string h;
  size_t i = 0;
  while (i < pulito.size()) {
    size_t j = i;
    while (j < pulito.size() && pulito[j] == ' ') ++j;
    h += testo_html(std::string_view(m.estratto).substr(i, j - i));
    if (j == pulito.size()) break;
    size_t fine = j;
    while (fine < pulito.size() && pulito[fine] != ' ') ++fine;
    const std::string_view parola = std::string_view(pulito).substr(j, fine - j);
    const std::string_view vista = std::string_view(m.estratto).substr(j, fine - j);
    const long k = indice_parola(m.pesato, parola);
    if (k >= 0 && m.pesato.posizioni[static_cast<size_t>(k)] >= 0) {
      const double s = m.spinte[static_cast<size_t>(k)];
      usate[static_cast<size_t>(k)] = true;
      h += "<span class=\"s" + std::to_string(livello(s, m.massima)) + "\" title=\"" + cifre(s, true) + "\">" +
           testo_html(vista) + "</span>";
    } else {
      h += testo_html(vista);
    }
    i = fine;
  }
  return h;
}

// The words of the text with the largest push in either direction, at
// most n, ties in word order; a word that pushes neither way is left out.
std::vector<size_t> spinte_maggiori(const testo_mostrato& m, size_t n) {
  std::vector<size_t> idx;
  for (size_t i = 0; i < m.spinte.size(); ++i)
    if (m.pesato.posizioni[i] >= 0 && m.spinte[i] != 0.0) idx.push_back(i);
  std::stable_sort(idx.begin(), idx.end(),
                   [&](size_t a, size_t b) { return std::fabs(m.spinte[a]) > std::fabs(m.spinte[b]); });
  if (idx.size() > n) idx.resize(n);
  return idx;
}

// A bar from the middle of its cell: right and red toward the chosen class, left and blue toward the true one.
std::string barra_doppia(double s, double massima) {
  const double w = massima > 0 ? 50.0 * std::fabs(s) / massima : 0.0;
  char st[160];
  std::snprintf(st, sizeof st, "<span class=\"b2\"><i style=\"left:%.1f%%;width:%.1f%%;background:%s\"></i></span>",
                s >= 0 ? 50.0 : 50.0 - w, w, colore_divergente(s >= 0 ? 1.0 : -1.0).c_str());
  return st;
}

std::string scheda_html(const corpus& c, const testo_mostrato& m, size_t n, std::string& json) {
  const testo_classificato& t = *m.esito;
  const std::string& path = c.file[t.file].path;
  std::string h = "<article class=\"sbagliato\" id=\"e-" + std::to_string(n) + "\" data-vera=\"" +
                  std::to_string(m.vera) + "\" data-scelta=\"" + std::to_string(t.scelta) + "\">\n<h3>" +
                  std::to_string(n + 1) + ". <code>" + testo_html(path) + "</code></h3>\n<p class=\"nota\">vera <b>" +
                  std::to_string(m.vera) + "</b>, scelta <b>" + std::to_string(t.scelta) + "</b>, margine " +
                  cifre(t.margine) + "</p>\n";
  json += "{\"path\":" + testo_json(path) + ",\"vera\":" + std::to_string(m.vera) +
          ",\"scelta\":" + std::to_string(t.scelta) + ",\"margine\":" + numero_json(t.margine);
  if (!m.letto) {
    json += ",\"letto\":false}";
    return h + "<p>Il testo non si puo' piu' leggere.</p>\n</article>\n";
  }
  std::vector<bool> usate(m.spinte.size(), false);
  h += "<div class=\"coppia\"><div class=\"testo-mostrato\">" + estratto_html(m, usate);
  if (m.estratto.size() < m.byte)
    h += "<span class=\"nota\"> [...] (mostrati " + std::to_string(m.estratto.size()) + " byte di " +
         std::to_string(m.byte) + ")</span>";
  h += "</div>\n<table class=\"spinte\"><tr><th class=\"testo\">parola</th><th>n</th><th>spinta</th><th></th></tr>\n";
  const std::vector<size_t> prime = spinte_maggiori(m, SPINTE_PER_TESTO);
  for (const size_t i : prime) {
    usate[i] = true;
    h += "<tr><td class=\"testo\">" + testo_html(m.pesato.voci[i].parola) + "</td><td>" +
         std::to_string(m.pesato.voci[i].n) + "</td><td>" + cifre(m.spinte[i], true) + "</td><td>" +
         barra_doppia(m.spinte[i], m.massima) + "</td></tr>\n";
  }
  h += "</table></div>\n</article>\n";
  json += ",\"letto\":true,\"byte\":" + std::to_string(m.byte) + ",\"byte_mostrati\":" +
          std::to_string(m.estratto.size()) + ",\"parole\":[";
  // The words drawn: in the excerpt or in the list, the largest push first.
  std::vector<size_t> disegnate;
  for (size_t i = 0; i < usate.size(); ++i)
    if (usate[i]) disegnate.push_back(i);
  std::stable_sort(disegnate.begin(), disegnate.end(),
                   [&](size_t a, size_t b) { return std::fabs(m.spinte[a]) > std::fabs(m.spinte[b]); });
  for (size_t k = 0; k < disegnate.size(); ++k) {
    const size_t i = disegnate[k];
    json += std::string(k ? "," : "") + "{\"parola\":" + testo_json(m.pesato.voci[i].parola) +
            ",\"n\":" + std::to_string(m.pesato.voci[i].n) + ",\"spinta\":" + numero_json(m.spinte[i]) + "}";
  }
  json += "]}";
  return h;
}

// ---- The sections ---------------------------------------------------------------------------

std::string nome_regola_pagina(const punteggio& p) {
  std::string s = nome_regola(p.tipo);
  if (p.tipo == regola::bayes || p.tipo == regola::complemento) {
    char a[40];
    std::snprintf(a, sizeof a, ", alfa %g", p.alfa);
    s += a;
  }
  if (p.tipo == regola::lineare) s += std::string(", da ") + MODELLO_LINEARE;
  return s;
}

const char* spiegazione_pesi(regola r) {
  switch (r) {
    case regola::velmora:
      return "Per ogni classe, tra le parole che ha visto, quelle il cui termine nel punteggio (per una "
             "occorrenza: log10(c/T)/T se la classe ha visto la parola, log10(1/T) se no) supera di piu' la "
             "media dei termini nelle altre classi con dati. Con questa regola conta soprattutto che le altre "
             "classi non l'abbiano vista.";
    case regola::bayes:
      return "Per ogni classe, tra le parole che ha visto, quelle con il rapporto piu' alto tra la loro "
             "probabilita' nella classe e la media geometrica delle probabilita' nelle altre classi con dati "
             "(ln, con lo smussamento alfa): quanto una occorrenza sposta il punteggio verso la classe.";
    case regola::complemento:
      return "Per ogni classe, tra le parole che ha visto, quelle il cui peso -ln P(parola | altre classi) "
             "supera di piu' la media dei pesi della parola nelle altre classi con dati: quanto una "
             "occorrenza sposta il punteggio verso la classe.";
    case regola::lineare:
      return "Per ogni classe, tra le parole e le coppie di parole dei testi valutati, quelle il cui peso nel "
             "modello lineare supera di piu' la media dei loro pesi nelle altre classi con dati: quanto la voce "
             "sposta il punteggio verso la classe, per una componente x = 1.";
  }
  return "";
}

std::string sezione_parole(const valutatore& v, const corpus& c, std::string& json) {
  const std::vector<std::vector<parola_pesata>> migliori = parole_di_classe(v, c);
  double massimo = 0.0;
  for (const auto& m : migliori)
    for (const parola_pesata& p : m) massimo = std::max(massimo, p.peso);
  std::string h = "<h2 id=\"parole\">Le parole che pesano di piu' per ogni classe</h2>\n<p class=\"nota\">" +
                  std::string(spiegazione_pesi(v.p.tipo)) +
                  " Le barre hanno una sola scala per tutte le classi.</p>\n<div class=\"classi\">\n";
  json += ",\"parole_per_classe\":[";
  std::string senza_dati;
  for (int k = 0; k < CLASSI; ++k) {
    json += std::string(k ? "," : "") + "{\"classe\":" + std::to_string(k) +
            ",\"con_dati\":" + (con_dati(v, k) ? "true" : "false") + ",\"parole\":[";
    const auto& m = migliori[static_cast<size_t>(k)];
    if (!con_dati(v, k)) {
      senza_dati += (senza_dati.empty() ? "" : ", ") + std::to_string(k);
      json += "]}";
      continue;
    }
    h += "<div class=\"classe\" data-classe=\"" + std::to_string(k) + "\"><h3>Classe " + std::to_string(k) + "</h3>\n";
    h += m.empty() ? "<p class=\"nota\">nessuna parola</p>" : "<table class=\"pesi\">\n";
    for (size_t i = 0; i < m.size(); ++i) {
      const std::string& parola = m[i].parola;
      char barra[120];
      std::snprintf(barra, sizeof barra, "<span class=\"b1\" style=\"width:%.1f%%\"></span>",
                    massimo > 0 ? 100.0 * m[i].peso / massimo : 0.0);
      h += "<tr title=\"" + testo_html(parola) + " " + cifre(m[i].peso) + "\"><td class=\"testo\">" + testo_html(parola) + "</td><td class=\"num\">" + cifre(m[i].peso) +
           "</td><td class=\"barra\">" + barra + "</td></tr>\n";
      json += std::string(i ? "," : "") + "{\"parola\":" + testo_json(parola) + ",\"peso\":" + numero_json(m[i].peso) + "}";
    }
    if (!m.empty()) h += "</table>";
    h += "</div>\n";
    json += "]}";
  }
  json += "]";
  h += "</div>\n";
  if (!senza_dati.empty()) h += "<p class=\"nota\">Senza dati: classi " + senza_dati + ".</p>\n";
  return h;
}

// disegnati: per text of testi, the number of its drawing, or -1.
std::string sezione_sbagliati(const valutatore& v, const corpus& c, const std::vector<testo_classificato>& testi,
                              std::vector<long>& disegnati, std::string& json) {
  std::vector<const testo_classificato*> sbagliati;
  for (const testo_classificato& t : testi)
    if (t.scelta != c.file[t.file].classe) sbagliati.push_back(&t);
  std::stable_sort(sbagliati.begin(), sbagliati.end(),
                   [](const testo_classificato* a, const testo_classificato* b) { return a->margine > b->margine; });
  const size_t mostrati = std::min(sbagliati.size(), SBAGLIATI_MOSTRATI);
  std::string h = "<h2 id=\"sbagliati\">I testi classificati male</h2>\n<p class=\"nota\">" +
                  std::to_string(sbagliati.size()) + " in tutto";
  if (mostrati < sbagliati.size()) h += "; qui i primi " + std::to_string(mostrati);
  h += ", dal piu' sicuro (margine: punteggio della classe scelta meno quello della classe vera). Ogni parola che "
       "la regola pesa e' colorata secondo la sua spinta, il suo termine nel punteggio della classe scelta meno "
       "quello nella classe vera (come in <code>velmora_bow spiega</code>), su una scala per testo: ";
  h += "<span class=\"chip\" style=\"background:" + colore_divergente(1) +
       ";color:#fff\">verso la scelta</span> <span class=\"chip\" style=\"background:" + colore_divergente(-1) +
       ";color:#fff\">verso la vera</span>. Passando sopra una parola se ne legge la spinta.</p>\n";
  h += "<div id=\"filtri\" hidden>Classe vera <select id=\"filtro-vera\"><option value=\"\">tutte</option>";
  std::string opzioni;
  for (int k = 0; k < CLASSI; ++k) opzioni += "<option>" + std::to_string(k) + "</option>";
  h += opzioni + "</select> scelta <select id=\"filtro-scelta\"><option value=\"\">tutte</option>" + opzioni +
       "</select> <span id=\"filtro-conta\" class=\"nota\"></span></div>\n";
  json += ",\"sbagliati\":{\"totale\":" + std::to_string(sbagliati.size()) + ",\"mostrati\":[";
  disegnati.assign(testi.size(), -1);
  for (size_t n = 0; n < mostrati; ++n) {
    if (n) json += ',';
    h += scheda_html(c, prepara_testo(v, c, *sbagliati[n]), n, json);
    disegnati[static_cast<size_t>(sbagliati[n] - testi.data())] = static_cast<long>(n);
  }
  json += "]}";
  return h;
}

// One list per cell with texts, in corpus order; the misclassified texts
// drawn above link to their drawing.
std::string sezione_celle(const corpus& c, const std::vector<testo_classificato>& testi,
                          const std::vector<long>& disegnati) {
  std::vector<std::vector<std::vector<const testo_classificato*>>> celle(
      CLASSI, std::vector<std::vector<const testo_classificato*>>(CLASSI));
  for (const testo_classificato& t : testi)
    celle[static_cast<size_t>(c.file[t.file].classe)][static_cast<size_t>(t.scelta)].push_back(&t);
  std::string h = "<h2 id=\"celle\">I testi di ogni casella</h2>\n<p class=\"nota\">Righe: classe vera; colonne: "
                  "classe scelta. Le caselle fuori dalla diagonale sono aperte.</p>\n";
  for (int i = 0; i < CLASSI; ++i)
    for (int j = 0; j < CLASSI; ++j) {
      const auto& cella = celle[static_cast<size_t>(i)][static_cast<size_t>(j)];
      if (cella.empty()) continue;
      h += "<details id=\"t-" + std::to_string(i) + "-" + std::to_string(j) + "\"" + (i != j ? " open" : "") +
           "><summary>vera " + std::to_string(i) + ", scelta " + std::to_string(j) + ": " +
           std::to_string(cella.size()) + (cella.size() == 1 ? " testo" : " testi") + "</summary><ol class=\"file\">";
      for (const testo_classificato* t : cella) {
        const std::string path = "<code>" + testo_html(c.file[t->file].path) + "</code>";
        const long n = disegnati[static_cast<size_t>(t - testi.data())];
        h += "<li>" + (n < 0 ? path : "<a href=\"#e-" + std::to_string(n) + "\">" + path + "</a>") + "</li>";
      }
      h += "</ol></details>\n";
    }
  return h;
}

std::string sezione_scarti(const esito_valutazione& e) {
  if (e.scarti.empty()) return "";
  std::string h = "<h2 id=\"scartati\">File scartati</h2>\n<ul class=\"file\">";
  for (const scarto& s : e.scarti) h += "<li><code>" + testo_html(s.path) + "</code>: " + motivo_scarto(s.motivo) + "</li>";
  return h + "</ul>\n";
}

constexpr std::string_view STILE_TESTI = R"(<style>
.classi{display:grid;grid-template-columns:repeat(auto-fill,minmax(240px,1fr));gap:10px}
.classe{border:1px solid var(--bordo);border-radius:6px;padding:4px 8px}
.classe h3{font-size:1em;margin:.3em 0}
table.pesi{width:100%}table.pesi td{border:none;padding:0 4px;font-size:.85em}
table.pesi td.barra{width:40%}
.b1{display:inline-block;height:.75em;background:#b2182b;vertical-align:middle}
.sbagliato{border:1px solid var(--bordo);border-radius:6px;padding:8px 10px;margin:10px 0}
.sbagliato h3{font-size:.95em;margin:0;overflow-wrap:anywhere}
.sbagliato p.nota{margin:.2em 0 .5em}
.coppia{display:flex;flex-wrap:wrap;gap:10px;align-items:flex-start}
.testo-mostrato{flex:1 1 380px;min-width:0;white-space:pre-wrap;overflow-wrap:anywhere;background:var(--riquadro);padding:6px 8px;border-radius:4px;line-height:1.65}
.testo-mostrato span[title]{border-radius:3px;padding:0 1px}
table.spinte{flex:0 0 250px;font-size:.85em}table.spinte td,table.spinte th{border:none;padding:0 4px;background:none}
.b2{display:inline-block;position:relative;width:90px;height:.8em;border-left:1px solid var(--bordo);border-right:1px solid var(--bordo);background:linear-gradient(to right,transparent calc(50% - 1px),#999 calc(50% - 1px),#999 50%,transparent 50%)}
.b2 i{position:absolute;top:0;bottom:0}
.chip{padding:0 4px;border-radius:3px}
#filtri{margin:.5em 0}
ol.file,ul.file{font-size:.85em;columns:2 22em;overflow-wrap:anywhere}
details{margin:.3em 0}summary{cursor:pointer}
@media (max-width:560px){.classi{grid-template-columns:1fr 1fr;gap:6px}.classe{padding:2px 5px}
table.pesi td.num{display:none}table.pesi td.barra{width:45%}table.spinte{flex-basis:100%}}
</style>
)";

constexpr std::string_view SCRIPT_TESTI = R"(
(function(){
var d=JSON.parse(document.getElementById('dati').textContent);
function apri(){var h=location.hash.slice(1);var e=h&&document.getElementById(h);if(e&&e.tagName==='DETAILS')e.open=true;}
window.addEventListener('hashchange',apri);apri();
var f=document.getElementById('filtri');
if(f){
  f.hidden=false;
  var sv=document.getElementById('filtro-vera'),ss=document.getElementById('filtro-scelta');
  var schede=document.querySelectorAll('article.sbagliato');
  var filtra=function(){
    var n=0;
    for(var i=0;i<schede.length;i++){
      var s=schede[i],ok=(sv.value===''||s.dataset.vera===sv.value)&&(ss.value===''||s.dataset.scelta===ss.value);
      s.hidden=!ok;n+=ok?1:0;
    }
    document.getElementById('filtro-conta').textContent=n+' di '+d.sbagliati.mostrati.length+' mostrati';
  };
  sv.addEventListener('change',filtra);ss.addEventListener('change',filtra);filtra();
}
document.body.dataset.pronto='1';
})();
)";

}  // namespace

std::string pagina_testi(const valutatore& v, const char* cartella, const corpus& c, const esito_valutazione& e,
                         const std::vector<testo_classificato>& testi) {
  std::vector<std::vector<int64_t>> matrice(CLASSI, std::vector<int64_t>(CLASSI));
  int64_t giusti = 0, totale = 0;
  for (int i = 0; i < CLASSI; ++i)
    for (int j = 0; j < CLASSI; ++j) {
      matrice[static_cast<size_t>(i)][static_cast<size_t>(j)] = e.confusione[i][j];
      totale += e.confusione[i][j];
      if (i == j) giusti += e.confusione[i][j];
    }
  std::vector<std::string> nomi;
  for (int k = 0; k < CLASSI; ++k) nomi.push_back(std::to_string(k));
  const double accuratezza = totale > 0 ? static_cast<double>(giusti) / static_cast<double>(totale) : 0.0;

  std::string h = inizio_pagina("Valutazione dei testi di " + std::string(cartella));
  h += STILE_TESTI;
  h += stile_livelli();
  h += "<p class=\"nota\">velmora_bow valuta, punteggio " + testo_html(nome_regola_pagina(v.p)) + ". " +
       std::to_string(totale) + " testi classificati, " + std::to_string(giusti) + " corretti (accuratezza " +
       (totale > 0 ? percento(accuratezza) : std::string("-")) + ")";
  if (!e.scarti.empty()) h += ", <a href=\"#scartati\">" + std::to_string(e.scarti.size()) + " scartati</a>";
  h += ". <a href=\"#parole\">Parole per classe</a> &middot; <a href=\"#sbagliati\">Testi classificati male</a> "
       "&middot; <a href=\"#celle\">Testi di ogni casella</a></p>\n";
  h += "<h2 id=\"classi\">Classi e matrice di confusione</h2>\n<p class=\"nota\">Righe: classe vera; colonne: classe "
       "scelta. Ogni casella porta all'elenco dei suoi testi.</p>\n";
  h += matrice_confusione_html(matrice, nomi, "t");

  std::string json = "{\"programma\":\"velmora_bow valuta\",\"cartella\":" + testo_json(cartella) +
                     ",\"regola\":{\"nome\":" + testo_json(nome_regola(v.p.tipo));
  if (v.p.tipo == regola::bayes || v.p.tipo == regola::complemento) json += ",\"alfa\":" + numero_json(v.p.alfa);
  json += "},\"testi\":" + std::to_string(totale) + ",\"corretti\":" + std::to_string(giusti) +
          ",\"accuratezza\":" + numero_json(accuratezza) + ",\"confusione\":" + matrice_confusione_json(matrice, nomi);
  h += sezione_parole(v, c, json);
  std::vector<long> disegnati;
  h += sezione_sbagliati(v, c, testi, disegnati, json);
  h += sezione_celle(c, testi, disegnati);
  h += sezione_scarti(e);

  json += ",\"file\":[";
  for (size_t i = 0; i < testi.size(); ++i) {
    const testo_classificato& t = testi[i];
    json += std::string(i ? ",{" : "{") + "\"path\":" + testo_json(c.file[t.file].path) +
            ",\"vera\":" + std::to_string(c.file[t.file].classe) + ",\"scelta\":" + std::to_string(t.scelta) +
            ",\"margine\":" + numero_json(t.margine) + "}";
  }
  static const char* const MOTIVI_JSON[] = {"", "troppo_lunga", "non_aperta", "errore_lettura", "non_regolare"};
  json += "],\"scartati\":[";
  for (size_t i = 0; i < e.scarti.size(); ++i)
    json += std::string(i ? ",{" : "{") + "\"path\":" + testo_json(e.scarti[i].path) + ",\"motivo\":\"" +
            MOTIVI_JSON[static_cast<int>(e.scarti[i].motivo)] + "\"}";
  json += "]}";
  return h + fine_pagina(json, SCRIPT_TESTI);
}
