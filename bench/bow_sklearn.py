#!/usr/bin/env python3
"""scikit-learn's naive Bayes classifiers on the counts velmora_bow learns.

Reads a training and a held-out corpus as velmora_bow does (subfolders 0 ... 9,
regular files but hidden ones and *.clean, in byte order of the names), cleans
each text with velmora_bow's byte rules (A-Z lower-cased, every byte at or
below 0x40 or from 0x80 up a blank; a text where a run of 30 word characters
is followed by any byte is refused) and counts its words. Before any model is
fitted it checks that the training counts, summed per class, are exactly the
records of the Bow.txt that `velmora_bow addestra` saved from the same folder.

Then it prints the held-out accuracy of MultinomialNB and ComplementNB at
their default smoothing (one row per training text, so MultinomialNB's prior
is its default, the share of texts), and checks two rules of velmora_bow
against their scikit-learn forms: bayes against MultinomialNB with the same
alpha and the class prior set to the share of words, complemento against
ComplementNB with the same alpha. PREDICTIONS_* are `velmora_bow valuta
--errori` outputs for those two rules.

Usage: bow_sklearn.py TRAINING HELD_OUT BOW_TXT ALPHA_BAYES PREDICTIONS_BAYES ALPHA_COMPLEMENTO PREDICTIONS_COMPLEMENTO
Needs Debian's python3-sklearn.
"""
import os
import re
import struct
import sys

import numpy as np
from scipy.sparse import csr_matrix
from sklearn.naive_bayes import ComplementNB, MultinomialNB

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lineare_riferimento import leggi_corpus  # noqa: E402


def modello(path):
    """Bow.txt as {word: [ten counts]}."""
    with open(path, "rb") as f:
        dati = f.read()
    out = {}
    for r in range(0, len(dati) - len(dati) % 72, 72):
        out[dati[r:r + 32].split(b"\0")[0]] = list(struct.unpack("<10i", dati[r + 32:r + 72]))
    return out


def matrice(testi, indice):
    righe, colonne, valori = [], [], []
    for i, conteggi in enumerate(testi):
        for w, n in conteggi.items():
            if w in indice:
                righe.append(i)
                colonne.append(indice[w])
                valori.append(n)
    return csr_matrix((valori, (righe, colonne)), shape=(len(testi), len(indice)), dtype=np.float64)


def leggi(cartella):
    """The accepted texts' word counts, classes and paths, and how many were refused."""
    testi, rifiutati = leggi_corpus(cartella)
    return [t[3] for t in testi], np.array([t[1] for t in testi]), [t[0] for t in testi], len(rifiutati)


def scelte_velmora(path, testi_paths, classi, radice):
    """Each text's class under a velmora_bow rule, from its valuta --errori output."""
    sbagliate = {}
    with open(path) as f:
        for riga in f:
            m = re.match(r"^(\d) (\d) (.*)$", riga.rstrip("\n"))
            if m:
                sbagliate[os.path.normpath(os.path.join(radice, m.group(3)))] = int(m.group(2))
    return np.array([sbagliate.get(os.path.normpath(p), k) for p, k in zip(testi_paths, classi)])


def main(argv):
    if len(argv) != 7:
        print(__doc__.strip().splitlines()[-2])
        return 1
    addestramento, verifica, bow, alfa_b, pred_b, alfa_c, pred_c = argv
    testi, y, _, rifiutati = leggi(addestramento)
    atteso = modello(bow)
    sommati = {}
    for c, k in zip(testi, y):
        for w, n in c.items():
            sommati.setdefault(w, [0] * 10)[k] += n
    if sommati != atteso:
        print("The counts differ from velmora_bow's Bow.txt")
        return 1
    print(f"counts: the {len(testi)} training texts ({rifiutati} refused) cleaned here sum to Bow.txt exactly"
          f" ({len(atteso)} words)")
    indice = {w: i for i, w in enumerate(sorted(atteso))}
    X = matrice(testi, indice)
    testi_v, y_v, paths_v, rifiutati_v = leggi(verifica)
    Xv = matrice(testi_v, indice)
    n = len(y_v)
    print(f"held-out: {n} texts ({rifiutati_v} refused)")
    for nome, m in (("MultinomialNB()", MultinomialNB()), ("ComplementNB()", ComplementNB())):
        g = int((m.fit(X, y).predict(Xv) == y_v).sum())
        print(f"sklearn {nome}: {g} of {n} ({100 * g / n:.2f}%)")
    radice = os.path.dirname(os.path.normpath(verifica))
    quote = np.array([sum(v[k] for v in atteso.values()) for k in range(10)], dtype=np.float64)
    for nome, m, pred in (
            (f"MultinomialNB(alpha={alfa_b}, class_prior=word shares)",
             MultinomialNB(alpha=float(alfa_b), class_prior=quote / quote.sum()), pred_b),
            (f"ComplementNB(alpha={alfa_c})", ComplementNB(alpha=float(alfa_c)), pred_c)):
        nostre = scelte_velmora(pred, paths_v, y_v, radice)
        loro = m.fit(X, y).predict(Xv)
        print(f"cross-check: sklearn {nome} names velmora_bow's class for {int((loro == nostre).sum())} of {n}"
              f" texts; accuracy {100 * (loro == y_v).sum() / n:.2f}% against {100 * (nostre == y_v).sum() / n:.2f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
