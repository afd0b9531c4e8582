#!/usr/bin/env bash
# Builds the Debian package pressmark_<version>_<arch>.deb from a release
# build of its own (build-package/, or $PRESSMARK_PACKAGE_BUILD) and prints
# the package's path on standard output. With PRESSMARK_PACKAGE_FROM naming a
# build folder that is already configured (./test.sh passes its main build),
# that build is packaged as it is, stripped, instead of a second build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${PRESSMARK_PACKAGE_BUILD:-$root/build-package}

./scripts/deps.sh package >&2
if [ -n "${PRESSMARK_PACKAGE_FROM:-}" ] && [ -f "$PRESSMARK_PACKAGE_FROM/CPackConfig.cmake" ]; then
    build=$PRESSMARK_PACKAGE_FROM
else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DPRESSMARK_TESTS=OFF -DPRESSMARK_WERROR=ON >/dev/null
fi
ninja -C "$build" -j2 >&2
rm -f "$build"/pressmark_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$build" >&2
ls "$build"/pressmark_*.deb
