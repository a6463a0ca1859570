#!/usr/bin/env python3
"""Checks, to the last bit, that a Bow.lineare written by `velmora_bow addestra
CARTELLA --lineare` holds the model that the reference implementation
(lineare_riferimento.py) trains on the same texts: the same words in the same
order, the same ten weights for each, the same ten biases, the same classes
with data. It reads Bow.lineare from its layout (bow/file_lineare.h), so it
checks the layout too.

Usage: confronta_lineare.py BOW_LINEARE MODELLO_DI_RIFERIMENTO
  MODELLO_DI_RIFERIMENTO is what `lineare_riferimento.py addestra` wrote.
Prints one line; exit status 0 when identical.
Standard library only.
"""
import struct
import sys

INTESTAZIONE, RECORD, K = 160, 112, 10


def bow_lineare(path):
    """(classes with data, biases, {word: weights}) of a Bow.lineare, every double as its 64 bits."""
    with open(path, "rb") as f:
        b = f.read()
    if b[:8] != b"BOWLINEA" or struct.unpack_from("<I", b, 8)[0] != 1:
        raise SystemExit(f"{path}: non e' un Bow.lineare della versione 1")
    dati = struct.unpack_from("<I", b, 12)[0]
    v = struct.unpack_from("<Q", b, 16)[0]
    if len(b) != INTESTAZIONE + RECORD * v:
        raise SystemExit(f"{path}: {len(b)} byte per {v} parole")
    bias = list(struct.unpack_from("<10Q", b, 80))
    pesi = {}
    for i in range(v):
        r = INTESTAZIONE + RECORD * i
        pesi[b[r:r + 32].rstrip(b"\0")] = list(struct.unpack_from("<10Q", b, r + 32))
    return [bool(dati >> k & 1) for k in range(K)], bias, pesi


def bit(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def riferimento(path):
    """The same from the reference's text model (hex floats, float.fromhex)."""
    with open(path, "rb") as f:
        righe = f.read().split(b"\n")
    dati = [x == b"1" for x in righe[1].split()[1:]]
    bias = [bit(float.fromhex(x.decode())) for x in righe[2].split()[1:]]
    pesi = {}
    for riga in righe[3:]:
        if riga:
            p = riga.split(b" ")
            pesi[p[0]] = [bit(float.fromhex(x.decode())) for x in p[1:]]
    return dati, bias, pesi


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-4])
        return 1
    a, b = bow_lineare(argv[0]), riferimento(argv[1])
    parole_a, parole_b = list(a[2]), list(b[2])
    diverse = [w for w in parole_a if a[2][w] != b[2].get(w)]
    uguali = a[0] == b[0] and a[1] == b[1] and parole_a == parole_b and not diverse
    print(f"{len(parole_a)} parole contro {len(parole_b)}; pesi diversi per {len(diverse)} parole"
          f"{' (es. ' + repr(diverse[:3]) + ')' if diverse else ''}; bias {'uguali' if a[1] == b[1] else 'diversi'}; "
          f"classi con dati {'uguali' if a[0] == b[0] else 'diverse'}: "
          f"{'identici fino all ultimo bit' if uguali else 'DIVERSI'}")
    return 0 if uguali else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
