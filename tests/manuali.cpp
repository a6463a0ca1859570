// The manual pages as a reader meets them: each renders without a warning
// and without two words glued by a font change, and names every option its
// program's own usage text lists, so an option added to a program without its
// entry in the page fails here.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "run_util.h"

namespace {

struct pagina {
  const char* nome;
  const char* programma;
  // The command lines whose output lists the program's options: its --help,
  // or each action's for velmora_bow (typed alone it lists only two actions).
  std::vector<std::vector<std::string>> aiuti;
};

const std::vector<pagina> PAGINE = {
    {"velmora_bow", VELMORA_BOW_BIN,
     {{"aggiungi", "--help"}, {"classifica", "--help"}, {"addestra", "--help"}, {"valuta", "--help"}, {"mostra", "--help"},
      {"spiega", "--help"}, {"predici", "--help"}, {"convalida", "--help"}}},
    {"velmora_pms", VELMORA_PMS_BIN, {}},  // no options
    {"velmora_bpms", VELMORA_BPMS_BIN, {}},
    {"velmora_apms", VELMORA_APMS_BIN, {{"--help"}}},
    {"velmora_gpms", VELMORA_GPMS_BIN, {{"--help"}}},
    {"velmora_idx", VELMORA_IDX_BIN, {{"--help"}}},
};

// A program on the PATH, or an empty string.
std::string nel_path(const std::string& nome) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string cartella; std::getline(path, cartella, ':');)
    if (!cartella.empty() && access((cartella + "/" + nome).c_str(), X_OK) == 0) return cartella + "/" + nome;
  return "";
}

// The page's source as it reads: troff's hyphens plain, font changes gone.
std::string testo(const std::string& sorgente) {
  std::string t = std::regex_replace(sorgente, std::regex(R"(\\-)"), "-");
  return std::regex_replace(t, std::regex(R"(\\f[BIRP])"), "");
}

// Whether the text holds the option as a whole word ("--da", not "--data").
bool nomina(const std::string& t, const std::string& opzione) {
  return std::regex_search(t, std::regex("(^|[^a-z0-9-])" + opzione + "($|[^a-z0-9-])"));
}

// The lines where a font-alternating macro (.BR, .IR, .BI, ...) glues two
// words: its arguments are set without a space between them, so
// `.BR \-\-ripresa , or memory` reads "--ripresa,ormemory". groff does not
// warn about it.
std::vector<std::string> parole_incollate(const std::string& sorgente) {
  std::vector<std::string> righe;
  const std::regex macro(R"(^\.(BR|RB|IR|RI|BI|IB)\s+(.*)$)"), argomento(R"("[^"]*"|\S+)");
  std::istringstream in(sorgente);
  for (std::string riga; std::getline(in, riga);) {
    std::smatch m;
    if (!std::regex_match(riga, m, macro)) continue;
    const std::string resto = m[2];
    std::string prima;
    for (std::sregex_iterator i(resto.begin(), resto.end(), argomento), fine; i != fine; ++i) {
      std::string a = i->str();
      if (a.size() >= 2 && a.front() == '"') a = a.substr(1, a.size() - 2);
      if (!prima.empty() && !a.empty() && std::isalnum(static_cast<unsigned char>(prima.back())) &&
          std::isalnum(static_cast<unsigned char>(a.front())))
        righe.push_back(riga);
      prima = a;
    }
  }
  return righe;
}

TEST(Manuali, OgniPaginaSiLeggeENominaOgniOpzione) {
  const std::string groff = nel_path("groff");
  if (groff.empty()) GTEST_SKIP() << "groff is not installed (Debian: groff-base)";
  for (const pagina& p : PAGINE) {
    SCOPED_TRACE(p.nome);
    const std::string file = std::string(VELMORA_MAN_DIR) + "/" + p.nome + ".1";
    const vt::RunResult resa = vt::run(groff, {"-man", "-Tutf8", "-ww", "-z", file});
    EXPECT_EQ(resa.status, 0);
    EXPECT_EQ(resa.err, "") << "groff's warnings";

    EXPECT_EQ(parole_incollate(vt::read_file(file)), std::vector<std::string>{}) << "words set without a space";

    const std::string pagina_letta = testo(vt::read_file(file));
    std::set<std::string> opzioni;
    for (const auto& aiuto : p.aiuti) {
      const vt::RunResult r = vt::run(p.programma, aiuto);
      EXPECT_EQ(r.status, 0) << aiuto[0];
      if (aiuto[0][0] != '-') {
        EXPECT_TRUE(nomina(pagina_letta, aiuto[0])) << "the page does not name " << aiuto[0];
      }
      const std::regex opzione("--[a-z][a-z0-9-]*");
      for (std::sregex_iterator i(r.out.begin(), r.out.end(), opzione), fine; i != fine; ++i) opzioni.insert(i->str());
    }
    if (!p.aiuti.empty()) {
      EXPECT_FALSE(opzioni.empty()) << "no option found in the usage text";
    }
    for (const std::string& o : opzioni) EXPECT_TRUE(nomina(pagina_letta, o)) << "the page does not name " << o;
  }
}

}  // namespace
