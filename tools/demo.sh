#!/usr/bin/env bash
# Demo: a short velmora_bow session on texts written here.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'il gatto dorme sul divano, il gatto mangia il pesce e il gatto gioca\n' > gatti.txt
printf 'il cane abbaia al postino, il cane corre nel parco e porta la palla\n' > cani.txt
printf 'un gatto che dorme e mangia\n' > domanda.txt
"$build/bow/velmora_bow" aggiungi gatti.txt 1
"$build/bow/velmora_bow" aggiungi cani.txt 2
"$build/bow/velmora_bow" classifica domanda.txt
