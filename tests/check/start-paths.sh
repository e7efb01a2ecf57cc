#!/bin/sh
# One row per way of starting an application: each row lays out a throwaway
# installation and one start file, has the program that really starts it
# judge it (desktop-file-validate and gio launch for a desktop entry,
# systemd-analyze verify for a unit, cron -f for a cron line, the launcher
# itself for a link or wrapper along PATH), records how the application
# really started, and runs the checker on the same file. Both must give the
# row's verdict, and where the application started, the checker's vector must
# be the one the application got.
# Usage: start-paths.sh SOURCE_DIR LAUNCHER STANDIN CHECKER
# Exits 77 (skipped) when not root (cron and the private mounts need it) or
# when one of the programs is missing.
set -u
src=$1 launcher=$2 standin=$3 checker=$4

[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root (cron, private mounts)"; exit 77; }
for program in desktop-file-validate gio systemd-analyze cron unshare; do
    command -v $program >/dev/null || { echo "SKIP: $program missing (see scripts/deps.sh)"; exit 77; }
done

# NAME | SETUP | REAL | KIND: REAL is what the real program gives: "right"
# (started with the vector it should), "wrong" (started with another), "none"
# (not started), "refused" (the program refuses the file), "accepted" (a unit
# systemd-analyze verify takes; the unit recipes' test boots systemd for what
# they do), "unchained" (right, and what the line chains on the launcher's
# status never runs). KIND is the checker's finding, or "-" for none.
rows='desktop-recipe       | desktop_recipe     | right     | -
desktop-without-path | desktop_no_path    | none      | desktop-entry-without-path
desktop-relative     | desktop_relative   | refused   | desktop-exec-refused
desktop-other-app    | desktop_other_app  | wrong     | start-from-other-application
unit-recipe          | unit_recipe        | accepted  | -
user-unit-recipe     | user_unit_recipe   | accepted  | -
unit-without-wd      | unit_no_wd         | accepted  | unit-without-working-directory
unit-relative        | unit_relative      | refused   | unit-relative-exec-start
unit-simple          | unit_simple        | accepted  | unit-stops-application
cron-recipe          | cron_recipe        | right     | -
cron-outside         | cron_outside       | none      | cron-outside-directory
cron-status-tested   | cron_chained       | unchained | launcher-exit-status-tested
cron-percent-input   | cron_percent       | right     | -
cron-exec-a-dash     | cron_exec_a        | none      | -
cron-exec-a-bash     | cron_exec_a_bash   | wrong     | start-name-without-ini
cron-variable-cd     | cron_variable_cd   | right     | start-not-modeled
cron-skipped-name    | cron_skipped_name  | none      | -
cron-missing-cd      | cron_missing_cd    | none      | -
cron-cd-semicolon    | cron_cd_semicolon  | none      | cron-outside-directory
cron-subshell        | cron_subshell      | right     | -
cron-background      | cron_background    | right     | -
user-crontab-recipe  | user_crontab       | right     | -
user-crontab-user    | user_crontab_user  | none      | -
link-without-ini     | link_no_ini        | wrong     | path-link-without-ini
link-with-ini        | link_with_ini      | right     | -
wrapper-recipe       | wrapper_recipe     | right     | -
wrapper-without-cd   | wrapper_no_cd      | none      | wrapper-outside-directory
wrapper-env-chdir    | wrapper_env_chdir  | right     | -'
start_kinds="desktop-entry-without-path desktop-exec-refused unit-without-working-directory"
start_kinds="$start_kinds unit-relative-exec-start unit-stops-application cron-outside-directory"
start_kinds="$start_kinds launcher-exit-status-tested path-link-without-ini start-from-other-application"
start_kinds="$start_kinds wrapper-outside-directory start-name-without-ini start-not-modeled"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

recipe() { sh "$src/tests/docs/recipe.sh" "$src/README.md" "$1" | sed "s|/srv/ws|$ws|g"; }
entry() { # PATH LINE...: a desktop entry
    file=$1
    shift
    mkdir -p "$(dirname "$file")"
    { printf '[Desktop Entry]\nType=Application\nName=Shop\n'; printf '%s\n' "$@"; } >"$file"
    judge=desktop
}
unit() { # PATH LINE...: a system unit of the user root
    file=$1
    shift
    mkdir -p "$(dirname "$file")"
    { printf '[Service]\nUser=root\n'; printf '%s\n' "$@"; } >"$file"
    judge=unit
}
cronfile() { # LINE...
    file=$root/etc/cron.d/shop
    mkdir -p "$root/etc/cron.d"
    printf '%s\n' "$@" >"$file"
    judge=cron
}

desktop_recipe() {
    file=$home/.local/share/applications/shop.desktop
    mkdir -p "$(dirname "$file")"
    # shellcheck disable=SC2088 # the name the README gives the file
    recipe '~/.local/share/applications/shop.desktop' >"$file"
    judge=desktop
}
desktop_no_path() { entry "$root/usr/share/applications/shop.desktop" "Exec=$ws/apps/shop/run"; }
desktop_relative() { entry "$root/usr/share/applications/shop.desktop" "Path=$ws/apps/shop" "Exec=./run"; }
desktop_other_app() {
    entry "$root/usr/share/applications/shop.desktop" "Path=$ws/apps/report" "Exec=$ws/apps/shop/run"
}
unit_recipe() {
    file=$root/etc/systemd/system/shop.service
    mkdir -p "$(dirname "$file")"
    recipe /etc/systemd/system/shop.service | sed 's/^User=.*/User=root/' >"$file"
    judge=unit
}
user_unit_recipe() {
    file=$home/.config/systemd/user/shop.service
    mkdir -p "$(dirname "$file")"
    # shellcheck disable=SC2088
    recipe '~/.config/systemd/user/shop.service' >"$file"
    judge=user-unit
}
unit_no_wd() { unit "$root/etc/systemd/system/shop.service" Type=forking SuccessExitStatus=1 "ExecStart=$ws/apps/shop/run"; }
unit_relative() {
    unit "$root/etc/systemd/system/shop.service" Type=forking SuccessExitStatus=1 \
        "WorkingDirectory=$ws/apps/shop" ExecStart=./run
}
unit_simple() {
    unit "$root/etc/systemd/system/shop.service" Type=simple "WorkingDirectory=$ws/apps/shop" \
        "ExecStart=$ws/apps/shop/run"
}
cron_recipe() { cronfile "$(recipe /etc/cron.d/shop | sed 's/^\(@reboot\) [a-z]* /\1 root /')"; }
cron_outside() { cronfile "@reboot root $ws/apps/shop/run"; }
# What follows % is the command's input; \% is a % of the command.
cron_percent() { cronfile "@reboot root cd $ws/apps/shop && ./run # 100\\%% date +%F"; }
# cron's /bin/sh is dash, which has no exec -a; bash has it.
cron_exec_a() { cronfile "@reboot root cd $ws/apps/shop && exec -a shop ./run"; }
cron_exec_a_bash() { cronfile SHELL=/bin/bash "@reboot root cd $ws/apps/shop && exec -a shop ./run"; }
# cron does not expand its variable lines: the shell expands $APP when it runs.
cron_variable_cd() { cronfile "APP=$ws/apps/shop" "@reboot root cd \"\$APP\" && $ws/apps/shop/run"; }
# cron skips the names in cron.d with a dot.
cron_skipped_name() {
    cronfile "@reboot root $ws/apps/shop/run"
    mv "$file" "$file.cron"
    file=$file.cron
}
# A cd that fails ends an && chain; after ; the launcher starts in the home directory.
cron_missing_cd() { cronfile "@reboot root cd $ws/apps/nope && ./run"; }
cron_cd_semicolon() { cronfile "@reboot root cd $ws/apps/nope; $ws/apps/shop/run"; }
cron_subshell() { cronfile "@reboot root (cd $ws/apps/shop && ./run)"; }
cron_background() { cronfile "@reboot root cd $ws/apps/shop && ./run >/dev/null 2>&1 &"; }
# A user's crontab has no user field: there, a user name is the command.
usercron() { # LINE...: root's crontab
    file=$root/var/spool/cron/crontabs/root
    mkdir -p "$(dirname "$file")"
    printf '%s\n' "$@" >"$file"
    judge=cron
}
user_crontab() { usercron "@reboot cd $ws/apps/shop && ./run"; }
user_crontab_user() { usercron "@reboot root cd $ws/apps/shop && ./run"; }
cron_chained() { cronfile "@reboot root cd $ws/apps/shop && ./run && touch $row/chained"; }
link_no_ini() {
    file=$root/usr/local/bin/shop
    mkdir -p "$(dirname "$file")"
    ln -s "$ws/apps/shop/run" "$file"
    judge="link"
}
link_with_ini() {
    link_no_ini
    ln -s run.ini "$ws/apps/shop/shop.ini"
}
wrapper_recipe() {
    file=$root/usr/local/bin/shop
    mkdir -p "$(dirname "$file")"
    recipe /usr/local/bin/shop >"$file"
    chmod 0755 "$file"
    judge=wrapper
}
wrapper() { # LINE...: a shell wrapper along PATH
    file=$root/usr/local/bin/shop
    mkdir -p "$(dirname "$file")"
    printf '%s\n' '#!/bin/sh' "$@" >"$file"
    chmod 0755 "$file"
    judge=wrapper
}
wrapper_no_cd() { wrapper "exec $ws/apps/shop/run \"\$@\" 2>&1"; }
wrapper_env_chdir() { wrapper "(exec env -C $ws/apps/shop ./run \"\$@\" </dev/null &)"; }

# How the application started, from the stand-in's record: right, wrong or none.
started() {
    [ -s "$row/record" ] || { echo none; return; }
    tr '\0' '\n' <"$row/record" | grep -E '^(cwd|arg)=' >"$row/got"
    if cmp -s "$row/got" "$row/want"; then echo right; else echo wrong; fi
}
wait_record() {
    n=0
    while [ ! -s "$row/record" ] && [ $n -lt 20 ]; do
        sleep 0.1
        n=$((n + 1))
    done
    sleep 0.2
}

# The real program's verdict on the row's file.
real_verdict() {
    case $judge in
    desktop)
        desktop-file-validate "$file" >"$row/program.log" 2>&1 || { echo refused; return; }
        (cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$row/run" \
            DASHVANE_STANDIN_RECORD="$row/record" timeout 20 gio launch "$file") \
            >>"$row/program.log" 2>&1 || { echo refused; return; }
        wait_record
        started
        ;;
    unit | user-unit)
        mode=--system
        [ "$judge" = unit ] || mode=--user
        (cd "$row" && env XDG_RUNTIME_DIR="$row/run" systemd-analyze $mode verify --man=no "$file") \
            >"$row/program.log" 2>&1 && echo accepted || echo refused
        ;;
    cron)
        # The real daemon, in a mount namespace of its own that shows it only
        # this file; @reboot lines run as it starts.
        mkdir -p "$row/cron.d" "$row/crontabs"
        case $file in
        */crontabs/*) placed=$row/crontabs/${file##*/} mode=0600 ;;
        *) placed=$row/cron.d/${file##*/} mode=0644 ;;
        esac
        cp "$file" "$placed"
        sed -i "1i DASHVANE_STANDIN_RECORD=$row/record" "$placed"
        chmod $mode "$placed"
        : >"$row/crontab"
        unshare -m sh -c "mount --bind '$row/cron.d' /etc/cron.d && mount --bind '$row/crontab' /etc/crontab &&
            mount --bind '$row/crontabs' /var/spool/cron/crontabs && mount -t tmpfs tmpfs /run &&
            { timeout 3 cron -f -L 15; true; }" >"$row/program.log" 2>&1
        verdict=$(started)
        [ "$verdict" = right ] && grep -q '&& touch' "$file" && [ ! -e "$row/chained" ] && verdict=unchained
        echo "$verdict"
        ;;
    link)
        (cd "$ws/apps/shop" && env PATH="$root/usr/local/bin:/usr/bin:/bin" \
            DASHVANE_STANDIN_RECORD="$row/record" sh -c shop) >"$row/program.log" 2>&1
        wait_record
        started
        ;;
    wrapper)
        (cd "$home" && env PATH="$root/usr/local/bin:/usr/bin:/bin" \
            DASHVANE_STANDIN_RECORD="$row/record" sh -c shop) >"$row/program.log" 2>&1
        wait_record
        started
        ;;
    esac
}

echo "$rows" | sed 's/ *| */|/g' | while IFS='|' read -r name setup want_real want_kind; do
    row=$scratch/$name
    root=$row/root
    home=$root/root
    ws=$row/ws
    mkdir -p "$ws/eclipse" "$ws/apps/shop/conf" "$ws/apps/report" "$home" "$row/run"
    chmod 0700 "$row/run"
    cp "$standin" "$ws/eclipse/Dashvane"
    for app in shop report; do
        cp "$launcher" "$ws/apps/$app/run"
        printf -- '-vmargs\n-Xmx64m\n-Ddv.appConfigFile=conf/%s.cfg\n' $app >"$ws/apps/$app/run.ini"
    done
    printf '%s\n' "cwd=$ws/eclipse" "arg=$ws/eclipse/Dashvane" arg=--launcher.appendVmargs arg=-vmargs \
        arg=-Xmx64m "arg=-Ddv.appConfigFile=$ws/apps/shop/conf/shop.cfg" arg=-Ddv.webApp=shop >"$row/want"
    $setup

    real=$(real_verdict)
    key=vector
    "$checker" --start "$file" --root "$root" --json --no-vm --severity note >"$row/check.json" 2>"$row/check.err"
    kinds=$(grep -o '"kind":"[a-z-]*"' "$row/check.json" | sed 's/"kind":"\(.*\)"/\1/' | sort -u)
    found=-
    for kind in $kinds; do
        case " $start_kinds " in *" $kind "*) found=$kind ;; esac
    done
    problems=""
    [ "$real" = "$want_real" ] || problems="$problems the program gives \"$real\", not \"$want_real\";"
    if [ "$want_kind" = - ]; then
        [ "$found" = - ] || problems="$problems the checker finds $found;"
    else
        echo "$kinds" | grep -qx "$want_kind" || problems="$problems the checker misses $want_kind (finds: $(echo "$kinds" | tr '\n' ' '));"
    fi
    # Where the application started, the checker's vector is the one it got.
    # A start the checker cannot follow has no vector: the note says so.
    if [ "$want_kind" != start-not-modeled ] &&
        { [ "$real" = right ] || [ "$real" = wrong ] || [ "$real" = unchained ]; }; then
        vector=$(sed -n "s/.*\"$key\":\[\([^]]*\)\].*/\1/p" "$row/check.json" | tr ',' '\n' | sed 's/^"\(.*\)"$/arg=\1/')
        got=$(grep '^arg=' "$row/got")
        [ "$vector" = "$got" ] || problems="$problems the checker's vector is not the one the application got;"
    fi
    if [ -n "$problems" ]; then
        echo "FAIL: $name:$problems"
        sed 's/^/    /' "$row/program.log" "$row/check.err" 2>/dev/null | head -n 10
        echo fail >>"$scratch/failed"
    else
        echo "ok: $name: $real, ${found}"
    fi
done
[ ! -e "$scratch/failed" ] || exit 1
echo "ok: every start path as the real programs and the checker agree"
