#!/bin/sh
# Builds the release programs for amd64 and i386 and packs each as a .deb and
# a .tar.gz in dist/. Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_i386_architecture
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $SHIP_PACKAGES $I386_PACKAGES
mkdir -p dist
cmake -S . -B build-pkg-amd64 -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake -S . -B build-pkg-i386 -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
for arch in amd64 i386; do
    cmake --build "build-pkg-$arch" -j "$(nproc)"
    (cd "build-pkg-$arch" && cpack -B "$PWD/../dist")
done
rm -rf dist/_CPack_Packages
ls -l dist
