#!/bin/sh
# Installs what is missing, builds with warnings as errors, and runs every test.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES
cmake -S . -B build -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
cmake --build build -j "$(nproc)"
cd build
ctest --output-on-failure -j "$(nproc)"
