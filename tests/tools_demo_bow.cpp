// The demo's fortune classifier driver, run with python3 and the real
// velmora_bow on ten small fortune files written here.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "run_util.h"

namespace {

const char* const FILE_FORTUNE[] = {"computer", "definizioni", "formiche", "itatrek", "leggi",
                                    "luke", "luttazzi", "norm", "paolotedeschi", "zuse"};
const char* const PAROLE[] = {"alfa", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"};

}  // namespace

TEST(ToolsDemoBow, HoldsOutEveryFifthFortuneSkipsOverlongWordsAndScoresEachClass) {
  vt::TempDir d;
  std::filesystem::create_directories(d.path / "it");
  for (int k = 0; k < 10; ++k) {
    std::string testo;
    for (int f = 0; f < 5; ++f) {
      if (f) testo += "%\n";
      testo += std::string(PAROLE[k]) + " e " + PAROLE[k] + ", poi tutti\ninsieme " + PAROLE[k] + "\n";
    }
    // A fortune with a 30-letter word would stop velmora_bow: it is skipped.
    if (k == 3) testo += "%\n" + std::string(30, 'z') + " fine\n";
    vt::write_file(d / ("it/" + std::string(FILE_FORTUNE[k])), testo);
  }
  auto r = vt::run(PYTHON3_EXE, {DEMO_BOW, VELMORA_BOW_BIN, d / "it", d / "lavoro"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  for (int k = 0; k < 10; ++k)
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n +" + std::to_string(k) + "  " + FILE_FORTUNE[k] +
                                                    " +4 +1 +1 +100\\.0%\n")))
        << k << "\n" << r.out;
  EXPECT_NE(r.out.find("\nFortune classificate bene: 10 di 10 (100.0%)\n"), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("o piu' lettere: 1\n")) << r.out;
}
