// The corpus walk: which files are texts of which class, in a fixed order, so
// that training and evaluation are reproducible from run to run.
#include "corpus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "file.h"
#include "nomi.h"
#include "pulizia.h"

namespace fs = std::filesystem;

namespace {

std::string unisci(const std::string& cartella, const std::string& nome) {
  if (cartella.empty() || cartella.back() == '/') return cartella + nome;
  return cartella + "/" + nome;
}

lettura lettura_di(const esito_testo& esito) {
  if (esito.errore_lettura) return lettura::errore_lettura;
  if (esito.troppo_lunga) return lettura::troppo_lunga;
  return lettura::letta;
}

bool e_un_testo(const fs::directory_entry& voce) {
  const std::string nome = voce.path().filename().string();
  if (nome.starts_with(".") || nome.ends_with(".clean")) return false;
  std::error_code ec;
  return voce.is_regular_file(ec);
}

// The names of the texts in one class subfolder, sorted; false when it cannot be read.
bool elenca_classe(const std::string& sotto, std::vector<std::string>& nomi, int& ignorati) {
  std::error_code ec;
  fs::directory_iterator it(sotto, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (e_un_testo(*it)) {
      nomi.push_back(it->path().filename().string());
    } else {
      ++ignorati;
    }
  }
  std::sort(nomi.begin(), nomi.end());
  return !ec;
}

}  // namespace

bool elenca_corpus(const char* cartella, corpus& c) {
  std::error_code ec;
  const fs::file_status stato = fs::status(cartella, ec);
  if (!fs::exists(stato)) {
    std::printf("La cartella %s non esiste\n", stampabile(cartella).c_str());
    return false;
  }
  if (!fs::is_directory(stato)) {
    std::printf("%s non e' una cartella\n", stampabile(cartella).c_str());
    return false;
  }
  for (int k = 0; k < CLASSI; ++k) {
    const std::string sotto = unisci(cartella, std::to_string(k));
    if (!fs::is_directory(sotto, ec)) continue;
    ++c.classi;
    std::vector<std::string> nomi;
    if (!elenca_classe(sotto, nomi, c.ignorati)) {
      std::printf("La cartella %s non si puo' leggere\n", stampabile(sotto).c_str());
      return false;
    }
    for (const std::string& nome : nomi) c.file.push_back({unisci(sotto, nome), k});
  }
  if (c.classi == 0) {
    std::printf("La cartella %s non ha sottocartelle di classe (da 0 a %d)\n", stampabile(cartella).c_str(), CLASSI - 1);
    return false;
  }
  if (c.file.empty()) {
    std::printf("Nessun testo nelle sottocartelle di classe di %s\n", stampabile(cartella).c_str());
    return false;
  }
  return true;
}

void stampa_ignorati(const corpus& c) {
  if (c.ignorati == 0) return;
  std::printf("Voci ignorate nelle sottocartelle di classe: %d (nascoste, copie .clean, cartelle, file speciali)\n",
              c.ignorati);
}

lettura leggi_e_conta(const std::string& path, tabella_parole& tabella, impronta* grezzo, bool anche_flussi,
                      std::string* copia) {
  if (anche_flussi) {
    file_ptr testo = apri_file(path.c_str(), "rb");
    if (!testo) return lettura::non_aperta;
    return lettura_di(conta_testo(testo.get(), nullptr, tabella, BLOCCO_TESTO, grezzo, copia));
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return lettura::non_aperta;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, O_RDONLY) != 0) {
    close(fd);
    return lettura::non_regolare;
  }
  file_ptr testo(fdopen(fd, "rb"));
  if (!testo) {
    close(fd);
    if (errno == ENOMEM) throw std::bad_alloc();
    return lettura::non_aperta;
  }
  return lettura_di(conta_testo(testo.get(), nullptr, tabella, BLOCCO_TESTO, grezzo, copia));
}

bool elenca_testi(const char* cartella, std::vector<std::string>& testi) {
  std::error_code ec;
  fs::recursive_directory_iterator it(cartella, ec);  // links to folders are not entered: no loop
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string nome = it->path().filename().string();
    if (nome.starts_with(".")) {
      it.disable_recursion_pending();
      continue;
    }
    if (e_un_testo(*it)) testi.push_back(it->path().string());
  }
  if (ec) {
    std::printf("La cartella %s non si puo' leggere\n", stampabile(cartella).c_str());
    return false;
  }
  std::sort(testi.begin(), testi.end());
  return true;
}

void stampa_scarti(const std::vector<scarto>& scarti) {
  static const char* const MOTIVI[] = {"", "una parola di 30 o piu' caratteri", "non si puo' aprire",
                                       "errore di lettura", "non e' un file regolare"};
  int lunghe = 0;
  for (const scarto& s : scarti) {
    std::printf("File %s scartato: %s\n", stampabile(s.path).c_str(), MOTIVI[static_cast<int>(s.motivo)]);
    lunghe += s.motivo == lettura::troppo_lunga;
  }
  if (scarti.empty()) return;
  std::printf("File scartati: %zu (%d per una parola di 30 o piu' caratteri, %zu illeggibili)\n", scarti.size(),
              lunghe, scarti.size() - static_cast<size_t>(lunghe));
}
