#!/bin/sh
# Line and branch coverage of source/ by every test: builds with gcov
# instrumentation in build-cov, runs the tests, and reports with gcovr
# (summary on the terminal, details in build-cov/coverage.txt and
# build-cov/coverage/index.html).
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES $COVERAGE_PACKAGES

cmake -S . -B build-cov -DDVL_COVERAGE=ON -DDVL_STATIC=OFF -DDVL_REQUIRE_TESTS=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-cov -j "$(nproc)"

# Some tests run the launcher as user 65534, which may not be able to reach
# the build folder. Every process writes its counters under a prefix in /tmp
# instead, into data files made beforehand and writable by all; they are
# copied back beside the notes files for gcovr afterwards.
build=$(cd build-cov && pwd -P)
prefix=$(mktemp -d /tmp/dvl-gcov-XXXXXX)
chmod 0755 "$prefix"
trap 'rm -rf "$prefix"' EXIT
find "$build" -name '*.gcda' -delete
find "$build" -name '*.gcno' | while IFS= read -r notes; do
    data="$prefix${notes%.gcno}.gcda"
    mkdir -p "$(dirname "$data")"
    : > "$data"
    chmod 0666 "$data"
done
find "$prefix" -type d -exec chmod 0755 {} +

GCOV_PREFIX=$prefix ctest --test-dir build-cov --output-on-failure -j "$(nproc)"

find "$prefix" -name '*.gcda' -size +0 | while IFS= read -r data; do
    cp "$data" "${data#"$prefix"}"
done
mkdir -p build-cov/coverage
gcovr --root . --object-directory build-cov --filter 'source/' \
    --exclude-throw-branches --exclude-unreachable-branches \
    --txt build-cov/coverage.txt --html-details build-cov/coverage/index.html \
    --print-summary
