// The demo's word-bag step: tools/demo_bow.py lays ten small fortune files
// out as a labelled corpus, and the real velmora_bow learns and evaluates it.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run_util.h"

namespace {

const char* const FILE_FORTUNE[] = {"computer", "definizioni", "formiche", "itatrek", "leggi",
                                    "luke", "luttazzi", "norm", "paolotedeschi", "zuse"};
const char* const PAROLE[] = {"alfa", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"};

}  // namespace

TEST(ToolsDemoBow, HoldsOutEveryFifthFortuneAndVelmoraBowLearnsTheRest) {
  vt::TempDir d;
  std::filesystem::create_directories(d.path / "it");
  for (int k = 0; k < 10; ++k) {
    std::string testo;
    for (int f = 0; f < 5; ++f) {
      if (f) testo += "%\n";
      testo += std::string(PAROLE[k]) + " e " + PAROLE[k] + ", poi tutti\ninsieme " + PAROLE[k] + "\n";
    }
    // A sixth fortune with a 30-letter word: velmora_bow skips it.
    if (k == 3) testo += "%\n" + std::string(30, 'z') + " fine\n";
    vt::write_file(d / ("it/" + std::string(FILE_FORTUNE[k])), testo);
  }
  // A file left by an earlier run is gone after the next one.
  std::filesystem::create_directories(d.path / "lavoro/verifica/3");
  vt::write_file(d / "lavoro/verifica/3/vecchio", "delta");
  auto r = vt::run(PYTHON3_EXE, {DEMO_BOW, d / "it", d / "lavoro"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (int k = 0; k < 10; ++k)
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n +" + std::to_string(k) + "  " + FILE_FORTUNE[k] +
                                                    " +" + (k == 3 ? "5" : "4") + " +1\n")))
        << k << "\n" << r.out;
  EXPECT_EQ(vt::elenco(d / "lavoro/verifica/3"), (std::vector<std::string>{"0005"}));
  EXPECT_EQ(vt::elenco(d / "lavoro/addestramento/3"),
            (std::vector<std::string>{"0001", "0002", "0003", "0004", "0006"}));
  EXPECT_EQ(vt::read_file(d / "lavoro/verifica/9/0005"), "juliet e juliet, poi tutti\ninsieme juliet\n");

  vt::RunOptions lavoro;
  lavoro.cwd = d / "lavoro";
  r = vt::run(VELMORA_BOW_BIN, {"addestra", "addestramento"}, lavoro);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nTesti aggiunti: 40 di 41\nFile addestramento/3/0006 scartato"), std::string::npos) << r.out;
  r = vt::run(VELMORA_BOW_BIN, {"valuta", "verifica"}, lavoro);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.ends_with("\nCorretti 10 di 10\n")) << r.out;
}
