// The IDX reader on hostile bytes, plain and gzipped, through the whole
// conversion into rows.
//
// Input: byte 0 picks the mode, bytes 1-2 (little-endian) how many of the
// remaining bytes belong to the image file; the rest is the label file.
//   even mode: the two files as they are. Where neither starts with gzip's
//     magic bytes, a plain reading of the format decides whether the pair is
//     whole, and the rows written must be exactly those it gives.
//   odd mode: the two files are gzipped here (level from byte 0; the image
//     file cut into two members at a point taken from its own length), and
//     must convert exactly as their plain bytes do; when byte 0 asks for it,
//     the image stream gets trailing bytes after its last member, and the
//     pair must then be refused.
#include <zlib.h>

#include <cstring>
#include <string>

#include "file_idx.h"
#include "fuzz_util.h"
#include "lib.h"

namespace {

uint32_t be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// The rows the pair gives, or false when it is not a whole pair: the format
// read the plain way, with no streaming and no decompression.
bool righe_attese(const std::string& img, const std::string& lab, std::string& righe) {
  if (img.size() < 16 || lab.size() < 8 || be32(reinterpret_cast<const uint8_t*>(img.data())) != MAGIA_IMMAGINI ||
      be32(reinterpret_cast<const uint8_t*>(lab.data())) != MAGIA_ETICHETTE)
    return false;
  const auto* i = reinterpret_cast<const uint8_t*>(img.data());
  const auto* l = reinterpret_cast<const uint8_t*>(lab.data());
  const uint64_t n = be32(i + 4);
  if (be32(i + 8) != 28 || be32(i + 12) != 28 || be32(l + 4) != n || img.size() != 16 + n * 784 ||
      lab.size() != 8 + n)
    return false;
  for (uint64_t r = 0; r < n; ++r) {
    righe += std::to_string(l[8 + r]);
    for (int k = 0; k < 784; ++k) righe.append(",").append(std::to_string(i[16 + r * 784 + k]));
    righe += '\n';
  }
  return true;
}

std::string gzip(const std::string& s, int livello) {
  z_stream z{};
  if (deflateInit2(&z, livello, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string out(deflateBound(&z, s.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
  z.avail_in = static_cast<uInt>(s.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Converts the pair through the reader: whether it succeeded, and the rows.
bool converti(const std::string& img, const std::string& lab, std::string& righe) {
  fz::muto muto;
  file_idx immagini, etichette;
  usa_idx(immagini, fz::memstream(reinterpret_cast<const uint8_t*>(img.data()), img.size()), "img");
  usa_idx(etichette, fz::memstream(reinterpret_cast<const uint8_t*>(lab.data()), lab.size()), "lab");
  char* buf = nullptr;
  size_t n = 0;
  std::FILE* out = open_memstream(&buf, &n);
  uint32_t quante = 0;
  const bool ok = leggi_teste(immagini, etichette, quante) && converti_idx(immagini, etichette, quante, out);
  std::fclose(out);
  righe.assign(buf, n);
  std::free(buf);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t n = size - 3;
  const size_t n_img = (size_t{data[1]} | size_t{data[2]} << 8) % (n + 1);
  const std::string img(reinterpret_cast<const char*>(data + 3), n_img);
  const std::string lab(reinterpret_cast<const char*>(data + 3 + n_img), n - n_img);

  std::string attese, ottenute;
  const bool intere = righe_attese(img, lab, attese);
  if (data[0] % 2 == 0) {
    const bool ok = converti(img, lab, ottenute);
    const bool gz = (img.size() >= 2 && img[0] == '\x1f' && img[1] == '\x8b') ||
                    (lab.size() >= 2 && lab[0] == '\x1f' && lab[1] == '\x8b');
    if (gz) return 0;  // only that nothing breaks: the odd mode checks the gzip path against the plain one
    FZ_CHECK(ok == intere, "conversione %d, coppia intera %d", ok, intere);
    FZ_CHECK(!ok || ottenute == attese, "righe diverse da quelle della coppia");
    return 0;
  }
  const int livello = (data[0] >> 1) % 10;
  const size_t taglio = img.empty() ? 0 : (n_img * 7919) % img.size();
  const std::string img_gz = gzip(img.substr(0, taglio), livello) + gzip(img.substr(taglio), livello);
  const std::string lab_gz = gzip(lab, livello);
  const bool coda = data[0] & 0x80;
  const std::string resto = coda ? std::string("GARBAGE").substr(0, 1 + data[0] % 7) : "";
  const bool ok = converti(img_gz + resto, lab_gz, ottenute);
  FZ_CHECK(ok == (intere && !coda), "conversione %d, coppia intera %d, dati dopo il flusso %d", ok, intere, coda);
  FZ_CHECK(!ok || ottenute == attese, "righe gzip diverse da quelle della coppia");
  return 0;
}

void scrivi_semi(const std::string& dir) {
  auto be = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto coppia = [&](uint8_t modo, uint32_t quante, const std::string& extra_img) {
    std::string img = be(MAGIA_IMMAGINI) + be(quante) + be(28) + be(28);
    for (uint32_t i = 0; i < quante * 784; ++i) img += static_cast<char>((i * 37) % 256);
    img += extra_img;
    std::string lab = be(MAGIA_ETICHETTE) + be(quante);
    for (uint32_t i = 0; i < quante; ++i) lab += static_cast<char>(i % 10);
    return std::string{static_cast<char>(modo), static_cast<char>(img.size() & 0xFF),
                       static_cast<char>(img.size() >> 8)} + img + lab;
  };
  fz::scrivi_seme(dir, "piana", coppia(0, 2, ""));
  fz::scrivi_seme(dir, "piana_lunga", coppia(0, 1, "x"));
  fz::scrivi_seme(dir, "vuota", coppia(0, 0, ""));
  fz::scrivi_seme(dir, "gzip", coppia(1 + 2 * 6, 2, ""));
  fz::scrivi_seme(dir, "gzip_coda", coppia(0x81 + 2 * 9, 1, ""));
  const std::string gz = "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03";
  fz::scrivi_seme(dir, "gzip_troncato", std::string{0, 10, 0} + gz + gz);
}
