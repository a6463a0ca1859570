#!/usr/bin/env bash
# velmora_bow benchmark, every job side by side in one run: aggiungi and
# classifica of a 30 MB and a 300 MB seeded text with a 100 000-word model,
# the same jobs with the twin whose atomic write never syncs (what durability
# costs), the `tr -cs A-Za-z '\n' | wc -l` pipeline on the 300 MB text,
# loading the model and classifying a 1 MB text. The rounds are interleaved;
# each figure is the median of GIRI rounds (default 5), with the best wall
# time beside it, and peak memory the largest. The table is printed and
# written to bench/out/bow.txt.
#   bench/bow.sh [build-dir]                 (default build-bench)
#   PRIMA=path/to/velmora_bow bench/bow.sh   adds that build's jobs, e.g. an older commit's
# The seeded data is made once in bench/out/bow/ (about 700 MB with the
# cleaned copies); remove the folder to make it again.
set -euo pipefail
prima=${PRIMA:+$(realpath "$PRIMA")}
cd "$(dirname "$0")/.."
. bench/comune.sh
prepara_bow bow "${1:-}"

# One vocabulary (100 000 words, seed 7) for the model and the texts; each
# text has a draw of its own.
crea() {  # FILE bow_gen-arguments...
  local file=$1
  shift
  [ -s "$file" ] || { "$gen" "$@" > "$file.tmp" && mv "$file.tmp" "$file"; }
}
crea modello modello 100000 10000000 7
crea t300.txt testo 300000000 100000 7 11
crea t30.txt testo 30000000 100000 7 12
crea doc1.txt testo 1000000 100000 7 13
: > vuoto.txt

# The jobs: a name and a command each.
nomi=()
lavoro() {
  nomi+=("$1")
  shift
  eval "comando_${#nomi[@]}=(\"\$@\")"
}
for p in "$bow" "$gemello" ${prima:+"$prima"}; do
  case "$p" in
    "$bow") chi="" ;;
    "$gemello") chi="no fsync: " ;;
    *) chi="before: " ;;
  esac
  lavoro "${chi}aggiungi 30 MB" "$p" aggiungi t30.txt 3
  lavoro "${chi}aggiungi 300 MB" "$p" aggiungi t300.txt 3
  # The same, replacing the cleaned copy of the previous run: the rename
  # then also frees its 300 MB.
  [ "$p" = "$bow" ] && lavoro "aggiungi 300 MB, old .clean" "$p" aggiungi t300.txt 3
  lavoro "${chi}classifica 30 MB" "$p" classifica t30.txt
  lavoro "${chi}classifica 300 MB" "$p" classifica t300.txt
  if [ "$p" != "$gemello" ]; then
    lavoro "${chi}load the model" "$p" classifica vuoto.txt
    lavoro "${chi}classifica 1 MB" "$p" classifica doc1.txt
  fi
done
lavoro "tr | wc -l, 300 MB" sh -c "tr -cs A-Za-z '\n' < t300.txt | wc -l"

# Each run starts from the same model, with no cleaned copy left by an earlier
# run (but for the job that replaces one) and the disk idle: what the last
# run left to write back is synced first, outside the measure.
risultati=$(mktemp)
trap 'rm -f "$risultati"' EXIT
carico_prima=$(uptime)
for ((giro = 1; giro <= ${GIRI:-5}; giro++)); do
  for ((i = 1; i <= ${#nomi[@]}; i++)); do
    cp modello Bow.txt
    case "${nomi[i - 1]}" in
      *"old .clean") cp t300.txt t300.txt.clean ;;
      *) rm -f ./*.clean ;;
    esac
    sync
    ref="comando_$i[@]"
    read -r wall cpu rss stato < <("$misura" "${!ref}")
    [ "$stato" = 0 ] || { echo "${nomi[i - 1]}: status $stato"; exit 1; }
    echo "$i $giro $wall $cpu $rss" >> "$risultati"
  done
done
carico_dopo=$(uptime)

mediana() {  # COLUMN JOB: the median of that column over the job's rounds
  awk -v c="$1" -v i="$2" '$1 == i { print $c }' "$risultati" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
massimo() { awk -v c="$1" -v i="$2" '$1 == i && $c > m { m = $c } END { printf "%.1f", m / 1024 }' "$risultati"; }
minimo() { awk -v c="$1" -v i="$2" '$1 == i && (m == "" || $c < m) { m = $c } END { printf "%.1f", m }' "$risultati"; }
indice() { for ((i = 1; i <= ${#nomi[@]}; i++)); do [ "${nomi[i - 1]}" = "$1" ] && echo "$i"; done; }
# Median over the rounds of the ratio of two jobs' wall times in the same round.
rapporto() {
  awk -v a="$(indice "$1")" -v b="$(indice "$2")" '
    $1 == a { x[$2] = $3 } $1 == b { y[$2] = $3 }
    END { for (g in x) print x[g] / y[g] }' "$risultati" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

{
  echo "velmora_bow, median of ${GIRI:-5} interleaved rounds; 100 000-word model; $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "load before:$carico_prima"
  echo "load after: $carico_dopo"
  printf '%-34s %10s %10s %10s %12s\n' job "wall ms" "best wall" "CPU ms" "peak RSS MB"
  for ((i = 1; i <= ${#nomi[@]}; i++)); do
    printf '%-34s %10s %10s %10s %12s\n' "${nomi[i - 1]}" "$(mediana 3 "$i")" "$(minimo 3 "$i")" "$(mediana 4 "$i")" \
      "$(massimo 5 "$i")"
  done
  echo
  echo "aggiungi 300 MB / tr | wc -l, same round:   $(rapporto "aggiungi 300 MB" "tr | wc -l, 300 MB")x"
  echo "classifica 300 MB / tr | wc -l, same round: $(rapporto "classifica 300 MB" "tr | wc -l, 300 MB")x"
  for c in aggiungi classifica; do
    a=$(mediana 3 "$(indice "$c 300 MB")") b=$(mediana 3 "$(indice "no fsync: $c 300 MB")")
    echo "fsync cost, $c 300 MB: $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.0f ms of %.0f (%.0f%%)", a - b, a, 100 * (a - b) / a }')"
  done
  for c in aggiungi classifica; do
    a=$(massimo 5 "$(indice "$c 30 MB")") b=$(massimo 5 "$(indice "$c 300 MB")")
    echo "peak RSS from 30 to 300 MB, $c: $a -> $b MB ($(awk -v a="$a" -v b="$b" 'BEGIN { printf "%+.1f%%", 100 * (b - a) / a }'))"
  done
} | tee "$uscita"
