// Fault injection helpers: a file system that is full, for real, inside a
// user and mount namespace.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "run_util.h"

namespace ft {

// Runs `sh -c script sh args...` in a new user and mount namespace, where the
// script can mount a small tmpfs and fill it. The tmpfs is gone when the run
// ends, so the script copies out what the test must look at.
inline vt::RunResult in_namespace(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> a{"-rm", "/bin/sh", "-c", "set -e\n" + script, "sh"};
  a.insert(a.end(), args.begin(), args.end());
  return vt::run("/usr/bin/unshare", a);
}

// Whether this machine lets an unprivileged namespace mount a tmpfs.
inline bool tmpfs_disponibile() {
  if (!std::filesystem::exists("/usr/bin/unshare")) return false;
  vt::TempDir d;
  return in_namespace("mount -t tmpfs -o size=16k tmpfs \"$1\"", {d.path.string()}).status == 0;
}

// Shell lines that mount a tmpfs of 64 KB on "$1" and fill it to the last
// byte with the file riempitivo, once the files the test needs are in place.
inline const char* const MONTA = "mount -t tmpfs -o size=64k tmpfs \"$1\"\n";
inline const char* const RIEMPI = "cat /dev/zero > \"$1/riempitivo\" 2>/dev/null || true\n";

}  // namespace ft
