#!/bin/sh
# Installs what is missing, builds with warnings as errors, and runs every test
# of every configuration, one stage after another.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES

# The native release build.
cmake -S . -B build -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)"

# The 32-bit build.
sh scripts/test-i386.sh
