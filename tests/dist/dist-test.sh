#!/bin/sh
# The packages distributions take, built by scripts/dist.sh from the last
# commit, and judged:
#   build         builds them once into BUILD_DIR/dist-a (the fixture of the rest)
#   lintian       lintian --pedantic on the source package and the .deb
#   rpmlint       rpmlint on the RPM and its build recipe
#   contents      what the packages and the source tarball hold
#   reproducible  builds them again, later and elsewhere, and compares the bytes
# Usage: dist-test.sh MODE SOURCE_DIR BUILD_DIR ARCH
set -eu
mode=$1 src=$2 build=$3 arch=$4
a=$build/dist-a

fail() {
    echo "FAIL: $*"
    exit 1
}

# The tarball is git archive's; without git there is nothing to build from.
if ! git -C "$src" rev-parse --verify -q HEAD >/dev/null 2>&1; then
    echo "skipped: $src is not a git checkout"
    exit 77
fi
# The source package and the RPM are the same whatever the build folder's
# architecture: the amd64 build makes them.
what=deb-$arch
[ "$arch" = amd64 ] && what="source $what rpm"

case $mode in
build)
    rm -rf "$a"
    # shellcheck disable=SC2086
    sh "$src/scripts/dist.sh" "$a" $what
    ls -l "$a"
    ;;
lintian)
    status=0
    # Bytes of i386 machine code read as misspelt words at random, and other
    # ones after every change of the code; the programs' own texts are the
    # same on amd64, where the spelling is judged.
    suppress=
    case " $what " in *" deb-i386 "*) suppress="--suppress-tags spelling-error-in-binary" ;; esac
    # shellcheck disable=SC2086
    lintian --pedantic --display-info --display-experimental --fail-on error,warning,info,pedantic \
        $suppress --tag-display-limit 0 "$a"/*.changes >"$a/lintian.log" 2>&1 || status=$?
    # CI runs as root, which lintian only advises against.
    grep -v '^running with root privileges' "$a/lintian.log" || true
    # Overridden tags are listed as "O:"; anything else fails.
    if [ "$status" -ne 0 ] || grep -q '^[EWIPX]:' "$a/lintian.log"; then
        fail "lintian (status $status)"
    fi
    echo "ok: lintian --pedantic passes $(cd "$a" && echo *.changes)"
    ;;
rpmlint)
    status=0
    # rpmlint itself, taking the build recipe under the name it has here.
    /usr/bin/python3 "$src/tests/dist/lint-rpm.py" -c "$src/packaging/rpmlint.toml" "$a"/*.rpm \
        "$src/packaging/dashvane-launcher.rpm-recipe" || status=$?
    [ "$status" -eq 0 ] || fail "rpmlint (status $status)"
    ;;
contents)
    version=$(sed -n 's/^project(dashvane-launcher VERSION \([^ ]*\) .*/\1/p' "$src/CMakeLists.txt")
    deb=$a/dashvane-launcher_${version}_$arch.deb
    tarball=$a/dashvane-launcher-$version.tar.gz
    # The tarball holds the committed files and nothing else: no build folder,
    # no package, no file left by a test.
    git -C "$src" ls-files | sed "s|^|dashvane-launcher-$version/|" | sort >"$a/expected.list"
    tar -tzf "$tarball" | grep -v '/$' | sort >"$a/tarball.list"
    diff -u "$a/expected.list" "$a/tarball.list" || fail "the tarball is not the committed tree"
    # The files git stores as executable, and only those, are executable there.
    git -C "$src" ls-tree -r HEAD | awk -v p="dashvane-launcher-$version/" '$1 == "100755" { print p $4 }' |
        sort >"$a/expected.exec"
    tar -tvzf "$tarball" | awk '$1 ~ /^-..x/ { print $6 }' | sort >"$a/tarball.exec"
    diff -u "$a/expected.exec" "$a/tarball.exec" || fail "executable bits differ from git's in the tarball"

    # The sources of what the static programs embed, as the linker took them.
    for source in glibc gcc-12 boost1.74; do
        dpkg-deb -f "$deb" Static-Built-Using | grep -q "\\b$source (= " || fail "Static-Built-Using lacks $source"
    done
    root=$a/root-$arch
    rm -rf "$root"
    dpkg-deb -x "$deb" "$root"
    doc=$root/usr/share/doc/dashvane-launcher
    # The packages are the last commit's, so is the README they are held to.
    git -C "$src" show HEAD:README.md >"$a/README.md"
    gzip -dc "$doc/README.md.gz" 2>/dev/null | cmp -s - "$a/README.md" || fail "the README is not shipped compressed"

    # The README's table gives the programs' sizes as the .deb holds them.
    for program in dashvane-launcher dashvane-launcher-check; do
        size=$(stat -c %s "$root/usr/bin/$program")
        column=$(awk -v p="\`$program\`" -v arch="$arch" -F'|' '
            /^\| *\| *amd64 *\| *i386 *\|$/ { for (i = 3; i < NF; i++) if ($i ~ "^ *" arch " *$") col = i }
            col && index($2, p) { v = $col; gsub(/[^0-9]/, "", v); print v; exit }' "$a/README.md")
        [ "$column" = "$size" ] || fail "README gives $program $column bytes for $arch, the .deb holds $size"
    done

    roots=$root
    if [ "$arch" = amd64 ]; then
        rpm=$(ls "$a"/*.rpm)
        rpm -qpl "$rpm" | grep -q '/usr/share/licenses/.*/GCC-exception-3.1.txt$' || fail "the RPM lacks the licence texts"
        rm -rf "$a/rpm-root" && mkdir "$a/rpm-root"
        (cd "$a/rpm-root" && rpm2cpio "$rpm" | cpio -idm --quiet)
        roots="$roots $a/rpm-root"
    fi
    # dh_strip and rpm strip the programs their own way: the launcher must
    # keep the version note by which the checker knows its copies.
    for r in $roots; do
        readelf -nW "$r/usr/bin/dashvane-launcher" 2>/dev/null | grep -q '^ *Dashvane ' ||
            fail "the launcher in $(basename "$r") lost its version note"
    done
    echo "ok: the tarball, the .deb and (amd64) the RPM hold what they should"
    ;;
reproducible)
    b=$build/dist-b
    rm -rf "$b"
    # At least a second later, and in another folder.
    sleep 1
    # shellcheck disable=SC2086
    sh "$src/scripts/dist.sh" "$b" $what >/dev/null
    compared=0
    for file in "$a"/*.deb "$a"/*.rpm "$a"/*.tar.gz "$a"/*.dsc "$a"/*.tar.xz; do
        [ -f "$file" ] || continue
        cmp "$file" "$b/$(basename "$file")" || fail "$(basename "$file") differs between two builds"
        compared=$((compared + 1))
    done
    [ "$compared" -ge 3 ] || fail "only $compared packages to compare"
    echo "ok: $compared packages byte-identical over two builds: $(cd "$a" && ls *.deb *.rpm *.tar.gz *.dsc *.tar.xz 2>/dev/null | tr '\n' ' ')"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
