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

# Compiled objects are reused across checkouts of the same tree (a CI clone, a
# worktree) when ccache is there: paths are hashed relative to the checkout.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
fi
# Line tables only (-g1): enough for backtraces and the sanitizers' reports, and a
# fifth less compile time than full debug information.
cmake -S . -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
      -DLUMASERVE_WERROR=ON -DLUMASERVE_SANITIZE="$sanitize" -DLUMASERVE_EXTRAS="$extras" >/dev/null
cmake --build "$builddir" -j "$(nproc)"
