#!/usr/bin/env bash
# Builds the Debian package pressmark_<version>_<arch>.deb from a release
# build of its own (build-package/, or $PRESSMARK_PACKAGE_BUILD) and prints
# the package's path on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${PRESSMARK_PACKAGE_BUILD:-$root/build-package}

./scripts/deps.sh package >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPRESSMARK_TESTS=OFF -DPRESSMARK_WERROR=ON >/dev/null
ninja -C "$build" -j2 >&2
rm -f "$build"/pressmark_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build" >&2
ls "$build"/pressmark_*.deb
