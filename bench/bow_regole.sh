#!/usr/bin/env bash
# velmora_bow's three scoring rules against scikit-learn's naive Bayes
# classifiers, on the demo's fortunes and the demo's split: addestra on the
# training fortunes, valuta under each rule (at its default smoothing) on the
# held-out ones, and bench/bow_sklearn.py fitting MultinomialNB and
# ComplementNB (Debian's python3-sklearn, default alpha) on the same counts,
# which it first checks against the Bow.txt addestra saved. It also checks
# that bayes and complemento name, text by text, the class of their
# scikit-learn forms at the same alpha. The table is printed and written to
# bench/out/bow_regole.txt; the speed of each rule is in bench/bow_corpus.sh.
#   bench/bow_regole.sh [build-dir]    (default build-bench; needs the fortunes, fetched by `make demo`)
set -euo pipefail
cd "$(dirname "$0")/.."
radice=$(pwd)
. bench/comune.sh
fortune_demo
tools/deps.sh python3-sklearn
py=/usr/bin/python3  # Debian's, with its sklearn
[ -x "$py" ] || py=python3
costruisci "${1:-}" velmora_bow
bow=$build/bow/velmora_bow
lavoro=$radice/bench/out/bow_regole
"$py" tools/demo_bow.py "$fortune" "$lavoro" > /dev/null
cd "$lavoro"
rm -f Bow.txt
"$bow" addestra addestramento > addestra.txt
for r in velmora bayes complemento; do "$bow" valuta verifica --punteggio "$r" --errori > "$r.txt"; done
alfa() { sed -n "s/^Punteggio: $1, alfa //p" "$1.txt"; }
"$py" "$radice/bench/bow_sklearn.py" addestramento verifica Bow.txt "$(alfa bayes)" bayes.txt \
  "$(alfa complemento)" complemento.txt > sklearn.txt
{
  echo "Held-out fortunes of the demo ($(date -u '+%Y-%m-%d'); $(sed -n 's/^Testi aggiunti: /training texts added: /p' addestra.txt))"
  printf '%-46s %14s %10s\n' rule right accuracy
  for r in velmora bayes complemento; do
    nome="velmora_bow --punteggio $r"
    [ "$r" = velmora ] || nome="$nome (alfa $(alfa "$r"))"
    printf '%-46s %14s %10s\n' "$nome" "$(tail -n 1 "$r.txt" | sed 's/Corretti //')" "$(sed -n 's/^Accuratezza: //p' "$r.txt")"
  done
  sed -n 's/^sklearn \(.*\): \([0-9]* of [0-9]*\) (\(.*\))$/\1 \2 \3/p' sklearn.txt |
    while read -r nome g of n acc; do printf '%-46s %14s %10s\n' "sklearn $nome" "$g di $n" "$acc"; done
  echo
  grep -E '^(counts|held-out|cross-check)' sklearn.txt
} | tee "$radice/bench/out/bow_regole.txt"
