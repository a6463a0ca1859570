# Sourced by every bench script, from the repository's root.

# costruisci DIR TARGET...: configures a Release build in DIR (build-bench
# when DIR is empty), builds the targets named there, and sets $build to
# DIR's absolute path.
costruisci() {
  local dir=${1:-build-bench}
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELMORA_SANITIZE=OFF >/dev/null
  cmake --build "$dir" -j 2 --target "$@" >/dev/null
  build=$(cd "$dir" && pwd)
}

# The demo's Italian fortunes, fetched by `make demo`: sets $fortune, or
# stops the script when they are missing.
fortune_demo() {
  fortune=$(pwd)/data/fortunes-it/usr/share/games/fortunes/it
  [ -d "$fortune" ] || { echo "Manca $fortune: prima make demo"; exit 1; }
}
