// velmora_bpms as shipped against its build on the straightforward forms:
// on the same files both must write the same bytes and exit alike.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lib.h"
#include "run_util.h"

namespace {

std::string riga(std::mt19937& gen, const char* dopo_virgola = "") {
  std::string r = std::to_string(gen() % 10);
  for (int i = 0; i < N_AFFERENTI; ++i) {
    r += ',';
    r += dopo_virgola;
    r += gen() % 4 ? "0" : std::to_string(gen() % 256);
  }
  return r;
}

std::string righe(std::mt19937& gen, int quante, const char* fine_riga = "\n") {
  std::string s;
  for (int i = 0; i < quante; ++i) {
    s += riga(gen);
    s += fine_riga;
  }
  return s;
}

std::string pesi(std::mt19937& gen, long quanti, double scala, bool strani = false) {
  std::normal_distribution<double> normale(0.0, scala);
  std::vector<double> w(static_cast<size_t>(quanti));
  for (double& v : w) v = normale(gen);
  if (strani)
    for (int k = 0; k < 20; ++k) w[gen() % w.size()] = k % 2 ? std::bit_cast<double>(0x7FF8000000000000ull) : 1e308;
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(double));
}

// Runs both programs on the same three files in a scratch directory.
void stessa_uscita(const std::string& csv, const std::string& intercalari, const std::string& efferenti,
                   const std::string& caso, const char* percorso_righe = "righe.csv") {
  vt::TempDir dir;
  vt::write_file(dir / "righe.csv", csv);
  vt::write_file(dir / "h.w", intercalari);
  vt::write_file(dir / "o.w", efferenti);
  vt::RunOptions opt;
  opt.cwd = dir.path.string();
  opt.input = csv;  // for /dev/stdin
  const auto attesa = vt::run(VELMORA_BPMS_RIFERIMENTO_BIN, {percorso_righe, "h.w", "o.w"}, opt);
  const auto ottenuta = vt::run(VELMORA_BPMS_BIN, {percorso_righe, "h.w", "o.w"}, opt);
  EXPECT_EQ(attesa.status, ottenuta.status) << caso;
  EXPECT_EQ(attesa.out, ottenuta.out) << caso;
  EXPECT_EQ("", ottenuta.err) << caso;
}

}  // namespace

TEST(BpmsTwin, SameOutputOnSeededRowsAndWeights) {
  std::mt19937 gen(31);
  for (int caso = 0; caso < 4; ++caso)
    stessa_uscita(righe(gen, 40 + caso * 60, caso % 2 ? "\r\n" : "\n"),
                  pesi(gen, VALORI_INTERCALARI, 0.05, caso == 3), pesi(gen, VALORI_EFFERENTI, 0.3, caso == 3),
                  "seeded case " + std::to_string(caso));
}

TEST(BpmsTwin, SameOutputOnIrregularAndBrokenFiles) {
  std::mt19937 gen(32);
  const std::string h = pesi(gen, VALORI_INTERCALARI, 0.05), o = pesi(gen, VALORI_EFFERENTI, 0.3);
  const std::string buone = righe(gen, 30);
  std::vector<std::string> casi = {
      "",                                                  // no row at all
      buone.substr(0, buone.size() - 1),                   // no final newline
      riga(gen, " ").append("\n").append(riga(gen, "\t")),  // blanks after the commas
      std::string("etichetta,pixel\n").append(buone),     // a header line
      buone.substr(0, buone.size() / 2),                   // end of file mid-row
  };
  for (const char* inserto : {"-3", "+", " ", "x", "99999999999", "4294967296", ",7", "\n"}) {
    std::string s = buone;
    s.insert(gen() % s.size(), inserto);
    casi.push_back(s);
  }
  for (size_t k = 0; k < casi.size(); ++k) stessa_uscita(casi[k], h, o, "file " + std::to_string(k));
}

TEST(BpmsTwin, SameOutputFromAPipe) {
  std::mt19937 gen(33);
  stessa_uscita(righe(gen, 20), pesi(gen, VALORI_INTERCALARI, 0.05), pesi(gen, VALORI_EFFERENTI, 0.3), "stdin",
                "/dev/stdin");
}
