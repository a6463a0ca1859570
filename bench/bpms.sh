#!/usr/bin/env bash
# Benchmark of velmora_bpms: the shipped program against its straightforward
# build and the floors of its work, as medians of several interleaved runs.
#   bench/bpms.sh [build-dir] [rows.csv hidden.w output.w]
# Without files it generates 10000 digit-like rows and two weight files from
# the seed SEME (default 1) into bench/out/bpms/. GIRI sets the runs (default 9).
# The table is printed and kept in bench/out/bpms.txt.
set -euo pipefail
files=()
for f in "${@:2}"; do files+=("$(realpath "$f")"); done  # given relative to the caller
cd "$(dirname "$0")/.."
. bench/comune.sh
costruisci "${1:-}" velmora_bpms velmora_bpms_riferimento bpms_genera bpms_misura
mkdir -p bench/out/bpms
if [ $# -ge 4 ]; then
  righe=${files[0]} intercalari=${files[1]} efferenti=${files[2]}
else
  righe=bench/out/bpms/righe.csv intercalari=bench/out/bpms/intercalari.w efferenti=bench/out/bpms/efferenti.w
  "$build/bench/bpms_genera" "${SEME:-1}" "$righe" "$intercalari" "$efferenti" 10000
fi
"$build/bench/bpms_misura" "$righe" "$intercalari" "$efferenti" \
  "$build/bpms/velmora_bpms_riferimento" "$build/bpms/velmora_bpms" "${GIRI:-9}" | tee bench/out/bpms.txt
