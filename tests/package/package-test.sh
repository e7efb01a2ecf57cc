#!/bin/sh
# Builds the binary .tar.gz from a finished build folder, checks what it
# holds, unpacks it into a scratch root, and runs the launcher from there in a
# demo installation. (The .deb is debian/'s, judged by tests/dist.)
# Usage: package-test.sh BUILD_DIR STANDIN ARCH [EMULATOR...]
set -eu
build=$1 standin=$2 arch=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
tgz=$(ls "$scratch"/out/*.tar.gz)
case $tgz in *-linux-$arch.tar.gz) ;; *) fail "$(basename "$tgz") is not named for $arch" ;; esac

tar tzf "$tgz" >"$scratch/tgz.list"
doc=share/doc/dashvane-launcher
for path in bin/dashvane-launcher bin/dashvane-launcher-check share/man/man1/dashvane-launcher.1.gz \
    share/man/man1/dashvane-launcher-check.1.gz $doc/README.md $doc/copyright $doc/LICENSE \
    $doc/changelog.gz $doc/licenses/LGPL-2.1.txt $doc/licenses/GPL-3.0.txt \
    $doc/licenses/GCC-exception-3.1.txt $doc/licenses/BSL-1.0.txt \
    share/bash-completion/completions/dashvane-launcher-check; do
    grep -q "/$path\$" "$scratch/tgz.list" || fail ".tar.gz lacks $path"
done
# lintian's overrides mean nothing outside a .deb.
grep -q '/share/lintian/' "$scratch/tgz.list" && fail ".tar.gz carries share/lintian"

root=$scratch/root
mkdir "$root"
tar -xzf "$tgz" -C "$root" --strip-components=1
launcher=$root/bin/dashvane-launcher
file "$launcher" | grep -q ', stripped' || fail "the packaged launcher is not stripped"
# man reads the compressed pages: each must unpack to its source.
for page in dashvane-launcher dashvane-launcher-check; do
    gzip -dc "$root/share/man/man1/$page.1.gz" | cmp -s - "$(dirname "$0")/../../docs/$page.1" ||
        fail "$page.1.gz does not unpack to docs/$page.1"
done

ws=$scratch/ws
mkdir -p "$ws/eclipse" "$ws/apps/demo"
cp "$standin" "$ws/eclipse/Dashvane"
cp "$launcher" "$ws/apps/demo/run"
printf '%s\n' -vmargs -Xmx1024m -Ddv.appInitScript=scripts/init.js >"$ws/apps/demo/run.ini"
cd "$ws/apps/demo"
status=0
if [ $# -gt 0 ]; then
    out=$("$@" -0 ./run ./run -Dtrace=on) || status=$?
else
    out=$(./run -Dtrace=on) || status=$?
fi
[ "$status" -eq 1 ] || fail "exit status $status, not 1"
# The stand-in prints its working directory and arguments; the output ends
# only when it has written them.
expected="Dashvane stand-in started in $ws/eclipse with 7 arguments:
  argv[0] = $ws/eclipse/Dashvane
  argv[1] = --launcher.appendVmargs
  argv[2] = -vmargs
  argv[3] = -Xmx1024m
  argv[4] = -Ddv.appInitScript=$ws/apps/demo/scripts/init.js
  argv[5] = -Ddv.webApp=demo
  argv[6] = -Dtrace=on"
[ "$out" = "$expected" ] || fail "unexpected run:
$out"
# The packaged checker finds nothing wrong with the same application.
mkdir -p scripts && : >scripts/init.js
status=0
"$@" "$root/bin/dashvane-launcher-check" >"$scratch/check.out" || status=$?
[ "$status" -eq 0 ] || { cat "$scratch/check.out"; fail "the packaged checker exited with $status"; }

echo "ok: $(basename "$tgz") unpacks, and the launcher runs from it"
