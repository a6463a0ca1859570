#!/usr/bin/env bash
# velmora_bow's linear rule against its peers, side by side, on two splits
# of the demo's ten Italian fortune files: the demo's own (every 5th fortune
# held out, tools/demo_bow.py) and a second one (fortunes 3, 8, 13, ... held
# out, bench/dividi_fortune.py). On each split:
#   - velmora_bow addestra on the training fortunes, from an empty Bow.txt,
#     without and with --lineare (whose report must be the same plus one
#     line, and whose Bow.txt the same), then valuta --punteggio velmora,
#     bayes, complemento and lineare on the held-out fortunes;
#   - the reference implementation (bench/lineare_riferimento.py) trained on
#     the same fortunes, and its model checked against Bow.lineare to the
#     last bit (bench/confronta_lineare.py);
#   - scikit-learn and fastText (bench/bow_lineare_peers.py, Debian's
#     python3-sklearn and fasttext), on the same accepted texts.
# Then, on the demo's split with every text in memory: the time to train the
# linear rule, and to score the held-out texts under it and under complemento.
# velmora_bow's times are medians of GIRI whole runs (reading included); the
# peers' are single runs, texts already read. Everything runs on one thread.
#   bench/bow_lineare.sh [build-dir]   (default build-bench; GIRI 3, SEMI 3 fastText seeds;
#                                      needs the fortunes, fetched by `make demo`)
# Inputs and outputs in bench/out/bow_lineare/, the table in bench/out/bow_lineare.txt.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
radice=$(pwd)
. bench/comune.sh
fortune_demo
tools/deps.sh python3-sklearn fasttext
py=/usr/bin/python3  # Debian's, with its sklearn
[ -x "$py" ] || py=python3
costruisci "${1:-}" velmora_bow bow_lineare
bow=$build/bow/velmora_bow aiuto=$build/bench/bow_lineare
GIRI=${GIRI:-3} SEMI=${SEMI:-3}
export OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1
lavoro=$radice/bench/out/bow_lineare
mkdir -p "$lavoro"


addestra_da_vuoto() {
  rm -f Bow.txt Bow.lineare
  "$bow" addestra addestramento "$@"
}

# tempo FILE COMANDO...: runs COMANDO GIRI times, its output in FILE; the median wall seconds.
tempo() {
  local file=$1 t0 tempi=()
  shift
  for _ in $(seq "$GIRI"); do
    t0=$(date +%s%N)
    "$@" > "$file"
    tempi+=($(($(date +%s%N) - t0)))
  done
  printf '%s\n' "${tempi[@]}" | sort -n | sed -n "$(((GIRI + 1) / 2))p" | awk '{printf "%.3f", $1 / 1e9}'
}

giusti() { tail -n 1 "$1" | sed -n 's/^Corretti \([0-9]*\) di \([0-9]*\)$/\1 \2/p'; }

riga() {  # NAME RIGHT N TRAIN EVAL [NOTE]
  printf '%-62s %7s of %-4s %7s %9s %8s  %s\n' "$1" "$2" "$3" "$(awk -v g="$2" -v n="$3" 'BEGIN { printf "%.2f%%", 100 * g / n }')" \
    "$4" "$5" "${6:-}" | sed 's/ *$//'
}

divisione() {  # NAME RESTO DESCRIPTION
  local d=$lavoro/$1
  "$py" bench/dividi_fortune.py "$fortune" "$d" "$2"
  (
    cd "$d"
    local ta tl
    ta=$(tempo addestra.txt addestra_da_vuoto)
    mv Bow.txt Bow.txt.senza_lineare
    tl=$(tempo addestra_lineare.txt addestra_da_vuoto --lineare)
    cmp -s Bow.txt Bow.txt.senza_lineare || { echo "$1: Bow.txt diverso con --lineare"; exit 1; }
    rm Bow.txt.senza_lineare
    [ "$(head -n -1 addestra_lineare.txt)" = "$(cat addestra.txt)" ] ||
      { echo "$1: addestra --lineare non stampa lo stesso rapporto"; exit 1; }
    local tv=() r
    for r in velmora bayes complemento; do tv+=("$(tempo "$r.txt" "$bow" valuta verifica --punteggio "$r")"); done
    local tvl
    tvl=$(tempo lineare.txt "$bow" valuta verifica --punteggio lineare)
    "$py" "$radice/bench/lineare_riferimento.py" addestra addestramento riferimento.txt > riferimento_addestra.txt
    "$py" "$radice/bench/confronta_lineare.py" Bow.lineare riferimento.txt > confronto.txt || true
    "$py" "$radice/bench/bow_lineare_peers.py" . --semi "$SEMI" > peers.tsv

    read -r g n < <(giusti lineare.txt)
    echo "Split $1 ($3): $(sed -n 's/^Testi aggiunti: \([0-9]*\) di \([0-9]*\)$/\1 of \2 training texts accepted/p' addestra.txt), $n held-out texts accepted"
    printf '%-62s %15s %8s %9s %8s\n' rule right accuracy "train s" "eval s"
    riga "velmora_bow lineare (addestra --lineare)" "$g" "$n" "$tl" "$tvl" "$(tail -n 1 addestra_lineare.txt | sed 's/^Modello lineare scritto in Bow.lineare: //')"
    for r in velmora bayes complemento; do
      local i=0 nome="velmora_bow --punteggio $r"
      case $r in bayes) i=1 ;; complemento) i=2 ;; esac
      [ "$r" = velmora ] || nome="$nome (alfa $(sed -n "s/^Punteggio: $r, alfa //p" "$r.txt"))"
      read -r g n < <(giusti "$r.txt")
      riga "$nome" "$g" "$n" "$ta" "${tv[$i]}"
    done
    while IFS=$'\t' read -r nome g n a v nota; do riga "$nome" "$g" "$n" "$a" "$v" "$nota"; done < peers.tsv
    echo "lineare against lineare_riferimento.py: $(cat confronto.txt)"
    echo
  )
}

{
  echo "velmora_bow's linear rule and its peers ($(date -u '+%Y-%m-%d'), $(getconf _NPROCESSORS_ONLN) cores; load at the start:$(uptime | sed 's/.*load average://'))"
  echo
  divisione demo 0 "the demo's: fortunes 5, 10, 15, ... held out"
  divisione split2 3 "fortunes 3, 8, 13, ... held out"
  echo "Training and scoring in memory, demo split (bench/bow_lineare tempi, $((2 * GIRI + 1)) runs):"
  "$aiuto" tempi "$lavoro/demo/addestramento" "$lavoro/demo/verifica" $((2 * GIRI + 1))
  echo
  echo "Load at the end:$(uptime | sed 's/.*load average://')"
} | tee "$radice/bench/out/bow_lineare.txt"
