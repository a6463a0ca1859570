// The corpus walk: which files are texts of which class, in a fixed order, so
// that training and evaluation are reproducible from run to run.
#include "corpus.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "file.h"
#include "nomi.h"
#include "pulizia.h"
#include "uscita.h"

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
    std::vector<std::string> testi;
    std::string illeggibile;
    if (!cammina_testi(sotto, testi, c.ignorati, illeggibile)) {
      std::printf("La cartella %s non si puo' leggere\n", stampabile(illeggibile).c_str());
      return false;
    }
    const size_t nome = sotto.size() - std::to_string(k).size();  // where "K/..." starts
    for (std::string& t : testi) c.file.push_back({std::move(t), k, nome});
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
  file_ptr testo = apri_file_regolare(path.c_str());
  if (!testo) return errno == EISDIR || errno == EINVAL ? lettura::non_regolare : lettura::non_aperta;
  return lettura_di(conta_testo(testo.get(), nullptr, tabella, BLOCCO_TESTO, grezzo, copia));
}

bool cammina_testi(const std::string& cartella, std::vector<std::string>& testi, int& ignorati,
                   std::string& illeggibile) {
  // One folder open at a time; the folders still to read wait on a stack.
  std::vector<fs::path> da_leggere{fs::path(cartella)};
  const size_t primo = testi.size();
  while (!da_leggere.empty()) {
    const fs::path qui = std::move(da_leggere.back());
    da_leggere.pop_back();
    std::error_code ec;
    fs::directory_iterator it(qui, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      std::error_code tipo;
      // A link to a folder is not entered: no loop, and no text reached twice.
      if (!it->path().filename().string().starts_with(".") && it->is_directory(tipo) && !it->is_symlink(tipo)) {
        da_leggere.push_back(it->path());
      } else if (e_un_testo(*it)) {
        testi.push_back(it->path().string());
      } else {
        ++ignorati;
      }
    }
    if (ec) {
      illeggibile = qui.string();
      return false;
    }
  }
  std::sort(testi.begin() + static_cast<std::ptrdiff_t>(primo), testi.end());
  return true;
}

bool elenca_testi(const char* cartella, std::vector<std::string>& testi) {
  int ignorati = 0;
  std::string illeggibile;
  if (!cammina_testi(cartella, testi, ignorati, illeggibile)) {
    std::fprintf(messaggi(), "La cartella %s non si puo' leggere\n", stampabile(illeggibile).c_str());
    return false;
  }
  return true;
}

const char* motivo_scarto(lettura l) {
  static const char* const MOTIVI[] = {"", "una parola di 30 o piu' caratteri", "non si puo' aprire",
                                       "errore di lettura", "non e' un file regolare"};
  return MOTIVI[static_cast<int>(l)];
}

void stampa_scarti(const std::vector<scarto>& scarti) {
  int lunghe = 0;
  for (const scarto& s : scarti) {
    std::printf("File %s scartato: %s\n", stampabile(s.path).c_str(), motivo_scarto(s.motivo));
    lunghe += s.motivo == lettura::troppo_lunga;
  }
  if (scarti.empty()) return;
  std::printf("File scartati: %zu (%d per una parola di 30 o piu' caratteri, %zu illeggibili)\n", scarti.size(),
              lunghe, scarti.size() - static_cast<size_t>(lunghe));
}
