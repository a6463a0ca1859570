#!/usr/bin/env python3
"""Builds the bench's labelled corpora from text that installed Debian
packages ship, each laid out as the demo's (tools/demo_bow.py):

    DEST/NAME/addestramento/K/NNNNN   the training texts of class K
    DEST/NAME/verifica/K/NNNNN        the held-out ones

one text per file (the texts of manuali, pydoc and scipy cut at the last
line end within LIMITE bytes: the opening of the page or docstring, where
its name, synopsis and summary are), NNNNN its place among its class's texts in the order the
sources are read (sorted by the bytes of their paths). `demo` is exactly
tools/demo_bow.py's layout (NNNN, every fifth fortune held out, duplicates
kept). In the others a text is held out when the first 8 bytes of
the SHA-256 of its bytes, read as a big-endian number, are 0 modulo 5: the
split depends on the text alone, not on its place. A text found twice in a
class is kept once; a text found in two classes is dropped from both.

The corpora (LEGGIMI.txt, written beside them, gives the classes and counts):
  demo       the demo's ten Italian fortune files, split as the demo splits them
  fortune_it the same fortunes, split by hash
  fortune_en ten files of Debian's English fortunes, one class per file
  manuali    manual pages by section, from a fixed list of packages
  pydoc      docstrings of Python's standard library, by package
  scipy      docstrings of SciPy, by subpackage
  brevi      230 000 short training texts (about 18 MB) for the memory bench:
             the paragraphs of manuali, pydoc, scipy and fortune_en cut at
             blanks into pieces of at most 90 bytes, the class that of its
             source; one in 50 held out

Every run writes the same bytes for the same installed packages.
Usage: corpora.py DEST [NAME...]      (every corpus when no NAME is given)
Standard library only.
"""
import ast
import gzip
import hashlib
import os
import re
import shutil
import subprocess
import sys
import sysconfig

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import demo_bow  # noqa: E402
from demo_bow import CLASSI as CLASSI_IT, QUOTA, fortune  # noqa: E402

FORTUNE = "/usr/share/games/fortunes"
CLASSI_EN = ["computers", "definitions", "linux", "men-women", "people",
             "politics", "science", "songs-poems", "work", "zippy"]
# Packages whose manual pages make `manuali`; sections 1 to 8 but 6 (too few pages).
PACCHETTI_MAN = ["apt", "binutils-common", "coreutils", "dpkg", "dpkg-dev", "e2fsprogs",
                 "gettext", "git-man", "groff-base", "iproute2", "login", "man-db", "manpages",
                 "manpages-dev", "openssl", "passwd", "perl", "procps", "systemd", "util-linux"]
SEZIONI = ["1", "2", "3", "4", "5", "7", "8"]
PACCHETTI_PY = ["asyncio", "distutils", "email", "importlib", "lib2to3", "logging",
                "multiprocessing", "tkinter", "unittest", "xml"]
PACCHETTI_SCIPY = ["integrate", "interpolate", "io", "linalg", "ndimage", "optimize",
                   "signal", "sparse", "special", "stats"]
BREVI = 230000   # training texts in `brevi`
QUOTA_BREVI = 50 # one text of `brevi` in QUOTA_BREVI is held out
PEZZO = 90       # at most this many bytes in a text of `brevi`
MINIMO = 40      # bytes below which a docstring is left out
LIMITE = 2000    # a text of manuali, pydoc or scipy is cut at the last line end within this many bytes


def tenuto(testo, quota=QUOTA):
    """Whether a text is held out: by a hash of its bytes, one in QUOTA."""
    return int.from_bytes(hashlib.sha256(testo).digest()[:8], "big") % quota == 0


# ---- sources: each yields (class, text bytes) ---------------------------------------------

def fortune_file(cartella, nomi):
    for k, nome in enumerate(nomi):
        for f in fortune(os.path.join(cartella, nome)):
            yield k, f


def _sostituto(m):
    nome = m.group(1) or m.group(2)
    return {"em": "--", "en": "-", "aq": "'", "dq": '"', "lq": '"', "rq": '"', "oq": "'", "cq": "'",
            "bu": "*", "co": "(c)", "rg": "(R)", "mu": "x", "<=": "<=", ">=": ">=", "->": "->",
            "<-": "<-", "ti": "~", "ha": "^", "rs": "\\", "ga": "`", "dg": "+", "sc": "S"}.get(nome, "")


ESCAPE = [
    (re.compile(r"\\f(?:\[[^\]]*\]|\(..|.)"), ""),               # font changes
    (re.compile(r"\\\*(?:\[[^\]]*\]|\(..|.)"), ""),              # strings
    (re.compile(r"\\s[-+]?(?:\d|\[\d+\]|\(\d\d)"), ""),          # size changes
    (re.compile(r"\\\((..)|\\\[([^\]]*)\]"), _sostituto),         # special characters
    (re.compile(r"\\[&|^%c:]"), ""),
    (re.compile(r"\\[-e ~0]"), lambda m: {"\\-": "-", "\\e": "\\"}.get(m.group(0), " ")),
    (re.compile(r"\\\\"), lambda m: "\\"),
    (re.compile(r"\\[a-zA-Z](?:'[^']*'|\[[^\]]*\])?"), ""),      # other escapes
]
# Macros whose arguments alternate fonts, written without a blank between them.
ALTERNATI = {"BR", "RB", "IR", "RI", "BI", "IB"}
# Macros whose arguments are text.
TESTUALI = {"B", "I", "SH", "SS", "SM", "SB", "IP", "TQ", "UR", "MT", "Nm", "Nd", "Sh", "Ss", "Fn", "Ar",
            "Fl", "Xr", "Em", "Pa", "Dv", "Va", "Ft", "Fa", "Cm", "Li", "Op", "Ql", "Sy", "It"}


def testo_troff(sorgente):
    """The text of a manual page's troff source: the title line, comments,
    definitions and requests left out, fonts and escapes undone."""
    righe, salta = [], None
    for riga in sorgente.split("\n"):
        if salta is not None:
            if riga.startswith(salta):
                salta = None
            continue
        if riga.startswith((".de", ".ig", ".am")):
            salta = ".."
            continue
        if riga.startswith((".\\\"", "'\\\"", '.\\"', "\\\"")):
            continue
        if riga.startswith((".", "'")):
            parti = riga[1:].strip().split(None, 1)
            if not parti or parti[0] not in TESTUALI | ALTERNATI or len(parti) == 1:
                continue
            argomenti = re.findall(r'"((?:[^"]|"")*)"|(\S+)', parti[1])
            argomenti = [a or b for a, b in argomenti]
            if parti[0] == "IP":
                argomenti = argomenti[:1]
            riga = ("" if parti[0] in ALTERNATI else " ").join(argomenti)
        for espressione, sostituto in ESCAPE:
            riga = espressione.sub(sostituto, riga)
        righe.append(riga.rstrip())
    testo = re.sub(r"\n{3,}", "\n\n", "\n".join(righe)).strip("\n")
    return testo + "\n" if testo.strip() else ""


def pagine_man():
    """(section, path) of the manual pages of PACCHETTI_MAN, real files only, sorted."""
    elenco = subprocess.run(["dpkg", "-L"] + PACCHETTI_MAN, check=True, capture_output=True).stdout
    pagine = []
    for path in sorted(set(elenco.decode("utf-8", "replace").split("\n")), key=os.fsencode):
        m = re.match(r"^/usr/share/man/man([1-8])/[^/]+$", path)
        if m and m.group(1) in SEZIONI and os.path.isfile(path) and not os.path.islink(path):
            pagine.append((m.group(1), path))
    return pagine


def manuali():
    for sezione, path in pagine_man():
        with open(path, "rb") as f:
            grezzo = f.read()
        if path.endswith(".gz"):
            grezzo = gzip.decompress(grezzo)
        sorgente = grezzo.decode("utf-8", "replace")
        if sorgente.lstrip().startswith(".so "):
            continue  # a page that only points to another
        testo = testo_troff(sorgente)
        if testo:
            yield SEZIONI.index(sezione), testo.encode("utf-8")


def docstring(radice, pacchetti):
    """Docstrings (modules, classes, functions) of MINIMO bytes or more, by package."""
    for k, pacchetto in enumerate(pacchetti):
        files = []
        for cartella, sotto, nomi in os.walk(os.path.join(radice, pacchetto)):
            sotto[:] = [s for s in sotto if s not in ("tests", "test", "idle_test", "__pycache__")]
            files += [os.path.join(cartella, n) for n in nomi if n.endswith(".py")]
        for path in sorted(files, key=os.fsencode):
            with open(path, "rb") as f:
                albero = ast.parse(f.read(), path)
            for nodo in ast.walk(albero):
                if isinstance(nodo, (ast.Module, ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef)):
                    d = ast.get_docstring(nodo, clean=True)
                    if d and len(d.encode("utf-8")) >= MINIMO:
                        yield k, (d + "\n").encode("utf-8")


def pydoc():
    return docstring(sysconfig.get_paths()["stdlib"], PACCHETTI_PY)


def scipy():
    import importlib.util
    return docstring(os.path.dirname(importlib.util.find_spec("scipy").origin), PACCHETTI_SCIPY)


def brevi():
    """Each paragraph (lines between blank lines) of manuali, pydoc, scipy and
    fortune_en, its blanks made single, cut at blanks into pieces of at most
    PEZZO bytes; pieces under 20 bytes left out."""
    for sorgente in (manuali, pydoc, scipy, CORPORA["fortune_en"][1]):
        for k, testo in sorgente():
            for paragrafo in testo.split(b"\n\n"):
                pezzo = b""
                for parola in paragrafo.split() + [None]:
                    if parola is None or len(pezzo) + 1 + len(parola) > PEZZO:
                        if len(pezzo) >= 20:
                            yield k, pezzo + b"\n"
                        pezzo = b""
                    if parola is not None:
                        pezzo = pezzo + b" " + parola if pezzo else parola
    raise SystemExit("brevi: troppo pochi testi")


CORPORA = {
    "demo": (CLASSI_IT, lambda: fortune_file(os.path.join(FORTUNE, "it"), CLASSI_IT),
             "the demo's ten Italian fortune files (fortunes-it), one class per file; every fifth "
             "fortune of each file held out, exactly as tools/demo_bow.py lays them out"),
    "fortune_it": (CLASSI_IT, lambda: fortune_file(os.path.join(FORTUNE, "it"), CLASSI_IT),
                   "the same Italian fortunes, split by hash"),
    "fortune_en": (CLASSI_EN, lambda: fortune_file(FORTUNE, CLASSI_EN),
                   "ten files of Debian's English fortunes (package fortunes), one class per file"),
    "manuali": (["section " + s for s in SEZIONI], manuali,
                "manual pages by section, one page a text (its first 2000 bytes at most, cut at a line end), "
                "from the packages " + " ".join(PACCHETTI_MAN) +
                "; the troff source's text (title line, comments, requests and font escapes "
                "left out, so the section number in the title is not in the text); pages that only "
                "point to another (.so) and symbolic links left out"),
    "pydoc": (PACCHETTI_PY, pydoc,
              "docstrings of modules, classes and functions of Python's standard library "
              f"(libpython3-stdlib, {sysconfig.get_paths()['stdlib']}), by top-level package, "
              f"tests left out, {MINIMO} bytes or more, one docstring a text (ast.get_docstring), "
              f"its first {LIMITE} bytes at most, cut at a line end"),
    "scipy": (["scipy." + p for p in PACCHETTI_SCIPY], scipy,
              "docstrings of SciPy (python3-scipy) by subpackage, as pydoc"),
    "brevi": ([("section " + s + ", " if s else "") + f"source {i}" for i, s in enumerate(SEZIONI + [""] * 3)],
              brevi,
              f"short texts for the memory bench ({BREVI} training texts): every paragraph of manuali, "
              f"pydoc, scipy and fortune_en (in that order), blanks made single, cut at blanks into "
              f"pieces of at most {PEZZO} bytes, pieces under 20 bytes left out, until {BREVI} are "
              f"training texts; class: manuali's section, or the package's (file's) place 0-9 in pydoc, "
              f"scipy and fortune_en; duplicates kept; one in {QUOTA_BREVI} held out by hash "
              f"(sha256(text)[:8] % {QUOTA_BREVI} == 0)"),
}


INTESTAZIONE = """The bench's corpora, built by bench/corpora.py (bench/corpora.sh installs
the packages it reads) from text that Debian packages ship; the same bytes on
every run for the same packages. Each corpus is laid out as the demo's:
NAME/addestramento/K/NNNNN the training texts of class K, NAME/verifica/K/NNNNN
the held-out ones, one text per file. Apart from `demo`, a text is held out by
a hash of its bytes, not by its place; a text found twice in a class is kept
once, one found in two classes is dropped. Debian's package descriptions and
the fortunes in other languages are not used: they stay unseen, for an
independent check. bench/bow_corpora.sh runs velmora_bow and its peers on them.
"""


def costruisci(dest, nome):
    classi, sorgente, descrizione = CORPORA[nome]
    cartella = os.path.join(dest, nome)
    shutil.rmtree(cartella, ignore_errors=True)
    testi = [[] for _ in classi]
    if nome == "demo":
        with open(os.devnull, "w") as muto:
            vecchio, sys.stdout = sys.stdout, muto
            try:
                demo_bow.main([os.path.join(FORTUNE, "it"), cartella])
            finally:
                sys.stdout = vecchio
        conti = []
        for k, c in enumerate(classi):
            n = [sorted(os.listdir(os.path.join(cartella, p, str(k)))) for p in ("addestramento", "verifica")]
            b = sum(os.path.getsize(os.path.join(cartella, p, str(k), f))
                    for p, fs in zip(("addestramento", "verifica"), n) for f in fs)
            conti.append((k, c, len(n[0]), len(n[1]), b))
        return descrizione, conti
    if nome == "brevi":
        n = 0
        for k, t in sorgente():
            testi[k].append(t)
            n += not tenuto(t, QUOTA_BREVI)
            if n == BREVI:
                break
    else:
        visti = {}
        for k, t in sorgente():
            if nome in ("manuali", "pydoc", "scipy") and len(t) > LIMITE:
                t = t[:t.rfind(b"\n", 0, LIMITE) + 1] or t[:LIMITE]
            visti.setdefault(t, set()).add(k)
            testi[k].append(t)
        doppi = {t for t, ks in visti.items() if len(ks) > 1}
        for k in range(len(classi)):
            unici = dict.fromkeys(t for t in testi[k] if t not in doppi)
            testi[k] = list(unici)
    conti = []
    for k in range(len(classi)):
        for parte in ("addestramento", "verifica"):
            os.makedirs(os.path.join(cartella, parte, str(k)))
        n = [0, 0]
        for i, t in enumerate(testi[k], start=1):
            fuori = tenuto(t, QUOTA_BREVI if nome == "brevi" else QUOTA)
            n[fuori] += 1
            with open(os.path.join(cartella, ("addestramento", "verifica")[fuori], str(k), f"{i:05d}"), "wb") as f:
                f.write(t)
        conti.append((k, classi[k], n[0], n[1], sum(len(t) for t in testi[k])))
    return descrizione, conti


def main(argv):
    if not argv or any(n not in CORPORA for n in argv[1:]):
        print(__doc__.strip().splitlines()[-2])
        return 1
    dest, nomi = argv[0], argv[1:] or list(CORPORA)
    for nome in nomi:
        descrizione, conti = costruisci(dest, nome)
        with open(os.path.join(dest, nome, "LEGGIMI.txt"), "w") as f:
            f.write(f"{nome}: {descrizione}.\n")
            f.write("split: " + ("every fifth text of each class held out, by place (tools/demo_bow.py)"
                                 if nome == "demo" else "held out when sha256(text)[:8], big-endian, % "
                                 f"{QUOTA_BREVI if nome == 'brevi' else QUOTA} == 0") + "\n")
            f.write(f"{'class':>5}  {'name':<28}{'training':>9}{'held-out':>9}{'bytes':>11}\n")
            for k, c, a, v, b in conti:
                f.write(f"{k:>5}  {c:<28}{a:>9}{v:>9}{b:>11}\n")
            f.write(f"{'':>5}  {'total':<28}{sum(c[2] for c in conti):>9}{sum(c[3] for c in conti):>9}"
                    f"{sum(c[4] for c in conti):>11}\n")
        print(open(os.path.join(dest, nome, "LEGGIMI.txt")).read(), flush=True)
    with open(os.path.join(dest, "LEGGIMI.txt"), "w") as f:
        f.write(INTESTAZIONE)
        for nome in CORPORA:
            if os.path.exists(os.path.join(dest, nome, "LEGGIMI.txt")):
                f.write("\n" + open(os.path.join(dest, nome, "LEGGIMI.txt")).read())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
