// What velmora_gpms shows of the rows it evaluated: the gallery of digits
// for a terminal, the plain listing for a file or a pipe, and the PNG
// contact sheet. Everything is composed in memory, so the exact bytes can be
// checked without a terminal; the program writes each piece in one go.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lib.h"

// ---- Rows and their pictures ----------------------------------------------------

// One evaluated row, as the listing and the captions name it.
struct esito_riga {
  int riga = 0;                       // 1 for the first row of the file
  int etichetta = 0;                  // 0 ... 9
  int riconosciuta = -1;              // the best digit, -1 when no output exceeds 0.0
  double uscita_etichetta = 0.0;      // output of the label's neuron
  double uscita_riconosciuta = 0.0;   // output of the best digit's neuron (0.0 for none)
};

// A digit's 784 pixels, row after row, in the two scales it is shown with.
struct immagine_cifra {
  std::array<uint8_t, N_AFFERENTI> toni{};   // 232 ... 255: velmora_pms's greys, lowest value lightest
  std::array<uint8_t, N_AFFERENTI> grigi{};  // 0 ... 255 for the PNG sheet, on the same scale, 255 lightest
};

// The esito of the row whose outputs are in uscite (the N_EFFERENTI outputs).
esito_riga esito_di(int riga, int etichetta, int riconosciuta, const double* uscite);
// Both scales of the 784 values the network saw (rete.ingresso + 1): the
// extremes and the tones of velmora_pms, so a flat image is all lightest.
immagine_cifra disegna_cifra(const double* valori);

// ---- Gallery ---------------------------------------------------------------------
// Each terminal cell holds two pixel rows: the upper half block in the upper
// pixel's grey on a background of the lower pixel's grey. A digit is 28
// columns by 14 lines, with two caption lines under it.

inline constexpr int RIGHE_CIFRA = LATO_IMMAGINE / 2;
inline constexpr int SPAZIO_CIFRE = 2;                    // blank columns between two digits
inline constexpr int RIGHE_FASCIA = 1 + RIGHE_CIFRA + 2;  // a blank line, the images, the captions

// Digits side by side on a terminal of that many columns (at least one).
int cifre_per_fascia(int colonne);
// Digits that fill one screen of that many lines (at least one band).
int cifre_per_schermo(int righe, int colonne);
// One band of n digits side by side: a blank line, 14 lines of images, then
// the captions "riga R, etichetta E" and "riconosciuta C (P%)".
std::string componi_fascia(const esito_riga* esiti, const immagine_cifra* immagini, int n);

// ---- Listing ---------------------------------------------------------------------

// "Riga R: etichetta E (P%), riconosciuta C (P%)" and a line feed.
std::string riga_elenco(const esito_riga& e);

// ---- PNG contact sheet -------------------------------------------------------------
// Digits in rows of ten, in the listing's order, each pixel drawn as a
// 2 x 2 square inside a grey frame; a red frame marks a misread digit on a
// sheet that also holds rows read right. Under each digit a caption in a
// built-in font of digits: "ROW LABEL>RECOGNISED" ("-" for no answer).

inline constexpr int CIFRE_PER_RIGA_FOGLIO = 10;
inline constexpr int SCALA_FOGLIO = 2;
inline constexpr int BORDO_FOGLIO = 4;
inline constexpr int LATO_CELLA = LATO_IMMAGINE * SCALA_FOGLIO + 2 * BORDO_FOGLIO;  // width of a cell
inline constexpr int RIGHE_DIDASCALIA = 9;  // the caption's band: 5 pixel rows of text, 2 above and below
inline constexpr int ALTEZZA_CELLA = LATO_CELLA + RIGHE_DIDASCALIA;

// The caption of a digit, as the sheet writes it under the digit.
std::string didascalia(const esito_riga& e);

// The most digits a sheet holds: a PNG taller than a million rows is
// refused by libpng, and by the viewers that read it.
inline constexpr int ALTEZZA_MASSIMA_FOGLIO = 1000000;
inline constexpr int CIFRE_MASSIME_FOGLIO = ALTEZZA_MASSIMA_FOGLIO / ALTEZZA_CELLA * CIFRE_PER_RIGA_FOGLIO;

// Width and height in pixels of the sheet of n digits (one empty cell for none).
int larghezza_foglio(int n);
int altezza_foglio(int n);
// Bytes per pixel: grey, or RGB when red frames may be drawn.
int canali_foglio(bool cornici_rosse);
// The pixels of the sheet's band of cells that starts at digit da:
// ALTEZZA_CELLA rows of larghezza_foglio(n) pixels of canali_foglio bytes.
std::vector<uint8_t> componi_striscia(const std::vector<esito_riga>& esiti, const std::vector<immagine_cifra>& immagini,
                                      int da, bool cornici_rosse);
// Writes the whole sheet as a PNG to f; false when libpng reports an error.
bool scrivi_foglio(std::FILE* f, const std::vector<esito_riga>& esiti, const std::vector<immagine_cifra>& immagini,
                   bool cornici_rosse);
