#!/bin/sh
# Fuzzes the ini reader for a bounded time: scripts/fuzz.sh [SECONDS] (120 by
# default). Builds ini_fuzzer in build-asan if needed, starts from the seed
# corpus in tests/fuzz/corpus (never written to) and keeps what it finds in
# build-asan/fuzz-corpus. Ends with libFuzzer's statistics: executions per
# second and the total executed. A finding fails the script, and the input
# that caused it is left in build-asan/fuzz-artifacts/.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $SANITIZER_PACKAGES
seconds=${1:-120}

if [ ! -f build-asan/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-asan -DDVL_SANITIZE=ON -DDVL_FUZZ=ON -DDVL_STATIC=OFF \
        -DDVL_WARNINGS_AS_ERRORS=ON
fi
cmake --build build-asan -j "$(nproc)" --target ini_fuzzer
mkdir -p build-asan/fuzz-corpus build-asan/fuzz-artifacts
status=0
build-asan/ini_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build-asan/fuzz-artifacts/ \
    build-asan/fuzz-corpus tests/fuzz/corpus > build-asan/fuzz.log 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    tail -n 60 build-asan/fuzz.log
    echo "fuzzing found a fault (status $status); full log: build-asan/fuzz.log" >&2
    exit 1
fi
grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+INITED|Done |stat::)' build-asan/fuzz.log
