#!/bin/sh
# Builds what distributions take, from the last commit alone, into OUT:
#   source      the source tarball dashvane-launcher-VERSION.tar.gz (git
#               archive), always, and the Debian source package;
#   deb-amd64   the .deb built by dpkg-buildpackage from the tarball;
#   deb-i386    the same for i386 (dpkg-buildpackage -a i386, multilib);
#   rpm         the x86-64 RPM built by rpmbuild -bb from the tarball;
#   tgz-amd64   the binary .tar.gz of the programs (CPack), for systems
#   tgz-i386    without dpkg or rpm.
# SOURCE_DATE_EPOCH is the last commit's time, so a commit gives the same bytes
# whenever it is built. Needs the tools scripts/package.sh installs.
# Usage: scripts/dist.sh OUT [source] [deb-amd64] [deb-i386] [rpm] [tgz-amd64] [tgz-i386]
set -eu
cd "$(dirname "$0")/.."
out=$1
shift
git rev-parse --verify -q HEAD >/dev/null || { echo "dist.sh: not a git checkout" >&2; exit 1; }
version=$(sed -n 's/^project(dashvane-launcher VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
name=dashvane-launcher-$version
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
# Timestamps, names and order do not depend on who builds, where or when.
export TZ=UTC LC_ALL=C.UTF-8
umask 022

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$out/work
rm -rf "$work"
mkdir -p "$work"

# gzip -n leaves the name and time out of the compressed stream; git archive
# gives every entry the commit's time, and the modes git stores.
git -c tar.umask=0022 archive --format=tar --prefix="$name/" HEAD | gzip -9n >"$out/$name.tar.gz"

unpack() {
    rm -rf "${work:?}/$name"
    tar -xzf "$out/$name.tar.gz" -C "$work"
}

debian_build() {
    unpack
    (cd "$work/$name" && dpkg-buildpackage -us -uc -Jauto "$@") >"$work/dpkg-buildpackage$*.log" 2>&1 ||
        { tail -n 40 "$work/dpkg-buildpackage$*.log"; echo "dist.sh: dpkg-buildpackage $* failed" >&2; exit 1; }
}

for what in "$@"; do
    case $what in
    source) debian_build -S ;;
    deb-amd64) debian_build -b ;;
    deb-i386) debian_build -b -a i386 ;;
    rpm)
        # Debian's rpm database knows none of the build dependencies, which
        # are Debian packages here: --nodeps.
        tar -xzf "$out/$name.tar.gz" -O "$name/packaging/dashvane-launcher.rpm-recipe" >"$work/dashvane-launcher.rpm-recipe"
        rpmbuild -bb --nodeps --define "_topdir $work/rpm" --define "_sourcedir $out" \
            "$work/dashvane-launcher.rpm-recipe" >"$work/rpmbuild.log" 2>&1 ||
            { tail -n 40 "$work/rpmbuild.log"; echo "dist.sh: rpmbuild failed" >&2; exit 1; }
        cp "$work"/rpm/RPMS/*/*.rpm "$out"
        ;;
    tgz-amd64 | tgz-i386)
        unpack
        toolchain=
        [ "$what" = tgz-i386 ] && toolchain=-DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake
        (cd "$work/$name" && cmake -S . -B "../$what" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DDVL_RECORD_SWITCHES=OFF $toolchain &&
            cmake --build "../$what" -j "$(nproc)" && cd "../$what" && cpack -B "$out") >"$work/$what.log" 2>&1 ||
            { tail -n 40 "$work/$what.log"; echo "dist.sh: $what failed" >&2; exit 1; }
        rm -rf "$out/_CPack_Packages"
        ;;
    *) echo "dist.sh: unknown $what" >&2; exit 2 ;;
    esac
done
# dpkg-buildpackage leaves its results beside the source folder.
find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.ddeb' -o -name '*.dsc' -o -name '*.tar.xz' \
    -o -name '*.buildinfo' -o -name '*.changes' \) -exec cp {} "$out" \;
