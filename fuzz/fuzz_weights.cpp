// Weight files of any size and content, for both layers of the digit network
// and for small layers of any shape. Nothing called here may end the process.
// The exact reader of velmora_gpms and the warm start must take a file of
// exactly the layer's length, and refuse every other.
//
// Input: byte 0 picks the layer, byte 1 how the file is made:
//   even: the remaining bytes are the file;
//   odd:  bytes 2..4 give a length, and the remaining bytes, repeated, fill
//         a file of that length (so full-size files need no huge inputs).
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_util.h"
#include "lib.h"

namespace {

constexpr uint8_t SENTINELLA = 0xA5;  // fills the matrix before each read

struct forma {
  int ingressi, neuroni;
};

forma scegli_forma(const uint8_t* d) {  // d holds at least two bytes
  const uint8_t b = d[0];
  // The hidden layer walks the same code as any other shape, only with
  // 627200 bytes a time: kept rare, so the rate of runs stays high.
  if (b == 0 && d[1] == 1) return {N_AFFERENTI, N_INTERCALARI};
  if (b % 8 == 1) return {N_INTERCALARI, N_EFFERENTI};
  return {1 + (b >> 4) % 13, 1 + (b >> 2) % 4};  // small shapes
}

}  // namespace

// Every property is checked on the one input in turn, in one function: the
// checks share what the input decoded to, and a finding's line names its check.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const forma fm = scegli_forma(data);
  const size_t attesi = static_cast<size_t>(fm.ingressi) * fm.neuroni * sizeof(double);
  const size_t blocco = static_cast<size_t>(fm.neuroni) * (fm.ingressi + 1);

  std::vector<uint8_t> file;
  if (data[1] % 2 == 0) {
    file.assign(data + 2, data + size);
  } else {
    if (size < 5) return 0;
    const size_t lunghezza = ((size_t{data[2]} << 16) | (size_t{data[3]} << 8) | data[4]) % (attesi + 17);
    const uint8_t* motivo = data + 5;
    const size_t n_motivo = size - 5;
    file.assign(lunghezza, 0);
    if (n_motivo > 0 && lunghezza > 0) {
      // Doubling copies: a few calls even for a full hidden-layer file.
      size_t pieni = std::min(n_motivo, lunghezza);
      std::memcpy(file.data(), motivo, pieni);
      while (pieni < lunghezza) {
        const size_t n = std::min(pieni, lunghezza - pieni);
        std::memcpy(file.data() + pieni, file.data(), n);
        pieni += n;
      }
    }
  }

  // Exactly the block's size, so the sanitizer sees any write past it.
  std::unique_ptr<double[]> W(new double[blocco]);
  std::memset(W.get(), SENTINELLA, blocco * sizeof(double));
  fz::file_ptr f = fz::memstream(file.data(), file.size());
  const long letti = leggi_pesi(f.get(), W.get(), fm.ingressi, fm.neuroni);

  // The loader refuses a file exactly when it delivers fewer bytes than the layer needs.
  const size_t atteso = file.size() < attesi ? file.size() : attesi;
  FZ_CHECK(letti == static_cast<long>(atteso), "letti %ld, attesi %zu (file %zu)", letti, atteso, file.size());
  FZ_CHECK(std::ftell(f.get()) == letti, "posizione %ld dopo %ld byte", std::ftell(f.get()), letti);
  // Whole values land in order; a partial last value and everything after stay as they were.
  const size_t interi = atteso / sizeof(double);
  FZ_CHECK(interi == 0 || std::memcmp(W.get(), file.data(), interi * sizeof(double)) == 0,
           "valori letti diversi dal file");
  static std::vector<uint8_t> sentinelle;
  const size_t resto = (blocco - interi) * sizeof(double);
  if (sentinelle.size() < resto) sentinelle.assign(resto, SENTINELLA);
  FZ_CHECK(std::memcmp(W.get() + interi, sentinelle.data(), resto) == 0, "elementi toccati oltre i valori letti");

  // The exact reader: the same values from a file of the layer's length, a
  // refusal for any other, and never a write past the block.
  {
    std::unique_ptr<double[]> E(new double[blocco]);
    std::memset(E.get(), SENTINELLA, blocco * sizeof(double));
    fz::file_ptr g = fz::memfile(file.data(), file.size());
    fz::muto muto;
    const bool esatto = carica_pesi_esatti(fz::percorso(g.get()).c_str(), E.get(), fm.ingressi, fm.neuroni);
    FZ_CHECK(esatto == (file.size() == attesi), "file di %zu byte %s, attesi %zu", file.size(),
             esatto ? "accettato" : "rifiutato", attesi);
    FZ_CHECK(!esatto || std::memcmp(E.get(), file.data(), attesi) == 0, "valori esatti diversi dal file");
  }

  // The writer puts back exactly the values the file supplies, in the same order.
  if (interi * sizeof(double) == attesi) {
    fz::file_ptr g(fmemopen(nullptr, attesi + sizeof(double), "w+"));
    FZ_CHECK(g != nullptr, "fmemopen");
    layer_writedown(g.get(), W.get(), fm.ingressi, fm.neuroni);
    FZ_CHECK(std::fflush(g.get()) == 0 && std::ftell(g.get()) == static_cast<long>(attesi), "scritti %ld byte",
             std::ftell(g.get()));
    std::rewind(g.get());
    std::vector<double> V(blocco, 0.0);
    layer_read(g.get(), V.data(), fm.ingressi, fm.neuroni);
    FZ_CHECK(std::memcmp(V.data(), W.get(), attesi) == 0, "rilettura diversa");
  }
  return 0;
}

void scrivi_semi(const std::string& dir) {
  auto seme = [&](const std::string& nome, uint8_t forma, uint8_t modo, size_t lunghezza, const std::string& motivo) {
    std::string s{static_cast<char>(forma), static_cast<char>(modo)};
    if (modo % 2) {
      s += static_cast<char>(lunghezza >> 16);
      s += static_cast<char>(lunghezza >> 8);
      s += static_cast<char>(lunghezza);
    }
    fz::scrivi_seme(dir, nome, s + motivo);
  };
  double uno = 1.0, nan = __builtin_nan(""), meno = -0.0;
  std::string valori(reinterpret_cast<const char*>(&uno), 8);
  valori.append(reinterpret_cast<const char*>(&nan), 8).append(reinterpret_cast<const char*>(&meno), 8);
  seme("intercalari_intero", 0, 1, 627200, valori);
  seme("intercalari_corto", 0, 1, 627199, valori);
  seme("intercalari_lungo", 0, 1, 627213, valori);
  seme("efferenti_intero", 1, 1, 8000, valori);
  seme("efferenti_corto", 1, 0, 0, valori + "abc");
  seme("piccolo_intero", 2 + 16 * 5 + 4, 0, 0, std::string(6 * 2 * 8, '\x3f'));
  seme("piccolo_vuoto", 3, 0, 0, "");
}
