#include "galleria.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>

// ---- Rows and their pictures ----------------------------------------------------

esito_riga esito_di(int riga, int etichetta, int riconosciuta, const double* uscite) {
  esito_riga e;
  e.riga = riga;
  e.etichetta = etichetta;
  e.riconosciuta = riconosciuta;
  e.uscita_etichetta = uscite[etichetta];
  e.uscita_riconosciuta = riconosciuta >= 0 ? uscite[riconosciuta] : 0.0;
  return e;
}

// The sheet's grey of v: the drawing's scale at full resolution, rounded to
// the nearest level. A flat image gives 0 / 0, not a number: lightest, as
// tono_grigio paints it.
static uint8_t grigio_foglio(double v, double minimo, double massimo) {
  const double g = (massimo - v) / (massimo - minimo) * 255.0 + 0.5;
  if (!(g < 255.0)) return 255;
  return g < 0.0 ? 0 : static_cast<uint8_t>(g);
}

immagine_cifra disegna_cifra(const double* valori) {
  double minimo, massimo;
  estremi_griglia(valori, N_AFFERENTI, minimo, massimo);
  immagine_cifra im;
  for (int k = 0; k < N_AFFERENTI; ++k) {
    im.toni[static_cast<size_t>(k)] = static_cast<uint8_t>(tono_grigio(valori[k], minimo, massimo));
    im.grigi[static_cast<size_t>(k)] = grigio_foglio(valori[k], minimo, massimo);
  }
  return im;
}

// ---- Gallery ---------------------------------------------------------------------

int cifre_per_fascia(int colonne) {
  return std::max(1, (colonne + SPAZIO_CIFRE) / (LATO_IMMAGINE + SPAZIO_CIFRE));
}

int cifre_per_schermo(int righe, int colonne) {
  // The gallery is the last thing printed: its bands fill the screen, less
  // the line the shell's prompt takes after it.
  const int fasce = std::max(1, (righe - 1) / RIGHE_FASCIA);
  return fasce * cifre_per_fascia(colonne);
}

// Pixel rows 2r and 2r + 1 of a digit as 28 half blocks; the colours are
// set only where they change, and reset at the end.
static void aggiungi_celle(std::string& s, const immagine_cifra& im, int r) {
  static constexpr char MEZZO_BLOCCO[] = "\u2580";  // upper half block
  int sopra_prima = -1, sotto_prima = -1;
  char colori[32];
  for (int c = 0; c < LATO_IMMAGINE; ++c) {
    const int sopra = im.toni[static_cast<size_t>(2 * r * LATO_IMMAGINE + c)];
    const int sotto = im.toni[static_cast<size_t>((2 * r + 1) * LATO_IMMAGINE + c)];
    if (sopra != sopra_prima || sotto != sotto_prima) {
      const int n = std::snprintf(colori, sizeof colori, "\33[38;5;%d;48;5;%dm", sopra, sotto);
      s.append(colori, static_cast<size_t>(n));
      sopra_prima = sopra;
      sotto_prima = sotto;
    }
    s += MEZZO_BLOCCO;
  }
  s += "\33[0m";
}

// One caption line: each text padded to the digit's width but the last, so
// no line ends in blanks.
static void aggiungi_didascalie(std::string& s, const std::vector<std::string>& testi) {
  char cella[64];
  for (size_t d = 0; d < testi.size(); ++d) {
    if (d > 0) s.append(SPAZIO_CIFRE, ' ');
    if (d + 1 == testi.size()) {
      s += testi[d];
    } else {
      const int n = std::snprintf(cella, sizeof cella, "%-*s", LATO_IMMAGINE, testi[d].c_str());
      s.append(cella, static_cast<size_t>(n));
    }
  }
  s += '\n';
}

std::string componi_fascia(const esito_riga* esiti, const immagine_cifra* immagini, int n) {
  std::string s = "\n";
  for (int r = 0; r < RIGHE_CIFRA; ++r) {
    for (int d = 0; d < n; ++d) {
      if (d > 0) s.append(SPAZIO_CIFRE, ' ');
      aggiungi_celle(s, immagini[d], r);
    }
    s += '\n';
  }
  std::vector<std::string> righe, risposte;
  char testo[64];
  for (int d = 0; d < n; ++d) {
    const esito_riga& e = esiti[d];
    std::snprintf(testo, sizeof testo, "riga %d, etichetta %d", e.riga, e.etichetta);
    righe.emplace_back(testo);
    if (e.riconosciuta < 0)
      std::snprintf(testo, sizeof testo, "riconosciuta: nessuna");
    else
      std::snprintf(testo, sizeof testo, "riconosciuta %d (%.1f%%)", e.riconosciuta, 100.0 * e.uscita_riconosciuta);
    risposte.emplace_back(testo);
  }
  aggiungi_didascalie(s, righe);
  aggiungi_didascalie(s, risposte);
  return s;
}

// ---- Listing ---------------------------------------------------------------------

std::string riga_elenco(const esito_riga& e) {
  char testo[160];
  int n;
  if (e.riconosciuta < 0)
    n = std::snprintf(testo, sizeof testo, "Riga %d: etichetta %d (%.1f%%), riconosciuta: nessuna\n", e.riga,
                      e.etichetta, 100.0 * e.uscita_etichetta);
  else
    n = std::snprintf(testo, sizeof testo, "Riga %d: etichetta %d (%.1f%%), riconosciuta %d (%.1f%%)\n", e.riga,
                      e.etichetta, 100.0 * e.uscita_etichetta, e.riconosciuta, 100.0 * e.uscita_riconosciuta);
  return std::string(testo, static_cast<size_t>(std::min(n, static_cast<int>(sizeof testo) - 1)));
}

// ---- PNG contact sheet -------------------------------------------------------------

namespace {

constexpr uint8_t GRIGIO_CORNICE = 128;
constexpr uint8_t ROSSO_CORNICE[3] = {220, 30, 30};
constexpr uint8_t BIANCO[3] = {255, 255, 255};
constexpr uint8_t NERO[3] = {0, 0, 0};

// A font of 3 x 5 pixels for the captions, each row of a glyph three bits,
// the leftmost the highest: the digits, then '-' and '>'.
constexpr int LARGHEZZA_GLIFO = 3, ALTEZZA_GLIFO = 5, PASSO_GLIFO = LARGHEZZA_GLIFO + 1;
constexpr uint8_t GLIFI[12][ALTEZZA_GLIFO] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {0, 0, 7, 0, 0}, {4, 2, 1, 2, 4},
};

const uint8_t* glifo(char c) {
  if (c >= '0' && c <= '9') return GLIFI[c - '0'];
  if (c == '-') return GLIFI[10];
  if (c == '>') return GLIFI[11];
  return nullptr;  // a blank
}

// A square of the strip in one colour (its first `canali` bytes).
void riempi(std::vector<uint8_t>& striscia, int larghezza, int canali, int x0, int y0, int lato,
            const uint8_t* colore) {
  for (int y = y0; y < y0 + lato; ++y) {
    const size_t primo = static_cast<size_t>(y) * static_cast<size_t>(larghezza) + static_cast<size_t>(x0);
    uint8_t* p = striscia.data() + primo * static_cast<size_t>(canali);
    for (int x = 0; x < lato * canali; ++x) p[x] = colore[x % canali];
  }
}

// The caption of a cell, black on a white band under the digit, as much of
// it as the band holds.
void scrivi_didascalia(std::vector<uint8_t>& striscia, int larghezza, int canali, int x0, const esito_riga& e) {
  const int sotto = BORDO_FOGLIO + LATO_IMMAGINE * SCALA_FOGLIO;
  for (int y = sotto; y < sotto + RIGHE_DIDASCALIA; ++y)
    for (int x = BORDO_FOGLIO; x < LATO_CELLA - BORDO_FOGLIO; ++x) riempi(striscia, larghezza, canali, x0 + x, y, 1, BIANCO);
  const std::string testo = didascalia(e);
  const int y0 = sotto + (RIGHE_DIDASCALIA - ALTEZZA_GLIFO) / 2;
  for (size_t i = 0; i < testo.size(); ++i) {
    const int xg = BORDO_FOGLIO + 2 + static_cast<int>(i) * PASSO_GLIFO;
    if (xg + LARGHEZZA_GLIFO > LATO_CELLA - BORDO_FOGLIO) break;
    const uint8_t* g = glifo(testo[i]);
    if (!g) continue;
    for (int r = 0; r < ALTEZZA_GLIFO; ++r)
      for (int c = 0; c < LARGHEZZA_GLIFO; ++c)
        if (g[r] & (4 >> c)) riempi(striscia, larghezza, canali, x0 + xg + c, y0 + r, 1, NERO);
  }
}

}  // namespace

std::string didascalia(const esito_riga& e) {
  char testo[48];
  if (e.riconosciuta < 0)
    std::snprintf(testo, sizeof testo, "%d %d>-", e.riga, e.etichetta);
  else
    std::snprintf(testo, sizeof testo, "%d %d>%d", e.riga, e.etichetta, e.riconosciuta);
  return testo;
}

int larghezza_foglio(int n) { return std::clamp(n, 1, CIFRE_PER_RIGA_FOGLIO) * LATO_CELLA; }

int altezza_foglio(int n) {
  return std::max(1, (n + CIFRE_PER_RIGA_FOGLIO - 1) / CIFRE_PER_RIGA_FOGLIO) * ALTEZZA_CELLA;
}

int canali_foglio(bool cornici_rosse) { return cornici_rosse ? 3 : 1; }

std::vector<uint8_t> componi_striscia(const std::vector<esito_riga>& esiti, const std::vector<immagine_cifra>& immagini,
                                      int da, bool cornici_rosse) {
  const int n = static_cast<int>(esiti.size());
  const int larghezza = larghezza_foglio(n), canali = canali_foglio(cornici_rosse);
  std::vector<uint8_t> striscia(static_cast<size_t>(larghezza) * ALTEZZA_CELLA * static_cast<size_t>(canali),
                                GRIGIO_CORNICE);
  for (int d = da; d < std::min(n, da + CIFRE_PER_RIGA_FOGLIO); ++d) {
    const esito_riga& e = esiti[static_cast<size_t>(d)];
    const int x0 = (d - da) * LATO_CELLA;
    if (cornici_rosse && e.riconosciuta != e.etichetta)
      for (int y = 0; y < ALTEZZA_CELLA; y += LATO_CELLA)  // the frame's height, in squares of its width
        riempi(striscia, larghezza, canali, x0, std::min(y, ALTEZZA_CELLA - LATO_CELLA), LATO_CELLA, ROSSO_CORNICE);
    const immagine_cifra& im = immagini[static_cast<size_t>(d)];
    for (int k = 0; k < N_AFFERENTI; ++k) {
      const uint8_t g = im.grigi[static_cast<size_t>(k)];
      const uint8_t grigio[3] = {g, g, g};
      riempi(striscia, larghezza, canali, x0 + BORDO_FOGLIO + (k % LATO_IMMAGINE) * SCALA_FOGLIO,
             BORDO_FOGLIO + (k / LATO_IMMAGINE) * SCALA_FOGLIO, SCALA_FOGLIO, grigio);
    }
    scrivi_didascalia(striscia, larghezza, canali, x0, e);
  }
  return striscia;
}

namespace {

// What the rows of the sheet are made from. It lives in the frame that
// calls setjmp, so a jump back from libpng skips no destructor.
struct lavoro_foglio {
  const std::vector<esito_riga>& esiti;
  const std::vector<immagine_cifra>& immagini;
  bool cornici_rosse;
  int larghezza, altezza;
  std::vector<uint8_t> striscia;  // the band being written
};

// Every libpng call of the sheet. Its own locals are plain values, and each
// strip's temporary is gone before libpng runs again.
void scrivi_righe(png_structp png, png_infop info, lavoro_foglio& l) {
  const int canali = canali_foglio(l.cornici_rosse);
  png_set_IHDR(png, info, static_cast<png_uint_32>(l.larghezza), static_cast<png_uint_32>(l.altezza), 8,
               canali == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y0 = 0; y0 < l.altezza; y0 += ALTEZZA_CELLA) {
    l.striscia = componi_striscia(l.esiti, l.immagini, y0 / ALTEZZA_CELLA * CIFRE_PER_RIGA_FOGLIO, l.cornici_rosse);
    for (int y = 0; y < ALTEZZA_CELLA; ++y)
      png_write_row(png, l.striscia.data() + static_cast<size_t>(y) * static_cast<size_t>(l.larghezza * canali));
  }
  png_write_end(png, info);
}

}  // namespace

bool scrivi_foglio(std::FILE* f, const std::vector<esito_riga>& esiti, const std::vector<immagine_cifra>& immagini,
                   bool cornici_rosse) {
  const int n = static_cast<int>(esiti.size());
  lavoro_foglio l{esiti, immagini, cornici_rosse, larghezza_foglio(n), altezza_foglio(n), {}};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  // libpng reports an error by jumping back here.
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, f);
  scrivi_righe(png, info, l);
  png_destroy_write_struct(&png, &info);
  return true;
}
