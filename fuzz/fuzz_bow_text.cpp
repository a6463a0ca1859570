// Cleaning a text and reading its words, on any bytes.
//
// Input: byte 0 picks the size of the blocks the text is cleaned in (1 ... 97
// bytes, or the whole text at once when 0), so the state carried between
// blocks is exercised too; the remaining bytes are the text. The cleaned
// bytes, the place where a too-long run stops the cleaning, and the words
// read back must be those of the plain byte-at-a-time rules. The word reader
// is also given the raw text, which may hold NULs and runs of any length.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bow_lib.h"
#include "fuzz_util.h"

namespace {

// The plain rules: lower-case A-Z, blank every byte at or below 0x40 read as
// signed (so every byte from 0x80 up too), and stop at the byte that follows
// a run of LUNGHEZZA_MAX word characters. Returns the bytes cleaned.
size_t pulisci_piano(std::string_view testo, std::string& pulito) {
  int run = 0;
  for (size_t i = 0; i < testo.size(); ++i) {
    if (run >= LUNGHEZZA_MAX) return i;
    unsigned char c = static_cast<unsigned char>(testo[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    if (static_cast<signed char>(c) <= 0x40) {
      pulito += ' ';
      run = 0;
    } else {
      pulito += static_cast<char>(c);
      ++run;
    }
  }
  return testo.size();
}

bool spazio(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Words as "%s" reads them; false at the first word that is too long or holds
// a NUL, with the words before it.
bool parole_piane(std::string_view testo, std::vector<std::string_view>& parole) {
  size_t i = 0;
  for (;;) {
    while (i < testo.size() && spazio(testo[i])) ++i;
    if (i == testo.size()) return true;
    size_t fine = i;
    while (fine < testo.size() && !spazio(testo[fine])) ++fine;
    std::string_view w = testo.substr(i, fine - i);
    if (w.size() > LUNGHEZZA_MAX || w.find('\0') != std::string_view::npos) return false;
    parole.push_back(w);
    i = fine;
  }
}

void confronta_parole(std::string_view testo, const char* fase) {
  std::vector<std::string_view> attese, lette;
  const bool atteso = parole_piane(testo, attese);
  const bool esito = dividi_parole(testo, lette);
  FZ_CHECK(esito == atteso, "%s: esito %d, atteso %d", fase, esito, atteso);
  FZ_CHECK(lette == attese, "%s: %zu parole, attese %zu", fase, lette.size(), attese.size());
  for (std::string_view w : lette)
    FZ_CHECK(w.data() >= testo.data() && w.data() + w.size() <= testo.data() + testo.size(),
             "%s: parola fuori dal testo", fase);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view testo(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t blocco = data[0] == 0 ? std::max<size_t>(testo.size(), 1) : 1 + data[0] % 97;

  std::string atteso;
  const size_t fino = pulisci_piano(testo, atteso);

  // Each block is cleaned into a buffer of exactly its size, so the
  // sanitizer sees any write past it: one buffer for the whole blocks, one
  // for the last, shorter block.
  std::string pulito;
  stato_pulizia stato;
  std::unique_ptr<char[]> pieno(new char[blocco]);
  std::unique_ptr<char[]> coda;
  size_t fatti = 0;
  while (fatti < testo.size()) {
    const size_t n = std::min(blocco, testo.size() - fatti);
    char* out = pieno.get();
    if (n < blocco) {
      coda.reset(new char[n]);
      out = coda.get();
    }
    const size_t puliti = pulisci_testo(stato, testo.data() + fatti, n, out);
    FZ_CHECK(puliti <= n, "puliti %zu di %zu", puliti, n);
    pulito.append(out, puliti);
    fatti += puliti;
    if (puliti < n) break;
  }
  FZ_CHECK(fatti == fino, "pulizia fermata a %zu, attesa a %zu", fatti, fino);
  FZ_CHECK(pulito == atteso, "testo pulito diverso");

  confronta_parole(pulito, "pulito");
  confronta_parole(testo, "grezzo");
  return 0;
}

void scrivi_semi(const std::string& dir) {
  const std::string intero(1, '\0');
  fz::scrivi_seme(dir, "ciao", intero + "Ciao, Mondo!");
  fz::scrivi_seme(dir, "utf8", std::string(1, 7) + "citt\xC3\xA0 perch\xC3\xA9 \x80\xFF");
  fz::scrivi_seme(dir, "ventinove", intero + std::string(29, 'a') + "\n" + std::string(30, 'B'));
  fz::scrivi_seme(dir, "trenta", std::string(1, 5) + std::string(30, 'z') + "x");
  fz::scrivi_seme(dir, "simboli", std::string(1, 1) + "[\\]^_`{|}~\x7F @AZaz09\t\v\f\r");
  fz::scrivi_seme(dir, "nul", intero + std::string("ab\0cd", 5) + std::string(31, 'q'));
}
