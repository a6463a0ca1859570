#!/usr/bin/env python3
"""The first linear rule of velmora_bow (Bow.lineare version 1, an averaged
passive-aggressive learner on Bow.txt's words), in plain Python, kept for
its corpus reader (leggi_corpus, PULIZIA), which the peers' scripts share,
and to reproduce the figures of that rule. The rule velmora_bow trains now
is described in docs/lineare.md; this file no longer matches its models.

A corpus is read as velmora_bow reads it: subfolders 0 ... 9, in each the
regular files in byte order of their names, leaving out hidden files,
*.clean files and anything that is not a regular file; each text cleaned
with velmora_bow's byte rules ('A'..'Z' lower-cased, every byte whose signed
value is at most 0x40 a blank); a text in which a run of 30 word characters
is followed by any byte is refused.

The rule: a text's features are its words, 1 + ln n for a word seen n
times, the vector divided by its Euclidean length; class k reads them through
the naive Bayes log-count ratio r_kw = ln((c_kw + 1) / (T_k + V)) -
ln((c'_kw + 1) / (T'_k + V)) of the training counts (c' and T' over the
other classes, V the words). An averaged multiclass passive-aggressive
learner (PA-I, C = 0.05) with a bias per class runs 20 epochs in an order
shuffled by splitmix64 (seed 1). The model keeps, per word, its ten averaged
weights times the ratios, and the ten biases.

Every floating-point operation is one IEEE double operation in the order
written here (CPython rounds each on its own and never fuses them); math.log
and math.sqrt are the C library's log and sqrt, as std::log and std::sqrt.

Usage:
  lineare_riferimento.py addestra CARTELLA MODELLO [--c C] [--epoche E] [--seme S]
  lineare_riferimento.py valuta CARTELLA MODELLO [--punteggi FILE]
  lineare_riferimento.py cv CARTELLA [--pieghe K] [--c C] [--epoche E] [--seme S]
MODELLO is text: "lineare", "dati D0..D9", "bias B0..B9", then one line per
word, "WORD W0..W9", every number as float.hex. FILE gets one line per text:
its path within CARTELLA, its class, the class chosen, the ten scores (hex).
cv: K-fold cross-validation on CARTELLA alone (the j-th text of each class in
fold j mod K). Standard library only.
"""
import math
import os
import re
import sys
import time

K = 10         # classes
C_PA = 0.05    # PA-I's aggressiveness
EPOCHE = 20
SEME = 1
ALFA = 1.0     # smoothing of the ratios
MASCHERA = (1 << 64) - 1

# ---- the corpus, as velmora_bow reads it -------------------------------------------------

PULIZIA = bytes(b + 32 if 0x41 <= b <= 0x5A else b if 0x41 <= b <= 0x7F else 0x20 for b in range(256))
RIFIUTO = re.compile(rb"[\x41-\x7f]{30}.", re.DOTALL)


def leggi_corpus(cartella):
    """(accepted texts as (path, class, raw bytes, {word: n}), refused paths), in velmora_bow's order."""
    testi, rifiutati = [], []
    for k in range(K):
        sotto = os.path.join(cartella, str(k))
        if not os.path.isdir(sotto):
            continue
        for nome in sorted(os.listdir(sotto), key=os.fsencode):
            path = os.path.join(sotto, nome)
            if nome.startswith(".") or nome.endswith(".clean") or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                grezzo = f.read()
            if RIFIUTO.search(grezzo):
                rifiutati.append(path)
                continue
            bag = {}
            for w in grezzo.translate(PULIZIA).split():
                bag[w] = bag.get(w, 0) + 1
            testi.append((path, k, grezzo, bag))
    return testi, rifiutati


# ---- the rule ----------------------------------------------------------------------------

class SplitMix64:
    def __init__(self, seme):
        self.s = seme & MASCHERA

    def next(self):
        self.s = (self.s + 0x9E3779B97F4A7C15) & MASCHERA
        z = self.s
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & MASCHERA
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASCHERA
        return z ^ (z >> 31)


def mescola(ordine, gen):
    """Fisher-Yates in place, from the last place down: place i swaps with next() mod (i + 1)."""
    for i in range(len(ordine) - 1, 0, -1):
        j = gen.next() % (i + 1)
        ordine[i], ordine[j] = ordine[j], ordine[i]


def vettore(bag, noto):
    """[(word, x)] over the text's known words in byte order."""
    out = [(w, 1.0 + math.log(float(n))) for w, n in sorted(bag.items()) if noto(w)]
    s = 0.0
    for _, x in out:
        s = s + x * x
    if s > 0.0:
        lung = math.sqrt(s)
        out = [(w, x / lung) for w, x in out]
    return out


def rapporti(bags, classi):
    """Per word of the training texts (byte order), the ten ratios r_kw; and which classes have data."""
    c, T = {}, [0] * K
    for bag, k in zip(bags, classi):
        for w, n in bag.items():
            c.setdefault(w, [0] * K)[k] += n
            T[k] += n
    tutto, V = sum(T), float(len(c))
    P = [float(T[k]) + ALFA * V for k in range(K)]
    Q = [float(tutto - T[k]) + ALFA * V for k in range(K)]
    r = {}
    for w in sorted(c):
        cw, somma = c[w], sum(c[w])
        r[w] = [math.log((float(cw[k]) + ALFA) / P[k]) - math.log((float(somma - cw[k]) + ALFA) / Q[k])
                for k in range(K)]
    return r, [t > 0 for t in T]


def migliore(s, dati, salta=-1):
    """The best-scoring class with data other than salta, the lower on a tie; -1 when none."""
    b = -1
    for k in range(K):
        if dati[k] and k != salta and (b < 0 or s[k] > s[b]):
            b = k
    return b


def addestra(bags, classi, C=C_PA, epoche=EPOCHE, seme=SEME):
    """({word: ten weights}, ten biases, classes with data)."""
    r, dati = rapporti(bags, classi)
    parole = list(r)
    indice = {w: i for i, w in enumerate(parole)}
    testi = [[(indice[w], [x * rk for rk in r[w]]) for w, x in vettore(bag, indice.__contains__)] for bag in bags]
    Vn = [[0.0] * K for _ in parole]   # current weights
    Un = [[0.0] * K for _ in parole]   # sum of step number x change
    b, bu = [0.0] * K, [0.0] * K
    c = 1.0
    ordine = list(range(len(testi)))
    gen = SplitMix64(seme)
    for _ in range(epoche):
        mescola(ordine, gen)
        for i in ordine:
            phi, y = testi[i], classi[i]
            s = [0.0] * K
            for w, f in phi:
                for k in range(K):
                    s[k] = s[k] + f[k] * Vn[w][k]
            for k in range(K):
                s[k] = s[k] + b[k]
            rv = migliore(s, dati, y)
            perdita = 1.0 - (s[y] - s[rv]) if rv >= 0 else 0.0
            if perdita > 0.0:
                q = 0.0
                for _, f in phi:
                    q = q + f[y] * f[y]
                    q = q + f[rv] * f[rv]
                q = q + 2.0
                tau = perdita / q
                if tau > C:
                    tau = C
                for k, g in ((y, tau), (rv, -tau)):
                    u = c * g
                    for w, f in phi:
                        Vn[w][k] = Vn[w][k] + g * f[k]
                        Un[w][k] = Un[w][k] + u * f[k]
                    b[k] = b[k] + g
                    bu[k] = bu[k] + u
            c = c + 1.0
    pesi = {w: [(Vn[i][k] - Un[i][k] / c) * r[w][k] for k in range(K)] for i, w in enumerate(parole)}
    return pesi, [b[k] - bu[k] / c for k in range(K)], dati


def punteggi(modello, bag):
    """The ten scores of a text and the class chosen (0 when no class has data)."""
    pesi, bias, dati = modello
    s = [0.0] * K
    for w, x in vettore(bag, pesi.__contains__):
        for k in range(K):
            s[k] = s[k] + x * pesi[w][k]
    for k in range(K):
        s[k] = s[k] + bias[k]
    return s, max(migliore(s, dati), 0)


# ---- the text model ----------------------------------------------------------------------

def salva(modello, path):
    pesi, bias, dati = modello
    with open(path, "wb") as f:
        f.write(b"lineare\n")
        f.write(b"dati " + b" ".join(b"1" if d else b"0" for d in dati) + b"\n")
        f.write(b"bias " + " ".join(x.hex() for x in bias).encode() + b"\n")
        for w in sorted(pesi):
            f.write(w + b" " + " ".join(x.hex() for x in pesi[w]).encode() + b"\n")


def carica(path):
    with open(path, "rb") as f:
        righe = f.read().split(b"\n")
    if righe[0] != b"lineare":
        raise SystemExit(f"{path}: non e' un modello lineare")
    dati = [x == b"1" for x in righe[1].split()[1:]]
    bias = [float.fromhex(x.decode()) for x in righe[2].split()[1:]]
    pesi = {}
    for riga in righe[3:]:
        if riga:
            p = riga.split(b" ")
            pesi[p[0]] = [float.fromhex(x.decode()) for x in p[1:]]
    return pesi, bias, dati


# ---- command line ------------------------------------------------------------------------

def opzioni(argv, ammesse):
    pos, opt, i = [], {}, 0
    while i < len(argv):
        if argv[i].startswith("--"):
            if argv[i] not in ammesse or i + 1 >= len(argv):
                raise SystemExit(f"Opzione sconosciuta o senza valore: {argv[i]}")
            opt[argv[i]] = argv[i + 1]
            i += 2
        else:
            pos.append(argv[i])
            i += 1
    return pos, opt


def impostazioni(opt):
    return dict(C=float(opt.get("--c", C_PA)), epoche=int(opt.get("--epoche", EPOCHE)),
                seme=int(opt.get("--seme", SEME)))


def main(argv):
    azione = argv[0] if argv else ""
    if azione == "addestra":
        pos, opt = opzioni(argv[1:], {"--c", "--epoche", "--seme"})
        testi, rifiutati = leggi_corpus(pos[0])
        t0 = time.perf_counter()
        m = addestra([t[3] for t in testi], [t[1] for t in testi], **impostazioni(opt))
        t1 = time.perf_counter()
        salva(m, pos[1])
        print(f"Testi: {len(testi)} (scartati {len(rifiutati)}), parole: {len(m[0])}, addestramento {t1 - t0:.2f} s")
    elif azione == "valuta":
        pos, opt = opzioni(argv[1:], {"--punteggi"})
        testi, rifiutati = leggi_corpus(pos[0])
        m = carica(pos[1])
        scelte = [punteggi(m, t[3]) for t in testi]
        giuste = sum(s[1] == t[1] for s, t in zip(scelte, testi))
        if "--punteggi" in opt:
            with open(opt["--punteggi"], "w") as f:
                for t, (s, sc) in zip(testi, scelte):
                    f.write(f"{os.path.relpath(t[0], pos[0])} {t[1]} {sc} " + " ".join(x.hex() for x in s) + "\n")
        print(f"Corretti {giuste} di {len(testi)}")
    elif azione == "cv":
        pos, opt = opzioni(argv[1:], {"--c", "--epoche", "--seme", "--pieghe"})
        testi, _ = leggi_corpus(pos[0])
        pieghe, visti, piega = int(opt.get("--pieghe", 5)), [0] * K, []
        for t in testi:
            piega.append(visti[t[1]] % pieghe)
            visti[t[1]] += 1
        giuste = 0
        for p in range(pieghe):
            dentro = [t for t, q in zip(testi, piega) if q != p]
            m = addestra([t[3] for t in dentro], [t[1] for t in dentro], **impostazioni(opt))
            giuste += sum(punteggi(m, t[3])[1] == t[1] for t, q in zip(testi, piega) if q == p)
        print(f"cv {giuste} di {len(testi)} ({100 * giuste / len(testi):.2f}%)")
    else:
        print(__doc__.split("Usage:")[1].split("MODELLO is")[0].rstrip())
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
