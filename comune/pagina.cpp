#include "pagina.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <zlib.h>

#include "scrittura.h"

namespace {

// The length of the UTF-8 sequence at s[i], or 0 when it is not a valid one
// (overlong forms, surrogates and code points past U+10FFFF are not).
size_t sequenza_utf8(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

constexpr std::string_view SOSTITUTO = "\xEF\xBF\xBD";  // U+FFFD

// Walks s: a well-formed UTF-8 sequence of two bytes or more goes to out as
// it is, a byte that starts none becomes sostituto, and each ASCII byte is
// handed to ascii.
template <class Ascii>
void per_carattere(std::string_view s, std::string& out, std::string_view sostituto, Ascii ascii) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = sequenza_utf8(s, i);
    if (n == 0) {
      out += sostituto;
      ++i;
    } else if (n > 1) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      ascii(s[i++]);
    }
  }
}

std::string esadecimale(int v) {
  char s[8];
  std::snprintf(s, sizeof s, "#%02x%02x%02x", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  return s;
}

// The colour at t (0 ... 1) between a and b, each channel rounded.
int tra(int a, int b, double t) {
  int v = 0;
  for (int sh = 16; sh >= 0; sh -= 8) {
    const double x = ((a >> sh) & 0xFF) + (((b >> sh) & 0xFF) - ((a >> sh) & 0xFF)) * t;
    v |= static_cast<int>(std::lround(x)) << sh;
  }
  return v;
}

// PNG's numbers are big-endian.
void metti_be32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

double limita(double t, double lo, double hi) {
  if (!(t >= lo)) return lo;  // NaN too
  return t > hi ? hi : t;
}

int divergente(double t) {
  t = limita(t, -1.0, 1.0);
  constexpr int BLU = 0x2166ac, BIANCO = 0xf7f7f7, ROSSO = 0xb2182b;
  return t < 0 ? tra(BIANCO, BLU, -t) : tra(BIANCO, ROSSO, t);
}

constexpr std::string_view STILE = R"(<style>
:root{--testo:#1b1b1b;--tenue:#5f6368;--bordo:#d0d7de;--fondo:#ffffff;--riquadro:#f6f8fa}
*{box-sizing:border-box}
body{margin:0 auto;max-width:1100px;padding:12px 16px 48px;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;color:var(--testo);background:var(--fondo)}
h1{font-size:1.5em;margin:.4em 0}h2{font-size:1.2em;margin:1.6em 0 .5em;border-bottom:1px solid var(--bordo);padding-bottom:.2em}
p.nota,.nota{color:var(--tenue);font-size:.9em}
.scorre{overflow-x:auto;max-width:100%}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{border:1px solid var(--bordo);padding:2px 6px;text-align:right}
th{background:var(--riquadro)}
td.testo,th.testo{text-align:left}
table.confusione td.cella{min-width:2.6em;text-align:center}
table.confusione td.cella a{color:inherit;text-decoration:none;display:block}
table.confusione td.diagonale{outline:2px solid #333;outline-offset:-2px}
.legenda{display:flex;align-items:center;gap:6px;font-size:.85em;color:var(--tenue);margin:.4em 0}
.legenda .barra{width:160px;height:12px;border:1px solid var(--bordo)}
img.pixel{image-rendering:pixelated;image-rendering:crisp-edges}
.griglia{display:flex;flex-wrap:wrap;gap:8px}
code,pre{font-family:ui-monospace,"DejaVu Sans Mono",monospace;font-size:.9em}
pre{white-space:pre-wrap;word-break:break-word;background:var(--riquadro);padding:6px;border-radius:4px}
svg{max-width:100%;height:auto}
</style>
)";

}  // namespace

std::string testo_html(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  per_carattere(s, out, SOSTITUTO, [&](char c) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\t':
      case '\n': out += c; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) out += SOSTITUTO;
        else out += c;
    }
  });
  return out;
}

std::string testo_json(std::string_view s) {
  std::string out = "\"";
  out.reserve(s.size() + 2);
  per_carattere(s, out, "\\ufffd", [&](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&') {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04x", c);
      out += u;
    } else {
      out += ch;
    }
  });
  return out + "\"";
}

std::string numero_json(double x) {
  if (!std::isfinite(x)) return "null";
  char s[32];
  for (int cifre = 1; cifre <= 17; ++cifre) {
    std::snprintf(s, sizeof s, "%.*g", cifre, x);
    if (std::strtod(s, nullptr) == x) break;
  }
  return s;
}

std::string base64(const void* dati, size_t n) {
  static constexpr char ALFABETO[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* p = static_cast<const unsigned char*>(dati);
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    const uint32_t v = (uint32_t{p[i]} << 16) | (i + 1 < n ? uint32_t{p[i + 1]} << 8 : 0) | (i + 2 < n ? p[i + 2] : 0);
    out += ALFABETO[(v >> 18) & 63];
    out += ALFABETO[(v >> 12) & 63];
    out += i + 1 < n ? ALFABETO[(v >> 6) & 63] : '=';
    out += i + 2 < n ? ALFABETO[v & 63] : '=';
  }
  return out;
}

std::string png_data_uri(const uint8_t* pixel, int larghezza, int altezza, int canali) {
  const size_t riga = static_cast<size_t>(larghezza) * static_cast<size_t>(canali);
  std::string grezzi;
  grezzi.reserve((riga + 1) * static_cast<size_t>(altezza));
  for (int y = 0; y < altezza; ++y) {
    grezzi += '\0';  // filter type 0: the row as it is
    grezzi.append(reinterpret_cast<const char*>(pixel) + riga * static_cast<size_t>(y), riga);
  }
  uLongf lunghezza = compressBound(static_cast<uLong>(grezzi.size()));
  std::string compressi(lunghezza, '\0');
  compress2(reinterpret_cast<Bytef*>(compressi.data()), &lunghezza, reinterpret_cast<const Bytef*>(grezzi.data()),
            static_cast<uLong>(grezzi.size()), Z_BEST_COMPRESSION);
  compressi.resize(lunghezza);
  std::string png = "\x89PNG\r\n\x1a\n";
  const auto blocco = [&png](const char* tipo, const std::string& dati) {
    unsigned char n[4];
    metti_be32(n, static_cast<uint32_t>(dati.size()));
    png.append(reinterpret_cast<const char*>(n), 4);
    const size_t inizio = png.size();
    png.append(tipo, 4);
    png += dati;
    metti_be32(n, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(png.data() + inizio),
                                              static_cast<uInt>(png.size() - inizio))));
    png.append(reinterpret_cast<const char*>(n), 4);
  };
  std::string testata(13, '\0');
  metti_be32(reinterpret_cast<unsigned char*>(testata.data()), static_cast<uint32_t>(larghezza));
  metti_be32(reinterpret_cast<unsigned char*>(testata.data()) + 4, static_cast<uint32_t>(altezza));
  testata[8] = 8;                               // bits per channel
  testata[9] = static_cast<char>(canali == 3 ? 2 : 0);  // RGB or grey
  blocco("IHDR", testata);
  blocco("IDAT", compressi);
  blocco("IEND", "");
  return "data:image/png;base64," + base64(png.data(), png.size());
}

std::string colore_divergente(double t) { return esadecimale(divergente(t)); }

void rgb_divergente(double t, uint8_t rgb[3]) {
  const int v = divergente(t);
  rgb[0] = static_cast<uint8_t>(v >> 16);
  rgb[1] = static_cast<uint8_t>(v >> 8);
  rgb[2] = static_cast<uint8_t>(v);
}

std::string colore_sequenziale(double t) { return esadecimale(tra(0xf7fbff, 0x08306b, limita(t, 0.0, 1.0))); }

std::vector<misure_classe> misure_confusione(const std::vector<std::vector<int64_t>>& matrice) {
  const size_t k = matrice.size();
  std::vector<misure_classe> m(k);
  for (size_t i = 0; i < k; ++i)
    for (size_t j = 0; j < k; ++j) {
      m[i].supporto += matrice[i][j];
      m[j].previsti += matrice[i][j];
      if (i == j) m[i].corretti = matrice[i][j];
    }
  for (misure_classe& c : m) {
    c.precisione = c.previsti > 0 ? static_cast<double>(c.corretti) / static_cast<double>(c.previsti) : 0.0;
    c.richiamo = c.supporto > 0 ? static_cast<double>(c.corretti) / static_cast<double>(c.supporto) : 0.0;
    const double s = c.precisione + c.richiamo;
    c.f1 = s > 0 ? 2.0 * c.precisione * c.richiamo / s : 0.0;
  }
  return m;
}

std::string matrice_confusione_html(const std::vector<std::vector<int64_t>>& matrice,
                                    const std::vector<std::string>& nomi, std::string_view ancora_prefisso) {
  const size_t k = matrice.size();
  int64_t massimo = 0;
  for (const auto& riga : matrice)
    for (const int64_t n : riga) massimo = n > massimo ? n : massimo;
  const std::vector<misure_classe> m = misure_confusione(matrice);
  const std::string prefisso = testo_html(ancora_prefisso);
  std::string h = "<div class=\"scorre\"><table class=\"confusione\">\n<tr><th class=\"testo\">vero \\ risposta</th>";
  for (size_t j = 0; j < k; ++j) h += "<th>" + testo_html(nomi[j]) + "</th>";
  h += "<th>precisione</th><th>richiamo</th><th>F1</th><th>supporto</th></tr>\n";
  char num[64];
  for (size_t i = 0; i < k; ++i) {
    h += "<tr><th class=\"testo\">" + testo_html(nomi[i]) + "</th>";
    for (size_t j = 0; j < k; ++j) {
      const int64_t n = matrice[i][j];
      // Square root: the diagonal's hundreds must not wash out the few errors.
      const double t = massimo > 0 ? std::sqrt(static_cast<double>(n) / static_cast<double>(massimo)) : 0.0;
      h += "<td class=\"cella";
      if (i == j) h += " diagonale";
      h += "\" data-n=\"" + std::to_string(n) + "\" style=\"background:" + colore_sequenziale(t) +
           (t > 0.55 ? ";color:#fff" : "") + "\">";
      if (n > 0)
        h += "<a href=\"#" + prefisso + "-" + std::to_string(i) + "-" + std::to_string(j) + "\">" +
             std::to_string(n) + "</a>";
      h += "</td>";
    }
    std::snprintf(num, sizeof num, "<td>%.3f</td><td>%.3f</td><td>%.3f</td>", m[i].precisione, m[i].richiamo,
                  m[i].f1);
    h += num;
    h += "<td>" + std::to_string(m[i].supporto) + "</td></tr>\n";
  }
  h += "</table></div>\n<div class=\"legenda\"><span>0</span><span class=\"barra\" style=\"background:linear-gradient(to right," +
       colore_sequenziale(0) + "," + colore_sequenziale(0.5) + "," + colore_sequenziale(1) + ")\"></span><span>" +
       std::to_string(massimo) + " (scala a radice quadrata)</span></div>\n";
  return h;
}

std::string matrice_confusione_json(const std::vector<std::vector<int64_t>>& matrice,
                                    const std::vector<std::string>& nomi) {
  std::string j = "{\"nomi\":[";
  for (size_t i = 0; i < nomi.size(); ++i) {
    if (i) j += ',';
    j += testo_json(nomi[i]);
  }
  j += "],\"matrice\":[";
  for (size_t i = 0; i < matrice.size(); ++i) {
    j += i ? ",[" : "[";
    for (size_t k = 0; k < matrice[i].size(); ++k) {
      if (k) j += ',';
      j += std::to_string(matrice[i][k]);
    }
    j += "]";
  }
  j += "],\"classi\":[";
  const std::vector<misure_classe> m = misure_confusione(matrice);
  for (size_t i = 0; i < m.size(); ++i)
    j += std::string(i ? ",{" : "{") + "\"supporto\":" + std::to_string(m[i].supporto) +
         ",\"precisione\":" + numero_json(m[i].precisione) + ",\"richiamo\":" + numero_json(m[i].richiamo) +
         ",\"f1\":" + numero_json(m[i].f1) + "}";
  return j + "]}";
}

std::string inizio_pagina(std::string_view titolo) {
  const std::string t = testo_html(titolo);
  return "<!DOCTYPE html>\n<html lang=\"it\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
         "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">\n<title>" +
         t + "</title>\n" + std::string(STILE) + "</head>\n<body>\n<h1>" + t + "</h1>\n";
}

std::string fine_pagina(std::string_view dati, std::string_view script) {
  std::string f = "<script type=\"application/json\" id=\"dati\">";
  f += dati;
  f += "</script>\n<script>\n"
       "window.addEventListener('error',function(e){document.body.dataset.errore=String(e.message||e);});\n";
  f += script;
  f += "\n</script>\n</body>\n</html>\n";
  return f;
}

bool scrivi_pagina(const char* path, const std::string& pagina, std::FILE* dati) {
  if (std::string_view(path) != "-") return scrivi_file_atomico(path, pagina.data(), pagina.size());
  if (!dati || std::fwrite(pagina.data(), 1, pagina.size(), dati) != pagina.size()) return false;
  return std::fflush(dati) == 0;
}
