#!/bin/sh
# Builds the .deb from a finished build folder and runs Debian's lintian on
# it. Any error or warning fails; a false positive needs an override, with its
# reason, in packaging/lintian-overrides.
# Usage: lintian-test.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

command -v lintian >/dev/null || { echo "FAIL: lintian missing (Debian: lintian)"; exit 1; }
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$scratch"/*.deb)
status=0
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
# CI runs as root, which lintian only advises against.
grep -v '^running with root privileges' "$scratch/lintian.log" || true
[ "$status" -eq 0 ] || { echo "FAIL: lintian exited with $status on $(basename "$deb")"; exit 1; }
echo "ok: lintian passes $(basename "$deb")"
