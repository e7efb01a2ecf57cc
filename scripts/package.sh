#!/bin/sh
# Builds everything that ships into dist/, from the last commit: the source
# tarball, the Debian source package, the .deb and the binary .tar.gz for
# amd64 and i386, and the x86-64 RPM (scripts/dist.sh). Ends with the
# README's size table as these packages hold the programs. Installs what is
# missing first.
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
need_i386_architecture
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $SHIP_PACKAGES $I386_PACKAGES $DIST_PACKAGES $I386_DIST_PACKAGES
rm -rf dist
sh scripts/dist.sh dist source deb-amd64 deb-i386 rpm tgz-amd64 tgz-i386
rm -rf dist/work
ls -l dist

version=$(sed -n 's/^project(dashvane-launcher VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
size() {
    dpkg-deb --fsys-tarfile "dist/dashvane-launcher_${version}_$1.deb" |
        tar -tvf - "./usr/bin/$2" | awk '{ printf "%\047d bytes", $3 }'
}
echo
echo "| | amd64 | i386 |"
echo "|---|---|---|"
for program in dashvane-launcher dashvane-launcher-check; do
    echo "| \`$program\` | $(size amd64 $program) | $(size i386 $program) |"
done
