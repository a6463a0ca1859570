// The pieces of the suite's HTML pages (velmora_apms, velmora_gpms and
// velmora_bow valuta --rapporto): one file that opens offline, with its
// styles and script inline, its figures as inline SVG, HTML and PNG data
// URIs, and every figure also as data in one JSON block another tool can
// extract (<script type="application/json" id="dati">).
//
// Everything that comes from the input (file names, words, texts) enters a
// page through testo_html or testo_json, and nowhere else: a name such as
// "<script>" shows as text and runs nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// ---- Escaping --------------------------------------------------------------------------

// s as HTML text or attribute value: & < > " ' escaped; bytes that are not
// valid UTF-8, and control bytes other than tab and line feed, shown as U+FFFD.
std::string testo_html(std::string_view s);

// s as a JSON string, quotes included, safe inside a <script> element: < > &
// and every control byte as \uXXXX, bytes that are not valid UTF-8 as \ufffd.
std::string testo_json(std::string_view s);

// A double as JSON: the shortest "%.17g"-exact form ("%.17g" trimmed while it
// reads back to the same double); NaN and the infinities, which JSON lacks, as null.
std::string numero_json(double x);

// The bytes as base64 (RFC 4648, with padding), for data URIs.
std::string base64(const void* dati, size_t n);

// A picture as a PNG data URI ("data:image/png;base64,..."), 8 bits per
// channel, canali 1 (grey) or 3 (RGB), pixels row after row; deflate at its
// strongest, each row unfiltered.
std::string png_data_uri(const uint8_t* pixel, int larghezza, int altezza, int canali);

// ---- Colours ---------------------------------------------------------------------------

// The suite's one diverging scale, t from -1 (blue) through 0 (white) to
// +1 (red), clamped: "#rrggbb". Weights are drawn with it.
std::string colore_divergente(double t);
// The same scale as three bytes, for pictures drawn pixel by pixel.
void rgb_divergente(double t, uint8_t rgb[3]);
// The suite's one sequential scale, t from 0 (white) to 1 (dark blue),
// clamped: "#rrggbb". Counts (the heat maps) are drawn with it.
std::string colore_sequenziale(double t);

// ---- Figures shared by both pages --------------------------------------------------------

// Per-class figures of a confusion matrix (rows: the true class, columns: the answer).
struct misure_classe {
  int64_t supporto = 0;      // rows of the class
  int64_t previsti = 0;      // answers naming the class
  int64_t corretti = 0;      // both
  double precisione = 0.0;   // corretti / previsti, 0 when nothing was named
  double richiamo = 0.0;     // corretti / supporto, 0 for a class without rows
  double f1 = 0.0;           // their harmonic mean, 0 when both are 0
};
std::vector<misure_classe> misure_confusione(const std::vector<std::vector<int64_t>>& matrice);

// The confusion matrix as an HTML table heat map, with the per-class
// precision, recall, F1 and support beside it, and a legend of the scale.
// nomi: one name per class. Each cell with a count links to
// "#" + ancora_prefisso + "-" + true class + "-" + answer; cells of the
// diagonal are marked. Every cell carries class="cella" and data-n=count.
std::string matrice_confusione_html(const std::vector<std::vector<int64_t>>& matrice,
                                    const std::vector<std::string>& nomi, std::string_view ancora_prefisso);

// The same figures as JSON: {"nomi":[...],"matrice":[[...]],"classi":[{"supporto":...}]}.
std::string matrice_confusione_json(const std::vector<std::vector<int64_t>>& matrice,
                                    const std::vector<std::string>& nomi);

// ---- The page ---------------------------------------------------------------------------

// The head of a page (doctype, charset, viewport, the suite's inline style)
// and the opening of its body, with titolo as <title> and <h1>.
std::string inizio_pagina(std::string_view titolo);
// The end of a page: the JSON block with dati (a JSON object), then script
// (inline, may be empty: the page must read without it), then </body></html>.
// The script should set document.body.dataset.pronto = "1" when it ends; an
// uncaught error sets document.body.dataset.errore to its message.
std::string fine_pagina(std::string_view dati, std::string_view script);

// Writes the page to path through the suite's atomic write, or for "-" to
// dati, the stream standard output was given over to (uscita_dati.h). False
// when any byte could not be written; the caller names the failure.
bool scrivi_pagina(const char* path, const std::string& pagina, std::FILE* dati);
