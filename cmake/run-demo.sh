#!/bin/sh
# Usage: run-demo.sh LAUNCHER STANDIN WORKSPACE
set -eu
launcher=$1 standin=$2 ws=$3

rm -rf "$ws"
mkdir -p "$ws/eclipse" "$ws/apps/demo/scripts"
cp "$standin" "$ws/eclipse/Dashvane"
cp "$launcher" "$ws/apps/demo/run"
cat > "$ws/apps/demo/run.ini" <<'INI'
-vmargs
-Xmx1024m
-Ddv.appInitScript=scripts/init.js
-Ddv.appConfigFile=/etc/demo/app.cfg
INI

cd "$ws/apps/demo"
# Output goes through a pipe, which stays open until the child has written
# too, so each run is shown whole before its exit status.
run() {
    { status=0; "$@" || status=$?; echo "$status" > "$ws/.status"; } | cat
    echo "[launcher exit status: $(cat "$ws/.status")]"
    echo
}
echo "== $PWD/run.ini"
cat run.ini
echo
echo "== ./run -Dtrace=on"
run ./run -Dtrace=on
echo "== DVL_DBG_ENABLE= ./run -Dtrace=on"
DVL_DBG_ENABLE= run ./run -Dtrace=on
