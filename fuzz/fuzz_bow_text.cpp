// Cleaning a text and counting its words, on any bytes.
//
// Input: byte 0 picks the size of the blocks the text is cleaned and counted
// in (1 ... 97 bytes, or one whole block when 0), so the state carried
// between blocks is exercised too; the remaining bytes are the text. The
// cleaned bytes, the place where a too-long run stops the cleaning, and the
// words counted must be those of the plain byte-at-a-time rules and of "%s"
// reading the cleaned text. The word table is also given the raw text's
// words, which may hold NULs and run to any length. conta_byte, on the text
// held in memory, must count what conta_testo counts.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bow_lib.h"
#include "pulizia.h"
#include "bow_reference.h"
#include "fuzz_util.h"

namespace {

bool spazio(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The words of a text split at white space, each taken as the word table
// keeps it: up to its first NUL, at most 31 bytes.
std::map<std::string, int64_t> parole_piane(std::string_view testo) {
  std::map<std::string, int64_t> parole;
  for (size_t i = 0;;) {
    while (i < testo.size() && spazio(testo[i])) ++i;
    if (i == testo.size()) return parole;
    size_t fine = i;
    while (fine < testo.size() && !spazio(testo[fine])) ++fine;
    std::string_view w = testo.substr(i, fine - i);
    ++parole[std::string(w.substr(0, std::min(w.find('\0'), size_t{LUNGHEZZA_PAROLA - 1})))];
    i = fine;
  }
}

void confronta_parole(const tabella_parole& tabella, const std::map<std::string, int64_t>& attese, const char* fase) {
  const std::vector<voce_parola> voci = voci_ordinate(tabella);
  FZ_CHECK(voci.size() == attese.size(), "%s: %zu parole, attese %zu", fase, voci.size(), attese.size());
  auto it = attese.begin();
  for (const voce_parola& v : voci) {
    const size_t lunghezza = strnlen(v.parola, LUNGHEZZA_PAROLA);
    FZ_CHECK(lunghezza < LUNGHEZZA_PAROLA, "%s: parola senza terminatore", fase);
    FZ_CHECK(it->first == std::string(v.parola, lunghezza), "%s: parola '%s', attesa '%s'", fase, v.parola,
             it->first.c_str());
    FZ_CHECK(v.n == it->second, "%s: '%s' contata %lld volte, attese %lld", fase, v.parola,
             static_cast<long long>(v.n), static_cast<long long>(it->second));
    ++it;
  }
}

// The whole text through conta_testo, between two memory streams.
void confronta_conteggio(std::string_view testo, size_t blocco, const std::string& atteso, size_t fino) {
  file_ptr in = fz::memstream(reinterpret_cast<const uint8_t*>(testo.data()), testo.size());
  char* scritto = nullptr;
  size_t n = 0;
  file_ptr out(open_memstream(&scritto, &n));
  tabella_parole tabella;
  const esito_testo esito = conta_testo(in.get(), out.get(), tabella, blocco);
  out.reset();
  const std::string pulito(scritto, n);
  std::free(scritto);
  FZ_CHECK(!esito.errore_lettura && !esito.errore_scrittura, "errore %d %d", esito.errore_lettura,
           esito.errore_scrittura);
  FZ_CHECK(esito.troppo_lunga == (fino < testo.size()), "troppo_lunga %d, fermata a %zu", esito.troppo_lunga, fino);
  FZ_CHECK(esito.puliti == fino && pulito == atteso, "conta_testo: %zu byte puliti, attesi %zu",
           static_cast<size_t>(esito.puliti), fino);
  confronta_parole(tabella, parole_piane(atteso), "conta_testo");
}

}  // namespace

// Every property is checked on the one input in turn, in one function: the
// checks share what the input decoded to, and a finding's line names its check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view testo(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t blocco = data[0] == 0 ? std::max<size_t>(testo.size(), 1) : 1 + data[0] % 97;

  // The plain rules, as the tests spell them out byte by byte.
  bool troppo_lunga = false;
  const std::string atteso = ref::pulisci(std::string(testo), troppo_lunga);
  const size_t fino = atteso.size();

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

  confronta_conteggio(testo, data[0] == 0 ? BLOCCO_TESTO : blocco, atteso, fino);

  // The same text held in memory, as predici --testo counts a line.
  tabella_parole in_memoria;
  const esito_testo esito = conta_byte(testo, in_memoria);
  FZ_CHECK(esito.puliti == fino && esito.troppo_lunga == (fino < testo.size()) && !esito.errore_lettura,
           "conta_byte: %zu byte puliti, attesi %zu", static_cast<size_t>(esito.puliti), fino);
  confronta_parole(in_memoria, parole_piane(atteso), "conta_byte");

  tabella_parole grezze;
  const std::map<std::string, int64_t> attese = parole_piane(testo);
  for (size_t i = 0; i < testo.size();) {
    while (i < testo.size() && spazio(testo[i])) ++i;
    size_t fine = i;
    while (fine < testo.size() && !spazio(testo[fine])) ++fine;
    if (fine > i) conta_parola(grezze, testo.substr(i, fine - i));
    i = fine;
  }
  confronta_parole(grezze, attese, "grezzo");
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
  // Runs of 30 across the ends of blocks of 64 and 65 bytes, and longer texts.
  fz::scrivi_seme(dir, "gruppi", std::string(1, 63) + std::string(40, 'a') + " " + std::string(30, 'B') + " c");
  fz::scrivi_seme(dir, "lungo", std::string(1, 64) + std::string(100, 'x') + std::string(200, ' ') + "fine");
  std::string frase;
  for (int i = 0; i < 60; ++i) frase += "Una frase, ripetuta: parole " + std::to_string(i) + "\n";
  fz::scrivi_seme(dir, "frasi", std::string(1, 10) + frase);
}
