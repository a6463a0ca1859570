#!/usr/bin/env bash
# velmora_bow on a whole corpus against one process per text, side by side in
# one run: `valuta` of 1000 texts (under each scoring rule) and `predici` of
# the same texts against 1000 `classifica` runs on the same model, and `addestra` of the same 1000 texts against 1000 `aggiungi` runs,
# each also with the twin whose atomic write never syncs (so the ratio is not
# only the syncs of the cleaned copies). The loops are shell loops, as a
# user's script would run them. Rounds are interleaved; each figure is the
# median of GIRI rounds (default 3), the ratios the median of the ratios of
# the same round. Before timing, the script checks that addestra and the
# aggiungi runs save the same Bow.txt, and that valuta and predici name for
# every text the class classifica names. The table is printed and written to
# bench/out/bow_corpus.txt.
#   bench/bow_corpus.sh [build-dir]          (default build-bench)
# The seeded data is made once in bench/out/bow_corpus/: a model of 20 000
# words and 1 million occurrences, and 1000 texts of 200 to 4000 bytes drawn
# from its words, text i in class i % 10.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/comune.sh
prepara_bow bow_corpus "${1:-}"

[ -s modello ] || { "$gen" modello 20000 1000000 7 > modello.tmp && mv modello.tmp modello; }
[ -d testi ] || { "$gen" corpus testi.tmp 1000 20000 7 && mv testi.tmp testi; }
find testi -type f ! -name '*.clean' | LC_ALL=C sort > elenco
mkdir -p valuta addestra
ln -sfn ../testi valuta/testi
ln -sfn ../testi addestra/testi
ln -sfn ../elenco valuta/elenco
ln -sfn ../elenco addestra/elenco
pulisci() { find testi -name '*.clean' -delete; }

# Every text in turn, as a script would: PROGRAMMA AZIONE [CLASSE from the folder].
ciclo_classifica='while read -r f; do "$0" classifica "$f"; done < elenco'
ciclo_aggiungi='while read -r f; do c=${f#testi/}; "$0" aggiungi "$f" "${c%%/*}"; done < elenco'

# The checks, once, outside the timing.
(cd addestra && rm -f Bow.txt && sh -c "$ciclo_aggiungi" "$bow" > /dev/null && mv Bow.txt ../uno_per_file.Bow)
(cd addestra && rm -f Bow.txt && "$bow" addestra testi > /dev/null && cmp Bow.txt ../uno_per_file.Bow)
echo "addestra and the 1000 aggiungi runs save the same Bow.txt"
(cd valuta && cp ../modello Bow.txt &&
  while read -r f; do c=${f#testi/}; echo "${c%%/*} $("$bow" classifica "$f" | tail -n 1 | tr -dc 0-9) $f"; done < elenco |
  awk '$1 != $2' > ../sbagliati_classifica &&
  "$bow" valuta testi --errori | grep -E '^[0-9] [0-9] ' > ../sbagliati_valuta)
cmp sbagliati_classifica sbagliati_valuta
(cd valuta && "$bow" predici testi | tail -n +2 | awk -F '\t' '{ split($1, p, "/"); if (p[2] != $2) print p[2], $2, $1 }' \
   > ../sbagliati_predici)
cmp sbagliati_classifica sbagliati_predici
echo "valuta, predici and classifica agree on every text ($(wc -l < sbagliati_valuta) misclassified)"
pulisci

nomi=()
lavoro() {  # NAME FOLDER COMMAND...
  nomi+=("$1")
  eval "cartella_${#nomi[@]}=\$2"
  shift 2
  eval "comando_${#nomi[@]}=(\"\$@\")"
}
lavoro "valuta, 1000 texts" valuta "$bow" valuta testi
lavoro "valuta --punteggio bayes" valuta "$bow" valuta testi --punteggio bayes
lavoro "valuta --punteggio complemento" valuta "$bow" valuta testi --punteggio complemento
lavoro "predici, 1000 texts" valuta sh -c '"$0" predici testi > /dev/null' "$bow"
lavoro "1000 classifica" valuta sh -c "$ciclo_classifica" "$bow"
lavoro "1000 classifica, no fsync" valuta sh -c "$ciclo_classifica" "$gemello"
lavoro "addestra, 1000 texts" addestra "$bow" addestra testi
lavoro "1000 aggiungi" addestra sh -c "$ciclo_aggiungi" "$bow"
lavoro "1000 aggiungi, no fsync" addestra sh -c "$ciclo_aggiungi" "$gemello"

risultati=$(mktemp)
trap 'rm -f "$risultati"' EXIT
carico_prima=$(uptime)
for ((giro = 1; giro <= ${GIRI:-3}; giro++)); do
  for ((i = 1; i <= ${#nomi[@]}; i++)); do
    cartella="cartella_$i"
    cd "${!cartella}"
    # valuta and classifica start from the model; addestra and aggiungi from none.
    if [ "${!cartella}" = valuta ]; then cp ../modello Bow.txt; else rm -f Bow.txt; fi
    find testi/ -name "*.clean" -delete
    sync
    ref="comando_$i[@]"
    read -r wall cpu rss stato < <("$misura" "${!ref}")
    [ "$stato" = 0 ] || { echo "${nomi[i - 1]}: status $stato"; exit 1; }
    echo "$i $giro $wall $cpu $rss" >> "$risultati"
    cd ..
  done
done
carico_dopo=$(uptime)
pulisci

mediana() {  # COLUMN JOB
  awk -v c="$1" -v i="$2" '$1 == i { print $c }' "$risultati" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
indice() { for ((i = 1; i <= ${#nomi[@]}; i++)); do [ "${nomi[i - 1]}" = "$1" ] && echo "$i"; done; }
rapporto() {  # COLUMN JOB-A JOB-B: median over the rounds of A / B
  awk -v c="$1" -v a="$(indice "$2")" -v b="$(indice "$3")" '
    $1 == a { x[$2] = $c } $1 == b { y[$2] = $c }
    END { for (g in x) print x[g] / y[g] }' "$risultati" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

{
  echo "velmora_bow on a corpus, median of ${GIRI:-3} interleaved rounds; $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "load before:$carico_prima"
  echo "load after: $carico_dopo"
  printf '%-32s %10s %10s\n' job "wall ms" "CPU ms"
  for ((i = 1; i <= ${#nomi[@]}; i++)); do
    printf '%-32s %10s %10s\n' "${nomi[i - 1]}" "$(mediana 3 "$i")" "$(mediana 4 "$i")"
  done
  echo
  for b in "1000 classifica" "1000 classifica, no fsync"; do
    echo "$b / valuta, same round: $(rapporto 3 "$b" "valuta, 1000 texts")x wall, $(rapporto 4 "$b" "valuta, 1000 texts")x CPU"
    echo "$b / predici, same round: $(rapporto 3 "$b" "predici, 1000 texts")x wall, $(rapporto 4 "$b" "predici, 1000 texts")x CPU"
  done
  for v in "valuta --punteggio bayes" "valuta --punteggio complemento"; do
    echo "1000 classifica / $v, same round: $(rapporto 3 "1000 classifica" "$v")x wall, $(rapporto 4 "1000 classifica" "$v")x CPU"
  done
  for b in "1000 aggiungi" "1000 aggiungi, no fsync"; do
    echo "$b / addestra, same round: $(rapporto 3 "$b" "addestra, 1000 texts")x wall, $(rapporto 4 "$b" "addestra, 1000 texts")x CPU"
  done
} | tee "$uscita"
