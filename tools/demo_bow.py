#!/usr/bin/env python3
"""velmora_bow on real text: the Italian fortunes of Debian's fortunes-it.

Each of ten fortune files is one class. Of every file's usable fortunes,
every fifth (the 5th, 10th, ...) is held out; the others are joined into one
text per class and added with `velmora_bow aggiungi`. Every held-out fortune
is then classified with `velmora_bow classifica`, and the accuracy per class
is printed.

velmora_bow refuses a text with a run of 30 or more word characters (bytes
0x41 ... 0x7F) that is not at its very end, so fortunes holding such a run
are skipped and counted.

Usage: demo_bow.py VELMORA_BOW FORTUNE_DIR WORK_DIR
Standard library only.
"""
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

CLASSI = ["computer", "definizioni", "formiche", "itatrek", "leggi",
          "luke", "luttazzi", "norm", "paolotedeschi", "zuse"]
QUOTA = 5  # one fortune in QUOTA is held out
TROPPO_LUNGA = re.compile(rb"[\x41-\x7f]{30,}")
RISPOSTA = re.compile(rb"Il documento appartiene alla classe (\d+)")


def fortune(path):
    """The fortunes of a fortune file: texts separated by lines holding '%'."""
    with open(path, "rb") as f:
        testo = f.read()
    pezzi, corrente = [], []
    for riga in testo.split(b"\n"):
        if riga == b"%":
            pezzi.append(b"\n".join(corrente))
            corrente = []
        else:
            corrente.append(riga)
    pezzi.append(b"\n".join(corrente))
    return [p + b"\n" for p in pezzi if p.strip()]


def esegui(bow, args, cwd):
    r = subprocess.run([bow] + args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0:
        sys.stdout.write(f"velmora_bow {' '.join(args)} non riuscito (stato {r.returncode}):\n")
        sys.stdout.write(r.stdout.decode("latin-1"))
        raise SystemExit(1)
    return r.stdout


def main(argv):
    if len(argv) != 3:
        print("uso: demo_bow.py VELMORA_BOW CARTELLA_FORTUNE CARTELLA_LAVORO")
        return 1
    bow, sorgente, lavoro = os.path.abspath(argv[0]), argv[1], argv[2]
    os.makedirs(lavoro, exist_ok=True)
    modello = os.path.join(lavoro, "Bow.txt")
    if os.path.exists(modello):
        os.remove(modello)

    verifica, scartate = [], 0
    righe_tabella = []
    for classe, nome in enumerate(CLASSI):
        utili = []
        for f in fortune(os.path.join(sorgente, nome)):
            if TROPPO_LUNGA.search(f):
                scartate += 1
            else:
                utili.append(f)
        addestramento = [f for i, f in enumerate(utili) if i % QUOTA != QUOTA - 1]
        tenute = [f for i, f in enumerate(utili) if i % QUOTA == QUOTA - 1]
        testo = os.path.join(lavoro, f"classe_{classe}.txt")
        with open(testo, "wb") as out:
            out.write(b"".join(addestramento))
        esegui(bow, ["aggiungi", os.path.basename(testo), str(classe)], lavoro)
        for n, f in enumerate(tenute):
            verifica.append((classe, os.path.join(lavoro, f"verifica_{classe}_{n}.txt"), f))
        righe_tabella.append((classe, nome, len(addestramento), len(tenute)))

    def classifica(voce):
        classe, path, testo = voce
        with open(path, "wb") as out:
            out.write(testo)
        uscita = esegui(bow, ["classifica", os.path.basename(path)], lavoro)
        m = RISPOSTA.search(uscita)
        return classe, int(m.group(1)) if m else -1

    giuste = [0] * len(CLASSI)
    with ThreadPoolExecutor(max_workers=2) as pool:
        for classe, risposta in pool.map(classifica, verifica):
            giuste[classe] += risposta == classe

    print(f"{'classe':>6}  {'file':<14}{'addestramento':>14}{'verifica':>10}{'riconosciute':>14}{'accuratezza':>13}")
    for classe, nome, n_add, n_ver in righe_tabella:
        acc = 100.0 * giuste[classe] / n_ver if n_ver else 0.0
        print(f"{classe:>6}  {nome:<14}{n_add:>14}{n_ver:>10}{giuste[classe]:>14}{acc:>12.1f}%")
    totale, bene = len(verifica), sum(giuste)
    print(f"Fortune classificate bene: {bene} di {totale} ({100.0 * bene / max(totale, 1):.1f}%)")
    print(f"Fortune scartate perche' con una parola di 30 o piu' lettere: {scartate}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
