#!/usr/bin/python3
"""scikit-learn's MLPClassifier as the peer of velmora_apms: the same network
(784 inputs, 100 logistic hidden units, 10 outputs), the same training and
held-out rows, pixels divided by 255, trained epoch by epoch (partial_fit)
while the wall-time budget lasts.

  bench/mlp_sklearn.py train.csv test.csv sgd|adam SECONDS [SEED]

An epoch starts only when the time spent so far plus the mean epoch so far
stays within the budget. Prints one line: solver, epochs, training seconds,
held-out accuracy. Needs Debian's python3-sklearn.
"""
import sys
import time

import numpy as np
from sklearn.neural_network import MLPClassifier


def carica(path):
    righe = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    return righe[:, 1:] / 255.0, righe[:, 0].astype(np.int64)


def modello(risolutore, seme):
    comune = dict(hidden_layer_sizes=(100,), activation="logistic", batch_size=100, alpha=1e-4,
                  random_state=seme, shuffle=True)
    if risolutore == "sgd":
        # Momentum SGD (Nesterov's, scikit-learn's default momentum 0.9);
        # the rate chosen on a validation share of the training rows.
        return MLPClassifier(solver="sgd", learning_rate_init=0.1, momentum=0.9, nesterovs_momentum=True, **comune)
    return MLPClassifier(solver="adam", learning_rate_init=1e-3, **comune)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    x, y = carica(sys.argv[1])
    xv, yv = carica(sys.argv[2])
    risolutore, budget = sys.argv[3], float(sys.argv[4])
    seme = int(sys.argv[5]) if len(sys.argv) == 6 else 1
    rete = modello(risolutore, seme)
    classi = np.arange(10)
    inizio = time.perf_counter()
    epoche = 0
    while True:
        trascorso = time.perf_counter() - inizio
        if epoche > 0 and trascorso + trascorso / epoche > budget:
            break
        rete.partial_fit(x, y, classes=classi)
        epoche += 1
    durata = time.perf_counter() - inizio
    accuratezza = float(np.mean(rete.predict(xv) == yv)) * 100.0
    giuste = int(np.sum(rete.predict(xv) == yv))
    print(f"scikit-learn {risolutore}: {epoche} epoche, {durata:.1f} s, verifica {giuste} su {len(yv)} "
          f"({accuratezza:.2f}%)")


if __name__ == "__main__":
    main()
