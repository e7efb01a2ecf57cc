#!/bin/sh
# Usage: demo-without-json.sh SOURCE SCRATCH
# The README's first command builds a tree that was not asked for tests. On
# a machine with GoogleTest but without nlohmann_json, that configure must not
# stop at the checker's tests: configure a scratch build with the JSON
# library hidden, build the demo target, and see the stand-in's vector.
set -eu
source=$1 scratch=$2

rm -rf "$scratch"
log="$scratch.log"
if ! cmake -S "$source" -B "$scratch" -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON >"$log" 2>&1; then
    cat "$log"
    echo "FAIL: configuring without nlohmann_json failed"
    exit 1
fi
if ! grep -q "nlohmann_json not found" "$log"; then
    cat "$log"
    echo "FAIL: the configure did not report the missing nlohmann_json"
    exit 1
fi
# The tests built here need GoogleTest; without it this row proves less.
if grep -q "GoogleTest not found" "$log"; then
    echo "GoogleTest is not installed: the row needs it present"
    exit 77
fi
out="$scratch.out"
if ! cmake --build "$scratch" --target demo -j "$(nproc)" >"$out" 2>&1; then
    cat "$out"
    echo "FAIL: the demo target did not build or run"
    exit 1
fi
cat "$out"
# The stand-in's vector, as the demo's ini file and command line give it.
for want in "-Ddv.appInitScript=$scratch/ws/apps/demo/scripts/init.js" "-Ddv.webApp=demo" "-Dtrace=on"; do
    grep -qF -- "$want" "$out" || {
        echo "FAIL: the demo's output lacks $want"
        exit 1
    }
done
rm -rf "$scratch" "$log" "$out"
echo "demo built and ran without nlohmann_json"
