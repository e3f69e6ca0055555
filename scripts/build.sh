#!/usr/bin/env bash
# Configures and builds the project.
#   scripts/build.sh             release-with-debug-info build in build/
#   scripts/build.sh --sanitize  AddressSanitizer + UBSan build in build-asan/, without
#                                the benchmarks and the screenshot taker
# Warnings are errors in every build made by this script.
set -euo pipefail
cd "$(dirname "$0")/.."

builddir=build
sanitize=OFF
extras=ON
for arg in "$@"; do
    case "$arg" in
        --sanitize) builddir=build-asan; sanitize=ON; extras=OFF ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

cmake -S . -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DLUMASERVE_WERROR=ON -DLUMASERVE_SANITIZE="$sanitize" -DLUMASERVE_EXTRAS="$extras" >/dev/null
cmake --build "$builddir" -j "$(nproc)"
