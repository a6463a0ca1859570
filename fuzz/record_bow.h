// One record of a model file, for the seeds of the word-bag targets.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "bow_lib.h"

namespace fz {

// The word zero-padded (cut at 32 bytes), then the ten counts as the machine
// stores them: little-endian, like the file.
inline std::string record(const std::string& parola, std::array<int32_t, CLASSI> c) {
  std::string r(LUNGHEZZA_RECORD, '\0');
  std::memcpy(r.data(), parola.data(), std::min<size_t>(parola.size(), LUNGHEZZA_PAROLA));
  std::memcpy(r.data() + LUNGHEZZA_PAROLA, c.data(), sizeof c);
  return r;
}

}  // namespace fz
