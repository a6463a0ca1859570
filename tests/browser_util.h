// Test helpers for the suite's HTML pages: Debian's chromium, headless, opens
// a page from a file with no network and gives back the DOM as it stands
// after the page's script has run, or a screenshot.
#pragma once

#include <string>
#include <vector>

#include "run_util.h"

namespace vt {

// The browser, or empty when it is missing (the tests that need it then
// fail with that reason: `make test` installs it).
inline std::string chromium() {
  for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

// The flags every run takes: no sandbox (the tests may run as root), no GPU,
// nothing that reaches for the network, a fresh profile of its own.
inline std::vector<std::string> argomenti_chromium(const TempDir& profilo) {
  return {"--headless",
          "--no-sandbox",
          "--disable-gpu",
          "--disable-quic",
          "--no-first-run",
          "--disable-background-networking",
          "--disable-component-update",
          "--disable-sync",
          "--disable-extensions",
          "--hide-scrollbars",
          "--user-data-dir=" + profilo.path.string(),
          // Lets timers and the page's script finish before the DOM is read.
          "--virtual-time-budget=5000"};
}

// The DOM of the page at path once its script has run ("--dump-dom").
inline RunResult dom_della_pagina(const std::string& path) {
  TempDir profilo;
  std::vector<std::string> a = argomenti_chromium(profilo);
  a.push_back("--dump-dom");
  a.push_back("file://" + std::filesystem::absolute(path).string());
  RunOptions o;
  o.secondi = 90;
  return run(chromium(), a, o);
}

// A screenshot of the page at path, larghezza x altezza CSS pixels, into png.
inline RunResult foto_della_pagina(const std::string& path, const std::string& png, int larghezza, int altezza) {
  TempDir profilo;
  std::vector<std::string> a = argomenti_chromium(profilo);
  a.push_back("--screenshot=" + std::filesystem::absolute(png).string());
  a.push_back("--window-size=" + std::to_string(larghezza) + "," + std::to_string(altezza));
  a.push_back("file://" + std::filesystem::absolute(path).string());
  RunOptions o;
  o.secondi = 90;
  return run(chromium(), a, o);
}

// How many times needle occurs in haystack.
inline size_t occorrenze(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + needle.size())) ++n;
  return n;
}

}  // namespace vt
