#!/usr/bin/env bash
# What the digits page costs: the demo's recipe (--ricetta, 8000 training
# rows, --verifica on 2000) without and with --rapporto and --curva, run in
# turn N times (default 3), wall and CPU seconds of each; the median of each
# side and their ratio; the page's size.
#   bench/pagina_cifre.sh [build-dir] [N]
# The table goes to bench/out/pagina_cifre.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. bench/comune.sh
costruisci "${1:-}" velmora_apms
volte=${2:-3}
apms="$build/apms/velmora_apms"
out="$root/bench/out/pagina_cifre"
mkdir -p "$out"
[ -f data/mnist/train.csv ] && [ -f data/mnist/test.csv ] || { echo "Mancano le righe della demo: prima make demo"; exit 1; }
cp data/mnist/train.csv data/mnist/test.csv "$out/"
cd "$out"
: > tempi.txt
for i in $(seq "$volte"); do
  for modo in senza con; do
    extra=()
    [ "$modo" = con ] && extra=(--rapporto cifre.html --curva curva.tsv)
    /usr/bin/time -f "$modo %e %U %S" -a -o tempi.txt \
      "$apms" train.csv h.w o.w --ricetta --verifica test.csv "${extra[@]}" > "$modo.log"
  done
done
awk -v pagina="$(stat -c %s cifre.html)" '
  { n[$1]++; parete[$1, n[$1]] = $2; cpu[$1, n[$1]] = $3 + $4 }
  function mediana(a, m, k,   v, i, j, t) {
    for (i = 1; i <= k; i++) v[i] = a[m, i]
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
  }
  END {
    ps = mediana(parete, "senza", n["senza"]); pc = mediana(parete, "con", n["con"])
    cs = mediana(cpu, "senza", n["senza"]); cc = mediana(cpu, "con", n["con"])
    printf "corse per lato: %d\n", n["senza"]
    printf "tempo reale, mediana: senza %.2f s, con la pagina %.2f s, rapporto %.3f\n", ps, pc, pc / ps
    printf "tempo di CPU, mediana: senza %.2f s, con la pagina %.2f s, rapporto %.3f\n", cs, cc, cc / cs
    printf "pagina: %d byte\n", pagina
  }' tempi.txt | tee "$root/bench/out/pagina_cifre.txt"
