#include "avanzamento.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace {

void disegna(const avanzamento& a, size_t fatti, long giusti, long classificati) {
  char riga[160];
  int n = std::snprintf(riga, sizeof riga, "%s: %zu di %zu file", a.azione, fatti, a.totale);
  if (classificati > 0 && n > 0 && static_cast<size_t>(n) < sizeof riga)
    std::snprintf(riga + n, sizeof riga - static_cast<size_t>(n), ", corretti finora %.1f%%",
                  100.0 * static_cast<double>(giusti) / static_cast<double>(classificati));
  // A line that wrapped could not be rewritten with a carriage return: cut
  // it to the terminal's width, less one column for the cursor.
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1 && ws.ws_col - 1u < sizeof riga)
    riga[ws.ws_col - 1] = '\0';
  std::printf("\r\33[K%s", riga);
  std::fflush(stdout);
}

}  // namespace

avanzamento inizia_avanzamento(const char* azione, size_t totale) {
  avanzamento a;
  a.terminale = isatty(STDOUT_FILENO) == 1;
  a.azione = azione;
  a.totale = totale;
  if (a.terminale) {
    disegna(a, 0, 0, 0);
    a.ultima = std::chrono::steady_clock::now();
  }
  return a;
}

void segna_avanzamento(avanzamento& a, size_t fatti, long giusti, long classificati) {
  if (!a.terminale) return;
  const auto adesso = std::chrono::steady_clock::now();
  if (adesso - a.ultima < std::chrono::milliseconds(100)) return;
  a.ultima = adesso;
  disegna(a, fatti, giusti, classificati);
}

void chiudi_avanzamento(const avanzamento& a) {
  if (!a.terminale) return;
  std::printf("\r\33[K");
  std::fflush(stdout);
}
