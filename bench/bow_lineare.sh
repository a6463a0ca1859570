#!/usr/bin/env bash
# velmora_bow's linear rule on labelled corpora laid out as the demo's
# (CORPUS/addestramento/K/..., CORPUS/verifica/K/...): on each,
#   - addestra --lineare from an empty folder: wall and CPU seconds, peak
#     memory (/usr/bin/time), the settings the cross-validation chose;
#   - valuta under the four rules on the held-out texts;
#   - the calibration of the linear rule's probabilities on the held-out
#     texts (expected calibration error, 15 bins of the top probability;
#     bench/bow_lineare verifica);
#   - convalida with 5 folds on the training texts: its time.
# The peers (scikit-learn, fastText) on the same corpora: bench/bow_corpora.sh.
#   bench/bow_lineare.sh [CORPUS...]   (default: the demo's split, made from
#                                      the fortunes `make demo` fetches)
# BUILD names the build folder (default build-bench). Table in bench/out/bow_lineare.txt.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
radice=$(pwd)
. bench/comune.sh
costruisci "${BUILD:-build-bench}" velmora_bow bow_lineare
bow=$build/bow/velmora_bow aiuto=$build/bench/bow_lineare
lavoro=$radice/bench/out/bow_lineare
mkdir -p "$lavoro"
corpora=("$@")
if [ ${#corpora[@]} -eq 0 ]; then
  fortune_demo
  python3 tools/demo_bow.py "$fortune" "$lavoro/demo" >/dev/null
  corpora=("$lavoro/demo")
fi

giusti() { tail -n 1 "$1" | sed -n 's/^Corretti \([0-9]*\) di \([0-9]*\)$/\1 \2/p'; }
percento() { awk -v g="$1" -v n="$2" 'BEGIN { printf "%.2f%%", 100 * g / n }'; }

{
  echo "velmora_bow's linear rule ($(date -u '+%Y-%m-%d'), $(getconf _NPROCESSORS_ONLN) cores; load at the start:$(uptime | sed 's/.*load average://'))"
  for corpus in "${corpora[@]}"; do
    corpus=$(cd "$corpus" && pwd)
    nome=$(basename "$corpus")
    d=$lavoro/run_$nome
    rm -rf "$d" && mkdir -p "$d"
    (
      cd "$d"
      /usr/bin/time -f "%e %U %M" -o tempo.txt "$bow" addestra "$corpus/addestramento" --lineare > addestra.txt
      read -r wall cpu kb < tempo.txt
      echo
      echo "$nome: $(sed -n 's/^Testi aggiunti: //p' addestra.txt) training texts accepted"
      echo "  $(tail -n 1 addestra.txt)"
      echo "  addestra --lineare: ${wall} s wall, ${cpu} s CPU, peak $((kb / 1024)) MB"
      for r in velmora bayes complemento lineare; do
        "$bow" valuta "$corpus/verifica" --punteggio "$r" > "valuta_$r.txt"
        read -r g n < <(giusti "valuta_$r.txt")
        printf '  %-12s %5s of %-5s %s\n' "$r" "$g" "$n" "$(percento "$g" "$n")"
      done
      IFS=$'\t' read -r g n scelta acc t ece ms < <("$aiuto" verifica "$corpus/addestramento" "$corpus/verifica")
      echo "  calibration on the held-out texts: ECE $ece (temperature $t)"
      /usr/bin/time -f "%e %U %M" -o tempo_cv.txt "$bow" convalida "$corpus/addestramento" > convalida.txt
      read -r wall cpu kb < tempo_cv.txt
      echo "  convalida (5 folds, four rules): ${wall} s wall, ${cpu} s CPU, peak $((kb / 1024)) MB"
      sed -n '3,6p' convalida.txt | sed 's/^/    /'
    )
  done
  echo
  echo "Load at the end:$(uptime | sed 's/.*load average://')"
} | tee "$radice/bench/out/bow_lineare.txt"
