// The buffered row reader against get_image on the same bytes: seeded rows,
// well formed and corrupted in every way scanf cares about; after every call
// the totals, the label, all pixels and the next position must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "lib.h"
#include "run_util.h"
#include "lettore_righe.h"

namespace {

struct stato {
  int32_t pixel[N_AFFERENTI];
  int32_t etichetta;
};

// Reads the bytes call by call with both readers (the fast one on a window
// of `capienza` bytes) and reports the first difference.
void confronta(const std::string& bytes, size_t capienza, const std::string& caso) {
  vt::TempDir dir;
  vt::write_file(dir / "righe.csv", bytes);
  file_ptr a(std::fopen((dir / "righe.csv").c_str(), "r"));
  file_ptr b(std::fopen((dir / "righe.csv").c_str(), "r"));
  lettore_righe lettore = crea_lettore(b.get(), capienza);
  // Both start from the same non-zero contents, so kept values show.
  stato ra, rb;
  for (int i = 0; i < N_AFFERENTI; ++i) ra.pixel[i] = rb.pixel[i] = 1000 + i;
  ra.etichetta = rb.etichetta = -7;
  const size_t chiamate = bytes.size() / 500 + 3;
  for (size_t c = 0; c < chiamate; ++c) {
    const int ta = get_image(ra.pixel, ra.etichetta, a.get());
    const int tb = leggi_riga(lettore, rb.pixel, rb.etichetta);
    ASSERT_EQ(ta, tb) << caso << ", call " << c << ": total";
    ASSERT_EQ(ra.etichetta, rb.etichetta) << caso << ", call " << c << ": label";
    ASSERT_EQ(0, std::memcmp(ra.pixel, rb.pixel, sizeof ra.pixel)) << caso << ", call " << c << ": pixels";
    ASSERT_EQ(std::ftell(a.get()), posizione_lettore(lettore)) << caso << ", call " << c << ": position";
  }
}

std::string numero_a_caso(std::mt19937& gen) {
  switch (gen() % 10) {
    case 0: return std::to_string(gen() % 1000000000);  // up to nine digits
    case 1: return "0000" + std::to_string(gen() % 256);
    default: return gen() % 5 ? "0" : std::to_string(gen() % 256);
  }
}

std::string riga_a_caso(std::mt19937& gen) {
  std::string r = std::to_string(gen() % 10);
  for (int i = 0; i < N_AFFERENTI; ++i) {
    r += ',';
    if (gen() % 50 == 0) r += std::string(1 + gen() % 3, " \t\n\v\f\r"[gen() % 6]);
    r += numero_a_caso(gen);
  }
  return r + (gen() % 4 ? "\n" : "\r\n");
}

std::string righe_a_caso(std::mt19937& gen, int quante) {
  std::string s;
  for (int i = 0; i < quante; ++i) s += riga_a_caso(gen);
  return s;
}

// What scanf treats differently: signs, blanks, huge values, stray bytes.
const std::string INSERTI[] = {
    "-",  "+",  "-7", "+7", "--1", "+-1", " ,", ",,", ", ", ",\n", "\n", "\r\n", ".", "x", "0x1F", "1e5",
    std::string("\0", 1), "\x80", "\xff", "2147483647", "2147483648", "-2147483648", "-2147483649",
    "4294967296", "4294967295", "9223372036854775807", "9223372036854775808", "18446744073709551616",
    "-9223372036854775809", "99999999999999999999999", "0000000000000000000012", "1234567890", ",5", ",-"};

std::string corrompi(std::mt19937& gen, std::string s) {
  const int quante = 1 + static_cast<int>(gen() % 4);
  for (int q = 0; q < quante && !s.empty(); ++q) {
    const size_t at = gen() % s.size();
    switch (gen() % 5) {
      case 0: s[at] = static_cast<char>(gen() % 256); break;  // any byte
      case 1: s.insert(at, INSERTI[gen() % std::size(INSERTI)]); break;
      case 2: s.erase(at, 1 + gen() % 8); break;
      case 3: s.resize(at); break;  // end of file mid-row
      case 4: s.insert(at, std::string(1 + gen() % 40, ' ')); break;
    }
  }
  return s;
}

}  // namespace

TEST(LibFastReader, WellFormedRowsAgreeOnEveryWindowSize) {
  std::mt19937 gen(11);
  for (size_t capienza : {size_t{1}, size_t{7}, size_t{64}, size_t{100}, size_t{4096}, CAPIENZA_LETTORE})
    confronta(righe_a_caso(gen, 4), capienza, "window " + std::to_string(capienza));
}

TEST(LibFastReader, CorruptedRowsAgree) {
  std::mt19937 gen(12);
  for (int caso = 0; caso < 150; ++caso) {
    const std::string s = corrompi(gen, righe_a_caso(gen, 3));
    confronta(s, caso % 3 ? CAPIENZA_LETTORE : 200 + gen() % 3000, "corrupted case " + std::to_string(caso));
  }
}

TEST(LibFastReader, EdgeFilesAgree) {
  std::string zeri = "7";
  for (int i = 0; i < N_AFFERENTI; ++i) zeri += ",0";
  const std::string cinquecento = zeri.substr(0, 1 + 2 * 500);
  const std::string casi[] = {
      "",
      "\n\n  \t",
      zeri,                                    // last value ends at end of file
      zeri + "\n" + zeri,
      zeri + ",9\n" + zeri + "\n" + zeri + "\n",  // one value too many
      cinquecento + "\n" + zeri + "\n",        // a short row
      "label,pixel0\n" + zeri + "\n",          // a header blocks every read
      zeri + " ,1\n" + zeri + "\n",            // blank before a comma
      zeri.substr(0, 900),                     // end of file mid-row
      zeri.substr(0, 899) + "-",               // ... on a lone sign
      zeri.substr(0, 899) + ", ",              // ... after a comma and a blank
  };
  int k = 0;
  for (const auto& s : casi) confronta(s, CAPIENZA_LETTORE, "edge case " + std::to_string(k++));
}

TEST(LibFastReader, RefillsAcrossAWindowLargerThanOneRead) {
  // More than one full window, a corruption near each window boundary.
  std::mt19937 gen(13);
  std::string s = righe_a_caso(gen, 40);
  for (size_t at = 4096; at < s.size(); at += 4096) s.insert(at - gen() % 3, INSERTI[gen() % std::size(INSERTI)]);
  confronta(s, 4096, "window boundaries");
}
