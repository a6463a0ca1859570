#!/usr/bin/env bash
# What the page of valuta --rapporto costs on a corpus of 10 000 texts: valuta
# with and without the page, side by side in one run, under the built-in
# rule, bayes and lineare. The texts draw from one vocabulary whatever their
# class, so most are misclassified: every cell of the matrix lists texts, and
# the page draws its full 200 misclassified texts (the page's worst case).
# Rounds are interleaved; each figure is the median of GIRI rounds (default
# 3). The table, with the page's size, is printed and written to
# bench/out/bow_pagina.txt.
#   bench/bow_pagina.sh [build-dir]          (default build-bench)
# The seeded data is made once in bench/out/bow_pagina/: 10 000 texts of 200
# to 4000 bytes over 20 000 words, text i in class i % 10, and the models
# addestra --lineare learns from them.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/comune.sh
costruisci "${1:-}" velmora_bow bow_gen bow_misura
bow=$build/bow/velmora_bow gen=$build/bench/bow_gen misura=$build/bench/bow_misura
uscita=$(pwd)/bench/out/bow_pagina.txt
mkdir -p bench/out/bow_pagina
cd bench/out/bow_pagina

[ -d testi ] || { "$gen" corpus testi.tmp 10000 20000 7 && mv testi.tmp testi; }
[ -s Bow.lineare ] || "$bow" addestra testi --lineare > /dev/null
testi=$(find testi -type f | wc -l)

nomi=() comandi=()
for regola in velmora bayes lineare; do
  nomi+=("valuta --punteggio $regola") comandi+=("valuta testi --punteggio $regola")
  nomi+=("  + --rapporto pagina.html") comandi+=("valuta testi --punteggio $regola --rapporto pagina-$regola.html")
done

risultati=$(mktemp)
trap 'rm -f "$risultati"' EXIT
carico_prima=$(uptime)
for ((giro = 1; giro <= ${GIRI:-3}; giro++)); do
  for ((i = 0; i < ${#nomi[@]}; i++)); do
    # shellcheck disable=SC2086
    read -r wall cpu rss stato < <("$misura" "$bow" ${comandi[i]})
    [ "$stato" = 0 ] || { echo "${nomi[i]}: status $stato"; exit 1; }
    echo "$i $giro $wall $cpu $rss" >> "$risultati"
  done
done
carico_dopo=$(uptime)

mediana() {  # COLUMN JOB
  awk -v c="$1" -v i="$2" '$1 == i { print $c }' "$risultati" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

{
  echo "valuta --rapporto on $testi texts, median of ${GIRI:-3} interleaved rounds; $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "load before:$carico_prima"
  echo "load after: $carico_dopo"
  printf '%-32s %10s %10s %10s\n' job "wall ms" "CPU ms" "page ms"
  for ((i = 0; i < ${#nomi[@]}; i++)); do
    pagina=""
    if ((i % 2)); then
      pagina=$(awk -v a="$(mediana 3 "$i")" -v b="$(mediana 3 $((i - 1)))" 'BEGIN { printf "%+.1f", a - b }')
    fi
    printf '%-32s %10s %10s %10s\n' "${nomi[i]}" "$(mediana 3 "$i")" "$(mediana 4 "$i")" "$pagina"
  done
  echo
  for regola in velmora bayes lineare; do
    echo "pagina-$regola.html: $(wc -c < "pagina-$regola.html") bytes"
  done
} | tee "$uscita"
