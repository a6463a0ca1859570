#include "pesi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "destinazione.h"
#include "file.h"
#include "nomi.h"
#include "scrittura.h"

// ---- In memory ------------------------------------------------------------------------

void inizializza_pesi(rete_cifre& rete, generatore& g, inizio_pesi inizio) {
  const bool scalato = inizio == inizio_pesi::scalato;
  const double a_intercalari = scalato ? std::sqrt(3.0 / N_AFFERENTI) : AMPIEZZA_INTERCALARI;
  const double a_efferenti = scalato ? std::sqrt(3.0 / N_INTERCALARI) : AMPIEZZA_EFFERENTI;
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const int ultima = i == N_INTERCALARI - 1 ? ULTIMA_COLONNA_INTERCALARI : N_AFFERENTI;
    double* w = rete.pesi_intercalari + static_cast<long>(i) * (N_AFFERENTI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * a_intercalari;
  }
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const int ultima = k == N_EFFERENTI - 1 ? ULTIMA_COLONNA_EFFERENTI : N_INTERCALARI;
    double* w = rete.pesi_efferenti + k * (N_INTERCALARI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * a_efferenti;
  }
}

void copia_pesi(const rete_cifre& da, rete_cifre& a) {
  std::copy(std::begin(da.pesi_intercalari), std::end(da.pesi_intercalari), a.pesi_intercalari);
  std::copy(std::begin(da.pesi_efferenti), std::end(da.pesi_efferenti), a.pesi_efferenti);
}

void aggiungi_epoca(media_mobile& mm, const rete_cifre& rete, int k) {
  std::vector<double> pesi(std::begin(rete.pesi_intercalari), std::end(rete.pesi_intercalari));
  pesi.insert(pesi.end(), std::begin(rete.pesi_efferenti), std::end(rete.pesi_efferenti));
  if (static_cast<int>(mm.epoche.size()) == k) mm.epoche.pop_front();
  mm.epoche.push_back(std::move(pesi));
  ricalcola_media(mm);
}

void ricalcola_media(media_mobile& mm) {
  // Epoch after epoch over every weight: each weight's sum keeps its order.
  const size_t n_intercalari = std::size(mm.rete->pesi_intercalari);
  std::vector<double> somme(mm.epoche.back().size(), 0.0);
  for (const auto& e : mm.epoche)
    for (size_t z = 0; z < somme.size(); ++z) somme[z] = somme[z] + e[z];
  const auto epoche = static_cast<double>(mm.epoche.size());
  for (size_t z = 0; z < somme.size(); ++z) {
    const double w = somme[z] / epoche;
    if (z < n_intercalari) mm.rete->pesi_intercalari[z] = w;
    else mm.rete->pesi_efferenti[z - n_intercalari] = w;
  }
}

// ---- Weight files ---------------------------------------------------------------------------

bool scrivi_pesi(const rete_cifre& rete, const char* path_intercalari, const char* path_efferenti) {
  file_nuovo intercalari, efferenti;
  int fallito = 0;
  if (!apri_file_nuovo(intercalari, path_intercalari))
    fallito = 1;
  else if (!apri_file_nuovo(efferenti, path_efferenti))
    fallito = 2;
  if (fallito == 0) {
    // Every write is checked when the files are installed.
    layer_writedown(intercalari.file, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI);
    layer_writedown(efferenti.file, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
    fallito = installa_coppia(intercalari, efferenti);
  }
  if (fallito == 0) return true;
  std::printf("Impossibile scrivere il file %s\n", stampabile(fallito == 1 ? path_intercalari : path_efferenti).c_str());
  return false;
}

bool leggi_pesi_di_partenza(rete_cifre& rete, const char* path_intercalari, const char* path_efferenti) {
  return carica_pesi_esatti(path_intercalari, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI) &&
         carica_pesi_esatti(path_efferenti, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
}

// ---- Before any work ----------------------------------------------------------------------

namespace {

// The first bytes of a file hold nothing but the characters of CSV rows,
// among them a comma: rows, not weights, which a mistaken argument order
// would destroy. A weight file is raw doubles and never reads so.
bool contiene_righe(const char* path) {
  // Opened without blocking and read only when it is a regular file: a
  // FIFO here would wait for a writer for ever.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  file_ptr f(fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr);
  if (!f) {
    close(fd);
    return false;
  }
  char buf[4096];
  const size_t n = std::fread(buf, 1, sizeof buf, f.get());
  bool virgola = false;
  for (size_t i = 0; i < n; ++i) {
    const char c = buf[i];
    if (c == ',') virgola = true;
    else if (!std::isdigit(static_cast<unsigned char>(c)) && !std::isspace(static_cast<unsigned char>(c)) &&
             c != '-' && c != '+')
      return false;
  }
  return virgola;
}

}  // namespace

bool controlla_pesi_da_scrivere(const char* path, const char* ingresso, const char* verifica) {
  // "-" is standard output for the files that are streams; a weight file
  // is replaced whole, or not at all, so it is always a file.
  const char* motivo = std::string_view(path) == "-" ? "i pesi si scrivono solo in un file, non su standard output"
                                                     : perche_non_scrivibile(path);
  std::string testo;
  struct stat st;
  if (!motivo && stat(path, &st) == 0) {
    for (const char* in : {ingresso, verifica}) {
      if (in && stesso_file(path, in)) {
        testo = "e' il file di righe " + stampabile(in);
        motivo = testo.c_str();
        break;
      }
    }
    if (!motivo && contiene_righe(path)) motivo = "contiene righe CSV, non pesi: gli argomenti sono nell'ordine giusto?";
  }
  if (!motivo) return true;
  std::printf("Il file %s non puo' ricevere i pesi: %s\n", stampabile(path).c_str(), motivo);
  std::printf("Impossibile scrivere il file %s\n", stampabile(path).c_str());
  return false;
}
