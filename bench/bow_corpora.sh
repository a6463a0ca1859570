#!/usr/bin/env bash
# velmora_bow's four rules against its peers on every corpus of the bench
# (bench/corpora.py: the demo's fortunes, the Italian fortunes split by hash,
# English fortunes, manual pages by section, Python and SciPy docstrings),
# in one run. On each corpus:
#   - velmora_bow addestra --lineare on the training texts from an empty
#     Bow.txt, then valuta --punteggio velmora, bayes, complemento and
#     lineare on the held-out texts; convalida --pieghe 5 on the training
#     texts when the binary has it; the expected calibration error (15 bins
#     over the top class's probability) of predici --probabilita on the
#     held-out texts under each rule, when the binary has it (else n/d);
#   - the peers of bench/bow_corpora_peers.py (scikit-learn with C or alpha
#     chosen by 5-fold cross-validation, fastText with bigrams and subwords)
#     on the same texts.
# Then the targets on time and memory: addestra --lineare and convalida
# --pieghe 5 (when present) on the demo's corpus, wall seconds; the peak
# resident memory (/usr/bin/time -f %M) and wall time of addestra --lineare on
# the 230 000 short texts of `brevi`.
#   bench/bow_corpora.sh [build-dir]        (default build-bench; SEMI 1 fastText seed)
# The corpora are taken from $CORPORA (default bench/out/corpora), built there
# by bench/corpora.sh when missing. Work in bench/out/bow_corpora/, the table
# in bench/out/bow_corpora.txt, every figure in bench/out/bow_corpora.tsv.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
radice=$(pwd)
. bench/comune.sh
tools/deps.sh python3-sklearn fasttext time
py=/usr/bin/python3  # Debian's, with its sklearn
costruisci "${1:-}" velmora_bow
bow=$build/bow/velmora_bow
SEMI=${SEMI:-1}
export OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 PYTHONDONTWRITEBYTECODE=1
CORPORA=${CORPORA:-bench/out/corpora}
NOMI=(demo fortune_it fortune_en manuali pydoc scipy)
for nome in "${NOMI[@]}" brevi; do
  [ -f "$CORPORA/$nome/LEGGIMI.txt" ] || bench/corpora.sh "$CORPORA" "$nome" > /dev/null
done
CORPORA=$(cd "$CORPORA" && pwd)
lavoro=$radice/bench/out/bow_corpora
mkdir -p "$lavoro"

# What today's binary offers: convalida, predici --probabilita.
ha_convalida=0 ha_probabilita=0
"$bow" convalida --help > /dev/null 2>&1 && ha_convalida=1
"$bow" predici --help 2>&1 | grep -q -- --probabilita && ha_probabilita=1

adesso() { date +%s%N; }
secondi() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }
giusti() { tail -n 1 "$1" | sed -n 's/^Corretti \([0-9]*\) di \([0-9]*\)$/\1\t\2/p'; }

corpus() {  # NAME: fills $lavoro/NAME/risultati.tsv
  local c=$CORPORA/$1 d=$lavoro/$1 t0 ta r tv errore nota
  mkdir -p "$d"
  cd "$d"
  rm -f Bow.txt Bow.lineare risultati.tsv
  t0=$(adesso)
  "$bow" addestra "$c/addestramento" --lineare > addestra.txt
  ta=$(secondi "$t0" "$(adesso)")
  for r in lineare velmora bayes complemento; do
    t0=$(adesso)
    "$bow" valuta "$c/verifica" --punteggio "$r" > "valuta_$r.txt"
    tv=$(secondi "$t0" "$(adesso)")
    errore=n/d
    if [ "$ha_probabilita" = 1 ]; then
      "$bow" predici "$c/verifica" --punteggio "$r" --probabilita > "probabilita_$r.tsv" || true
      errore=$("$py" "$radice/bench/bow_corpora_peers.py" ece "probabilita_$r.tsv" 2> /dev/null || echo n/d)
    fi
    case $r in
      lineare) nota=$(sed -n 's/^Modello lineare scritto in Bow.lineare: //p' addestra.txt | tr '\t' ' ') ;;
      velmora) nota="" ;;
      *) nota="alfa $(sed -n "s/^Punteggio: $r, alfa //p" "valuta_$r.txt")" ;;
    esac
    printf 'velmora %s\t%s\t%s\t%s\t%s\t%s\n' "$r" "$(giusti "valuta_$r.txt")" "$ta" "$tv" "$errore" "$nota" >> risultati.tsv
  done
  if [ "$ha_convalida" = 1 ]; then
    "$bow" convalida "$c/addestramento" --pieghe 5 > convalida.txt 2>&1 || echo "convalida: stato $?" >> convalida.txt
  fi
  "$py" "$radice/bench/bow_corpora_peers.py" peers "$c" --semi "$SEMI" >> risultati.tsv
  cd "$radice"
}

# memoria FILE COMMAND...: runs COMMAND, its output in FILE; prints "peak-KB wall-s".
memoria() {
  local file=$1 t0
  shift
  t0=$(adesso)
  /usr/bin/time -f %M -o "$file.memoria" "$@" > "$file"
  echo "$(cat "$file.memoria") $(secondi "$t0" "$(adesso)")"
}

{
  echo "velmora_bow and its peers on the bench's corpora ($(date -u '+%Y-%m-%d'), $(git rev-parse --short HEAD)," \
    "$(getconf _NPROCESSORS_ONLN) cores; load at the start:$(uptime | sed 's/.*load average://'))"
  echo "convalida: $([ "$ha_convalida" = 1 ] && echo yes || echo "not in this binary");" \
    "predici --probabilita: $([ "$ha_probabilita" = 1 ] && echo yes || echo "not in this binary")"
  for nome in "${NOMI[@]}"; do
    echo "$nome..." >&2
    corpus "$nome"
  done
  echo
  "$py" bench/bow_corpora_peers.py tabella "$lavoro" "$radice/bench/out/bow_corpora.tsv" "${NOMI[@]}"
  echo
  echo "Time and memory (one run each):"
  d=$lavoro/tempi
  mkdir -p "$d"
  cd "$d"
  rm -f Bow.txt Bow.lineare
  read -r kb s < <(memoria addestra_demo.txt "$bow" addestra "$CORPORA/demo/addestramento" --lineare)
  echo "  addestra --lineare, demo's corpus ($(find "$CORPORA/demo/addestramento" -type f | wc -l) texts): $s s, peak $((kb / 1024)) MB"
  if [ "$ha_convalida" = 1 ]; then
    read -r kb s < <(memoria convalida_demo.txt "$bow" convalida "$CORPORA/demo/addestramento" --pieghe 5)
    echo "  convalida --pieghe 5, demo's corpus: $s s, peak $((kb / 1024)) MB"
  else
    echo "  convalida --pieghe 5, demo's corpus: n/d (not in this binary)"
  fi
  rm -f Bow.txt Bow.lineare
  testi=$(find "$CORPORA/brevi/addestramento" -type f | wc -l)
  byte=$(find "$CORPORA/brevi/addestramento" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  read -r kb s < <(memoria addestra_brevi.txt "$bow" addestra "$CORPORA/brevi/addestramento" --lineare)
  echo "  addestra --lineare, brevi ($testi texts, $byte bytes): $s s, peak $((kb / 1024)) MB ($kb KB)"
  rm -f Bow.txt Bow.lineare
  cd "$radice"
  echo
  echo "Load at the end:$(uptime | sed 's/.*load average://')"
} | tee "$radice/bench/out/bow_corpora.txt"
