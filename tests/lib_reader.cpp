// The CSV row reader and its scanf rules.
#include <gtest/gtest.h>

#include <numeric>

#include "rete_util.h"

namespace {

// A rows file holding text, read one row at a time into destinations that
// start at a recognisable value.
struct Righe {
  file_ptr f{std::tmpfile()};
  std::vector<int32_t> px = std::vector<int32_t>(N_AFFERENTI, -7);
  int32_t etichetta = -7;
  explicit Righe(const std::string& testo) {
    std::fputs(testo.c_str(), f.get());
    std::rewind(f.get());
  }
  int leggi() { return get_image(px.data(), etichetta, f.get()); }
  int prossimo() { return std::fgetc(f.get()); }
};

std::vector<int> crescenti(int n, int da = 0) {
  std::vector<int> v(n);
  std::iota(v.begin(), v.end(), da);
  return v;
}

}  // namespace

TEST(Reader, CompleteRowsAndEndOfFile) {
  Righe r(vt::riga(7, vt::immagine()) + vt::riga(3, crescenti(784)) + "\n\n");
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.etichetta, 7);
  EXPECT_EQ(r.px, std::vector<int32_t>(784, 0));
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.etichetta, 3);
  EXPECT_EQ(r.px[783], 783);
  EXPECT_EQ(r.leggi(), -785);  // the trailing blank lines are skipped, then end of file
  EXPECT_EQ(r.etichetta, 3);
}

TEST(Reader, BlanksAfterCommasButNotBefore) {
  Righe ok(vt::riga(4, crescenti(784), ", \t\n "));
  EXPECT_EQ(ok.leggi(), 785);
  EXPECT_EQ(ok.px[783], 783);

  Righe r("5,1,2 ,3,4\n");
  EXPECT_EQ(r.leggi(), 3);
  EXPECT_EQ(r.px[1], 2);
  EXPECT_EQ(r.px[2], -7);
  EXPECT_EQ(r.prossimo(), ' ');  // the blank stops the row and is not consumed
}

TEST(Reader, ShortRowKeepsOldPixelsAndNextRowIsInStep) {
  Righe r(vt::riga(1, crescenti(784, 1000)) + vt::riga(2, crescenti(500)) + vt::riga(3, crescenti(784)));
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.leggi(), 501);
  EXPECT_EQ(r.etichetta, 2);
  EXPECT_EQ(r.px[499], 499);
  EXPECT_EQ(r.px[500], 1500);
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.etichetta, 3);
  EXPECT_EQ(r.px[500], 500);
}

TEST(Reader, RowWithOneValueTooMany) {
  Righe r(vt::riga(1, crescenti(785)) + vt::riga(2, crescenti(784, 10)));
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.leggi(), 1);  // label read fails at the comma, pixel 0 takes the extra value
  EXPECT_EQ(r.etichetta, 1);
  EXPECT_EQ(r.px[0], 784);
  EXPECT_EQ(r.px[1], 1);
  EXPECT_EQ(r.leggi(), 785);
  EXPECT_EQ(r.etichetta, 2);
  EXPECT_EQ(r.px[1], 11);
}

TEST(Reader, FailedReadsConsumeCommaBlanksAndLoneSign) {
  Righe r("6,1, -,3, -x\n");
  EXPECT_EQ(r.leggi(), 3);
  EXPECT_EQ(r.px[0], 1);
  EXPECT_EQ(r.px[1], -7);  // ", -" consumed, the read fails at the comma
  EXPECT_EQ(r.px[2], 3);
  EXPECT_EQ(r.px[3], -7);
  EXPECT_EQ(r.prossimo(), 'x');
}

TEST(Reader, BlockingCharacterStopsEveryLaterRead) {
  Righe header("label,pixel0,pixel1\n" + vt::riga(1, vt::immagine()));
  EXPECT_EQ(header.leggi(), 0);
  EXPECT_EQ(header.leggi(), 0);
  EXPECT_EQ(header.etichetta, -7);
  EXPECT_EQ(header.px, std::vector<int32_t>(784, -7));

  Righe r("8,1.5,2\n" + vt::riga(1, vt::immagine()));
  EXPECT_EQ(r.leggi(), 2);
  EXPECT_EQ(r.leggi(), 0);
  EXPECT_EQ(r.etichetta, 8);
  EXPECT_EQ(r.px[1], -7);
  EXPECT_EQ(r.prossimo(), '.');
}

TEST(Reader, EndOfFileLowersTheTotal) {
  Righe r("9,4,5");
  EXPECT_EQ(r.leggi(), 3 - 782);
  EXPECT_EQ(r.px[1], 5);
  Righe vuoto("");
  EXPECT_EQ(vuoto.leggi(), -785);
  EXPECT_EQ(vuoto.etichetta, -7);
}
