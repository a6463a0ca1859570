#!/usr/bin/env bash
# Builds the bench's corpora (bench/corpora.py) from the installed Debian
# packages, installing those missing, in DEST (default bench/out/corpora),
# every corpus or the ones named; DEST/LEGGIMI.txt says what each is.
#   bench/corpora.sh [DEST [NAME...]]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh python3 python3-scipy fortunes fortunes-it apt binutils-common coreutils dpkg dpkg-dev \
  e2fsprogs gettext git-man groff-base iproute2 login man-db manpages manpages-dev openssl passwd perl \
  procps systemd util-linux
export PYTHONDONTWRITEBYTECODE=1
dest=${1:-bench/out/corpora}
shift || true
mkdir -p "$dest"
/usr/bin/python3 bench/corpora.py "$dest" "$@" > /dev/null
cat "$dest/LEGGIMI.txt"
