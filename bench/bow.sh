#!/usr/bin/env bash
# velmora_bow benchmark: aggiungi of a text into a big model, loading the
# model, classifica of a text, at full size and at a tenth of it, on seeded
# synthetic data. Prints the best of three runs of each and the growth ratio.
# Usage: bench/bow.sh [build-dir]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bow="$build/bow/velmora_bow"
gen="$build/bench/bow_gen"
[ -x "$bow" ] && [ -x "$gen" ] || { echo "Manca $bow o $gen: compilare prima"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Best of three runs of a command, each on a fresh copy of the model:
# "wall-ms cpu-ms" (cpu = user + system; on a shared machine wall time also
# counts the waits for the other processes).
TIMEFORMAT='%3R %3U %3S'
best_ms() {
  local model=$1 wall="" cpu="" r u s w c
  shift
  for _ in 1 2 3; do
    cp "$model" Bow.txt
    read -r r u s < <({ time "$@" >/dev/null; } 2>&1)
    w=$(awk -v r="$r" 'BEGIN { printf "%d", r * 1000 }')
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%d", (u + s) * 1000 }')
    if [ -z "$wall" ] || [ "$w" -lt "$wall" ]; then wall=$w; fi
    if [ -z "$cpu" ] || [ "$c" -lt "$cpu" ]; then cpu=$c; fi
  done
  echo "$wall $cpu"
}

declare -A ms
for size in full tenth; do
  d=1; [ "$size" = tenth ] && d=10
  words=$((100000 / d)) occ=$((10000000 / d))
  "$gen" modello "$words" "$occ" 7 > "model-$size"
  "$gen" testo $((20000000 / d)) "$words" 11 > "add-$size.txt"
  "$gen" testo $((1000000 / d)) "$words" 13 > "doc-$size.txt"
  : > "empty-$size.txt"
  ms[add-$size]=$(best_ms "model-$size" "$bow" aggiungi "add-$size.txt" 3)
  ms[load-$size]=$(best_ms "model-$size" "$bow" classifica "empty-$size.txt")
  ms[doc-$size]=$(best_ms "model-$size" "$bow" classifica "doc-$size.txt")
done

printf '%-40s %21s %21s %13s\n' "velmora_bow, best of 3" "1/10 wall / cpu ms" "full wall / cpu ms" "ratio w / cpu"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else printf "-" }'; }
row() {
  local fw fc tw tc
  read -r fw fc <<< "${ms[$1-full]}"
  read -r tw tc <<< "${ms[$1-tenth]}"
  printf '%-40s %10d / %8d %10d / %8d %6s / %s\n' "$2" "$tw" "$tc" "$fw" "$fc" "$(ratio "$fw" "$tw")" "$(ratio "$fc" "$tc")"
}
row add  "aggiungi 20 MB text, 100k-word model"
row load "load 100k words / 10M occurrences"
row doc  "classifica 1 MB text"
