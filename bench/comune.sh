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

# The word-bag timing benches (bow, bow_corpus): builds velmora_bow, its
# twin without syncs and the bench's tools, sets $bow, $gemello, $gen,
# $misura and $uscita (bench/out/NAME.txt), and enters bench/out/NAME/.
prepara_bow() {
  local nome=$1
  costruisci "$2" velmora_bow velmora_bow_senza_fsync bow_gen bow_misura
  bow=$build/bow/velmora_bow gemello=$build/bench/velmora_bow_senza_fsync
  gen=$build/bench/bow_gen misura=$build/bench/bow_misura
  uscita=$(pwd)/bench/out/$nome.txt
  mkdir -p "bench/out/$nome"
  cd "bench/out/$nome"
}
