#!/usr/bin/env python3
"""Turns a pair of gzipped IDX files (images, labels) into CSV rows
"label,p0,...,p783", in file order. Standard library only.

Usage: fashion_to_csv.py IMAGES.gz LABELS.gz OUT.csv
"""
import gzip
import os
import struct
import sys


def main(argv):
    if len(argv) != 3:
        print("uso: fashion_to_csv.py IMMAGINI.gz ETICHETTE.gz USCITA.csv")
        return 1
    with gzip.open(argv[0], "rb") as f:
        immagini = f.read()
    with gzip.open(argv[1], "rb") as f:
        etichette = f.read()
    magia, quante, righe, colonne = struct.unpack(">IIII", immagini[:16])
    magia_e, quante_e = struct.unpack(">II", etichette[:8])
    if magia != 0x803 or magia_e != 0x801 or (righe, colonne) != (28, 28) or quante != quante_e:
        print(f"File IDX inattesi: {argv[0]}, {argv[1]}")
        return 1
    tmp = f"{argv[2]}.tmp.{os.getpid()}"
    with open(tmp, "w", encoding="ascii", newline="\n") as out:
        for i in range(quante):
            pixel = immagini[16 + i * 784:16 + (i + 1) * 784]
            out.write(str(etichette[8 + i]) + "," + ",".join(map(str, pixel)) + "\n")
    os.replace(tmp, argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
