// Linked into every libFuzzer target: `TARGET --write-seeds DIR` writes the
// target's seed corpus and exits; anything else goes to libFuzzer.
#include <cstring>
#include <filesystem>

#include "fuzz_util.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (*argc == 3 && std::strcmp((*argv)[1], "--write-seeds") == 0) {
    std::filesystem::create_directories((*argv)[2]);
    scrivi_semi((*argv)[2]);
    std::exit(0);
  }
  return 0;
}
