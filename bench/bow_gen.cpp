// Seeded synthetic data for the velmora_bow benchmark.
//   bow_gen modello PAROLE OCCORRENZE SEME          model file on stdout
//   bow_gen testo BYTE PAROLE SEME [SEME_TESTO]     text on stdout
//   bow_gen corpus CARTELLA TESTI PAROLE SEME       TESTI texts of 200 to 4000 bytes,
//                                                   text i in CARTELLA/(i % 10)/NNNNN
// The vocabulary depends on PAROLE and SEME alone, so a text draws from the
// words of the model made with the same two numbers; SEME_TESTO (default
// SEME) seeds the draw, so texts of one vocabulary can differ. Word ranks
// follow a Zipf-like law, as in real texts.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

std::vector<std::string> vocabolario(long parole, unsigned seme) {
  std::mt19937_64 rng(seme);
  std::unordered_set<std::string> visti;
  std::vector<std::string> out;
  while (static_cast<long>(out.size()) < parole) {
    std::string w(2 + rng() % 11, 'a');
    for (char& c : w) c = static_cast<char>('a' + rng() % 26);
    if (visti.insert(w).second) out.push_back(w);
  }
  return out;
}

// Rank r of n drawn with weight about 1 / (r + 1).
long rango(std::mt19937_64& rng, long n) {
  double u = std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  long r = static_cast<long>(std::exp(u * std::log(static_cast<double>(n) + 1.0))) - 1;
  return std::clamp(r, 0L, n - 1);
}

void modello(long parole, long occorrenze, unsigned seme) {
  auto voc = vocabolario(parole, seme);
  std::mt19937_64 rng(seme + 1);
  std::vector<int64_t> conteggi(static_cast<size_t>(parole) * 10, 0);
  // Every word once, the rest drawn by rank.
  for (long i = 0; i < parole; ++i) conteggi[static_cast<size_t>(i) * 10 + rng() % 10] += 1;
  for (long i = parole; i < occorrenze; ++i) conteggi[static_cast<size_t>(rango(rng, parole)) * 10 + rng() % 10] += 1;
  // Records in word order, as the suite writes a model (and requires of one it reads).
  std::vector<long> ordine(static_cast<size_t>(parole));
  for (long i = 0; i < parole; ++i) ordine[static_cast<size_t>(i)] = i;
  std::sort(ordine.begin(), ordine.end(),
            [&](long a, long b) { return voc[static_cast<size_t>(a)] < voc[static_cast<size_t>(b)]; });
  for (long i : ordine) {
    unsigned char rec[72] = {};
    std::memcpy(rec, voc[static_cast<size_t>(i)].data(), voc[static_cast<size_t>(i)].size());
    for (int k = 0; k < 10; ++k) {
      uint32_t c = static_cast<uint32_t>(conteggi[static_cast<size_t>(i) * 10 + k]);
      for (int b = 0; b < 4; ++b) rec[32 + 4 * k + b] = static_cast<unsigned char>(c >> (8 * b));
    }
    std::fwrite(rec, 1, sizeof rec, stdout);
  }
}

void testo(const std::vector<std::string>& voc, long byte, unsigned seme_testo, std::FILE* uscita) {
  const long parole = static_cast<long>(voc.size());
  std::mt19937_64 rng(seme_testo + 2);
  std::string out;
  long scritti = 0;
  // Written a megabyte at a time: the texts run to hundreds of megabytes.
  while (scritti + static_cast<long>(out.size()) < byte) {
    std::string w = rng() % 50 == 0 ? std::string(1 + rng() % 8, static_cast<char>('a' + rng() % 26))
                                    : voc[static_cast<size_t>(rango(rng, parole))];
    if (rng() % 10 == 0) w[0] = static_cast<char>(w[0] - 32);
    out += w;
    out += rng() % 12 == 0 ? ",\n" : " ";
    if (out.size() >= (1u << 20)) {
      std::fwrite(out.data(), 1, out.size(), uscita);
      scritti += static_cast<long>(out.size());
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), uscita);
}

bool corpus(const char* cartella, long testi, long parole, unsigned seme) {
  auto voc = vocabolario(parole, seme);
  std::mt19937_64 rng(seme + 3);
  for (long i = 0; i < testi; ++i) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%ld", cartella, i % 10);
    mkdir(path, 0777);
    std::snprintf(path, sizeof path, "%s/%ld/%05ld", cartella, i % 10, i);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    testo(voc, 200 + static_cast<long>(rng() % 3800), static_cast<unsigned>(rng()), f);
    if (std::fclose(f) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "corpus") == 0) {
    mkdir(argv[2], 0777);
    return corpus(argv[2], std::atol(argv[3]), std::atol(argv[4]), static_cast<unsigned>(std::atol(argv[5]))) ? 0 : 1;
  }
  if (argc != 5 && !(argc == 6 && std::strcmp(argv[1], "testo") == 0)) {
    std::printf("Uso: bow_gen modello PAROLE OCCORRENZE SEME | bow_gen testo BYTE PAROLE SEME [SEME_TESTO]"
                " | bow_gen corpus CARTELLA TESTI PAROLE SEME\n");
    return 1;
  }
  long a = std::atol(argv[2]), b = std::atol(argv[3]);
  unsigned seme = static_cast<unsigned>(std::atol(argv[4]));
  if (std::strcmp(argv[1], "modello") == 0 && a > 0 && b >= a) {
    modello(a, b, seme);
  } else if (std::strcmp(argv[1], "testo") == 0 && a >= 0 && b > 0) {
    testo(vocabolario(b, seme), a, argc == 6 ? static_cast<unsigned>(std::atol(argv[5])) : seme, stdout);
  } else {
    std::printf("Argomenti non validi\n");
    return 1;
  }
  return 0;
}
