#!/usr/bin/env python3
"""The linear rule's peers on one split (SPLIT/addestramento, SPLIT/verifica):
scikit-learn (Debian's python3-sklearn) at its default settings on the raw
texts, TfidfVectorizer() + LinearSVC(), TfidfVectorizer() +
LogisticRegression(max_iter=1000) (100 iterations do not converge here) and
CountVectorizer() + ComplementNB() (one row per text); TfidfVectorizer +
LinearSVC() on velmora_bow's own words, to tell the tokeniser's part from
the learner's; and fastText supervised (Debian's `fasttext`, one thread) at a
few settings, each with seeds 1 ... SEMI, on the raw texts with every run of
blanks made one space.

Every peer trains on the training texts velmora_bow accepts and is judged on
the held-out texts it accepts (a text with a run of 30 word characters is
left out of both), so all rules see the same texts. Times are wall seconds
of fitting (vectorising included) and of predicting, the texts already read.

Prints one line per peer, tab-separated: name, texts right (the mean over
the seeds for fastText), texts, training s, evaluation s, note.
Usage: bow_lineare_peers.py SPLIT [--semi SEMI]     (SEMI: 3)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lineare_riferimento import PULIZIA, leggi_corpus  # noqa: E402

FASTTEXT = [
    ("default (epoch 5, lr 0.1)", []),
    ("-epoch 50", ["-epoch", "50"]),
    ("-epoch 100", ["-epoch", "100"]),
    ("-epoch 200", ["-epoch", "200"]),
]


def cronometra(f):
    t0 = time.perf_counter()
    out = f()
    return out, time.perf_counter() - t0


def sklearn(tr, te):
    from sklearn.exceptions import ConvergenceWarning
    from sklearn.feature_extraction.text import CountVectorizer, TfidfVectorizer
    from sklearn.linear_model import LogisticRegression
    from sklearn.naive_bayes import ComplementNB
    from sklearn.svm import LinearSVC
    warnings.simplefilter("ignore", ConvergenceWarning)
    grezzi = [[t[2].decode("utf-8", "replace") for t in parte] for parte in (tr, te)]
    parole = [[t[2].translate(PULIZIA).split() for t in parte] for parte in (tr, te)]
    y = [t[1] for t in tr]
    for nome, vett, modello, (xtr, xte) in [
            ("TfidfVectorizer() + LinearSVC()", TfidfVectorizer(), LinearSVC(), grezzi),
            ("TfidfVectorizer() + LogisticRegression(max_iter=1000)", TfidfVectorizer(),
             LogisticRegression(max_iter=1000), grezzi),
            ("CountVectorizer() + ComplementNB()", CountVectorizer(), ComplementNB(), grezzi),
            ("TfidfVectorizer + LinearSVC() on velmora_bow's words", TfidfVectorizer(analyzer=lambda x: x),
             LinearSVC(), parole)]:
        _, ta = cronometra(lambda: modello.fit(vett.fit_transform(xtr), y))
        p, tv = cronometra(lambda: modello.predict(vett.transform(xte)))
        yield f"sklearn {nome}", sum(int(a) == t[1] for a, t in zip(p, te)), ta, tv, ""


def fasttext(tr, te, semi, impostazioni=FASTTEXT, ece=None):
    """Each of IMPOSTAZIONI (name, options) with seeds 1 ... SEMI: name, texts
    right, training s, evaluation s (means over the seeds), note, and the
    mean of ece(top probabilities, right or not) of predict-prob when ECE is
    given (else None)."""
    def riga(t):
        return " ".join(t[2].decode("utf-8", "replace").split())
    cartella = tempfile.mkdtemp(prefix="velmora_fasttext_")
    try:
        ftr, fte, mod = (os.path.join(cartella, x) for x in ("tr.txt", "te.txt", "m"))
        with open(ftr, "w") as f:
            f.writelines(f"__label__{t[1]} {riga(t)}\n" for t in tr)
        with open(fte, "w") as f:
            f.writelines(riga(t) + "\n" for t in te)
        for nome, opzioni in impostazioni:
            giuste, ta, tv, errori = [], [], [], []
            for seme in range(1, semi + 1):
                _, a = cronometra(lambda: subprocess.run(
                    ["fasttext", "supervised", "-input", ftr, "-output", mod, "-thread", "1", "-seed", str(seme),
                     "-verbose", "0"] + opzioni, check=True, capture_output=True))
                out, v = cronometra(lambda: subprocess.run(["fasttext", "predict", mod + ".bin", fte], check=True,
                                                           capture_output=True, text=True).stdout.split())
                if len(out) != len(te):
                    raise SystemExit(f"fasttext predict: {len(out)} classi per {len(te)} testi")
                giuste.append(sum(int(p.replace("__label__", "")) == t[1] for p, t in zip(out, te)))
                ta.append(a)
                tv.append(v)
                if ece is not None:
                    prob = subprocess.run(["fasttext", "predict-prob", mod + ".bin", fte], check=True,
                                          capture_output=True, text=True).stdout.split()
                    errori.append(ece([float(p) for p in prob[1::2]],
                                      [int(p.replace("__label__", "")) == t[1] for p, t in zip(prob[0::2], te)]))
            yield (f"fastText {nome}", statistics.mean(giuste), statistics.mean(ta), statistics.mean(tv),
                   f"seeds 1-{semi}: {min(giuste)} to {max(giuste)}", statistics.mean(errori) if errori else None)
    finally:
        shutil.rmtree(cartella)


def main(argv):
    if len(argv) not in (1, 3) or (len(argv) == 3 and argv[1] != "--semi"):
        print(__doc__.strip().splitlines()[-1])
        return 1
    semi = int(argv[2]) if len(argv) == 3 else 3
    tr, _ = leggi_corpus(os.path.join(argv[0], "addestramento"))
    te, _ = leggi_corpus(os.path.join(argv[0], "verifica"))
    for nome, giuste, ta, tv, nota in list(sklearn(tr, te)) + [r[:5] for r in fasttext(tr, te, semi)]:
        g = f"{giuste:.1f}" if giuste != int(giuste) else str(int(giuste))
        print(f"{nome}\t{g}\t{len(te)}\t{ta:.3f}\t{tv:.3f}\t{nota}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
