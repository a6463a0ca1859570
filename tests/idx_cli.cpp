// velmora_idx as its users meet it: IDX pairs written here, plain and
// gzipped, converted by the real binary in a scratch directory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <regex>

#include "lib.h"
#include "run_util.h"

namespace {

const std::string BANNER = "\nvelmora_: conversione file IDX (idx) \n\n" + std::string(VELMORA_ATTRIBUZIONE) + "\n";

std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// Image i has pixel k = (7k + 13i) mod 256: numbers of one, two and three digits.
std::string immagini(uint32_t quante, uint32_t righe = 28, uint32_t colonne = 28, uint32_t magia = 2051) {
  std::string s = be32(magia) + be32(quante) + be32(righe) + be32(colonne);
  for (uint32_t i = 0; i < quante; ++i)
    for (uint32_t k = 0; k < righe * colonne; ++k) s += static_cast<char>((7 * k + 13 * i) % 256);
  return s;
}
std::string etichette(const std::string& valori, uint32_t magia = 2049) {
  return be32(magia) + be32(static_cast<uint32_t>(valori.size())) + valori;
}

std::string gzip(const std::string& s) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);  // 15 + 16: a gzip wrapper
  std::string out(deflateBound(&z, s.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
  z.avail_in = static_cast<uInt>(s.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The rows file of immagini(n) with these labels.
std::string righe_attese(const std::string& valori) {
  std::string s;
  for (size_t i = 0; i < valori.size(); ++i) {
    s += std::to_string(static_cast<unsigned char>(valori[i]));
    for (uint32_t k = 0; k < 784; ++k) {
      s += ',';
      s += std::to_string((7 * k + 13 * i) % 256);
    }
    s += "\n";
  }
  return s;
}

std::vector<std::string> contenuto(const vt::TempDir& dir) {
  std::vector<std::string> nomi;
  for (auto& e : std::filesystem::directory_iterator(dir.path)) nomi.push_back(e.path().filename().string());
  std::sort(nomi.begin(), nomi.end());
  return nomi;
}

vt::RunResult idx(const vt::TempDir& dir, std::vector<std::string> args) {
  vt::RunOptions o;
  o.cwd = dir.path.string();
  return vt::run(VELMORA_IDX_BIN, args, o);
}

}  // namespace

TEST(IdxCli, RoundTripPlainAndGzipped) {
  const std::string valori("\x00\x09\xff", 3);
  const std::string img = immagini(3), lab = etichette(valori);
  for (bool gz_img : {false, true}) {
    for (bool gz_lab : {false, true}) {
      vt::TempDir d;
      vt::write_file(d / "img", gz_img ? gzip(img) : img);
      vt::write_file(d / "lab", gz_lab ? gzip(lab) : lab);
      vt::write_file(d / "out.csv", "vecchio\n");  // replaced whole
      auto r = idx(d, {"img", "lab", "out.csv"});
      EXPECT_EQ(r.out, BANNER + "3 righe scritte in out.csv\n") << gz_img << gz_lab;
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(vt::read_file(d / "out.csv"), righe_attese(valori)) << gz_img << gz_lab;
      EXPECT_EQ(contenuto(d), (std::vector<std::string>{"img", "lab", "out.csv"}));
    }
  }
  vt::TempDir d;
  vt::write_file(d / "img", gzip(immagini(0)));
  vt::write_file(d / "lab", etichette(""));
  EXPECT_EQ(idx(d, {"img", "lab", "out.csv"}).out, BANNER + "0 righe scritte in out.csv\n");
  EXPECT_EQ(vt::read_file(d / "out.csv"), "");
}

TEST(IdxCli, RefusalsNameTheFileAndLeaveNothing) {
  const std::string img = immagini(3), lab = etichette(std::string("\1\2\3", 3));
  std::string gz_corrotto = gzip(img);
  gz_corrotto[gz_corrotto.size() - 6] ^= 0x20;  // inside the CRC of the trailer
  struct caso {
    std::string img, lab, messaggio;
  };
  const std::vector<caso> casi = {
      {immagini(3, 28, 28, 2052), lab,
       "File img: numero magico 2052, atteso 2051 (immagini IDX di byte senza segno)\n"},
      {lab, img,
       "File img: numero magico 2049, atteso 2051 (immagini IDX di byte senza segno)\n"
       "I file delle immagini e delle etichette sono nell'ordine giusto?\n"},
      {img, etichette("\1\2\3", 2051),
       "File lab: numero magico 2051, atteso 2049 (etichette IDX di byte senza segno)\n"
       "I file delle immagini e delle etichette sono nell'ordine giusto?\n"},
      {immagini(3, 28, 27), lab, "File img: immagini di 28 x 27 pixel, attese 28 x 28\n"},
      {img, etichette(std::string("\1\2", 2)), "I file img e lab non corrispondono: 3 immagini e 2 etichette\n"},
      {img.substr(0, img.size() - 10), lab, "File img troncato: 2358 byte di 2368 attesi\n"},
      {img, lab.substr(0, 5), "File lab troncato: 5 byte di 8 attesi\n"},
      {"", lab, "File img troncato: 0 byte di 16 attesi\n"},
      {img, lab + "x", "File lab: altri dati dopo i 11 byte attesi\n"},
      {gzip(img).substr(0, gzip(img).size() - 4), lab, "File img troncato: il flusso gzip non ha la sua fine\n"},
      {gz_corrotto, lab, "File img danneggiato (zlib: incorrect data check)\n"},
  };
  for (const caso& c : casi) {
    vt::TempDir d;
    vt::write_file(d / "img", c.img);
    vt::write_file(d / "lab", c.lab);
    vt::write_file(d / "out.csv", "vecchio\n");
    auto r = idx(d, {"img", "lab", "out.csv"});
    EXPECT_EQ(r.out, BANNER + c.messaggio);
    EXPECT_EQ(r.status, 1);
    // The old file as it was, and no temporary beside it.
    EXPECT_EQ(vt::read_file(d / "out.csv"), "vecchio\n") << c.messaggio;
    EXPECT_EQ(contenuto(d), (std::vector<std::string>{"img", "lab", "out.csv"})) << c.messaggio;
  }

  // A gzip stream cut in the middle: as much as it gave, of what was due.
  vt::TempDir d;
  vt::write_file(d / "img", gzip(img).substr(0, 40));
  vt::write_file(d / "lab", lab);
  auto r = idx(d, {"img", "lab", "out.csv"});
  EXPECT_TRUE(std::regex_match(r.out.substr(BANNER.size()), std::regex("File img troncato: [0-9]+ byte di 2368 attesi\n")))
      << r.out;
  EXPECT_EQ(contenuto(d), (std::vector<std::string>{"img", "lab"}));

  const std::vector<std::pair<std::vector<std::string>, std::string>> argomenti = {
      {{"manca", "lab", "out.csv"}, "File manca non trovato\n"},
      {{"img", "lab", "img"}, "Il file img e' uno dei file IDX: il file csv deve essere un altro\n"},
      {{"img", "lab", "out.csv", "altro"}, "Argomento in piu': altro\n"},
      {{"img", "lab", "manca/out.csv"}, "Impossibile scrivere il file manca/out.csv\n"},
  };
  vt::write_file(d / "img", img);
  for (auto& [args, messaggio] : argomenti) {
    r = idx(d, args);
    EXPECT_EQ(r.out, BANNER + messaggio);
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(vt::read_file(d / "img"), img);
  r = idx(d, {"img", "lab"});
  EXPECT_TRUE(r.out.starts_with(BANNER + "\nUSO:\n velmora_idx <immagini> <etichette> <uscita.csv>\n")) << r.out;
  EXPECT_EQ(r.status, 1);
}
