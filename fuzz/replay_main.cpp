// The same target without libFuzzer (any compiler): `TARGET --write-seeds DIR`
// writes the seed corpus, `TARGET PATH...` runs every file named, or found in
// a named folder, through the target once. A finding aborts as under libFuzzer.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fuzz_util.h"

static void esegui(const std::filesystem::path& p) {
  fz::file_ptr f(std::fopen(p.c_str(), "rb"));
  if (!f) {
    std::printf("File %s non trovato\n", p.c_str());
    std::exit(1);
  }
  std::vector<uint8_t> dati;
  uint8_t buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) dati.insert(dati.end(), buf, buf + n);
  LLVMFuzzerTestOneInput(dati.data(), dati.size());
}

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
    std::filesystem::create_directories(argv[2]);
    scrivi_semi(argv[2]);
    return 0;
  }
  int eseguiti = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      std::vector<std::filesystem::path> file;
      for (auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) file.push_back(e.path());
      std::sort(file.begin(), file.end());
      for (auto& q : file) esegui(q), ++eseguiti;
    } else {
      esegui(p), ++eseguiti;
    }
  }
  std::printf("%d input eseguiti\n", eseguiti);
  return 0;
}
