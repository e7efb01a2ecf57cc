#!/bin/sh
# Installs what is missing, builds, and runs the launcher in a demo
# installation under build/ws, quietly and then traced.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES
cmake -S . -B build
cmake --build build -j "$(nproc)"
cmake --build build --target demo
