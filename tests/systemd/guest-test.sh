#!/bin/sh
# Runs inside the booted container as a service of its systemd: starts each
# unit of /dvl/units (system units) and /dvl/user-units (units of the user
# dashvane's own manager), then writes one line per unit to /out/report:
#   LABEL ActiveState=... SubState=... Result=... MainPID=... app=STATE stop=STATE
# app is "running" or "gone", read off the process the application records;
# stop is what became of the application after systemctl stop; main is "app" when MainPID is the
# application itself.
set -u
report=/out/report
records=/srv/ws/records
uid=$(id -u dashvane)

user_systemctl() {
    setpriv --reuid="$uid" --regid="$uid" --init-groups \
        env XDG_RUNTIME_DIR="/run/user/$uid" systemctl --user "$@"
}

app_state() {
    pid=$(sed -n 1p "$records/shop" 2>/dev/null)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then echo running; else echo gone; fi
}

# The checker's findings about the unit file, as a list of kinds, or "-", and
# whether its message says the unit stops the application.
verdict() {
    [ -x /dvl/check ] || { echo unchecked; return; }
    /dvl/check --start "$1" --no-vm --json >/tmp/check.json 2>/dev/null
    # Whether the checker says that the unit stops the application.
    says=-
    grep -Eq 'KillMode=[a-z-]+ (then )?stops the application' /tmp/check.json && says=stops
    kinds=$(grep -o '"kind":"[a-z-]*"' /tmp/check.json |
        sed 's/"kind":"\(.*\)"/\1/' | grep -E '^(unit-|launcher-exit)' | sort -u | tr '\n' ',')
    echo "$(echo "${kinds%,}" | sed 's/^$/-/') says=$says"
}

judge() { # SYSTEMCTL-FUNCTION UNIT LABEL FILE
    ctl=$1 unit=$2 label=$3
    check=$(verdict "$4")
    rm -f "$records"/*
    $ctl start "$unit" 2>/dev/null
    sleep 2
    # What systemd said of the start, for a failure to be looked into.
    $ctl status --no-pager -n 20 "$unit" >"/out/status-$label" 2>&1
    state=$($ctl show -p ActiveState,SubState,Result,MainPID "$unit" | sort | tr '\n' ' ')
    app=$(app_state)
    # What the README tells a script to test instead of the launcher's status.
    found=-
    pid=$(sed -n 1p "$records/shop" 2>/dev/null)
    [ -n "$pid" ] && pgrep -f -- -Ddv.webApp=shop | grep -qx "$pid" && found=found
    # Where it runs, the checker's vector is the one it got (after its name).
    vector=-
    if [ "$app" = running ]; then
        vector=differs
        sed -n 's/.*"vector":\[\([^]]*\)\].*/\1/p' /tmp/check.json | tr ',' '\n' | sed '1d; s/^"\(.*\)"$/\1/' \
            >/tmp/vector
        sed '1,2d' "$records/shop" | cmp -s - /tmp/vector && vector=same
        [ "$vector" = same ] || diff /tmp/vector "$records/shop" >"/out/vector-$label"
    fi
    main=other
    if [ -n "$pid" ] && [ "$state" != "${state#*MainPID="$pid" }" ]; then
        main=app
    fi
    $ctl stop "$unit" 2>/dev/null
    sleep 1
    after=$(app_state)
    [ -s "$records/shop" ] && kill "$(sed -n 1p "$records/shop")" 2>/dev/null
    $ctl reset-failed "$unit" 2>/dev/null
    echo "$label ${state}main=$main app=$app stop=$after pgrep=$found vector=$vector check=$check" >>"$report"
}

: >"$report"
for file in /dvl/units/*.service; do
    cp "$file" /etc/systemd/system/
done
systemctl daemon-reload
for file in /dvl/units/*.service; do
    unit=${file##*/}
    judge systemctl "$unit" "${unit%.service}" "/etc/systemd/system/$unit"
done
if systemctl start dbus.service systemd-logind.service && systemctl start "user@$uid.service"; then
    mkdir -p /home/dashvane/.config/systemd/user
    cp /dvl/user-units/*.service /home/dashvane/.config/systemd/user/
    chown -R dashvane: /home/dashvane/.config
    user_systemctl daemon-reload
    for file in /dvl/user-units/*.service; do
        unit=${file##*/}
        judge user_systemctl "$unit" "user-${unit%.service}" "/home/dashvane/.config/systemd/user/$unit"
    done
else
    echo "user-manager cannot-start" >>"$report"
    systemctl status dbus.service systemd-logind.service "user@$uid.service" \
        "user-runtime-dir@$uid.service" >>"$report" 2>&1
fi
echo "done" >>"$report"
