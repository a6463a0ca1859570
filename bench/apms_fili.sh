#!/usr/bin/env bash
# Bench of velmora_apms's threads: the trainer at the commit before them
# (f83eb0c, its sources taken with git archive and built under bench/out)
# against this tree with --fili 1 and
# --fili 2, side by side in one run, the variants interleaved round after
# round (A B C A B C ...), medians reported, and every weight file compared
# with cmp against the older trainer's.
#   bench/apms_fili.sh [build-dir] [tutto|demo|fashion]
# GIRI sets the rounds of the demo's runs (default 3); the Fashion-MNIST run
# is long and runs once per variant. Tables go to bench/out/apms_fili.txt.
#
# Targets: the recipe and the defaults on the demo's 8000 digits, and the
# longer Fashion-MNIST recipe (60000 rows, 150 epochs); then what the second
# core buys at batches of 1, 10 and 100 rows (15 epochs at rate 0.3).
#
# Columns: wall time (median), rows trained per second, useful GFLOP/s and
# their share of the machine's peak, largest resident memory (median).
# Useful operations count only the inputs that are not zero (and the bias):
# per row and hidden neuron 2 for the weighted sum and 4 for the correction
# d * ((x * c) * b) + w of each such input; per row the output layer's
# 2 x 10 x 101 (sum) + 4 x 10 x 101 (corrections) and the 2 x 100 x 10 of
# the hidden errors; per batch of more than one row, or with decay, 3 per
# weight for w = (K / B) + (f * w). Exponentials, copies and listing are not
# counted. The nonzero inputs are counted on the rows as read (a shifted
# copy loses a few at the border: the figure is a little high for
# --spostamenti). The peak counts separate multiplies and adds, the unit
# this step uses (no fused multiply-add): cores x clock x vector lanes x
# (multiply pipes + add pipes), with 2 + 2 pipes as on AMD Zen 4 and 5 and
# the clock /proc/cpuinfo reports (the base clock; a boost only lowers the
# share).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. bench/comune.sh
costruisci "${1:-}" velmora_apms velmora_idx
parte=${2:-tutto}
giri=${GIRI:-3}
nuovo="$build/apms/velmora_apms"
out="$root/bench/out/apms_fili"
mkdir -p "$out"
command -v /usr/bin/time >/dev/null || { echo "Manca /usr/bin/time: apt-get install time"; exit 1; }

# The trainer before the threads, its sources taken from git into a folder
# of its own and built there.
BASE=f83eb0c
base_dir="$out/base-$BASE"
if [ ! -x "$base_dir/build/apms/velmora_apms" ]; then
  if [ ! -d "$base_dir/src" ]; then
    mkdir -p "$base_dir/src"
    git -C "$root" archive "$BASE" | tar -x -C "$base_dir/src"
  fi
  cmake -S "$base_dir/src" -B "$base_dir/build" -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
  cmake --build "$base_dir/build" -j 2 --target velmora_apms >/dev/null
fi
vecchio="$base_dir/build/apms/velmora_apms"

# The machine's peak for separate multiplies and adds.
core=$(nproc)
mhz=$(awk -F: '/^cpu MHz/ { print $2; exit }' /proc/cpuinfo)
if grep -qw avx512f /proc/cpuinfo; then corsie=8; elif grep -qw avx2 /proc/cpuinfo; then corsie=4; else corsie=2; fi
picco=$(awk -v c="$core" -v m="$mhz" -v l="$corsie" 'BEGIN { printf "%.1f", c * m / 1000 * l * 4 }')

# Mean nonzero pixels per row of a CSV file.
nonzeri() { awk -F, '{ for (i = 2; i <= NF; ++i) if ($i != 0) ++n } END { printf "%.1f", n / NR }' "$1"; }

# misura NOME RIGHE.csv EPOCHE LOTTO_PER_FLOP -- ARGOMENTI...: the three
# variants, giri rounds, interleaved; prints one table row per variant.
misura() {
  local nome=$1 csv=$2 epoche=$3 lotto=$4 n=$5
  shift 6
  local righe nz
  righe=$(wc -l < "$csv")
  nz=$(nonzeri "$csv")
  local cartella="$out/$nome"
  mkdir -p "$cartella"
  : > "$cartella/tempi.txt"
  for ((g = 1; g <= n; ++g)); do
    for v in f83eb0c fili1 fili2; do
      local prog=$nuovo extra=()
      case $v in
        f83eb0c) prog=$vecchio ;;
        fili1) extra=(--fili 1) ;;
        fili2) extra=(--fili 2) ;;
      esac
      /usr/bin/time -f "$v %e %M" -a -o "$cartella/tempi.txt" \
        "$prog" "$csv" "$cartella/h_$v.w" "$cartella/o_$v.w" "$@" "${extra[@]}" > "$cartella/log_$v.txt"
    done
  done
  for v in fili1 fili2; do
    cmp -s "$cartella/h_f83eb0c.w" "$cartella/h_$v.w" && cmp -s "$cartella/o_f83eb0c.w" "$cartella/o_$v.w" ||
      { echo "$nome: i pesi di $v DIFFERISCONO da quelli di f83eb0c"; exit 1; }
  done
  local base_parete
  base_parete=$(mediana "$cartella/tempi.txt" f83eb0c 2)
  for v in f83eb0c fili1 fili2; do
    awk -v v="$v" -v nome="$nome" -v righe="$righe" -v epoche="$epoche" -v lotto="$lotto" -v nz="$nz" \
        -v picco="$picco" -v base="$base_parete" -v parete="$(mediana "$cartella/tempi.txt" "$v" 2)" \
        -v rss="$(mediana "$cartella/tempi.txt" "$v" 3)" 'BEGIN {
        addestrate = righe * epoche
        flop_riga = 6 * 100 * (nz + 1) + 6 * 10 * 101 + 2 * 100 * 10
        flop_lotto = lotto > 0 ? 3 * (100 * 785 + 10 * 101) / lotto : 0
        gflops = addestrate * (flop_riga + flop_lotto) / parete / 1e9
        printf "| %-16s | %-8s | %7.2f s | %5.2fx | %9.0f | %6.2f | %5.1f%% | %6.1f MB |\n", nome, v, parete,
               base / parete, addestrate / parete, gflops, 100 * gflops / picco, rss / 1024
      }'
  done
}

# mediana FILE VARIANTE COLONNA: the median of a column over the variant's lines.
mediana() {
  awk -v v="$2" -v c="$3" '$1 == v { print $c }' "$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

nome_cpu() { awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo; }

testata() {
  echo "| run              | variant  | wall      | vs old | rows/s    | GFLOP/s | peak   | RSS       |"
  echo "|------------------|----------|-----------|--------|-----------|---------|--------|-----------|"
}

demo() {
  local csv="$root/data/mnist/train.csv"
  [ -f "$csv" ] || { echo "Manca $csv: prima make demo"; exit 1; }
  cp "$csv" "$out/train.csv"
  # The recipe: 90 epochs, batches of 10 with decay.
  misura ricetta_demo "$out/train.csv" 90 10 "$giri" -- --ricetta
  misura predefiniti_demo "$out/train.csv" 15 0 "$giri" -- 15 0.3
  for l in 1 10 100; do misura "lotto_$l" "$out/train.csv" 15 "$([ "$l" = 1 ] && echo 0 || echo "$l")" "$giri" -- 15 0.3 --lotto "$l"; done
}

fashion() {
  local sorgente=/usr/share/datasets/fashion-mnist
  [ -f "$sorgente/train-images-idx3-ubyte.gz" ] || { echo "Manca $sorgente: apt-get install dataset-fashion-mnist"; exit 1; }
  local f="$root/bench/out/fashion"
  mkdir -p "$f"
  [ -f "$f/train.csv" ] || "$build/idx/velmora_idx" "$sorgente/train-images-idx3-ubyte.gz" \
    "$sorgente/train-labels-idx1-ubyte.gz" "$f/train.csv" >/dev/null
  [ -f "$f/test.csv" ] || "$build/idx/velmora_idx" "$sorgente/t10k-images-idx3-ubyte.gz" \
    "$sorgente/t10k-labels-idx1-ubyte.gz" "$f/test.csv" >/dev/null
  misura fashion "$f/train.csv" 150 10 1 -- --ricetta --spostamenti 0 --decadimento 5e-5 --epoche 150 \
    --riduzione 0.5,30 --media 30 --verifica "$f/test.csv"
}

{
  echo "velmora_apms: f83eb0c against --fili 1 and --fili 2 ($(nome_cpu))"
  echo "picco: $core core x $mhz MHz x $corsie corsie x (2 moltiplicazioni + 2 addizioni) = $picco GFLOP/s"
  echo "carico prima: $(uptime)"
  testata
  case $parte in
    demo) demo ;;
    fashion) fashion ;;
    *) demo; fashion ;;
  esac
  echo "carico dopo: $(uptime)"
  echo "cmp: i file dei pesi di --fili 1 e --fili 2 sono identici a quelli di f83eb0c in ogni prova"
} | tee "$root/bench/out/apms_fili.txt"
