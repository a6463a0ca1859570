#include "pagina_cifre.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>

#include "nomi.h"
#include "numeri.h"
#include "pagina.h"
#include "riga_comando.h"

namespace {

std::string f(const char* formato, ...) __attribute__((format(printf, 1, 2)));
std::string f(const char* formato, ...) {
  char b[512];
  va_list a;
  va_start(a, formato);
  std::vsnprintf(b, sizeof b, formato, a);
  va_end(a);
  return b;
}

double percentuale(int parte, int tutto) { return tutto > 0 ? 100.0 * parte / tutto : 0.0; }

// Doubles as base64 of their little-endian bytes, for the JSON block.
std::string reali_base64(const double* v, size_t n) {
  std::vector<unsigned char> b(n * 8);
  for (size_t i = 0; i < n; ++i) {
    const auto u = std::bit_cast<uint64_t>(v[i]);
    for (int k = 0; k < 8; ++k) b[i * 8 + static_cast<size_t>(k)] = static_cast<unsigned char>(u >> (8 * k));
  }
  return "\"" + base64(b.data(), b.size()) + "\"";
}

std::string reali_json(const double* v, size_t n) {
  std::string j = "[";
  for (size_t i = 0; i < n; ++i) {
    if (i) j += ',';
    j += numero_json(v[i]);
  }
  return j + "]";
}

const double* pesi_neurone(const rete_cifre& r, int h) { return r.pesi_intercalari + h * (N_AFFERENTI + 1) + 1; }
double peso_efferente(const rete_cifre& r, int k, int h) { return r.pesi_efferenti[k * (N_INTERCALARI + 1) + 1 + h]; }

double massimo_assoluto(const double* v, size_t n) {
  double m = 0.0;
  for (size_t i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

// 784 values as a 28 x 28 picture on the diverging scale, symmetric around
// 0: -m blue, 0 white, +m red.
std::string immagine_divergente(const double* v, double m) {
  uint8_t rgb[N_AFFERENTI * 3];
  for (int p = 0; p < N_AFFERENTI; ++p) rgb_divergente(m > 0 ? v[p] / m : 0.0, rgb + 3 * p);
  return png_data_uri(rgb, LATO_IMMAGINE, LATO_IMMAGINE, 3);
}

// ---- The learning curve ---------------------------------------------------------------------

struct serie {
  std::string id, nome, colore;
  std::vector<double> y;  // one per epoch, NaN where missing
};

// A round step near (alto - basso) / parti: 1, 2 or 5 times a power of ten.
double passo_tondo(double ampiezza, int parti) {
  const double grezzo = ampiezza / parti;
  const double dieci = std::pow(10.0, std::floor(std::log10(grezzo)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * dieci >= grezzo) return m * dieci;
  return 10.0 * dieci;
}

std::string grafico(const std::string& titolo, const std::string& asse, const std::vector<serie>& tutte,
                    const std::vector<int>& x, int migliore, int tenuta) {
  double basso = INFINITY, alto = -INFINITY;
  for (const serie& s : tutte)
    for (const double y : s.y)
      if (std::isfinite(y)) basso = std::min(basso, y), alto = std::max(alto, y);
  if (!std::isfinite(basso) || x.empty()) return "";
  if (alto - basso < 1e-12) basso -= 0.5, alto += 0.5;
  const double py = passo_tondo(alto - basso, 5);
  basso = std::floor(basso / py) * py;
  alto = std::ceil(alto / py) * py;
  constexpr double L = 560, A = 270, SX = 58, DX = 14, SU = 54, GIU = 40;
  const int x0 = x.front(), x1 = std::max(x.back(), x.front() + 1);
  const auto px = [&](double e) { return SX + (e - x0) / (x1 - x0) * (L - SX - DX); };
  const auto py_ = [&](double y) { return A - GIU - (y - basso) / (alto - basso) * (A - GIU - SU); };
  std::string g = f("<figure class=\"grafico\"><svg viewBox=\"0 0 %.0f %.0f\" width=\"%.0f\" height=\"%.0f\" role=\"img\" "
                    "aria-label=\"", L, A, L, A) +
                  testo_html(titolo) + "\">\n";
  g += "<text x=\"" + f("%.0f", SX) + "\" y=\"14\" class=\"titolo\">" + testo_html(titolo) + "</text>\n";
  // The legend under the title, on two lines at most: a sample of each
  // line (attributes tratto) and its name.
  double lx = SX, ly = 26;
  const auto voce = [&](const std::string& tratto, const std::string& nome) {
    const double largo = 28 + 6.2 * static_cast<double>(nome.size());
    if (lx > SX && lx + largo > L - DX) lx = SX, ly += 14;
    g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" ", lx, ly, lx + 16, ly) + tratto + "/>";
    g += f("<text x=\"%.1f\" y=\"%.1f\" class=\"legenda-testo\">", lx + 20, ly + 4) + testo_html(nome) + "</text>\n";
    lx += largo;
  };
  for (const serie& s : tutte) voce("stroke=\"" + s.colore + "\" stroke-width=\"2.5\"", s.nome);
  // Axes and ticks.
  g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" class=\"asse\"/>", SX, A - GIU, L - DX, A - GIU);
  g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" class=\"asse\"/>\n", SX, SU, SX, A - GIU);
  for (int t = 0; basso + t * py <= alto + py * 1e-9; ++t) {
    const double y = basso + t * py;
    char etichetta[32];
    const int decimali = std::max(0, static_cast<int>(-std::floor(std::log10(py) + 1e-9)));
    std::snprintf(etichetta, sizeof etichetta, "%.*f", decimali, y);
    g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" class=\"griglia\"/>", SX, py_(y), L - DX, py_(y));
    g += f("<text x=\"%.1f\" y=\"%.1f\" class=\"tacca\" text-anchor=\"end\">%s</text>\n", SX - 4, py_(y) + 4,
           etichetta);
  }
  const double px_passo = std::max(1.0, std::round(passo_tondo(std::max(1, x1 - x0), 8)));
  for (double e = std::ceil(x0 / px_passo) * px_passo; e <= x1; e += px_passo) {
    if (e < x0) continue;
    g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" class=\"asse\"/>", px(e), A - GIU, px(e), A - GIU + 4);
    g += f("<text x=\"%.1f\" y=\"%.1f\" class=\"tacca\" text-anchor=\"middle\">%.0f</text>\n", px(e), A - GIU + 16, e);
  }
  g += f("<text x=\"%.1f\" y=\"%.1f\" class=\"tacca\" text-anchor=\"middle\">epoca</text>", (SX + L - DX) / 2, A - 6);
  g += f("<text transform=\"translate(12 %.1f) rotate(-90)\" class=\"tacca\" text-anchor=\"middle\">", (SU + A - GIU) / 2) +
       testo_html(asse) + "</text>\n";
  // The best and the kept epoch: lines across the plot, named in the legend.
  const auto segno = [&](int e, const char* classe, const std::string& testo) {
    if (e < x0 || e > x1) return;
    g += f("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" class=\"%s\"><title>", px(e), SU, px(e), A - GIU,
           classe) +
         testo + "</title></line>";
    voce(std::string("class=\"") + classe + "\"", testo);
  };
  if (migliore == tenuta) {
    segno(migliore, "migliore", f("migliore e tenuta (%d)", migliore));
  } else {
    segno(migliore, "migliore", f("migliore (%d)", migliore));
    segno(tenuta, "tenuta", f("tenuta (%d)", tenuta));
  }
  // Lines and points.
  for (const serie& s : tutte) {
    std::string tratto;
    const auto chiudi = [&] {
      if (!tratto.empty())
        g += "<polyline fill=\"none\" stroke=\"" + s.colore + "\" stroke-width=\"1.8\" points=\"" + tratto + "\"/>\n";
      tratto.clear();
    };
    for (size_t i = 0; i < x.size(); ++i) {
      if (!std::isfinite(s.y[i])) {
        chiudi();
        continue;
      }
      tratto += f("%s%.1f,%.1f", tratto.empty() ? "" : " ", px(x[i]), py_(s.y[i]));
    }
    chiudi();
    for (size_t i = 0; i < x.size(); ++i)
      if (std::isfinite(s.y[i]))
        g += f("<circle class=\"punto\" data-serie=\"%s\" data-epoca=\"%d\" cx=\"%.1f\" cy=\"%.1f\" r=\"2.4\" fill=\"%s\">"
               "<title>epoca %d: %.6g</title></circle>",
               s.id.c_str(), x[i], px(x[i]), py_(s.y[i]), s.colore.c_str(), x[i], s.y[i]);
    g += "\n";
  }
  return g + "</svg></figure>\n";
}

constexpr const char* BLU = "#2166ac";
constexpr const char* ARANCIO = "#d95f02";
constexpr const char* VERDE = "#1b9e77";

std::string sezione_curva(const pagina_cifre& p) {
  std::string h = "<section id=\"curva\"><h2>Curva di apprendimento</h2>\n";
  if (!p.con_storia)
    return h + "<p class=\"nota\">Nessuna storia: " + testo_html(p.programma) +
           " legge solo i pesi, non l'addestramento che li ha dati. La curva e' nella pagina di velmora_apms "
           "(--rapporto) e nella sua tabella (--curva).</p></section>\n";
  const auto& s = p.storia;
  std::vector<int> x;
  serie acc_a{"acc-addestramento", "addestramento (durante l'epoca)", BLU, {}};
  serie acc_v{"acc-validazione", "validazione", ARANCIO, {}};
  serie acc_t{"acc-verifica", "verifica", VERDE, {}};
  serie c_a{"costo-addestramento", "addestramento (dopo l'epoca)", BLU, {}};
  serie c_v{"costo-validazione", "validazione", ARANCIO, {}};
  serie c_t{"costo-verifica", "verifica", VERDE, {}};
  serie tasso{"tasso", "tasso", "#555555", {}};
  bool v = false, t = false, ca = false;
  for (const epoca_curva& e : s) {
    x.push_back(e.epoca);
    acc_a.y.push_back(percentuale(e.giuste, e.righe));
    acc_v.y.push_back(e.righe_validazione ? percentuale(e.giuste_validazione, e.righe_validazione) : NAN);
    acc_t.y.push_back(e.righe_verifica ? percentuale(e.giuste_verifica, e.righe_verifica) : NAN);
    c_a.y.push_back(e.costo_addestramento);
    c_v.y.push_back(e.costo_validazione);
    c_t.y.push_back(e.costo_verifica);
    tasso.y.push_back(e.tasso);
    v = v || e.righe_validazione > 0;
    t = t || e.righe_verifica > 0;
    ca = ca || std::isfinite(e.costo_addestramento);
  }
  const int migliore = epoca_migliore(s);
  std::vector<serie> acc = {acc_a}, costo;
  if (v) acc.push_back(acc_v), costo.push_back(c_v);
  if (t) acc.push_back(acc_t), costo.push_back(c_t);
  if (ca) costo.insert(costo.begin(), c_a);
  if (p.epoche_senza_storia > 0)
    h += f("<p class=\"nota\">Le prime %d epoche vengono da una ripresa scritta da una versione che non teneva la "
           "storia: qui mancano.</p>\n",
           p.epoche_senza_storia);
  h += "<p class=\"nota\">Epoca migliore: " +
       std::string(v ? "la piu' alta accuratezza sulle righe di validazione"
                     : t ? "la piu' alta accuratezza sulle righe di verifica (solo indicata: i pesi non ne dipendono)"
                         : "la piu' alta accuratezza sulle righe di addestramento") +
       ". Pesi tenuti: " + testo_html(p.tenuta) + ".</p>\n<div class=\"grafici\">\n";
  h += grafico("Accuratezza (%)", "% di righe riconosciute", acc, x, migliore, p.epoca_tenuta);
  if (!costo.empty())
    h += grafico("Costo medio per riga", "costo", costo, x, migliore, p.epoca_tenuta);
  h += grafico("Tasso di apprendimento", "tasso", {tasso}, x, migliore, p.epoca_tenuta);
  h += "</div>\n<details><summary>Le cifre di ogni epoca</summary><div class=\"scorre\"><table>\n<tr><th>epoca</th>"
       "<th>tasso</th><th>addestramento</th>";
  if (v) h += "<th>validazione</th><th>costo validazione</th>";
  if (t) h += "<th>verifica</th><th>costo verifica</th>";
  if (ca) h += "<th>costo addestramento</th>";
  h += "</tr>\n";
  for (const epoca_curva& e : s) {
    char tasso_testo[32];
    formatta_numero(tasso_testo, sizeof tasso_testo, e.tasso);
    h += f("<tr><td>%d</td><td>%s</td><td>%.2f%%</td>", e.epoca, tasso_testo, percentuale(e.giuste, e.righe));
    if (v) h += f("<td>%.2f%%</td><td>%.6f</td>", percentuale(e.giuste_validazione, e.righe_validazione), e.costo_validazione);
    if (t) h += f("<td>%.2f%%</td><td>%.6f</td>", percentuale(e.giuste_verifica, e.righe_verifica), e.costo_verifica);
    if (ca) h += f("<td>%.6f</td>", e.costo_addestramento);
    h += "</tr>\n";
  }
  return h + "</table></div></details>\n</section>\n";
}

std::string curva_json(const pagina_cifre& p) {
  if (!p.con_storia) return "null";
  std::string j = f("{\"migliore\":%d,\"tenuta\":%d,\"senza_storia\":%d,\"tenuta_come\":", epoca_migliore(p.storia),
                    p.epoca_tenuta, p.epoche_senza_storia) +
                  testo_json(p.tenuta) + ",\"epoche\":[";
  for (size_t i = 0; i < p.storia.size(); ++i) {
    const epoca_curva& e = p.storia[i];
    j += f("%s{\"epoca\":%d,\"tasso\":%s,\"giuste\":%d,\"righe\":%d,\"accuratezza\":%s", i ? "," : "", e.epoca,
           numero_json(e.tasso).c_str(), e.giuste, e.righe, numero_json(percentuale(e.giuste, e.righe)).c_str());
    if (e.righe_validazione)
      j += f(",\"validazione\":{\"giuste\":%d,\"righe\":%d,\"accuratezza\":%s,\"costo\":%s}", e.giuste_validazione,
             e.righe_validazione, numero_json(percentuale(e.giuste_validazione, e.righe_validazione)).c_str(),
             numero_json(e.costo_validazione).c_str());
    if (e.righe_verifica)
      j += f(",\"verifica\":{\"giuste\":%d,\"righe\":%d,\"accuratezza\":%s,\"costo\":%s}", e.giuste_verifica,
             e.righe_verifica, numero_json(percentuale(e.giuste_verifica, e.righe_verifica)).c_str(),
             numero_json(e.costo_verifica).c_str());
    if (std::isfinite(e.costo_addestramento))
      j += ",\"costo_addestramento\":" + numero_json(e.costo_addestramento);
    j += "}";
  }
  return j + "]}";
}

// ---- What the network learned ----------------------------------------------------------------

// Ten small bars around a middle line, on the diverging scale: each
// neuron's weight into each output, all on one scale m.
std::string barre_pesi(const double* v, double m) {
  std::string s = "<svg class=\"barre\" viewBox=\"0 0 80 44\" width=\"80\" height=\"44\">"
                  "<line x1=\"0\" y1=\"18\" x2=\"80\" y2=\"18\" stroke=\"#999\" stroke-width=\"0.5\"/>";
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double a = m > 0 ? std::fabs(v[k]) / m * 17.0 : 0.0;
    s += f("<rect x=\"%d\" y=\"%.2f\" width=\"6\" height=\"%.2f\" fill=\"%s\"><title>cifra %d: %.4g</title></rect>"
           "<text x=\"%d\" y=\"43\" class=\"cifra\">%d</text>",
           k * 8 + 1, v[k] >= 0 ? 18.0 - a : 18.0, a, colore_divergente(m > 0 ? v[k] / m : 0.0).c_str(), k, v[k],
           k * 8 + 2, k);
  }
  return s + "</svg>";
}

// The ten outputs of a row, 0 to 1 upward; the label's bar outlined, the answer's dark.
std::string barre_uscite(const riga_letta& r) {
  std::string s = "<svg class=\"barre\" viewBox=\"0 0 80 44\" width=\"80\" height=\"44\">"
                  "<line x1=\"0\" y1=\"34.5\" x2=\"80\" y2=\"34.5\" stroke=\"#999\" stroke-width=\"0.5\"/>";
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double u = std::isfinite(r.uscite[k]) ? std::clamp(r.uscite[k], 0.0, 1.0) : 0.0;
    const char* colore = k == r.risposta ? "#b2182b" : k == r.etichetta ? "#1b9e77" : "#9aa3ad";
    s += f("<rect x=\"%d\" y=\"%.2f\" width=\"6\" height=\"%.2f\" fill=\"%s\"><title>uscita %d: %.4f</title></rect>"
           "<text x=\"%d\" y=\"43\" class=\"cifra\">%d</text>",
           k * 8 + 1, 34.0 - 32.0 * u, 32.0 * u, colore, k, r.uscite[k], k * 8 + 2, k);
  }
  return s + "</svg>";
}

std::string sezione_neuroni(const rete_cifre& r, std::string& json) {
  double m_eff = 0.0;
  for (int k = 0; k < N_EFFERENTI; ++k)
    for (int h = 0; h < N_INTERCALARI; ++h) m_eff = std::max(m_eff, std::fabs(peso_efferente(r, k, h)));
  std::string h = "<section id=\"neuroni\"><h2>Cosa ha imparato ogni neurone intercalare</h2>\n"
                  "<p class=\"nota\">Per ognuno dei 100 neuroni, i suoi 784 pesi in ingresso come immagine 28x28: "
                  "rosso dove un pixel acceso lo eccita, blu dove lo inibisce, bianco dove non conta. La scala e' "
                  "simmetrica attorno a 0 e propria di ogni neurone (da -m a +m, m il suo peso piu' grande in valore "
                  "assoluto, scritto sotto), cosi' anche un neurone con pesi piccoli mostra la sua forma. Accanto, le "
                  "dieci barre dei suoi pesi verso le uscite 0 ... 9, tutte sulla stessa scala (" +
                  f("%.3g", m_eff) + " al massimo).</p>\n<div class=\"griglia\">\n";
  json += "\"neuroni\":{\"scala\":\"per neurone, simmetrica attorno a 0\",\"massimi\":[";
  for (int n = 0; n < N_INTERCALARI; ++n) {
    const double* w = pesi_neurone(r, n);
    const double m = massimo_assoluto(w, N_AFFERENTI);
    double uscite[N_EFFERENTI];
    for (int k = 0; k < N_EFFERENTI; ++k) uscite[k] = peso_efferente(r, k, n);
    h += f("<figure class=\"neurone\" id=\"n-%d\" data-h=\"%d\"><img class=\"pixel\" width=\"56\" height=\"56\" "
           "alt=\"pesi del neurone %d\" src=\"",
           n, n, n) +
         immagine_divergente(w, m) + "\">" + barre_pesi(uscite, m_eff) +
         f("<figcaption>%d &middot; m %.2g</figcaption></figure>\n", n, m);
    if (n) json += ',';
    json += numero_json(m);
  }
  json += "]},";
  return h + "</div></section>\n";
}

std::string sezione_modelli(const rete_cifre& r, std::string& json) {
  std::string h = "<section id=\"modelli\"><h2>Il modello di ogni cifra</h2>\n"
                  "<p class=\"nota\">Cosa la rete cerca in uno 0, in un 1, ...: per ogni pixel, la somma sui 100 "
                  "neuroni intercalari del peso del neurone verso l'uscita della cifra per il peso del pixel verso "
                  "il neurone. E' quanto un po' d'inchiostro in quel pixel alza la somma dell'uscita quando ogni "
                  "neurone intercalare e' a meta' strada (pendenza uguale per tutti): rosso alza, blu abbassa. Scala "
                  "simmetrica e propria di ogni cifra.</p>\n<div class=\"griglia\">\n";
  std::vector<double> t(size_t{N_EFFERENTI} * N_AFFERENTI, 0.0);
  for (int k = 0; k < N_EFFERENTI; ++k)
    for (int n = 0; n < N_INTERCALARI; ++n) {
      const double a = peso_efferente(r, k, n);
      const double* w = pesi_neurone(r, n);
      for (int p = 0; p < N_AFFERENTI; ++p) t[size_t{N_AFFERENTI} * k + p] = (a * w[p]) + t[size_t{N_AFFERENTI} * k + p];
    }
  json += "\"modelli\":{\"proiezione\":\"somma su h di W_efferenti[k][h] * W_intercalari[h][pixel]\","
          "\"codifica\":\"base64 di float64 little-endian, 10 x 784\",\"valori\":" +
          reali_base64(t.data(), t.size()) + "},";
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double* v = t.data() + size_t{N_AFFERENTI} * k;
    h += f("<figure class=\"modello\" data-cifra=\"%d\"><img class=\"pixel\" width=\"84\" height=\"84\" alt=\"modello "
           "della cifra %d\" src=\"",
           k, k) +
         immagine_divergente(v, massimo_assoluto(v, N_AFFERENTI)) + f("\"><figcaption>%d</figcaption></figure>\n", k);
  }
  return h + "</div></section>\n";
}

// ---- The rows read -----------------------------------------------------------------------

std::vector<const riga_letta*> piu_sicure(const pagina_cifre& p) {
  std::vector<const riga_letta*> s;
  for (const riga_letta& r : p.sbagliate) s.push_back(&r);
  const auto fiducia = [](const riga_letta* r) { return r->risposta >= 0 ? r->uscite[r->risposta] : -1.0; };
  std::stable_sort(s.begin(), s.end(), [&](const riga_letta* a, const riga_letta* b) { return fiducia(a) > fiducia(b); });
  if (s.size() > SBAGLIATE_MOSTRATE) s.resize(SBAGLIATE_MOSTRATE);
  return s;
}

std::string sezione_confusione(const pagina_cifre& p, const std::vector<const riga_letta*>& mostrate, std::string& json) {
  std::vector<std::vector<int64_t>> m(N_EFFERENTI, std::vector<int64_t>(N_EFFERENTI));
  std::vector<std::string> nomi;
  for (int i = 0; i < N_EFFERENTI; ++i) {
    nomi.push_back(std::to_string(i));
    for (int j = 0; j < N_EFFERENTI; ++j) m[i][j] = static_cast<int64_t>(p.celle[i][j].size());
  }
  std::string h = "<section id=\"confusione\"><h2>Matrice di confusione</h2>\n<p class=\"nota\">Su " +
                  testo_html(p.insieme) + f(" (%d righe). Righe: l'etichetta; colonne: la cifra riconosciuta. Ogni "
                                            "casella porta alle sue righe.</p>\n", p.righe);
  h += matrice_confusione_html(m, nomi, "c");
  if (p.senza_risposta > 0)
    h += f("<p class=\"nota\">Righe senza risposta (nessuna uscita sopra 0): %d, fuori dalla matrice.</p>\n",
           p.senza_risposta);
  std::vector<char> mostrata;
  for (const riga_letta* r : mostrate) {
    if (static_cast<size_t>(r->riga) >= mostrata.size()) mostrata.resize(static_cast<size_t>(r->riga) + 1);
    mostrata[static_cast<size_t>(r->riga)] = 1;
  }
  h += "<details class=\"celle\"><summary>Le righe di ogni casella (numeri di riga nel file)</summary>\n";
  json += "\"confusione\":" + matrice_confusione_json(m, nomi) + ",\"righe_per_cella\":[";
  for (int i = 0; i < N_EFFERENTI; ++i) {
    json += i ? ",[" : "[";
    for (int j = 0; j < N_EFFERENTI; ++j) {
      const std::vector<int>& c = p.celle[i][j];
      json += j ? ",[" : "[";
      for (size_t k = 0; k < c.size(); ++k) {
        if (k) json += ',';
        json += std::to_string(c[k]);
      }
      json += "]";
      if (c.empty()) continue;
      h += f("<p id=\"c-%d-%d\"><b>etichetta %d, risposta %d</b> (%zu righe):", i, j, i, j, c.size());
      for (const int r : c)
        h += static_cast<size_t>(r) < mostrata.size() && mostrata[static_cast<size_t>(r)]
                 ? f(" <a href=\"#s-%d\">%d</a>", r, r)
                 : f(" %d", r);
      h += "</p>\n";
    }
    json += "]";
  }
  json += "],";
  return h + "</details></section>\n";
}

std::string sezione_sbagliate(const pagina_cifre& p, const std::vector<const riga_letta*>& mostrate, std::string& json) {
  std::string h = "<section id=\"sbagliate\"><h2>Le righe lette male</h2>\n<p class=\"nota\">" +
                  f("%zu righe lette male su %d", p.sbagliate.size(), p.righe);
  if (mostrate.size() < p.sbagliate.size()) h += f("; qui le %zu di cui la rete era piu' sicura", mostrate.size());
  h += ", dalla piu' sicura: la fiducia e' l'uscita della cifra sbagliata. Sotto ogni cifra le dieci uscite: in "
       "rosso la risposta, in verde l'etichetta.</p>\n<div class=\"griglia\">\n";
  json += "\"sbagliate\":{\"tutte\":" + std::to_string(p.sbagliate.size()) +
          ",\"codifica_pixel\":\"base64 dei 784 byte della riga, 0 ... 255\",\"righe\":[";
  bool prima = true;
  for (const riga_letta* r : mostrate) {
    uint8_t grigi[N_AFFERENTI];
    for (int q = 0; q < N_AFFERENTI; ++q) grigi[q] = static_cast<uint8_t>(255 - r->pixel[static_cast<size_t>(q)]);
    const std::string risposta = r->risposta >= 0 ? std::to_string(r->risposta) : "nessuna";
    h += f("<figure class=\"sbagliata\" id=\"s-%d\" data-riga=\"%d\" data-etichetta=\"%d\" data-risposta=\"%d\">"
           "<img class=\"pixel\" width=\"56\" height=\"56\" alt=\"riga %d\" src=\"",
           r->riga, r->riga, r->etichetta, r->risposta, r->riga) +
         png_data_uri(grigi, LATO_IMMAGINE, LATO_IMMAGINE, 1) + "\">" + barre_uscite(*r) +
         f("<figcaption>riga %d<br>%d letta %s", r->riga, r->etichetta, risposta.c_str()) +
         (r->risposta >= 0 ? f(" (%.2f)", r->uscite[static_cast<size_t>(r->risposta)]) : std::string()) +
         "</figcaption></figure>\n";
    json += std::string(prima ? "" : ",") + f("{\"riga\":%d,\"etichetta\":%d,\"risposta\":%d,\"uscite\":", r->riga,
                                               r->etichetta, r->risposta) +
            reali_json(r->uscite.data(), N_EFFERENTI);
    json += ",\"pixel\":\"";
    json += base64(r->pixel.data(), N_AFFERENTI);
    json += "\"}";
    prima = false;
  }
  json += "]},";
  return h + "</div></section>\n";
}

std::string sezione_lavagna() {
  return "<section id=\"lavagna-sezione\"><h2>Disegna una cifra</h2>\n"
         "<noscript><p class=\"nota\">La lavagna ha bisogno di JavaScript; il resto della pagina no.</p></noscript>\n"
         "<p class=\"nota\">Disegna con il mouse o con il dito. Come le righe MNIST, il disegno viene ridotto a 20x20 "
         "pixel (proporzioni mantenute) e centrato per baricentro in 28x28 (l'anteprima qui accanto); poi la rete, "
         "con i pesi di questa corsa, calcola le sue dieci uscite qui nella pagina.</p>\n"
         "<div class=\"lavagna\"><div><canvas id=\"lavagna\" width=\"280\" height=\"280\" "
         "aria-label=\"lavagna\"></canvas><br><button type=\"button\" id=\"cancella\">Cancella</button></div>\n"
         "<div><canvas id=\"ridotta\" width=\"28\" height=\"28\" aria-label=\"la cifra in 28x28\"></canvas>"
         "<p class=\"nota\">28x28</p></div>\n"
         "<div class=\"uscite\"><p id=\"risposta\"><b>Risposta:</b> &mdash;</p><div id=\"barre-lavagna\"></div>"
         "<p class=\"nota\">Le dieci uscite sono sigmoidi indipendenti, ognuna tra 0 e 1: non sono probabilita' e "
         "la loro somma non e' 1. La risposta e' l'uscita piu' alta.</p>"
         "<label><input type=\"checkbox\" id=\"normalizza\"> vista normalizzata: ogni uscita divisa per la somma "
         "delle dieci (solo per confrontarle, non una probabilita')</label></div></div>\n</section>\n";
}

std::string sezione_corsa(const pagina_cifre& p, std::string& json) {
  std::string h = "<section id=\"corsa\"><h2>La corsa</h2>\n<div class=\"scorre\"><table>\n";
  json += "\"impostazioni\":{";
  for (size_t i = 0; i < p.impostazioni.size(); ++i) {
    h += "<tr><th class=\"testo\">" + testo_html(p.impostazioni[i].first) + "</th><td class=\"testo\">" +
         testo_html(p.impostazioni[i].second) + "</td></tr>\n";
    json += (i ? "," : "") + testo_json(p.impostazioni[i].first) + ":" + testo_json(p.impostazioni[i].second);
  }
  h += "</table></div>\n<h3>File</h3><div class=\"scorre\"><table>\n<tr><th class=\"testo\">ruolo</th><th "
       "class=\"testo\">file</th><th>byte</th><th class=\"testo\">impronta (FNV-1a a 64 bit)</th></tr>\n";
  json += "},\"file\":[";
  for (size_t i = 0; i < p.file.size(); ++i) {
    const file_corsa& c = p.file[i];
    const std::string fnv = c.letto ? f("%016llx", static_cast<unsigned long long>(c.byte.fnv)) : "";
    h += "<tr><td class=\"testo\">" + testo_html(c.ruolo) + "</td><td class=\"testo nome\">" + testo_html(c.path) +
         "</td><td>" + (c.letto ? std::to_string(c.byte.byte) : "") + "</td><td class=\"testo\"><code>" +
         (c.letto ? fnv : "non rilevabile") + "</code></td></tr>\n";
    json += std::string(i ? "," : "") + "{\"ruolo\":" + testo_json(c.ruolo) + ",\"path\":" + testo_json(c.path) +
            (c.letto ? ",\"byte\":" + std::to_string(c.byte.byte) + ",\"fnv1a64\":\"" + fnv + "\"" : "") + "}";
  }
  h += "</table></div>\n<p class=\"nota\">" + testo_html(p.programma) + " (velmora) " +
       testo_html(versione_velmora()) + "</p>\n</section>\n";
  json += "],\"versione\":" + testo_json(versione_velmora()) + ",";
  return h;
}

constexpr const char* STILE_CIFRE = R"(<style>
.griglia figure{margin:0;text-align:center;font-size:.75em;color:var(--tenue)}
figure.neurone,figure.sbagliata{display:flex;flex-direction:column;align-items:center;width:80px}
figure.neurone img,figure.sbagliata img{border:1px solid var(--bordo)}
figure.modello img{border:1px solid var(--bordo)}
svg.barre{display:block}
svg .cifra{font-size:7px;fill:#5f6368}
svg .titolo{font-size:14px;font-weight:600;fill:#1b1b1b}
svg .legenda-testo,svg .tacca{font-size:11px;fill:#444}
svg .asse{stroke:#333;stroke-width:1}
svg .griglia{stroke:#e3e6ea;stroke-width:1}
svg line.migliore{stroke:#1b9e77;stroke-width:1.2;stroke-dasharray:4 3}
svg line.tenuta{stroke:#333;stroke-width:1.2;stroke-dasharray:1 2}
svg text.migliore{fill:#137a5c}
.grafici{display:flex;flex-wrap:wrap;gap:8px}
figure.grafico{margin:0;flex:1 1 420px;max-width:560px}
figure.grafico svg{width:100%;height:auto}
.lavagna{display:flex;flex-wrap:wrap;gap:16px;align-items:flex-start}
#lavagna{border:1px solid #888;touch-action:none;width:280px;max-width:80vw;height:auto;background:#fff;cursor:crosshair}
#ridotta{border:1px solid var(--bordo);width:112px;height:112px;image-rendering:pixelated}
.uscite{flex:1 1 240px;min-width:220px}
.barra-uscita{display:flex;align-items:center;gap:6px;font-variant-numeric:tabular-nums;font-size:.9em}
.barra-uscita .fondo{flex:1;height:12px;background:#eef1f4}
.barra-uscita .pieno{height:12px;background:#9aa3ad}
.barra-uscita.scelta .pieno{background:#b2182b}
td.nome{word-break:break-all}
details.celle p{margin:.2em 0;font-size:.85em}
</style>
)";

}  // namespace

std::string curva_tsv(const std::vector<epoca_curva>& epoche) {
  std::string t = "epoca\ttasso\tgiuste\trighe\taccuratezza\tgiuste_validazione\trighe_validazione\t"
                  "accuratezza_validazione\tcosto_validazione\tgiuste_verifica\trighe_verifica\taccuratezza_verifica\t"
                  "costo_verifica\tcosto_addestramento\n";
  for (const epoca_curva& e : epoche) {
    char tasso[32];
    formatta_numero(tasso, sizeof tasso, e.tasso);
    t += f("%d\t%s\t%d\t%d\t%.2f", e.epoca, tasso, e.giuste, e.righe, percentuale(e.giuste, e.righe));
    const auto insieme = [&](int giuste, int righe, double costo) {
      if (righe == 0) t += "\t\t\t\t";
      else t += f("\t%d\t%d\t%.2f\t", giuste, righe, percentuale(giuste, righe)) + numero_json(costo);
    };
    insieme(e.giuste_validazione, e.righe_validazione, e.costo_validazione);
    insieme(e.giuste_verifica, e.righe_verifica, e.costo_verifica);
    t += '\t';
    if (std::isfinite(e.costo_addestramento)) t += numero_json(e.costo_addestramento);
    t += '\n';
  }
  return t;
}

int epoca_migliore(const std::vector<epoca_curva>& epoche) {
  int migliore = 0;
  double meglio = -1.0;
  for (const epoca_curva& e : epoche) {
    const double a = e.righe_validazione ? percentuale(e.giuste_validazione, e.righe_validazione)
                     : e.righe_verifica  ? percentuale(e.giuste_verifica, e.righe_verifica)
                                         : percentuale(e.giuste, e.righe);
    if (a > meglio) meglio = a, migliore = e.epoca;
  }
  return migliore;
}

file_corsa descrivi_file(std::string ruolo, const char* path) {
  file_corsa c;
  c.ruolo = std::move(ruolo);
  c.path = path;
  c.letto = impronta_file(path, c.byte);
  return c;
}

void conta_riga(pagina_cifre& p, int riga, int etichetta, int risposta, const double* uscite, const int32_t* pixel) {
  ++p.righe;
  if (risposta >= 0) p.celle[static_cast<size_t>(etichetta)][static_cast<size_t>(risposta)].push_back(riga);
  else ++p.senza_risposta;
  if (risposta == etichetta) return;
  riga_letta r;
  r.riga = riga;
  r.etichetta = etichetta;
  r.risposta = risposta;
  std::copy(uscite, uscite + N_EFFERENTI, r.uscite.begin());
  for (int q = 0; q < N_AFFERENTI; ++q) r.pixel[static_cast<size_t>(q)] = static_cast<uint8_t>(std::clamp(pixel[q], 0, 255));
  p.sbagliate.push_back(r);
}

std::string componi_pagina_cifre(const pagina_cifre& p) {
  const rete_cifre& r = *p.rete;
  std::string h = inizio_pagina("Cifre: cosa ha imparato la rete (" + p.programma + ")") + STILE_CIFRE;
  h += "<p class=\"nota\">La rete 784-100-10 dei pesi di questa corsa, sulle righe di " + testo_html(p.insieme) +
       ". Le figure sono anche come dati nel blocco JSON <code>#dati</code> in fondo alla pagina.</p>\n"
       "<nav><a href=\"#curva\">curva</a> &middot; <a href=\"#neuroni\">neuroni</a> &middot; <a "
       "href=\"#modelli\">modelli</a> &middot; <a href=\"#confusione\">confusione</a> &middot; <a "
       "href=\"#sbagliate\">righe lette male</a> &middot; <a href=\"#lavagna-sezione\">lavagna</a> &middot; <a "
       "href=\"#corsa\">la corsa</a></nav>\n";
  std::string json = "{\"programma\":" + testo_json(p.programma) + ",\"insieme\":" + testo_json(p.insieme) +
                     f(",\"righe\":%d,\"senza_risposta\":%d,", p.righe, p.senza_risposta);
  json += "\"curva\":" + curva_json(p) + ",";
  json += "\"rete\":{\"codifica\":\"base64 di float64 little-endian; ogni neurone: la soglia, poi un peso per "
          "ingresso\",\"intercalari\":" +
          reali_base64(r.pesi_intercalari, std::size(r.pesi_intercalari)) +
          ",\"efferenti\":" + reali_base64(r.pesi_efferenti, std::size(r.pesi_efferenti)) + "},";
  h += sezione_curva(p);
  h += sezione_neuroni(r, json);
  h += sezione_modelli(r, json);
  const std::vector<const riga_letta*> mostrate = piu_sicure(p);
  h += sezione_confusione(p, mostrate, json);
  h += sezione_sbagliate(p, mostrate, json);
  h += sezione_lavagna();
  h += sezione_corsa(p, json);
  json.back() = '}';
  return h + fine_pagina(json, SCRIPT_PAGINA_CIFRE);
}
