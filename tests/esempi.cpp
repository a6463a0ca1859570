// Every example of the README, docs/*.md and the manual pages, run against
// the real programs: a block that shows `$ COMMAND` lines, each followed by
// its output, is found wherever it stands, and must carry a marker saying how
// it runs (docs/sviluppo.md, "Examples"):
//   <!-- esempio: NOME -->              (markdown, the line before the fence)
//   .\" esempio: NOME                    (troff, a line before the .nf)
// NOME is a folder prepared below; the commands run there in order, each must
// succeed, and its output (standard output and standard error, as a terminal
// shows them) must be the lines shown, `...` standing for any lines.
// "NOME, solo esito": the output shown comes from the demo's data; the
// commands run on the small folder and must only succeed.
// "illustrativo, MOTIVO": not run (a data set the machine lacks, a Ctrl-C).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "rete_util.h"
#include "run_util.h"

namespace {

namespace fs = std::filesystem;

struct comando {
  std::string riga;                 // without the "$ "
  std::vector<std::string> uscita;  // the lines shown after it
};

struct esempio {
  std::string dove;    // file:line of the block
  std::string marca;   // what the marker says, empty when there is none
  std::vector<comando> comandi;
};

std::vector<std::string> righe(const std::string& testo) {
  std::vector<std::string> r;
  std::istringstream in(testo);
  for (std::string l; std::getline(in, l);) r.push_back(l);
  return r;
}

// A manual page's block as a reader sees it.
std::string senza_troff(std::string l) {
  for (const auto& [da, a] : std::vector<std::pair<std::string, std::string>>{
           {R"(\&)", ""}, {R"(\-)", "-"}, {R"(\(aq)", "'"}, {R"(\(ga)", "`"}, {R"(\e)", "\\"}}) {
    for (size_t p = 0; (p = l.find(da, p)) != std::string::npos; p += a.size()) l.replace(p, da.size(), a);
  }
  return l;
}

// The examples of one file, each with the nearest marker above it (a marker
// serves one block; one left without a block is reported as an example
// without commands).
std::vector<esempio> esempi_di(const fs::path& file) {
  const bool troff = file.extension() == ".1";
  const std::regex marca(troff ? R"(^\.\\" esempio: (.*)$)" : R"(^<!-- esempio: (.*) -->$)");
  const std::vector<std::string> testo = righe(vt::read_file(file.string()));
  std::vector<esempio> esempi;
  std::string in_attesa;
  size_t riga_marca = 0;
  for (size_t i = 0; i < testo.size(); ++i) {
    std::smatch m;
    if (std::regex_match(testo[i], m, marca)) {
      if (!in_attesa.empty()) esempi.push_back({file.filename().string() + ":" + std::to_string(riga_marca), in_attesa, {}});
      in_attesa = m[1];
      riga_marca = i + 1;
      continue;
    }
    const bool apre = troff ? testo[i] == ".nf" : testo[i].starts_with("```");
    if (!apre) continue;
    esempio e{file.filename().string() + ":" + std::to_string(i + 1), "", {}};
    for (++i; i < testo.size() && !(troff ? testo[i] == ".fi" : testo[i].starts_with("```")); ++i) {
      std::string l = troff ? senza_troff(testo[i]) : testo[i];
      if (l.starts_with("$ ")) {
        e.comandi.push_back({l.substr(2), {}});
        while (e.comandi.back().riga.ends_with("\\") && i + 1 < testo.size()) {  // continued on the next line
          e.comandi.back().riga.back() = ' ';
          e.comandi.back().riga += troff ? senza_troff(testo[++i]) : testo[++i];
        }
      } else if (!e.comandi.empty()) {
        e.comandi.back().uscita.push_back(l);
      }
    }
    if (e.comandi.empty()) continue;  // a synopsis or a listing, not an example
    e.marca = in_attesa;
    in_attesa.clear();
    esempi.push_back(e);
  }
  if (!in_attesa.empty()) esempi.push_back({file.filename().string() + ":" + std::to_string(riga_marca), in_attesa, {}});
  return esempi;
}

// Whether the output is the lines shown, a shown `...` standing for any
// number of lines.
bool combacia(const std::vector<std::string>& mostrate, const std::vector<std::string>& uscita) {
  // fino[j]: the shown lines so far can stand for the first j lines of the output.
  std::vector<bool> fino(uscita.size() + 1, false);
  fino[0] = true;
  for (const std::string& m : mostrate) {
    std::vector<bool> dopo(uscita.size() + 1, false);
    for (size_t j = 0; j <= uscita.size(); ++j) {
      if (m == "...") dopo[j] = fino[j] || (j > 0 && dopo[j - 1]);
      else dopo[j] = j > 0 && fino[j - 1] && uscita[j - 1] == m;
    }
    fino = dopo;
  }
  return fino[uscita.size()];
}

// The folders the examples run in, made once: each example gets its own copy.
void scrivi(const fs::path& p, const std::string& testo) {
  fs::create_directories(p.parent_path());
  vt::write_file(p.string(), testo);
}

// A corpus laid out as the demo's fortunes: addestramento/K/ and verifica/K/,
// each class with its own words, and Bow.txt and Bow.lineare trained on it.
void fortune(const fs::path& d) {
  const char* nomi[10] = {"zero", "uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove"};
  for (int k = 0; k < 10; ++k) {
    const std::string w = nomi[k];
    for (const char* f : {"0001", "0002", "0003"})
      scrivi(d / "addestramento" / std::to_string(k) / f, "il " + w + " e " + w + "a " + w + "b\n");
    for (const char* f : {"0005", "0010", "0020", "0080"}) scrivi(d / "verifica" / std::to_string(k) / f, "il " + w + " " + w + "a\n");
  }
  vt::RunOptions o;
  o.cwd = d.string();
  const auto r = vt::run(VELMORA_BOW_BIN, {"addestra", "addestramento", "--lineare"}, o);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
}

void cifre(const fs::path& d) {
  scrivi(d / "train.csv", vt::righe_blocchi(60, 1));
  scrivi(d / "test.csv", vt::righe_blocchi(30, 2));
  vt::RunOptions o;
  o.cwd = d.string();
  const auto r = vt::run(VELMORA_APMS_BIN, {"train.csv", "connessioni_intercalari.w", "connessioni_efferenti.w", "3"}, o);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
}

struct preparato {
  std::string nome;
  void (*prepara)(const fs::path&);
};

const std::vector<preparato> PREPARATI = {
    // The README's three short texts, in an empty folder otherwise.
    {"testi",
     [](const fs::path& d) {
       scrivi(d / "gatti.txt", "Il gatto dorme sul divano; il gatto mangia.\n");
       scrivi(d / "cani.txt", "Il cane corre nel parco e il cane abbaia.\n");
       scrivi(d / "domanda.txt", "Un gatto che dorme.\n");
     }},
    {"fortune", fortune},
    {"cifre", cifre},
};

TEST(Esempi, OgniEsempioDeiDocumentiGiraComeMostrato) {
  vt::TempDir base;
  fs::create_directories(base.path / "bin");
  for (const char* p : {VELMORA_BOW_BIN, VELMORA_PMS_BIN, VELMORA_BPMS_BIN, VELMORA_APMS_BIN, VELMORA_GPMS_BIN,
                        VELMORA_IDX_BIN})
    fs::create_symlink(p, base.path / "bin" / fs::path(p).filename());
  for (const preparato& p : PREPARATI) {
    fs::create_directories(base.path / "preparati" / p.nome);
    p.prepara(base.path / "preparati" / p.nome);
  }
  const std::string path = "PATH=" + (base.path / "bin").string() + ":/usr/bin:/bin";

  std::vector<fs::path> documenti = {fs::path(VELMORA_FONTI) / "README.md"};
  for (const char* cartella : {"docs", "man"})
    for (const auto& e : fs::directory_iterator(fs::path(VELMORA_FONTI) / cartella))
      if (e.path().extension() == ".md" || e.path().extension() == ".1") documenti.push_back(e.path());

  int eseguiti = 0;
  for (const fs::path& doc : documenti) {
    for (const esempio& e : esempi_di(doc)) {
      SCOPED_TRACE(e.dove);
      const bool illustrativo = e.marca.starts_with("illustrativo, ");
      const bool solo_esito = e.marca.ends_with(", solo esito");
      const std::string nome = solo_esito ? e.marca.substr(0, e.marca.size() - 12) : e.marca;
      if (e.comandi.empty()) {
        ADD_FAILURE() << "a marker without an example below it";
        continue;
      }
      if (illustrativo) continue;
      if (std::none_of(PREPARATI.begin(), PREPARATI.end(), [&](const preparato& p) { return p.nome == nome; })) {
        ADD_FAILURE() << "the example needs a marker: <!-- esempio: NOME -->, NOME one of the folders of "
                         "tests/esempi.cpp, or <!-- esempio: illustrativo, MOTIVO --> (found: \"" << e.marca << "\")";
        continue;
      }
      vt::TempDir d;
      fs::copy(base.path / "preparati" / nome, d.path, fs::copy_options::recursive);
      for (const comando& c : e.comandi) {
        // As in a shell: SIGPIPE ends a writer whose reader has gone; a
        // pipeline fails when any of its commands does.
        const auto r = vt::run("/usr/bin/env", {"--default-signal=PIPE", path, "LC_ALL=C", "bash", "-o", "pipefail", "-c",
                                                "exec 2>&1; " + c.riga},
                               vt::in_dir(d));
        EXPECT_TRUE(r.status == 0 || r.status == 141) << "$ " << c.riga << "\nstatus " << r.status << "\n" << r.out;
        if (!solo_esito) {
          std::string mostrate;
          for (const std::string& l : c.uscita) mostrate += l + "\n";
          EXPECT_TRUE(combacia(c.uscita, righe(r.out))) << "$ " << c.riga << "\nshown:\n" << mostrate << "printed:\n" << r.out;
        }
      }
      ++eseguiti;
    }
  }
  EXPECT_GE(eseguiti, 10) << "the examples were not found";
}

TEST(Esempi, TrePuntiStannoPerQualsiasiNumeroDiRighe) {
  const std::vector<std::string> uscita = {"a", "b", "c", "d"};
  const std::vector<std::pair<std::vector<std::string>, bool>> casi = {
      {{"a", "b", "c", "d"}, true}, {{"a", "...", "d"}, true}, {{"...", "d"}, true},  {{"a", "..."}, true},
      {{"...", "b", "...", "..."}, true}, {{"a", "b", "c"}, false}, {{"a", "...", "c"}, false}, {{"b", "..."}, false},
      {{}, false},
  };
  for (const auto& [mostrate, atteso] : casi) EXPECT_EQ(combacia(mostrate, uscita), atteso) << ::testing::PrintToString(mostrate);
  EXPECT_TRUE(combacia({}, {}));
}

}  // namespace
