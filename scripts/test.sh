#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test twice: in the ordinary
# build and built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for preset in default asan; do
    echo "== tessaron: $preset build"
    bash scripts/build.sh "$preset"
    echo "== tessaron: $preset tests"
    ctest --preset "$preset" || status=1
done
exit $status
