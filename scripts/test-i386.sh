#!/bin/sh
# The 32-bit (i386) build with every test, run through qemu-i386.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_i386_architecture
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES $I386_PACKAGES
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake \
    -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
cmake --build build-i386 -j "$(nproc)"
ctest --test-dir build-i386 --output-on-failure -j "$(nproc)"
