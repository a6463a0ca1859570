// velmora_idx as its users meet it: IDX pairs written here, plain and
// gzipped, converted by the real binary in a scratch directory.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>

#include "intestazione.h"
#include "lib.h"
#include "run_util.h"

namespace {

const std::string BANNER = "\nvelmora_: conversione file IDX (idx) \n\n" + std::string(VELMORA_ATTRIBUZIONE) + "\n";

std::string be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}
// Image i has pixel k = (7k + 13i) mod 256: numbers of one, two and three digits.
std::string immagini(uint32_t quante, uint32_t colonne = 28, uint32_t magia = 2051) {
  std::string s = be32(magia) + be32(quante) + be32(28) + be32(colonne);
  for (uint32_t i = 0; i < quante * 28 * colonne; ++i) s += static_cast<char>((7 * (i % 784) + 13 * (i / 784)) % 256);
  return s;
}
std::string etichette(const std::string& valori, uint32_t magia = 2049) {
  return be32(magia) + be32(static_cast<uint32_t>(valori.size())) + valori;
}
// The rows velmora_idx must write for immagini(n) with these labels.
std::string righe_attese(const std::string& valori) {
  std::string s;
  for (size_t i = 0; i < valori.size(); ++i) {
    s += std::to_string(static_cast<unsigned char>(valori[i]));
    for (uint32_t k = 0; k < 784; ++k) s.append(",").append(std::to_string((7 * k + 13 * i) % 256));
    s += "\n";
  }
  return s;
}

// s gzipped by zlib's own writer.
std::string gzip(const std::string& s) {
  vt::TempDir d;
  gzFile g = gzopen((d / "z").c_str(), "wb9");
  gzwrite(g, s.data(), static_cast<unsigned>(s.size()));
  gzclose(g);
  return vt::read_file(d / "z");
}

// Writes the pair and an old out.csv, converts, and lists what the folder holds then.
vt::RunResult converti(const vt::TempDir& d, const std::string& img, const std::string& lab,
                       std::vector<std::string> args = {"img", "lab", "out.csv"}, long limite = -1) {
  vt::write_file(d / "img", img);
  vt::write_file(d / "lab", lab);
  vt::write_file(d / "out.csv", "vecchio\n");
  vt::RunOptions o;
  o.cwd = d.path.string();
  o.fsize_limit = limite;
  auto r = vt::run(VELMORA_IDX_BIN, args, o);
  for (auto& e : std::filesystem::directory_iterator(d.path)) r.err += e.path().filename().string() + " ";
  return r;
}

}  // namespace

TEST(IdxCli, RoundTripPlainAndGzipped) {
  const std::string valori("\x00\x09\xff", 3), img = immagini(3), lab = etichette(valori);
  for (int gz = 0; gz < 4; ++gz) {
    vt::TempDir d;
    auto r = converti(d, gz & 1 ? gzip(img) : img, gz & 2 ? gzip(lab) : lab);
    EXPECT_EQ(r.out, BANNER + "3 righe scritte in out.csv\n") << gz;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(vt::read_file(d / "out.csv"), righe_attese(valori)) << gz;  // the old file replaced whole
    EXPECT_EQ(r.err.size(), std::string("img lab out.csv ").size()) << r.err;
  }
  vt::TempDir d;
  // "-": the rows alone on standard output, the old file untouched.
  auto uscita = converti(d, gzip(img), lab, {"img", "lab", "-"});
  EXPECT_EQ(uscita.status, 0);
  EXPECT_EQ(uscita.out, righe_attese(valori));
  EXPECT_EQ(vt::read_file(d / "out.csv"), "vecchio\n");
  EXPECT_EQ(converti(d, gzip(immagini(0)), etichette("")).out, BANNER + "0 righe scritte in out.csv\n");
  EXPECT_EQ(vt::read_file(d / "out.csv"), "");
  // Members one after the other are one gzip stream, as gzip -d reads them.
  EXPECT_EQ(converti(d, gzip(img.substr(0, 1000)) + gzip(img.substr(1000)), lab).out,
            BANNER + "3 righe scritte in out.csv\n");
  EXPECT_EQ(vt::read_file(d / "out.csv"), righe_attese(valori));
}

TEST(IdxCli, RefusalsNameTheFileAndLeaveNothing) {
  const std::string img = immagini(3), lab = etichette("\1\2\3"), gz = gzip(img);
  std::string gz_corrotto = gz;
  gz_corrotto[gz.size() - 6] ^= 0x20;  // inside the CRC of the trailer
  const std::string scambio = "I file delle immagini e delle etichette sono nell'ordine giusto?\n";
  const std::vector<std::array<std::string, 3>> casi = {
      {immagini(3, 28, 2052), lab, "File img: numero magico 2052, atteso 2051 (immagini IDX di byte senza segno)\n"},
      {lab, img, "File img: numero magico 2049, atteso 2051 (immagini IDX di byte senza segno)\n" + scambio},
      {img, etichette("\1\2\3", 2051),
       "File lab: numero magico 2051, atteso 2049 (etichette IDX di byte senza segno)\n" + scambio},
      {immagini(3, 27), lab, "File img: immagini di 28 x 27 pixel, attese 28 x 28\n"},
      {img, etichette("\1\2"), "I file img e lab non corrispondono: 3 immagini e 2 etichette\n"},
      {img.substr(0, img.size() - 10), lab, "File img troncato: 2358 byte di 2368 attesi\n"},
      {img, lab.substr(0, 5), "File lab troncato: 5 byte di 8 attesi\n"},
      {img, lab + "x", "File lab: altri dati dopo i 11 byte attesi\n"},
      {gz.substr(0, gz.size() - 4), lab, "File img troncato: il flusso gzip non ha la sua fine\n"},
      {gz_corrotto, lab, "File img danneggiato (zlib: incorrect data check)\n"},
      {gz.substr(0, 40), lab, "File img troncato: * byte di 2368 attesi\n"},  // * : what zlib got out of it
      {gz + "GARBAGE", lab, "File img: altri dati dopo la fine del flusso gzip\n"},
      {gz + "\x1f", lab, "File img: altri dati dopo la fine del flusso gzip\n"},
      {gz + gzip("x"), lab, "File img: altri dati dopo i 2368 byte attesi\n"},  // a second member is data
  };
  for (auto& [i, l, messaggio] : casi) {
    vt::TempDir d;
    auto r = converti(d, i, l);
    const size_t stella = messaggio.find('*');
    if (stella == std::string::npos)
      EXPECT_EQ(r.out, BANNER + messaggio);
    else
      EXPECT_TRUE(r.out.starts_with(BANNER + messaggio.substr(0, stella)) &&
                  r.out.ends_with(messaggio.substr(stella + 1))) << r.out;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::read_file(d / "out.csv"), "vecchio\n") << messaggio;  // as it was, and no temporary beside it
    EXPECT_EQ(r.err.size(), std::string("img lab out.csv ").size()) << messaggio << r.err;
    // With -: not one row (the files are checked to their end first), the
    // message on standard error. An input that is a pipe cannot be read
    // twice: its rows stream as they come, and the status tells.
    for (const std::string& immagini : {std::string("img"), std::string("/dev/stdin")}) {
      vt::RunOptions o = vt::in_dir(d);
      o.input = i;
      auto s = vt::run(VELMORA_IDX_BIN, {immagini, "lab", "-"}, o);
      std::string atteso = messaggio;
      if (const size_t p = atteso.find("img"); p != std::string::npos) atteso.replace(p, 3, immagini);
      if (stella == std::string::npos) {
        EXPECT_EQ(s.err, atteso);
      } else {
        EXPECT_TRUE(s.err.ends_with(messaggio.substr(stella + 1))) << s.err;
      }
      if (immagini == "img") {
        EXPECT_EQ(s.out, "") << messaggio;
      }
      EXPECT_EQ(s.status, 1);
    }
  }

  const std::vector<std::pair<std::vector<std::string>, std::string>> argomenti = {
      {{"manca", "lab", "out.csv"}, "File manca non trovato\n"},
      {{"img", "lab", "img"}, "Il file img e' uno dei file IDX: il file csv deve essere un altro\n"},
      {{"img", "lab", "out.csv", "altro"}, "Argomento in piu': altro\n"},
      {{"img", "lab", "manca/out.csv"}, "Impossibile scrivere il file manca/out.csv\n"},
  };
  for (auto& [args, messaggio] : argomenti) {
    vt::TempDir d;
    auto r = converti(d, img, lab, args);
    EXPECT_EQ(r.out, BANNER + messaggio);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vt::read_file(d / "img"), img);
  }
  {
    vt::TempDir d;
    auto r = converti(d, img, lab, {"img", "lab", "altro", "-"});
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("Argomento in piu': -\n")) << r.err;
    EXPECT_EQ(r.status, 1);
  }
  vt::TempDir d;
  // A write refused half-way (a full disk): the old file stays, nothing else is left.
  auto r = converti(d, img, lab, {"img", "lab", "out.csv"}, 4000);
  EXPECT_EQ(r.out, BANNER + "Impossibile scrivere il file out.csv\n");
  EXPECT_EQ(vt::read_file(d / "out.csv"), "vecchio\n");
  EXPECT_EQ(r.err.size(), std::string("img lab out.csv ").size()) << r.err;
  r = converti(d, img, lab, {"img", "lab"});
  EXPECT_TRUE(r.out.starts_with(BANNER + "\nUSO:\n velmora_idx <immagini> <etichette> <uscita.csv>\n")) << r.out;
  EXPECT_EQ(r.status, 1);
}
