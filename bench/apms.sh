#!/usr/bin/env bash
# Benchmark of velmora_apms: the shipped trainer against its straightforward
# build (scanf reading, one scalar sum per neuron, one weight at a time), as
# medians of interleaved runs, with cmp on the weight files both wrote.
#   bench/apms.sh [build-dir]
# Generates 8000 digit-like rows from the seed SEME (default 1) into
# bench/out/apms/. GIRI sets the runs (default 5), EPOCHE and TASSO the
# training (default 15 and 0.3). The results also go to bench/out/apms.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/comune.sh
costruisci "${1:-}" velmora_apms velmora_apms_riferimento bpms_genera apms_misura
out=bench/out/apms
mkdir -p "$out"
righe=$out/righe.csv
# bpms_genera also writes two weight files, which training does not read.
"$build/bench/bpms_genera" "${SEME:-1}" "$righe" "$out/scarto_h.w" "$out/scarto_o.w" 8000
{
  echo "carico prima: $(uptime)"
  "$build/bench/apms_misura" "$righe" "$out" "$build/apms/velmora_apms_riferimento" "$build/apms/velmora_apms" \
    "${GIRI:-5}" "${EPOCHE:-15}" "${TASSO:-0.3}"
  if cmp "$out/rif_intercalari.w" "$out/sped_intercalari.w" && cmp "$out/rif_efferenti.w" "$out/sped_efferenti.w"; then
    echo "cmp: file dei pesi identici"
  else
    echo "cmp: file dei pesi DIVERSI"
    exit 1
  fi
  echo "carico dopo: $(uptime)"
} | tee bench/out/apms.txt
