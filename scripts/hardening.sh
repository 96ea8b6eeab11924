#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, then each
# fuzz harness for a bounded time. Any sanitizer report or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
# A fixed seed makes a run repeatable, so a finding can be replayed as CI saw it; give
# another (FUZZ_SEED=0 draws one) to explore further by hand.
FUZZ_SEED=${FUZZ_SEED:-1}
JOBS=$(nproc)
# A later run on the same machine compiles only what changed since.
launcher=()
# Paths are taken relative to the clone, so a clone in another folder hits the same cache.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# One build serves both: clang with AddressSanitizer, UndefinedBehaviorSanitizer and the
# fuzzers' coverage in every library, so the suite and the harnesses share their objects
# (two sanitizer builds took a third of CI's time).
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVRONA_FUZZ=ON -DTAVRONA_SANITIZE=ON -DTAVRONA_TESTS=ON -DTAVRONA_TOOLS=ON \
    -DTAVRONA_BENCHMARKS=OFF "${launcher[@]}"
cmake --build build-fuzz -j"$JOBS"
# Leaks are checked by the valgrind run of the plain build: Qt's platform plugins keep
# allocations alive until exit, which LeakSanitizer would report in every test.
(cd build-fuzz &&
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$JOBS")

findings=build-fuzz/findings
mkdir -p "$findings"
status=0
for harness in build-fuzz/bin/fuzz_*; do
    name=$(basename "$harness")
    seeds=fuzz/corpus/${name#fuzz_}
    work=$(mktemp -d)
    [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
    options=(-max_total_time="$FUZZ_SECONDS" -seed="$FUZZ_SEED" -print_final_stats=1 -artifact_prefix="$findings/$name-")
    [ -f "fuzz/corpus/${name#fuzz_}.dict" ] && options+=(-dict="fuzz/corpus/${name#fuzz_}.dict")
    echo "== $name for ${FUZZ_SECONDS}s"
    log=$findings/$name.log
    if ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen "$harness" "${options[@]}" "$work" \
        >"$log" 2>&1; then
        grep -E 'stat::number_of_executed_units' "$log" || true
    else
        # The harness stopped on a crash, a sanitizer report or a timeout: show it and
        # keep the input that caused it beside the log.
        tail -n 60 "$log"
        echo "$name found a failing input; see $findings"
        status=1
    fi
    rm -rf "$work"
done
exit $status
