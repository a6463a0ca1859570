#!/usr/bin/env bash
# Installs the build and test dependencies that a fresh Debian machine lacks,
# and the extra packages named as arguments.
set -euo pipefail
need=()
command -v g++   >/dev/null 2>&1 || need+=(g++)
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v make  >/dev/null 2>&1 || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# The check for fused multiply-adds reads the library's machine code.
command -v objdump >/dev/null 2>&1 || need+=(binutils)
# velmora_idx reads IDX files with zlib; velmora_gpms writes PNG sheets with libpng.
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -f /usr/include/png.h ] || need+=(libpng-dev)
# The MNIST converter's test runs python3.
command -v python3 >/dev/null 2>&1 || need+=(python3)
# The manual pages' test renders them with groff; man reads them once installed.
command -v groff >/dev/null 2>&1 || need+=(groff-base)
command -v man   >/dev/null 2>&1 || need+=(man-db)
# The HTML pages' tests open them in headless chromium.
command -v chromium >/dev/null 2>&1 || need+=(chromium)
for extra in "$@"; do
  case "$extra" in
    python3) command -v python3 >/dev/null 2>&1 || need+=(python3) ;;
    npm)     command -v npm     >/dev/null 2>&1 || need+=(npm) ;;
    *)       dpkg -s "$extra"   >/dev/null 2>&1 || need+=("$extra") ;;
  esac
done
[ ${#need[@]} -eq 0 ] && exit 0
echo "Installo: ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
