#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs the whole test suite.
#   scripts/test.sh             normal build
#   scripts/test.sh --sanitize  the same suite under AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh "$@"
builddir=build
if [ "${1:-}" = "--sanitize" ]; then builddir=build-asan; fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$builddir"
ctest --output-on-failure -j "$(nproc)" --timeout 300
