// The CSV row reader and its scanf rules.
#include <gtest/gtest.h>

#include <numeric>

#include "rete_util.h"

namespace {

// A rows file holding text, read into destinations that start at -7.
struct Righe {
  file_ptr f{std::tmpfile()};
  std::vector<int32_t> px = std::vector<int32_t>(N_AFFERENTI, -7);
  int32_t etichetta = -7;
  explicit Righe(const std::string& testo) {
    std::fputs(testo.c_str(), f.get());
    std::rewind(f.get());
  }
  // Reads one row: "total label: pixels 0 1 2 500 783".
  std::string leggi() {
    const int totale = get_image(px.data(), etichetta, f.get());
    char s[96];
    std::snprintf(s, sizeof s, "%d %d: %d %d %d %d %d", totale, etichetta, px[0], px[1], px[2], px[500], px[783]);
    return s;
  }
  int prossimo() { return std::fgetc(f.get()); }
};

std::vector<int> da(int primo, int n = N_AFFERENTI) {
  std::vector<int> v(n);
  std::iota(v.begin(), v.end(), primo);
  return v;
}

}  // namespace

TEST(LibReader, CompleteRowsBlanksAfterCommasAndEndOfFile) {
  Righe r(vt::riga(7, vt::immagine()) + vt::riga(3, da(0), ", \t\n ") + "\n\n");
  EXPECT_EQ(r.leggi(), "785 7: 0 0 0 0 0");
  EXPECT_EQ(r.leggi(), "785 3: 0 1 2 500 783");
  EXPECT_EQ(r.leggi(), "-785 3: 0 1 2 500 783");  // blank lines skipped, then end of file
  EXPECT_EQ(Righe("9,4,5").leggi(), "-779 9: 4 5 -7 -7 -7");  // 3 reads, then 782 at end of file
}

TEST(LibReader, ShortRowsAndRowsTooLongFallBackInStep) {
  Righe r(vt::riga(1, da(1000)) + vt::riga(2, da(0, 500)) + vt::riga(3, da(0, 785)) + vt::riga(4, da(10)));
  EXPECT_EQ(r.leggi(), "785 1: 1000 1001 1002 1500 1783");
  EXPECT_EQ(r.leggi(), "501 2: 0 1 2 1500 1783");  // stops at the line break
  EXPECT_EQ(r.leggi(), "785 3: 0 1 2 500 783");
  EXPECT_EQ(r.leggi(), "1 3: 784 1 2 500 783");  // label fails at the comma, pixel 0 takes the extra value
  EXPECT_EQ(r.leggi(), "785 4: 10 11 12 510 793");
}

TEST(LibReader, FailedReadsKeepTheirDestination) {
  Righe prima("5,1,2 ,3,4\n");  // a blank before a comma stops the row and stays unread
  EXPECT_EQ(prima.leggi(), "3 5: 1 2 -7 -7 -7");
  EXPECT_EQ(prima.prossimo(), ' ');

  Righe segno("6,1, -,3, -x\n");  // a failing ",%d" has consumed the comma, the blanks and the sign
  EXPECT_EQ(segno.leggi(), "3 6: 1 -7 3 -7 -7");
  EXPECT_EQ(segno.prossimo(), 'x');
}

TEST(LibReader, BlockingCharacterStopsEveryLaterRead) {
  Righe header("label,pixel0,pixel1\n" + vt::riga(1, vt::immagine()));
  EXPECT_EQ(header.leggi(), "0 -7: -7 -7 -7 -7 -7");
  EXPECT_EQ(header.leggi(), "0 -7: -7 -7 -7 -7 -7");

  Righe r("8,1.5,2\n" + vt::riga(1, vt::immagine()));
  EXPECT_EQ(r.leggi(), "2 8: 1 -7 -7 -7 -7");
  EXPECT_EQ(r.leggi(), "0 8: 1 -7 -7 -7 -7");
  EXPECT_EQ(r.prossimo(), '.');
}
