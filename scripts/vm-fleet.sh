#!/bin/bash
# Times the checker over 200 applications that share 20 distinct VM
# argument lists: rules alone, with the VM asked and nothing kept (cold),
# with the verdicts kept by the run before (warm), and with --no-cache.
# Usage: scripts/vm-fleet.sh [BUILD_DIR]
set -eu
build=$(cd "${1:-build}" && pwd)
check="$build/dashvane-launcher-check"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/ws/eclipse" "$root/cache"
printf '#!/bin/sh\n' > "$root/ws/eclipse/Dashvane"
chmod +x "$root/ws/eclipse/Dashvane"
for i in $(seq 1 200); do
    dir="$root/ws/apps/app$i"
    mkdir -p "$dir"
    cp "$build/dashvane-launcher" "$dir/run"
    printf -- '-vmargs\n-Xmx%dm\n-XX:+UseG1GC\n' $((256 + (i % 20) * 16)) > "$dir/run.ini"
done
cd "$root"
export XDG_CACHE_HOME="$root/cache"
timed() {
    local start end
    start=$(date +%s%N)
    "$check" "$@" ws/apps/app* > /dev/null || true
    end=$(date +%s%N)
    printf '%d.%03d s' $(((end - start) / 1000000000)) $(((end - start) / 1000000 % 1000))
}
echo "--no-vm:    $(timed --no-vm)"
echo "cold:       $(timed)"
echo "warm:       $(timed)"
echo "--no-cache: $(timed --no-cache)"
echo "verdicts kept: $(ls "$XDG_CACHE_HOME/dashvane-launcher-check" | wc -l)"
