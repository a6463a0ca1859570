#!/usr/bin/env bash
# Bench: velmora_apms on Fashion-MNIST (Debian's dataset-fashion-mnist),
# 60000 training rows converted by velmora_idx, then velmora_bpms on the 10000
# test rows (it reads at most 10000). The CSV files, weights and logs stay in
# bench/out/fashion/, the table is printed and kept in bench/out/fashion.txt.
# Usage: bench/fashion.sh [build-dir] [velmora_apms arguments...]   (default build-bench)
# The arguments after the build folder go to velmora_apms after its three
# files (default: 10 epochs at rate 0.1; e.g. --ricetta --epoche 40); the
# test rows are given with --verifica, so they are only ever reported.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. bench/comune.sh
costruisci "${1:-}" velmora_apms velmora_bpms velmora_idx
shift || true
[ $# -gt 0 ] || set -- 10 0.1
sorgente=/usr/share/datasets/fashion-mnist
if [ ! -f "$sorgente/train-images-idx3-ubyte.gz" ]; then
  echo "Manca $sorgente: apt-get install dataset-fashion-mnist"
  exit 1
fi
out="$root/bench/out/fashion"
mkdir -p "$out"
cd "$out"
# velmora_idx reads the gzipped IDX files as they are.
[ -f train.csv ] || "$build/idx/velmora_idx" "$sorgente/train-images-idx3-ubyte.gz" \
  "$sorgente/train-labels-idx1-ubyte.gz" train.csv
[ -f test.csv ] || "$build/idx/velmora_idx" "$sorgente/t10k-images-idx3-ubyte.gz" \
  "$sorgente/t10k-labels-idx1-ubyte.gz" test.csv

inizio=$(date +%s.%N)
"$build/apms/velmora_apms" train.csv h.w o.w "$@" --verifica test.csv > apms.txt
fine=$(date +%s.%N)
"$build/bpms/velmora_bpms" test.csv h.w o.w > bpms.txt
{
  sed -n '/^Epoche:/,/^ 9 |/p' apms.txt
  echo "velmora_apms $*: $(awk -v a="$inizio" -v b="$fine" 'BEGIN { printf "%.1f", b - a }') s"
  echo "velmora_bpms: $(grep -ao 'Riconosciuti [0-9]* di [0-9]*' bpms.txt | tail -n 1)"
} | tee "$root/bench/out/fashion.txt"
