#!/bin/sh
# The sanitizer stage: everything (launcher, stand-in, tests) built by clang
# with AddressSanitizer and UndefinedBehaviorSanitizer, any finding fatal, in
# build-asan; runs the unit and black-box tests there and replays the fuzzing
# seed corpus once (the ctest ini_fuzzer_corpus_replay).
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES $SANITIZER_PACKAGES

CC=clang CXX=clang++ cmake -S . -B build-asan -DDVL_SANITIZE=ON -DDVL_FUZZ=ON -DDVL_STATIC=OFF \
    -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
cmake --build build-asan -j "$(nproc)"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
