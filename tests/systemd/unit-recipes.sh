#!/bin/sh
# Boots a real systemd in a container (systemd-nspawn, with the host's /usr
# and a throwaway root under the build folder) and has it run the README's
# unit recipes and the units the checker flags, with a real launcher copy in
# /srv/ws/apps/shop and an application that records its start and stays.
# Each unit's state after the start (systemctl show), whether the
# application is still running, and what systemctl stop leaves, must be as
# the table below says.
# Usage: unit-recipes.sh SOURCE_DIR BUILD_DIR LAUNCHER [CHECKER]
# Exits 77 (skipped) where no container can be booted (not root, no
# systemd-nspawn), unless DVL_SYSTEMD_REQUIRED is set.
set -eu
src=$1 build=$2 launcher=$3 checker=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
started=$(date +%s)

skip() {
    [ -z "${DVL_SYSTEMD_REQUIRED:-}" ] || fail "$* (DVL_SYSTEMD_REQUIRED is set)"
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    exit 1
}
[ "$(id -u)" -eq 0 ] || skip "booting a container needs root"
command -v systemd-nspawn >/dev/null || skip "systemd-nspawn missing (Debian: systemd-container)"
[ -x /usr/lib/systemd/systemd ] || skip "no systemd in /usr to boot"

# Expected, per unit: the state systemctl shows, whether the application's
# process is the unit's main process, whether the application runs after the
# start (and whether pgrep finds it, as the README tells scripts to, and
# whether the checker's vector is the one it got), after systemctl stop, and
# the checker's findings (--start).
expected='recommended ActiveState=active Result=success SubState=running main=app app=running stop=gone pgrep=found vector=same check=- says=-
plain ActiveState=failed Result=exit-code SubState=failed main=other app=gone stop=gone pgrep=- vector=- check=unit-stops-application,unit-without-working-directory says=stops
simple-wd ActiveState=failed Result=exit-code SubState=failed main=other app=gone stop=gone pgrep=- vector=- check=unit-stops-application says=stops
simple-success ActiveState=inactive Result=success SubState=dead main=other app=gone stop=gone pgrep=- vector=- check=unit-stops-application says=stops
simple-process ActiveState=failed Result=exit-code SubState=failed main=other app=running stop=running pgrep=found vector=same check=unit-stops-application says=-
forking-nostatus ActiveState=failed Result=exit-code SubState=failed main=other app=gone stop=gone pgrep=- vector=- check=unit-stops-application says=stops
oneshot ActiveState=active Result=success SubState=exited main=other app=running stop=gone pgrep=found vector=same check=- says=-
oneshot-process ActiveState=active Result=success SubState=exited main=other app=running stop=running pgrep=found vector=same check=- says=-
user-recommended ActiveState=active Result=success SubState=running main=app app=running stop=gone pgrep=found vector=same check=- says=-
variables ActiveState=active Result=success SubState=running main=app app=running stop=gone pgrep=found vector=same check=- says=-
no-user ActiveState=active Result=success SubState=running main=app app=running stop=gone pgrep=found vector=same check=- says=-
missing-environment-file ActiveState=failed Result=resources SubState=failed main=other app=gone stop=gone pgrep=- vector=- check=- says=-
user-variables ActiveState=active Result=success SubState=running main=app app=running stop=gone pgrep=found vector=same check=- says=-'
# The checker's verdict agrees: a unit is healthy (active, the application
# running) exactly where it finds nothing, and it says the unit stops the
# application exactly where systemd did (or would have, in the plain unit,
# whose application never starts).
root=$build/systemd-root
rm -rf "$root"
mkdir -p "$root/etc/systemd/system" "$root/out" "$root/dvl/units" "$root/dvl/user-units" \
    "$root/srv/ws/eclipse" "$root/srv/ws/apps/shop" "$root/srv/ws/records" "$root/home/dashvane" \
    "$root/var/tmp" "$root/tmp" "$root/root"
for dir in bin lib lib64 sbin; do
    [ -L "/$dir" ] && ln -s "$(readlink "/$dir")" "$root/$dir"
done
[ -L "$root/bin" ] || skip "the host's /bin is not merged into /usr"
cp /usr/lib/os-release "$root/etc/os-release"
# A machine id of its own: without one, systemd fails a unit that names %m.
echo 5d1e0f3a9c2b4e7f8a6d1c3b5e7f9a2d >"$root/etc/machine-id"
cp -r /etc/pam.d /etc/security "$root/etc/"
cp /etc/nsswitch.conf /etc/login.defs "$root/etc/"
# The system bus (messagebus) is what the user's manager is set up over.
printf '%s\n' root:x:0:0:root:/root:/bin/sh messagebus:x:100:100::/nonexistent:/usr/sbin/nologin \
    dashvane:x:4242:4242:dashvane:/home/dashvane:/bin/sh >"$root/etc/passwd"
printf '%s\n' root:x:0: messagebus:x:100: dashvane:x:4242: >"$root/etc/group"
printf '%s:*:19000:0:99999:7:::\n' root messagebus dashvane >"$root/etc/shadow"
chmod 0640 "$root/etc/shadow"

# The application: records its process and arguments, then stays, as the
# real one does, so whether systemd lets it run can be seen.
cat >"$root/srv/ws/eclipse/Dashvane" <<'APP'
#!/bin/sh
{ echo $$; pwd; printf '%s\n' "$@"; } >/srv/ws/records/shop
while :; do sleep 60; done
APP
chmod 0755 "$root/srv/ws/eclipse/Dashvane"
chmod 1777 "$root/srv/ws/records"
cp "$launcher" "$root/srv/ws/apps/shop/run"
printf -- '-vmargs\n-Xmx64m\n' >"$root/srv/ws/apps/shop/run.ini"
chown -R 4242:4242 "$root/home/dashvane"

recipe() { sh "$src/tests/docs/recipe.sh" "$src/README.md" "$1"; }
recipe /etc/systemd/system/shop.service >"$root/dvl/units/recommended.service"
# shellcheck disable=SC2088 # the name the README gives the file
recipe '~/.config/systemd/user/shop.service' >"$root/dvl/user-units/recommended.service"
unit() { # NAME LINE...
    name=$1
    shift
    { printf '[Service]\nUser=dashvane\nExecStart=/srv/ws/apps/shop/run\n'; printf '%s\n' "$@"; } \
        >"$root/dvl/units/$name.service"
}
unit plain Type=simple
unit simple-wd Type=simple WorkingDirectory=/srv/ws/apps/shop
unit simple-success Type=simple WorkingDirectory=/srv/ws/apps/shop SuccessExitStatus=1
unit simple-process Type=simple WorkingDirectory=/srv/ws/apps/shop KillMode=process
unit forking-nostatus Type=forking WorkingDirectory=/srv/ws/apps/shop
unit oneshot Type=oneshot RemainAfterExit=yes SuccessExitStatus=1 WorkingDirectory=/srv/ws/apps/shop
unit oneshot-process Type=oneshot RemainAfterExit=yes SuccessExitStatus=1 KillMode=process \
    WorkingDirectory=/srv/ws/apps/shop

# Variables and specifiers in ExecStart=: what the application gets is the
# checker's vector. The file's assignment overrides Environment='s, an empty
# Environment= drops the ones before it, and a missing file without "-"
# fails the unit before it runs anything.
mkdir -p "$root/dvl/env"
printf '%s\n' '# read by systemd' 'FROMFILE=file  value  ' "OVERRIDE='from file'" 'SPLIT="x y"' \
    >"$root/dvl/env/shop.env"
# shellcheck disable=SC2016 # systemd expands these, not the shell
unit variables Type=forking SuccessExitStatus=1 WorkingDirectory=/srv/ws/apps/shop \
    Environment=GONE=1 Environment= 'Environment="OPTS=-Da=1  -Db=two" APP=shop OVERRIDE=unit' \
    'Environment=EMPTY= UNIT=%n' EnvironmentFile=/dvl/env/shop.env EnvironmentFile=-/dvl/env/none.env \
    ExecStart= 'ExecStart=/srv/ws/apps/shop/run -Dapp=${APP} $OPTS $NONE ${NONE} $EMPTY $$APP a$APP $HOME/x -Dhome=$HOME -Duser=${USER}:${LOGNAME}:${SHELL} -Dpath=${PATH} -Dfile=${FROMFILE} -Do=${OVERRIDE} -Dgone=${GONE} $SPLIT -Dunit=${UNIT}:%n:%N:%p:%j:%f -Dspecifiers=%t:%S:%C:%L:%E:%T:%V:%U:%g:%G:%h:%u:%y:%Y:%H:%l:%m:%d'
# Without User= systemd sets none of the user's names.
# shellcheck disable=SC2016 # systemd expands these, not the shell
printf '%s\n' '[Service]' Type=forking SuccessExitStatus=1 WorkingDirectory=/srv/ws/apps/shop \
    'ExecStart=/srv/ws/apps/shop/run -Dh=${HOME}:${USER}:${LOGNAME}:${SHELL}' \
    >"$root/dvl/units/no-user.service"
unit missing-environment-file Type=forking SuccessExitStatus=1 WorkingDirectory=/srv/ws/apps/shop \
    EnvironmentFile=/dvl/env/none.env
# shellcheck disable=SC2016,SC2088 # the name the README gives; systemd expands these
{
    recipe '~/.config/systemd/user/shop.service' | grep -v '^ExecStart='
    printf '%s\n' '[Service]' 'Environment=APP=shop' \
        'ExecStart=/srv/ws/apps/shop/run -Dapp=${APP} -Dhome=$HOME -Duser=${USER} -Dspecifiers=%t:%S:%C:%L:%E:%U:%g:%G:%h:%u:%y:%Y'
} >"$root/dvl/user-units/variables.service"

cp "$here/guest-test.sh" "$root/dvl/guest-test.sh"
[ -z "$checker" ] || cp "$checker" "$root/dvl/check"
cat >"$root/etc/systemd/system/dvl-test.service" <<'UNIT'
[Unit]
Description=Unit recipes under a real systemd
SuccessAction=poweroff-force
FailureAction=poweroff-force
[Service]
Type=oneshot
ExecStart=/dvl/guest-test.sh
UNIT

# The container gets a cgroup2 tree of its own: on a host with both cgroup
# versions, systemd there never learns that a unit's cgroup became empty, and
# every stop waits for its time-out.
booted=$(date +%s)
SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1 timeout -k 5 "${DVL_SYSTEMD_TIMEOUT:-180}" systemd-nspawn -D "$root" --bind-ro=/usr \
    --register=no --keep-unit -q -b systemd.unit=dvl-test.service \
    </dev/null >"$build/systemd-console.log" 2>&1 || true
grep -qx 'done' "$root/out/report" 2>/dev/null || {
    tail -n 40 "$build/systemd-console.log"
    grep -q 'Powering off\|Reached target' "$build/systemd-console.log" ||
        skip "systemd-nspawn could not boot a container here (log above)"
    fail "the guest wrote no report"
}
echo "container $(($(date +%s) - booted)) s; test $(($(date +%s) - started)) s"
cat "$root/out/report"
echo "$expected" | while read -r label rest; do
    got=$(sed -n "s/^$label //p" "$root/out/report" | sed 's/MainPID=[0-9]* //')
    if [ "$got" != "$rest" ]; then
        echo "FAIL: $label: expected \"$rest\", systemd gave \"$got\""
        echo fail >>"$root/out/failed"
    fi
done
[ ! -e "$root/out/failed" ] || exit 1
echo "ok: every unit as expected"
