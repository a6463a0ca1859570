#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs each one on its own seeds, its growing corpus and its kept regressions.
#
#   fuzz/run.sh                    10 million runs per target (long: minutes each)
#   fuzz/run.sh --runs N           N runs per target
#   fuzz/run.sh --seconds S        S seconds per target (CI uses --seconds 20)
#   fuzz/run.sh ... TARGET...      only these targets (default: all of them)
#
# The corpus is kept in build-fuzz/corpus/TARGET between runs; an input that
# makes a target fail is left in build-fuzz/findings/TARGET/. Everything runs
# under `nice -n 10`.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

limit=(-runs=10000000)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs)    limit=(-runs="$2"); shift 2 ;;
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *)         targets+=("$1"); shift ;;
  esac
done

./tools/deps.sh clang libclang-rt-14-dev
build="$root/build-fuzz"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF >/dev/null
nice -n 10 cmake --build "$build" -j 2 >/dev/null

if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/fuzz/fuzz_*; do [ -x "$exe" ] && targets+=("$(basename "$exe")"); done
fi

summary=()
failed=0
for t in "${targets[@]}"; do
  exe="$build/fuzz/$t"
  seeds="$build/seeds/$t" corpus="$build/corpus/$t" findings="$build/findings/$t"
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  rm -rf "$seeds"
  "$exe" --write-seeds "$seeds"
  regressions=()
  [ -d "fuzz/regressions/$t" ] && regressions=("fuzz/regressions/$t")

  # Kept inputs of past findings first: each must now pass.
  if [ ${#regressions[@]} -gt 0 ] && ! "$exe" -runs=1 "fuzz/regressions/$t"/* >"$log.regressions" 2>&1; then
    echo "$t: una regressione fallisce, vedi $log.regressions"
    failed=1
    continue
  fi

  echo "$t: ${limit[*]}"
  status=0
  nice -n 10 "$exe" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  if [ "$status" -ne 0 ]; then
    echo "$t: FALLITO dopo ${runs:-?} esecuzioni, vedi $log e $findings/"
    failed=1
  fi
  summary+=("$(printf '%-16s %12s esecuzioni  %s' "$t" "${runs:-?}" "$cov")")
done

printf '%s\n' "${summary[@]}"
exit "$failed"
