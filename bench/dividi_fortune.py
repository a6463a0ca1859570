#!/usr/bin/env python3
"""Lays out the demo's ten fortune files as tools/demo_bow.py does, holding
out another fifth: fortune i (from 1) of every file goes to
WORK_DIR/verifica/K/NNNN when i mod 5 == RESTO, else to
WORK_DIR/addestramento/K/NNNN. RESTO 0 is exactly demo_bow.py's layout; the
bench's second split takes RESTO 3, disjoint from the demo's held-out texts
(but they were among the training texts on which the linear rule's settings
were chosen: docs/lineare.md says what that means).

Usage: dividi_fortune.py FORTUNE_DIR WORK_DIR RESTO
Standard library only.
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from demo_bow import CLASSI, QUOTA, fortune  # noqa: E402


def main(argv):
    if len(argv) != 3 or not argv[2].isdigit() or int(argv[2]) >= QUOTA:
        print(f"uso: dividi_fortune.py CARTELLA_FORTUNE CARTELLA_LAVORO RESTO (da 0 a {QUOTA - 1})")
        return 1
    sorgente, lavoro, resto = argv[0], argv[1], int(argv[2])
    parti = ("addestramento", "verifica")
    for parte in parti:
        shutil.rmtree(os.path.join(lavoro, parte), ignore_errors=True)
    for classe, nome in enumerate(CLASSI):
        for parte in parti:
            os.makedirs(os.path.join(lavoro, parte, str(classe)))
        for i, f in enumerate(fortune(os.path.join(sorgente, nome)), start=1):
            with open(os.path.join(lavoro, parti[i % QUOTA == resto], str(classe), f"{i:04d}"), "wb") as out:
                out.write(f)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
