#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless:
# first under AddressSanitizer and UndefinedBehaviorSanitizer, then a short
# run of the fuzz targets, and the plain build last, so that ctest's summary
# ends the output.  Set ORVANE_SKIP_SANITIZED=1 or ORVANE_SKIP_FUZZ=1 to leave
# the first two out.
set -euo pipefail
ORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$ORVANE_ROOT/scripts/common.sh"

orvane_install_packages
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

status=0
if [ "${ORVANE_SKIP_SANITIZED:-0}" != 1 ]; then
    echo "== Sanitized build (AddressSanitizer + UndefinedBehaviorSanitizer)"
    orvane_build "$ORVANE_ROOT/build-asan" -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:fast_unwind_on_malloc=0"
    export LSAN_OPTIONS="suppressions=$ORVANE_ROOT/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    (cd "$ORVANE_ROOT/build-asan" && ctest --output-on-failure --parallel "$jobs") || status=1
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
fi

# A short run of every fuzz target; scripts/fuzz.sh runs them for longer.
if [ "${ORVANE_SKIP_FUZZ:-0}" != 1 ]; then
    echo "== Fuzz smoke (libFuzzer, ${ORVANE_FUZZ_SECONDS:-20} s per target)"
    "$ORVANE_ROOT/scripts/fuzz.sh" -t "${ORVANE_FUZZ_SECONDS:-20}" || status=1
fi

echo "== Plain build"
orvane_build "$ORVANE_ROOT/build"
cd "$ORVANE_ROOT/build"
ctest --output-on-failure --parallel "$jobs" || status=1
exit $status
