#!/bin/bash
# The setups' parameters, P_NAME, are set from the case line by run_case.
# shellcheck disable=SC2154
# The differential run: lays out many real installations, starts each one for
# real with the launcher (as root and as uid 65534), records whether the
# Dashvane executable started and the exact argument vector it received, and
# compares that with what dashvane-launcher-check --json says of the same
# setup, under the same user, environment and stack limit.
#
#   scripts/differential.sh [-b BUILDDIR] [-j JOBS] [-w WORKDIR] [-f REGEX] [-k]
#
#   -b BUILDDIR  where dashvane-launcher, dashvane-launcher-check and
#                dashvane-standin were built (default: build)
#   -j JOBS      setups run at once (default: the number of processors)
#   -w WORKDIR   where the setups are laid out (default: a new directory in /tmp)
#   -f REGEX     only the setups whose description matches REGEX
#   -k           keep every setup's directory, not only the divergent ones
#
# Prints one line per divergence, then the summary line. Exit status 0 when
# the checker agreed with reality on every setup, 1 when not, 2 when the run
# itself could not be made. Needs root (setuid programs, a noexec mount, and
# files in the system's library directories, all removed afterwards), gcc,
# jq, setpriv, prlimit and setarch.
set -u
# Bytes, not characters: the records and vectors hold any byte.
export LC_ALL=C

if [ "${1:-}" = --case ]; then
    MODE=case
    shift
else
    MODE=main
fi

# ---------------------------------------------------------------- one setup

DEFAULT_INI='-vmargs
-Xmx64m
-Ddv.appInitScript=init.js
-Ddv.appProgramFile=/etc/dvdiff/prog.js
'

# Writes $1 with the text $2, every line ended by CR LF when $3 is crlf.
write_text() {
    if [ "${3:-lf}" = crlf ]; then
        printf '%s' "$2" | sed 's/$/\r/' >"$1"
    else
        printf '%s' "$2" >"$1"
    fi
}

# A path of exactly $2 bytes that starts with the directory $1, made of
# components of at most 200 bytes.
padded_path() {
    local path=$1 want=$2 room seg
    while [ ${#path} -lt "$want" ]; do
        room=$((want - ${#path} - 1))
        if [ "$room" -le 0 ]; then
            # One byte left cannot be a component of its own: lengthen the last.
            path=${path}p
            continue
        fi
        seg=$((room > 200 ? 200 : room))
        # Never leave a single byte for the next round.
        [ $((room - seg)) -eq 1 ] && seg=$((seg - 1))
        path=$path/$(printf '%*s' "$seg" '' | tr ' ' p)
    done
    printf '%s' "$path"
}

# The launcher line of the ini file for variant $1.
launcher_line() {
    case $1 in
    none) ;;
    abs) printf 'launcher=%s\n' "$ECL/Dashvane2" ;;
    absmissing) printf 'launcher=%s\n' "$ECL/nothere" ;;
    rel) printf 'launcher=Dashvane2\n' ;;
    relapp) printf 'launcher=Dashvane3\n' ;;
    relup) printf 'launcher=../eclipse/Dashvane2\n' ;;
    empty) printf 'launcher=\n' ;;
    dir) printf 'launcher=%s\n' "$ECL" ;;
    noexec) printf 'launcher=%s\n' "$ECL/Dashvane4" ;;
    spaces) printf 'launcher = %s\n' "$ECL/Dashvane2" ;;
    esac
}

# The other programs a launcher line may name, beside Dashvane.
extra_programs() {
    cp "$STANDIN" "$ECL/Dashvane2" && cp "$STANDIN" "$APP/Dashvane3" &&
        cp "$STANDIN" "$ECL/Dashvane4" && chmod 0644 "$ECL/Dashvane4"
}

setup_loader() {
    local lib=$SHARED/lib/$P_kind/libdvdiff.so other
    cp "$SHARED/prog/$P_rp-$P_link" "$ECL/Dashvane"
    case $P_place in
    lib | hwcaps | tls | x86_64)
        local sub=lib
        [ "$P_place" = hwcaps ] && sub=lib/glibc-hwcaps/x86-64-v2
        [ "$P_place" = tls ] && sub=lib/tls
        [ "$P_place" = x86_64 ] && sub=lib/x86_64
        mkdir -p "$ECL/$sub" && cp "$lib" "$ECL/$sub/"
        ;;
    ldpath)
        mkdir -p "$C/ldp" && cp "$lib" "$C/ldp/"
        ENVV+=("LD_LIBRARY_PATH=$C/ldp")
        ;;
    ldover)
        # This library along LD_LIBRARY_PATH, another one in eclipse/lib.
        other=good
        [ "$P_kind" = good ] && other=old
        mkdir -p "$C/ldp" "$ECL/lib" && cp "$lib" "$C/ldp/" &&
            cp "$SHARED/lib/$other/libdvdiff.so" "$ECL/lib/"
        ENVV+=("LD_LIBRARY_PATH=$C/ldp")
        ;;
    nowhere) mkdir -p "$C/elsewhere" && cp "$lib" "$C/elsewhere/" ;;
    usrlib64 | multiarch)
        # A name of its own, so no other setup finds it.
        local dir=/usr/lib64 name=libdvds$ID.so
        [ "$P_place" = multiarch ] && dir=/usr/lib/x86_64-linux-gnu
        build_library "$P_kind" "$C/build" "$name" &&
            build_program "$C/build" "$name" none "$P_link" "$ECL/Dashvane" &&
            cp "$C/build/$name" "$dir/$name" || return 1
        CLEANUP+=("rm -f '$dir/$name'")
        ;;
    transitive)
        # The library is there; one it needs is not.
        mkdir -p "$ECL/lib" "$C/dep" &&
            printf 'int g(void) { return 3; }\n' >"$C/dep/dep.c" &&
            gcc -shared -fPIC -o "$C/dep/libdvdep.so" "$C/dep/dep.c" &&
            printf 'int g(void);\nint f1(void) { return g(); } int f2(void) { return 2; }\n' >"$C/dep/lib.c" &&
            printf 'LIB_1 { global: f1; local: *; };\nLIB_2 { global: f2; } LIB_1;\n' >"$C/dep/two.map" &&
            gcc -shared -fPIC -o "$ECL/lib/libdvdiff.so" "$C/dep/lib.c" -Wl,-soname,libdvdiff.so \
                -Wl,--version-script="$C/dep/two.map" -L"$C/dep" -ldvdep || return 1
        [ "$P_kind" = good ] && cp "$C/dep/libdvdep.so" "$ECL/lib/"
        ;;
    preload)
        # A preloaded object that does not exist: the loader says so and goes on.
        mkdir -p "$ECL/lib" && cp "$lib" "$ECL/lib/"
        ENVV+=("LD_PRELOAD=$C/nothere.so")
        ;;
    noexec)
        mkdir -p "$ECL/lib" && mount -t tmpfs -o noexec,size=1m dvdiff "$ECL/lib" || return 1
        CLEANUP+=("umount '$ECL/lib'")
        cp "$lib" "$ECL/lib/"
        ;;
    esac
    case $P_mode in
    0755) chmod 0755 "$ECL/Dashvane" ;;
    4755root) chmod 4755 "$ECL/Dashvane" ;;
    4755nobody) chown 65534 "$ECL/Dashvane" && chmod 4755 "$ECL/Dashvane" ;;
    2755users) chgrp 100 "$ECL/Dashvane" && chmod 2755 "$ECL/Dashvane" ;;
    esac
}

setup_interp() {
    # The relay hands the stand-in the vector the script got, with the
    # script's own path, as the launcher gave it, in front. An interpreter
    # named by the script runs it with /bin/sh, so it reads it, as a real
    # interpreter would.
    local body0="exec $RELAY \"\$0\" \"\$@\" #" line i1=$C/interp/i1 i2=$C/interp/i2
    local final='#!/bin/sh
exec /bin/sh "$@"
'
    mkdir -p "$C/interp" "$C/pbin"
    case $P_interp in
    sh) line='#!/bin/sh' ;;
    sh-e) line='#!/bin/sh -e' ;;
    envsh) line='#!/usr/bin/env sh' ;;
    envname755 | envname700)
        line='#!/usr/bin/env dvinterp'
        printf '%s' "$final" >"$C/pbin/dvinterp"
        chmod "${P_interp#envname}" "$C/pbin/dvinterp"
        ENVV[0]="PATH=$C/pbin:/usr/local/bin:/usr/bin:/bin"
        ;;
    envbare) line='#!/usr/bin/env' ;;
    chain755 | chain700 | chain711)
        line="#!$i1"
        printf '%s' "$final" >"$i1"
        chmod "${P_interp#chain}" "$i1"
        ;;
    text)
        line="#!$i1"
        printf 'echo not a program\n' >"$i1" && chmod 0755 "$i1"
        ;;
    empty) line="#!$i1" && : >"$i1" && chmod 0755 "$i1" ;;
    missing) line="#!$i1" ;;
    dir) line="#!$i1" && mkdir -p "$i1" ;;
    chain2 | chain2-700)
        line="#!$i1"
        printf '#!%s\n' "$i2" >"$i1" && chmod 0755 "$i1"
        printf '#!/bin/sh\nshift\nexec /bin/sh "$@"\n' >"$i2"
        chmod 0755 "$i2"
        [ "$P_interp" = chain2-700 ] && chmod 0700 "$i2"
        ;;
    elf-noexec)
        line="#!$i1"
        cp "$STANDIN" "$i1" && chmod 0644 "$i1"
        ;;
    esac
    write_text "$ECL/Dashvane" "$line
$body0
" "$P_eol"
    chmod "$P_mode" "$ECL/Dashvane"
}

setup_stack() {
    cp "$STANDIN" "$ECL/Dashvane"
    # In variables of at most 64 KiB: one string may not pass 128 KiB.
    local left=$P_len n=0 size
    while [ "$left" -gt 0 ]; do
        size=$((left > 65536 ? 65536 : left))
        ENVV+=("BIG$n=$(head -c "$size" /dev/zero | tr '\0' x)")
        left=$((left - size))
        n=$((n + 1))
    done
    LIMIT=$P_u
    ASLR=$P_aslr
}

setup_cwd() {
    local lock=$C/L
    [ "$P_lock" = ws ] && lock=$C/L/ws
    [ "$P_lock" = apps ] && lock=$C/L/ws/apps
    chmod "$P_lockmode" "$lock"
    cp "$STANDIN" "$ECL/Dashvane"
    extra_programs
    INI_TEXT="$(launcher_line "$P_ini")
$DEFAULT_INI"
}

setup_long() {
    # Relative names: the files' own paths may pass PATH_MAX.
    (cd "$APP" && cp "$STANDIN" Dashvane3) || return 1
    (cd "$ECL" && cp "$STANDIN" Dashvane && cp "$STANDIN" Dashvane2) || return 1
    INI_TEXT="$(launcher_line "$P_ini")
$DEFAULT_INI"
}

setup_ini() {
    cp "$STANDIN" "$ECL/Dashvane"
    extra_programs
    INI_TEXT="$(launcher_line "$P_launcher")
$DEFAULT_INI"
    INI_EOL=lf
    case $P_kind in
    crlf) INI_EOL=crlf ;;
    zero) INI_TEXT='' ;;
    devnull) INI_SPECIAL=devnull ;;
    nulllink) INI_SPECIAL=nulllink ;;
    fifo) INI_SPECIAL=fifo ;;
    dir) INI_SPECIAL=dir ;;
    missing) INI_SPECIAL=missing ;;
    dangling) INI_SPECIAL=dangling ;;
    esac
    INI_MODE=$P_mode
}

setup_exe() {
    case $P_exe in
    elf0711) cp "$STANDIN" "$ECL/Dashvane" && chmod 0711 "$ECL/Dashvane" ;;
    linkabs) ln -s "$STANDIN" "$ECL/Dashvane" ;;
    linkrel) cp "$STANDIN" "$ECL/real" && ln -s real "$ECL/Dashvane" ;;
    linkdangling) ln -s nothere "$ECL/Dashvane" ;;
    linkloop) ln -s Dashvane "$ECL/Dashvane" ;;
    static)
        printf '#include <unistd.h>\nint main(int argc, char** argv) {\n  (void)argc;\n  execv("%s", argv);\n  return 127;\n}\n' \
            "$STANDIN" >"$C/static.c" && gcc -static -o "$ECL/Dashvane" "$C/static.c"
        ;;
    badinterp)
        printf '#include <unistd.h>\nint main(int argc, char** argv) {\n  (void)argc;\n  execv("%s", argv);\n  return 127;\n}\n' \
            "$STANDIN" >"$C/p.c" && gcc -o "$ECL/Dashvane" "$C/p.c" -Wl,--dynamic-linker=/lib/dvdiff-none.so
        ;;
    ownloader)
        # Its own copy of the system's loader, which the checker must judge
        # by its own model.
        mkdir -p "$C/ld" && cp "$(readlink -f /lib64/ld-linux-x86-64.so.2)" "$C/ld/ld.so" &&
            printf '#include <unistd.h>\nint main(int argc, char** argv) {\n  (void)argc;\n  execv("%s", argv);\n  return 127;\n}\n' \
                "$STANDIN" >"$C/p.c" && gcc -o "$ECL/Dashvane" "$C/p.c" -Wl,--dynamic-linker="$C/ld/ld.so"
        ;;
    truncated) head -c 100 "$STANDIN" >"$ECL/Dashvane" && chmod 0755 "$ECL/Dashvane" ;;
    empty) : >"$ECL/Dashvane" && chmod 0755 "$ECL/Dashvane" ;;
    textnoshebang) printf 'exec %s "$0" "$@"\n' "$RELAY" >"$ECL/Dashvane" && chmod 0755 "$ECL/Dashvane" ;;
    noexecmount)
        mount -t tmpfs -o noexec,size=1m dvdiff "$ECL" || return 1
        CLEANUP+=("umount '$ECL'")
        cp "$STANDIN" "$ECL/Dashvane"
        ;;
    eclipselink)
        rmdir "$ECL" && mkdir -p "$C/elsewhere/eclipse" && ln -s "$C/elsewhere/eclipse" "$ECL" &&
            cp "$STANDIN" "$ECL/Dashvane"
        ;;
    eclipse0700 | eclipse0711)
        cp "$STANDIN" "$ECL/Dashvane" && chmod "${P_exe#eclipse}" "$ECL"
        ;;
    runlink)
        # The launcher copy is a symbolic link to the launcher.
        cp "$STANDIN" "$ECL/Dashvane" && rm -f "$APP/run" && ln -s "$LAUNCHER" "$APP/run"
        ;;
    esac
}

# Where the launch is started from: a working directory reached through a
# symbolic link; the launcher knows only the physical one.
setup_where() {
    cp "$STANDIN" "$ECL/Dashvane"
    local other=$C/other/ws
    case $P_where in
    applink | applink-eclipse)
        mkdir -p "$other/apps" && mv "$APP" "$other/apps/demo" && ln -s "$other/apps/demo" "$APP"
        if [ "$P_where" = applink-eclipse ]; then
            mkdir -p "$other/eclipse" && cp "$STANDIN" "$other/eclipse/Dashvane"
        fi
        ;;
    wslink)
        mv "$WS" "$C/realws" && ln -s realws "$WS"
        ;;
    eclipse-relative-link)
        rm -rf "$ECL" && mkdir -p "$C/shared-eclipse" && ln -s ../shared-eclipse "$ECL" &&
            cp "$STANDIN" "$ECL/Dashvane"
        ;;
    esac
    chmod -R a+rX "$C"
}

# The ini file's content: the vector the checker predicts, byte for byte.
setup_content() {
    cp "$STANDIN" "$ECL/Dashvane"
    local v=$DEFAULT_INI
    case $P_content in
    bom) INI_TEXT=$(printf '\357\273\277%s' "$v") ;;
    crlf) INI_TEXT=$v INI_EOL=crlf ;;
    blanks) INI_TEXT=$'-vmargs\n  -Xmx64m  \n\t-Dx.tab=1\t\n\n-Dafter.empty=1\n' ;;
    name) INI_TEXT=$'-Ddv.webApp=head\n-vmargs\n-Ddv.webApp=shop\n-Xmx64m\n' ;;
    novmargs) INI_TEXT=$'-Xmx64m\n-Dno.vmargs=1\n' ;;
    twovmargs) INI_TEXT=$'-vmargs\n-Xmx64m\n-vmargs\n-Dtwice=1\n' ;;
    props) INI_TEXT=$'-vmargs\n-Ddv.appInitScript=../x/init.js\n-Ddv.appConfigFile=./c.cfg\n-Ddv.appProgramFile=\n-Ddv.appInitScript=/abs/i.js\n' ;;
    bytes) INI_TEXT=$(printf -- '-vmargs\n-Dlatin=\351t\351\n-Dctl=a\001b\n-Dquote="x y"\n') ;;
    comment) INI_TEXT=$'# a comment\n; another\n-vmargs\n# below\n-Xmx64m\n' ;;
    longline) INI_TEXT="-vmargs
-Dlong=$(head -c 100000 /dev/zero | tr '\0' y)
" ;;
    launcherargs) INI_TEXT=$'--launcher.appendVmargs\n-vmargs\n--launcher.appendVmargs\n-Xmx64m\n' ;;
    cronly) INI_TEXT=$(printf -- '-vmargs\r-Xmx64m\r-Dcr=1\r') ;;
    nonewline) INI_TEXT=$(printf -- '-vmargs\n-Dlast=1') ;;
    utf8) INI_TEXT=$'-vmargs\n-Dname=D\u00e9j\u00e0 vu \u2603\n' ;;
    spacesname) INI_TEXT=$'launcher = x\n -vmargs\n-Xmx64m\n' ;;
    esac
}

build_library() { # KIND DIR SONAME
    local src map
    mkdir -p "$2"
    printf 'LIB_1 { global: f1; local: *; };\n' >"$2/one.map"
    printf 'LIB_1 { global: f1; local: *; };\nLIB_2 { global: f2; } LIB_1;\n' >"$2/two.map"
    case $1 in
    good) src='int f1(void) { return 1; } int f2(void) { return 2; }' map=two.map ;;
    old) src='int f1(void) { return 1; }' map=one.map ;;
    nover) src='int f1(void) { return 1; }' map='' ;;
    esac
    printf '%s\n' "$src" >"$2/$1.c"
    gcc -shared -fPIC -o "$2/$3" "$2/$1.c" -Wl,-soname,"$3" ${map:+-Wl,--version-script="$2/$map"}
}

# A program that needs f2 at version LIB_2 from SONAME, and, once started,
# hands its own argument vector on to the recording stand-in.
build_program() { # DIR SONAME RPATH LINK OUTPUT
    local opts=()
    # Built against the library that has both versions.
    build_library good "$1/good-build" "$2" || return 1
    case $3 in
    runpath) opts+=("-Wl,--enable-new-dtags" "-Wl,-rpath,\$ORIGIN/lib") ;;
    rpath) opts+=("-Wl,--disable-new-dtags" "-Wl,-rpath,\$ORIGIN/lib") ;;
    esac
    [ "$4" = now ] && opts+=("-Wl,-z,now")
    printf '#include <unistd.h>\nint f2(void);\nint main(int argc, char** argv) {\n  if (argc < 0) return f2();\n  execv("%s", argv);\n  return 127;\n}\n' \
        "$STANDIN" >"$1/prog.c"
    gcc -o "$5" "$1/prog.c" -L"$1/good-build" -l:"$2" "${opts[@]}"
}

# Starts the launcher as the setup's user; sets STARTED, LAUNCHER_STATUS and
# writes the received vector to $C/real.argv.
launch_for_real() {
    local prefix=(env -i "${ENVV[@]}")
    [ "$ASLR" = 0 ] && prefix+=(setarch "$(uname -m)" -R)
    [ -n "$LIMIT" ] && prefix+=(prlimit --stack=$((LIMIT * 1024)))
    [ "$P_user" = nobody ] && prefix+=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    rm -f "$REC"
    # The launcher does not wait for its child: the pipe stays open until the
    # child and everything it started have ended.
    (cd "$APP" && timeout -s KILL "$TIMEOUT" bash -c \
        '"$@" 2>"$DVD_ERR" | cat >"$DVD_OUT"; exit "${PIPESTATUS[0]}"' \
        bash "${prefix[@]}" ./run -Dx=1) 2>/dev/null
    LAUNCHER_STATUS=$?
    case $LAUNCHER_STATUS in 1 | 137) ;; *) LAUNCHER_DIED=yes ;; esac
    if [ -f "$REC" ]; then
        STARTED=yes
        grep -z '^arg=' "$REC" | sed -z 's/^arg=//' >"$C/real.argv"
    else
        STARTED=no
    fi
}

# Runs the checker under the same user, environment and limits; sets
# CHECK_STATUS, PREDICTED (yes: it starts, no: errors), KINDS and writes the
# predicted vector to $C/check.argv.
check_it() {
    local prefix=(env -i "${ENVV[@]}") user=()
    [ "$ASLR" = 0 ] && prefix+=(setarch "$(uname -m)" -R)
    [ -n "$LIMIT" ] && prefix+=(prlimit --stack=$((LIMIT * 1024)))
    [ "$P_user" = nobody ] && user=(--user nobody)
    (cd "$APP" && timeout -s KILL 60 "${prefix[@]}" "$CHECK" --json --no-vm "${user[@]}" . \
        -- -Dx=1 >"$C/check.json" 2>"$C/check.err")
    CHECK_STATUS=$?
    KINDS=$(jq -r '[.applications[0].findings[] | select(.severity == "error") | .kind] | join(",")' \
        "$C/check.json" 2>/dev/null)
    # Every element byte for byte: a string, or the bytes of its hex.
    local kind value
    : >"$C/check.argv"
    jq -r '.applications[0].argv[]? | if type == "string" then "s " + @base64 else "h " + .hex end' \
        "$C/check.json" 2>/dev/null | while read -r kind value; do
        if [ "$kind" = s ]; then
            printf '%s' "$value" | base64 -d
        else
            printf '%s' "$value" | xxd -r -p
        fi
        printf '\0'
    done >"$C/check.argv"
    if [ "$CHECK_STATUS" -gt 1 ]; then
        PREDICTED=status$CHECK_STATUS
    elif [ -n "$KINDS" ]; then
        PREDICTED=no
    else
        PREDICTED=yes
    fi
}

run_case() {
    ID=$1
    P_user=$2
    CLASS=$3
    shift 3
    local kv
    for kv in "$@"; do
        printf -v "P_${kv%%=*}" '%s' "${kv#*=}"
    done
    DESC="$CLASS $* user=$P_user"
    # Every setup's paths have the same length, so the stack boundary found
    # for one holds byte for byte for the others.
    C=$WORK/c$(printf '%06d' "$ID")
    REC=$C/rec/record
    export DVD_ERR=$C/launch.err DVD_OUT=$C/launch.out
    ENVV=("PATH=/usr/local/bin:/usr/bin:/bin" "HOME=/" "DASHVANE_STANDIN_RECORD=$REC")
    LIMIT='' ASLR=1 LAUNCHER_DIED=no INI_TEXT=$DEFAULT_INI INI_EOL=lf INI_SPECIAL='' INI_MODE=0644
    CLEANUP=()
    rm -rf "$C"
    mkdir -p "$C/rec" && chmod 0755 "$C" && chmod 1777 "$C/rec"
    local base=$C
    [ "$CLASS" = cwd ] && base=$C/L
    # The application directory, /ws/apps/demo, is $P_len bytes long.
    [ "$CLASS" = long ] && base=$(padded_path "$C/d" $((P_len - 13)))
    WS=$base/ws APP=$base/ws/apps/demo ECL=$base/ws/eclipse
    mkdir -p "$APP" "$ECL" && chmod -R 0755 "$C" && chmod 1777 "$C/rec" || {
        echo "SETUP	$DESC	cannot lay out" >"$RESULTS/$ID"
        return
    }
    (cd "$APP" && ln "$LAUNCHER" run 2>/dev/null || cp "$LAUNCHER" run)
    local ok=0
    "setup_$CLASS" || ok=1
    if [ -z "$INI_SPECIAL" ]; then
        (cd "$APP" && write_text run.ini "$INI_TEXT" "$INI_EOL" && chmod "$INI_MODE" run.ini)
    else
        case $INI_SPECIAL in
        devnull) mknod "$APP/run.ini" c 1 3 && chmod 0666 "$APP/run.ini" ;;
        nulllink) ln -s /dev/null "$APP/run.ini" ;;
        fifo) mkfifo -m 0644 "$APP/run.ini" ;;
        dir) mkdir "$APP/run.ini" ;;
        dangling) ln -s "$APP/nothere.ini" "$APP/run.ini" ;;
        esac
    fi
    if [ $ok -ne 0 ]; then
        echo "SETUP	$DESC	cannot lay out" >"$RESULTS/$ID"
    else
        launch_for_real
        if [ "$ASLR" = 1 ] && [ -n "$LIMIT" ]; then
            # The stack is placed at random: the same setup may start in one
            # run and not in the next.
            local first=$STARTED
            cp "$C/real.argv" "$C/real.argv.1" 2>/dev/null
            for _ in 2 3 4 5 6 7 8 9 10 11 12; do
                launch_for_real
                [ "$STARTED" = "$first" ] || first=random
            done
            [ -f "$C/real.argv.1" ] && mv "$C/real.argv.1" "$C/real.argv"
            STARTED=$first
        fi
        check_it
        classify
    fi
    local cmd
    for cmd in "${CLEANUP[@]}"; do
        eval "$cmd" 2>/dev/null
    done
    if [ "$KEEP" != 1 ] && ! grep -q '^DIVERGE' "$RESULTS/$ID" 2>/dev/null; then
        chmod -R u+rwx "$C" 2>/dev/null
        rm -rf "$C"
    fi
}

classify() {
    local real=$STARTED verdict=$PREDICTED what='' firsterr
    firsterr=$(head -c 200 "$DVD_ERR" 2>/dev/null | tr '\n\r\t' '   ')
    if [ "$STARTED" = no ] && [ "$LAUNCHER_STATUS" -ne 1 ]; then
        # The launcher exits 1 in every case; anything else means it did not
        # run to its end (killed after the time limit, or never started).
        real="no (launcher status $LAUNCHER_STATUS)"
    fi
    case $PREDICTED in
    status2) what=INCOMPLETE ;;
    status*) what=CRASH ;;
    yes) [ "$STARTED" = no ] && what=F ;;
    no) [ "$STARTED" = yes ] && what=E ;;
    esac
    if [ "$PREDICTED" = status126 ] || [ "$PREDICTED" = status127 ] ||
        { [ "$what" = CRASH ] && [ "$LAUNCHER_DIED" = yes ]; }; then
        # The checker could not be started, or died where the launcher died
        # too: no program at all can start in so little stack.
        what=OUTSIDE
    elif [ "$STARTED" = random ]; then
        # Either verdict is fair when the kernel's placement decides.
        [ "$what" = CRASH ] || [ "$what" = INCOMPLETE ] || what=RANDOM
    elif [ "$STARTED" = no ] && [ "$LAUNCHER_STATUS" -ne 1 ] && [ "$LAUNCHER_STATUS" -ne 137 ]; then
        # The launcher itself did not run (its start failed, or no program at
        # all can start in so little stack): nothing for the checker to judge.
        what=OUTSIDE
    fi
    if [ -z "$what" ] && [ "$STARTED" = yes ] && [ "$PREDICTED" = yes ] &&
        ! cmp -s "$C/real.argv" "$C/check.argv"; then
        what=V
        verdict="yes, vector: $(tr '\0' ' ' <"$C/check.argv" | head -c 300) / real: $(tr '\0' ' ' <"$C/real.argv" | head -c 300)"
    fi
    if [ "$PREDICTED" = no ]; then
        verdict="no ($KINDS)"
        # An error about lines the launch loses, where the checker still knew
        # the vector the child gets.
        [ "$STARTED" = yes ] && cmp -s "$C/real.argv" "$C/check.argv" &&
            verdict="$verdict, its vector right"
    fi
    case $PREDICTED in status*)
        verdict="$PREDICTED: $(head -c 200 "$C/check.err" | tr '\n\t' '  ')" ;;
    esac
    if [ -n "$what" ]; then
        printf 'DIVERGE\t%s\t%s\treal started: %s %s\tchecker says starts: %s\t%s\n' \
            "$what" "$DESC" "$real" "$firsterr" "$verdict" "$C" >"$RESULTS/$ID"
    else
        printf 'AGREE\t%s\t%s\t%s\n' "$DESC" "$STARTED" "$PREDICTED" >"$RESULTS/$ID"
    fi
}

if [ "$MODE" = case ]; then
    run_case "$@"
    exit 0
fi

# ---------------------------------------------------------------- the run

BUILD=build JOBS=$(nproc) WORK='' FILTER='' KEEP=0
while getopts b:j:w:f:k opt; do
    case $opt in
    b) BUILD=$OPTARG ;;
    j) JOBS=$OPTARG ;;
    w) WORK=$OPTARG ;;
    f) FILTER=$OPTARG ;;
    k) KEEP=1 ;;
    *)
        sed -n '4,/^set/{/^#/s/^# \{0,1\}//p}' "$0"
        exit 2
        ;;
    esac
done
if [ "$(id -u)" -ne 0 ]; then
    echo "differential.sh: needs root" >&2
    exit 2
fi
. "$(dirname "$0")/deps.sh"
# shellcheck disable=SC2086
need_packages $DIFFERENTIAL_PACKAGES || exit 2
for tool in gcc jq setpriv prlimit setarch timeout; do
    command -v "$tool" >/dev/null || {
        echo "differential.sh: needs $tool" >&2
        exit 2
    }
done
BUILD=$(cd "$BUILD" && pwd) || exit 2
for program in dashvane-launcher dashvane-launcher-check dashvane-standin; do
    [ -x "$BUILD/$program" ] || {
        echo "differential.sh: $BUILD/$program is not built" >&2
        exit 2
    }
done
[ -n "$WORK" ] || WORK=$(mktemp -d /tmp/dvdiff.XXXXXX)
mkdir -p "$WORK" && chmod 0755 "$WORK" || exit 2
WORK=$(cd "$WORK" && pwd)
SHARED=$WORK/shared RESULTS=$WORK/results
rm -rf "$SHARED" "$RESULTS"
mkdir -p "$SHARED/bin" "$SHARED/prog" "$RESULTS"
# Everything the setups share lives where uid 65534 can reach it.
cp "$BUILD/dashvane-launcher" "$SHARED/bin/launcher"
cp "$BUILD/dashvane-standin" "$SHARED/bin/standin"
LAUNCHER=$SHARED/bin/launcher STANDIN=$SHARED/bin/standin CHECK=$BUILD/dashvane-launcher-check
RELAY=$SHARED/bin/relay
printf '#include <unistd.h>\nint main(int argc, char** argv) {\n  if (argc < 2) return 127;\n  execv("%s", argv + 1);\n  return 127;\n}\n' \
    "$STANDIN" >"$SHARED/relay.c"
gcc -o "$RELAY" "$SHARED/relay.c" || exit 2
TIMEOUT=4
export WORK SHARED RESULTS LAUNCHER STANDIN CHECK RELAY TIMEOUT KEEP
chmod -R a+rX "$SHARED"

start_time=$(date +%s)
for kind in good old nover; do
    build_library "$kind" "$SHARED/lib/$kind" libdvdiff.so || exit 2
done
for rp in runpath rpath none; do
    for link in lazy now; do
        build_program "$SHARED/build" libdvdiff.so "$rp" "$link" "$SHARED/prog/$rp-$link" || exit 2
    done
done
chmod -R a+rX "$SHARED"

# The largest environment variable with which the launch still starts, at
# each stack limit, without stack randomisation; the setups then sit at it
# and one byte above.
boundary() { # LIMIT_KIB
    local low=0 high=$(($1 * 1024)) mid probe=$((900000 + $1))
    while [ $((high - low)) -gt 1 ]; do
        mid=$(((low + high) / 2))
        if bash "$0" --case "$probe" root stack u="$1" len="$mid" aslr=0 &&
            grep -q '	yes	' "$RESULTS/$probe" 2>/dev/null ||
            grep -q 'real started: yes' "$RESULTS/$probe" 2>/dev/null; then
            low=$mid
        else
            high=$mid
        fi
        rm -rf "${RESULTS:?}/$probe" "${WORK:?}/c$probe"
    done
    echo "$low"
}

cases=$WORK/cases
: >"$cases"
add() { echo "$@" >>"$cases"; }
for user in root nobody; do
    # The dynamic loader.
    for place in lib hwcaps tls x86_64 ldpath ldover nowhere; do
        for kind in good old nover; do
            for rp in runpath rpath none; do
                for link in lazy now; do
                    add "$user" loader place=$place kind=$kind rp=$rp link=$link mode=0755
                done
            done
        done
    done
    for place in lib ldpath; do
        for rp in runpath rpath none; do
            for mode in 4755root 4755nobody 2755users; do
                add "$user" loader place=$place kind=good rp=$rp link=lazy mode=$mode
            done
        done
    done
    for place in usrlib64 multiarch; do
        for kind in good old; do
            for link in lazy now; do
                add "$user" loader place=$place kind=$kind rp=none link=$link mode=0755
            done
        done
    done
    for kind in good old; do
        for place in noexec transitive preload; do
            add "$user" loader place=$place kind=$kind rp=runpath link=lazy mode=0755
        done
    done
    # Started from a directory reached through a symbolic link.
    for where in applink applink-eclipse wslink eclipse-relative-link; do
        add "$user" where where=$where
    done
    # Interpreters of scripts.
    for interp in sh sh-e envsh envname755 envname700 envbare chain755 chain700 chain711 \
        text empty missing dir chain2 chain2-700 elf-noexec; do
        for eol in lf crlf; do
            for mode in 0755 0700 0711 0744; do
                add "$user" interp interp=$interp eol=$eol mode=$mode
            done
        done
    done
    # A working directory below a directory the user may not search.
    for lock in top ws apps; do
        for lockmode in 0700 0711 0604; do
            for ini in none abs rel relup; do
                add "$user" cwd lock=$lock lockmode=$lockmode ini=$ini
            done
        done
    done
    # Paths near PATH_MAX: the application directory's length.
    for len in 4000 4080 4088 4089 4090 4091 4092 4093 4094 4095; do
        for ini in none abs rel relup; do
            add "$user" long len=$len ini=$ini
        done
    done
    # The ini file: what it is, its mode, its launcher line.
    for mode in 0644 0600 0000; do
        for kind in lf crlf; do
            for launcher in none abs absmissing rel relapp relup empty dir noexec spaces; do
                add "$user" ini kind=$kind mode=$mode launcher=$launcher
            done
        done
        add "$user" ini kind=zero mode=$mode launcher=none
    done
    for kind in devnull nulllink fifo dir missing dangling; do
        add "$user" ini kind=$kind mode=0644 launcher=none
    done
    # The executable itself and its directory.
    for exe in elf0711 linkabs linkrel linkdangling linkloop static badinterp ownloader truncated \
        empty textnoshebang noexecmount eclipselink eclipse0700 eclipse0711 runlink; do
        add "$user" exe exe=$exe
    done
    # The ini file's lines: the vector, byte for byte.
    for content in bom crlf blanks name novmargs twovmargs props bytes comment longline \
        launcherargs cronly nonewline utf8 spacesname; do
        add "$user" content content=$content
    done
done
# Small stack limits: at the boundary of each, and on a grid below and above.
for u in 64 100 128 136 140 200; do
    if [ -n "$FILTER" ] && ! echo "stack u=$u" | grep -Eq "$FILTER"; then
        continue
    fi
    b=$(boundary "$u")
    echo "stack limit $u KiB: the launch starts up to an environment variable of $b bytes"
    for len in $((b - 4096)) $((b - 256)) $((b - 1)) "$b" $((b + 1)) $((b + 256)) $((b + 4096)); do
        [ "$len" -ge 0 ] || continue
        for user in root nobody; do
            add "$user" stack u=$u len=$len aslr=0
        done
    done
    for eighth in 2 4 5 6 7; do
        for user in root nobody; do
            add "$user" stack u=$u len=$((u * 1024 * eighth / 8)) aslr=1
        done
    done
done
add root stack u=136 len=125000 aslr=1
add nobody stack u=136 len=125000 aslr=1

if [ -n "$FILTER" ]; then
    grep -E "$FILTER" "$cases" >"$cases.f"
    mv "$cases.f" "$cases"
fi
awk '{ print NR, $0 }' "$cases" >"$cases.n"
echo "$(wc -l <"$cases.n") setups; the first column of each line below: F false fine, E false error," \
    "V vector mismatch, CRASH, INCOMPLETE, RANDOM, OUTSIDE (see the last line)"
# The shell's notes on killed launches go to a log, not the table.
xargs -P "$JOBS" -L 1 bash "$0" --case <"$cases.n" 2>"$WORK/case-errors.log"

total=0 vectorright=0 fine=0 errors=0 vectors=0 crashes=0 incomplete=0 setup=0 random=0 outside=0
while IFS= read -r -d '' file; do
    total=$((total + 1))
    line=$(cat "$file")
    case $line in
    DIVERGE*)
        printf '%s\n' "$line" | cut -f2- | sed 's/^/  /'
        kind=$(printf '%s' "$line" | cut -f2)
        case $kind in
        F) fine=$((fine + 1)) ;;
        E)
            errors=$((errors + 1))
            case $line in *"its vector right"*) vectorright=$((vectorright + 1)) ;; esac
            ;;
        V) vectors=$((vectors + 1)) ;;
        CRASH) crashes=$((crashes + 1)) ;;
        INCOMPLETE) incomplete=$((incomplete + 1)) ;;
        RANDOM) random=$((random + 1)) ;;
        OUTSIDE) outside=$((outside + 1)) ;;
        esac
        ;;
    SETUP*)
        setup=$((setup + 1))
        printf '  %s\n' "$line"
        ;;
    esac
done < <(find "$RESULTS" -type f -print0 | sort -zV)
divergences=$((fine + errors + vectors))
echo "$total cases, $divergences divergences ($fine false fine, $errors false errors, $vectors vector mismatches)"
echo "of the false errors, $vectorright predicted the very vector the child got (an error about the VM's" \
    "arguments or lost ini lines, or a false verdict on the exec with the vector right)"
echo "checker crashes: $crashes, could not complete: $incomplete; not judged: $random with a" \
    "random outcome, $outside where the launcher itself could not run, $setup not made;" \
    "$(($(date +%s) - start_time)) s; setups in $WORK"
[ $((divergences + crashes)) -eq 0 ]
