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
radice=$(pwd)
. bench/comune.sh
fortune_demo
costruisci "${1:-}" bow_alfa
lavoro=$radice/bench/out/bow_alfa
python3 tools/demo_bow.py "$fortune" "$lavoro" > /dev/null
rm -rf "$lavoro/verifica"
"$build/bench/bow_alfa" "$lavoro/addestramento" 4 | tee "$radice/bench/out/bow_alfa.txt"
