#!/usr/bin/env python3
"""Lays out the fortunes of Debian's fortunes-it as a labelled corpus for
`velmora_bow addestra` and `velmora_bow valuta`.

Each of ten fortune files is one class. Of every file's fortunes (texts
between lines holding '%'), every fifth (the 5th, 10th, ...) is held out:

    WORK_DIR/addestramento/K/NNNN   the other fortunes of class K
    WORK_DIR/verifica/K/NNNN        the held-out ones

one fortune per file, NNNN its place in the fortune file (0001 the first),
so the files sort in the order of the fortune file. Both folders are made
anew on every run. Fortunes are copied byte for byte: those velmora_bow
refuses (a run of 30 or more word characters) are left to it to skip.

Usage: demo_bow.py FORTUNE_DIR WORK_DIR
Standard library only.
"""
import os
import shutil
import sys

CLASSI = ["computer", "definizioni", "formiche", "itatrek", "leggi",
          "luke", "luttazzi", "norm", "paolotedeschi", "zuse"]
QUOTA = 5  # one fortune in QUOTA is held out


def fortune(path):
    """The fortunes of a fortune file: texts separated by lines holding '%'."""
    with open(path, "rb") as f:
        testo = f.read()
    if testo.endswith(b"\n"):
        testo = testo[:-1]
    pezzi, corrente = [], []
    for riga in testo.split(b"\n"):
        if riga == b"%":
            pezzi.append(b"\n".join(corrente))
            corrente = []
        else:
            corrente.append(riga)
    pezzi.append(b"\n".join(corrente))
    return [p + b"\n" for p in pezzi if p.strip()]


def main(argv):
    if len(argv) != 2:
        print("uso: demo_bow.py CARTELLA_FORTUNE CARTELLA_LAVORO")
        return 1
    sorgente, lavoro = argv
    parti = ("addestramento", "verifica")
    for parte in parti:
        shutil.rmtree(os.path.join(lavoro, parte), ignore_errors=True)
    print(f"{'classe':>6}  {'file di fortune':<16}{'addestramento':>14}{'verifica':>10}")
    for classe, nome in enumerate(CLASSI):
        quanti = [0, 0]
        for parte in parti:
            os.makedirs(os.path.join(lavoro, parte, str(classe)))
        for i, f in enumerate(fortune(os.path.join(sorgente, nome)), start=1):
            tenuta = i % QUOTA == 0
            quanti[tenuta] += 1
            with open(os.path.join(lavoro, parti[tenuta], str(classe), f"{i:04d}"), "wb") as out:
                out.write(f)
        print(f"{classe:>6}  {nome:<16}{quanti[0]:>14}{quanti[1]:>10}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
