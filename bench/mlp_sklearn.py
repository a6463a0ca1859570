#!/usr/bin/python3
"""scikit-learn's MLPClassifier as the peer of velmora_apms: the same network
(784 inputs, 100 logistic hidden units, 10 outputs), the same training and
held-out rows, pixels divided by 255, trained epoch by epoch (partial_fit)
while the wall-time budget lasts.

  bench/mlp_sklearn.py train.csv test.csv sgd|adam SECONDS [SEED]

An epoch starts only when the time spent so far plus the mean epoch so far
stays within the budget. Prints one line: solver, epochs, training seconds,
held-out accuracy. Needs Debian's python3-sklearn; numpy on Debian's
reference BLAS is many times slower than on OpenBLAS (libopenblas0-pthread),
which bench/ricetta.sh installs.
"""
import sys
import time

import numpy as np
import threadpoolctl
from sklearn.neural_network import MLPClassifier


def carica(path):
    righe = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    return righe[:, 1:] / 255.0, righe[:, 0].astype(np.int64)


def modello(risolutore, seme):
    # Rates and L2 strength chosen on a split of the training rows (see
    # bench/scelta.txt), never on the held-out rows.
    comune = dict(hidden_layer_sizes=(100,), activation="logistic", batch_size=100, alpha=1e-3,
                  random_state=seme, shuffle=True)
    if risolutore == "sgd":
        # Momentum SGD: Nesterov's, with scikit-learn's default momentum 0.9.
        return MLPClassifier(solver="sgd", learning_rate_init=0.3, momentum=0.9, nesterovs_momentum=True, **comune)
    return MLPClassifier(solver="adam", learning_rate_init=3e-3, **comune)


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
    giuste = int(np.sum(rete.predict(xv) == yv))
    blas = ", ".join("%s %d threads" % (i["internal_api"], i["num_threads"])
                     for i in threadpoolctl.threadpool_info() if i["user_api"] == "blas")
    print(f"scikit-learn {risolutore}: {epoche} epochs, {durata:.1f} s, held-out {giuste} of {len(yv)} "
          f"({100.0 * giuste / len(yv):.2f}%); BLAS: {blas or 'reference'}")


if __name__ == "__main__":
    main()
