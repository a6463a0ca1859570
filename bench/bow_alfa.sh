#!/usr/bin/env bash
# Chooses the smoothing defaults of velmora_bow's bayes and complemento rules
# on the demo's training fortunes alone: bench/bow_alfa cross-validates them
# in 4 folds (see bench/bow_alfa.cpp). The held-out fortunes are never read:
# the demo's layout is made here, as tools/demo.sh makes it, and only its
# addestramento folder is given to the tool. The table goes to
# bench/out/bow_alfa.txt.
#   bench/bow_alfa.sh [build-dir]    (default build-bench; needs the fortunes, fetched by `make demo`)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
radice=$(pwd)
fortune=$radice/data/fortunes-it/usr/share/games/fortunes/it
[ -d "$fortune" ] || { echo "Manca $fortune: prima make demo"; exit 1; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_SANITIZE=OFF >/dev/null
cmake --build "$build" -j 2 --target bow_alfa >/dev/null
build=$(cd "$build" && pwd)
lavoro=$radice/bench/out/bow_alfa
python3 tools/demo_bow.py "$fortune" "$lavoro" > /dev/null
rm -rf "$lavoro/verifica"
"$build/bench/bow_alfa" "$lavoro/addestramento" 4 | tee "$radice/bench/out/bow_alfa.txt"
