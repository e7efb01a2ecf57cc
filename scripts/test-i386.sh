#!/bin/sh
# The 32-bit (i386) build with every test, run through qemu-i386, and its
# package run on a real 32-bit kernel in qemu-system-i386 (the ctest label
# i386-kernel), which must not be skipped here.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_i386_architecture
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES $LINT_PACKAGES $DIST_PACKAGES $I386_PACKAGES \
    $I386_DIST_PACKAGES $I386_KERNEL_PACKAGES
need_i386_package_lists
need_i386_exec
export DVL_I386_KERNEL_REQUIRED=1
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake \
    -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
cmake --build build-i386 -j "$(nproc)"
ctest --test-dir build-i386 --output-on-failure -j "$(nproc)"
