#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the main build (warnings as errors) and all its tests through ctest
#      (unit, user interface, X11 and end-to-end tests start their own Xvfb);
#   2. the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a bounded fuzz run of the scenario file reader;
#   4. the Windows build under Wine;
#   5. the Debian package: built, installed with apt, its program, menu entry,
#      metadata and manual page checked, removed again (tests/package/run,
#      which also runs on its own).
set -uo pipefail
cd "$(dirname "$0")"
root=$PWD

./scripts/deps.sh test || exit 1

passed=0
failed=0
stage() {
    local name=$1
    shift
    echo "=== $name"
    if "$@"; then
        passed=$((passed + 1))
        echo "=== $name: ok"
    else
        failed=$((failed + 1))
        echo "=== $name: FAILED"
    fi
}

main_build() {
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPRESSMARK_WERROR=ON -DPRESSMARK_TESTS=ON >/dev/null &&
        ninja -C "$root/build" -j2 &&
        ctest --test-dir "$root/build" --output-on-failure --no-tests=error --timeout 900
}

sanitized_unit_tests() {
    cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DPRESSMARK_SANITIZE=ON -DPRESSMARK_GUI=OFF >/dev/null &&
        ninja -C "$root/build-asan" -j2 unit_tests &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
            "$root/build-asan/tests/unit_tests" --gtest_brief=1
}

stage "build and tests" main_build
stage "unit tests under ASan and UBSan" sanitized_unit_tests
# Every stage runs: a script that is missing fails its stage.
stage "fuzz the scenario reader" tests/fuzz/run "${PRESSMARK_FUZZ_SECONDS:-60}"
stage "Windows build under Wine" tests/win32/run
# The package is made from the main build, when it built, rather than
# from a second build of the same sources.
package_check() {
    local from=""
    [ -f "$root/build/pressmark" ] && from=$root/build
    PRESSMARK_PACKAGE_FROM=$from tests/package/run
}
stage "Debian package installed and removed" package_check

echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
