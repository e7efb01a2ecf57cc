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
        env XDG_RUNTIME_DIR=/run/user/$uid systemctl --user "$@"
}

app_state() {
    pid=$(sed -n 1p "$records/shop" 2>/dev/null)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then echo running; else echo gone; fi
}

judge() { # SYSTEMCTL-FUNCTION UNIT LABEL
    ctl=$1 unit=$2 label=$3
    rm -f "$records"/*
    $ctl start "$unit" 2>/dev/null
    sleep 2
    state=$($ctl show -p ActiveState,SubState,Result,MainPID "$unit" | sort | tr '\n' ' ')
    app=$(app_state)
    main=other
    if [ -s "$records/shop" ] && [ "$state" != "${state#*MainPID=$(sed -n 1p "$records/shop") }" ]; then
        main=app
    fi
    $ctl stop "$unit" 2>/dev/null
    sleep 1
    after=$(app_state)
    [ -s "$records/shop" ] && kill "$(sed -n 1p "$records/shop")" 2>/dev/null
    $ctl reset-failed "$unit" 2>/dev/null
    echo "$label ${state}main=$main app=$app stop=$after" >>"$report"
}

: >"$report"
for file in /dvl/units/*.service; do
    cp "$file" /etc/systemd/system/
done
systemctl daemon-reload
for file in /dvl/units/*.service; do
    unit=${file##*/}
    judge systemctl "$unit" "${unit%.service}"
done
if systemctl start dbus.service systemd-logind.service && systemctl start "user@$uid.service"; then
    mkdir -p /home/dashvane/.config/systemd/user
    cp /dvl/user-units/*.service /home/dashvane/.config/systemd/user/
    chown -R dashvane: /home/dashvane/.config
    user_systemctl daemon-reload
    for file in /dvl/user-units/*.service; do
        unit=${file##*/}
        judge user_systemctl "$unit" "user-${unit%.service}"
    done
else
    echo "user-manager cannot-start" >>"$report"
    systemctl status dbus.service systemd-logind.service "user@$uid.service" \
        "user-runtime-dir@$uid.service" >>"$report" 2>&1
fi
echo "done" >>"$report"
