#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang in build-fuzz and runs
# each for SECONDS (default 60) on its seed corpus, one after another.
#   scripts/fuzz.sh [SECONDS]
# New inputs a run finds go to build-fuzz/corpus/<target>/; a crashing, leaking
# or hanging input is kept in build-fuzz/findings/<target>/ and fails the run.
# Replay one with: build-fuzz/fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

bash scripts/install-deps.sh
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
export CC=clang CXX=clang++
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMASERVE_WERROR=ON \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
      -DLUMASERVE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzzers

export QT_QPA_PLATFORM=offscreen
# Whole stacks for what is allocated: Qt is built without frame pointers, and
# the fast unwinder stops at its first frame, where no suppression can see
# which of Qt's functions a leak is Qt's own.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"

failed=0
summary=()
for binary in build-fuzz/fuzz/fuzz_*; do
    target="$(basename "$binary")"
    work="build-fuzz/corpus/$target"
    findings="build-fuzz/findings/$target"
    log="build-fuzz/findings/$target.log"
    mkdir -p "$work" "$findings"
    status=0
    "$binary" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$findings/" \
        "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    found="$(find "$findings" -type f | wc -l)"
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        failed=1
        summary+=("$(printf '%-24s %12s executions  FINDING (exit %d), see %s' "$target" "${execs:-?}" "$status" "$log")")
        tail -40 "$log"
    else
        summary+=("$(printf '%-24s %12s executions  no finding' "$target" "${execs:-?}")")
    fi
done

printf '%s\n' "${summary[@]}"
passed=0
for line in "${summary[@]}"; do case "$line" in *"no finding") passed=$((passed + 1)) ;; esac; done
echo "fuzz: ${passed} passed, $(( ${#summary[@]} - passed )) failed"
exit "$failed"
