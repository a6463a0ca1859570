// Training of the digit network: online backpropagation built from the
// library's forward pass and correction step.
#include "apms.h"

#include "veloce.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

// ---- Generator ----------------------------------------------------------------------

uint64_t prossimo(generatore& g) {
  uint64_t z = (g.stato += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double uniforme(generatore& g) { return static_cast<double>(prossimo(g) >> 11) * 0x1.0p-53; }

uint32_t sotto(generatore& g, uint32_t n) { return static_cast<uint32_t>(prossimo(g) % n); }

// ---- Rows -----------------------------------------------------------------------------

[[noreturn]] static void riga_non_valida(int riga, const char* path) {
  std::printf("Riga %d del file %s non valida\n", riga, path);
  std::exit(1);
}

// Skips blanks and line breaks; true when the file has nothing else left.
static bool solo_spazi_alla_fine(std::FILE* f) {
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (!std::isspace(c)) {
      std::ungetc(c, f);
      return false;
    }
  }
  return true;
}

// After a complete row only blanks may precede the line break: anything else
// means the row holds more than 785 values (or trailing text).
static bool fine_riga_pulita(std::FILE* f) {
  int c;
  while ((c = std::fgetc(f)) != EOF && c != '\n') {
    if (!std::isspace(c)) return false;
  }
  return true;
}

righe_cifre carica_righe(const char* path) {
  file_ptr f(std::fopen(path, "r"));
  if (!f) {
    std::printf("File %s non trovato\n", path);
    std::exit(1);
  }
  righe_cifre righe;
  int32_t pixel[N_AFFERENTI] = {};
  int32_t etichetta = -1;
  while (!solo_spazi_alla_fine(f.get())) {
    const int riga = righe.quante + 1;
    etichetta = -1;
    if (get_image(pixel, etichetta, f.get()) != N_AFFERENTI + 1 || !fine_riga_pulita(f.get()))
      riga_non_valida(riga, path);
    if (etichetta < 0 || etichetta > 9) {
      std::printf("Riga %d del file %s: etichetta %d fuori dall'intervallo 0 ... 9\n", riga, path, etichetta);
      std::exit(1);
    }
    righe.pixel.insert(righe.pixel.end(), pixel, pixel + N_AFFERENTI);
    righe.etichette.push_back(etichetta);
    ++righe.quante;
  }
  return righe;
}

void prendi_riga(rete_cifre& rete, const righe_cifre& righe, int r) {
  const int32_t* p = righe.pixel.data() + static_cast<size_t>(r) * N_AFFERENTI;
  std::copy(p, p + N_AFFERENTI, rete.pixel);
  rete.etichetta = righe.etichette[static_cast<size_t>(r)];
}

// ---- Training -----------------------------------------------------------------------------

void inizializza_pesi(rete_cifre& rete, generatore& g) {
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const int ultima = i == N_INTERCALARI - 1 ? ULTIMA_COLONNA_INTERCALARI : N_AFFERENTI;
    double* w = rete.pesi_intercalari + static_cast<long>(i) * (N_AFFERENTI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * AMPIEZZA_INTERCALARI;
  }
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const int ultima = k == N_EFFERENTI - 1 ? ULTIMA_COLONNA_EFFERENTI : N_INTERCALARI;
    double* w = rete.pesi_efferenti + k * (N_INTERCALARI + 1);
    for (int j = 0; j <= ultima; ++j) w[j] = (2.0 * uniforme(g) - 1.0) * AMPIEZZA_EFFERENTI;
  }
}

int addestra_riga(rete_cifre& rete, int32_t etichetta, double tasso) {
  const int risposta = net_recognize(rete);

  // Output errors: target (1.0 for the label, 0.0 otherwise) minus output;
  // delta adds the slope of the logistic at the neuron's weighted sum.
  double errore_efferenti[N_EFFERENTI];
  double delta_efferenti[N_EFFERENTI];
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const double obiettivo = k == etichetta ? 1.0 : 0.0;
    errore_efferenti[k] = obiettivo - rete.uscita_efferenti[k];
    delta_efferenti[k] = Dactiv_function(rete.somma_efferenti[k]) * errore_efferenti[k];
  }

  // Hidden errors, propagated back through the output weights before this
  // row changes them: sum over k = 0 ... 9 in order of w[k][i + 1] * delta[k].
  double errore_intercalari[N_INTERCALARI];
  for (int i = 0; i < N_INTERCALARI; ++i) {
    double somma = 0.0;
    for (int k = 0; k < N_EFFERENTI; ++k)
      somma = (rete.pesi_efferenti[k * (N_INTERCALARI + 1) + i + 1] * delta_efferenti[k]) + somma;
    errore_intercalari[i] = somma;
  }

  // Updates: output neurons 0 ... 9, then hidden neurons 0 ... 99, each
  // neuron's weights bias first. The last neuron of each layer stops at the
  // last column a weight file can hold, so its tail stays 0.0 and the network
  // written to disk is the network trained here.
  for (int k = 0; k < N_EFFERENTI; ++k) {
    const int ultima = k == N_EFFERENTI - 1 ? ULTIMA_COLONNA_EFFERENTI : N_INTERCALARI;
    perc_correzione(rete.pesi_efferenti + k * (N_INTERCALARI + 1), rete.ingresso_efferenti,
                    rete.somma_efferenti[k], tasso, errore_efferenti[k], ultima);
  }
  for (int i = 0; i < N_INTERCALARI; ++i) {
    const int ultima = i == N_INTERCALARI - 1 ? ULTIMA_COLONNA_INTERCALARI : N_AFFERENTI;
    perc_correzione(rete.pesi_intercalari + static_cast<long>(i) * (N_AFFERENTI + 1), rete.ingresso,
                    rete.somma_intercalari[i], tasso, errore_intercalari[i], ultima);
  }
  return risposta;
}

risultato valuta(rete_cifre& rete, const righe_cifre& righe) {
  // The weights do not change here, so the library's vectorised forward pass
  // (same bits as net_recognize) pays for laying them out once.
  const auto pesi = prepara_pesi(rete);
  risultato esito;
  for (int r = 0; r < righe.quante; ++r) {
    prendi_riga(rete, righe, r);
    const int risposta = net_recognize_veloce(rete, *pesi);
    if (risposta < 0) {
      ++esito.senza_risposta;
      continue;
    }
    ++esito.confusione[static_cast<size_t>(rete.etichetta)][static_cast<size_t>(risposta)];
    if (risposta == rete.etichetta) ++esito.riconosciute;
  }
  return esito;
}

// ---- Weight files ---------------------------------------------------------------------------

// Writes one layer to a fresh temporary file beside the target; returns its
// name, or an empty string (nothing left behind) on any failure.
static std::string scrivi_temporaneo(const std::string& target, const double* W, int inputs, int neurons) {
  const std::string tmp = target + ".tmp." + std::to_string(getpid());
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return {};
  std::FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    unlink(tmp.c_str());
    return {};
  }
  layer_writedown(f, W, inputs, neurons);
  const bool scritto = std::fflush(f) == 0 && !std::ferror(f);
  const bool chiuso = std::fclose(f) == 0;
  if (!scritto || !chiuso) {
    unlink(tmp.c_str());
    return {};
  }
  return tmp;
}

bool scrivi_pesi(const rete_cifre& rete, const std::string& path_intercalari, const std::string& path_efferenti) {
  const std::string tmp_intercalari =
      scrivi_temporaneo(path_intercalari, rete.pesi_intercalari, N_AFFERENTI, N_INTERCALARI);
  if (tmp_intercalari.empty()) {
    std::printf("Impossibile scrivere il file %s\n", path_intercalari.c_str());
    return false;
  }
  const std::string tmp_efferenti = scrivi_temporaneo(path_efferenti, rete.pesi_efferenti, N_INTERCALARI, N_EFFERENTI);
  if (tmp_efferenti.empty()) {
    unlink(tmp_intercalari.c_str());
    std::printf("Impossibile scrivere il file %s\n", path_efferenti.c_str());
    return false;
  }
  // Both files are complete on disk before either target is replaced.
  if (std::rename(tmp_intercalari.c_str(), path_intercalari.c_str()) != 0) {
    unlink(tmp_intercalari.c_str());
    unlink(tmp_efferenti.c_str());
    std::printf("Impossibile scrivere il file %s\n", path_intercalari.c_str());
    return false;
  }
  if (std::rename(tmp_efferenti.c_str(), path_efferenti.c_str()) != 0) {
    unlink(tmp_efferenti.c_str());
    std::printf("Impossibile scrivere il file %s\n", path_efferenti.c_str());
    return false;
  }
  return true;
}
