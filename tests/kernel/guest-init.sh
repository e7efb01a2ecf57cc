#!/bin/busybox sh
# The first process of the 32-bit guest (see i386-kernel-test.sh). Unpacks the
# i386 package, runs every scenario of the tables below, prints one line
# "i386-kernel: N passed, N failed; ..." and powers off.
/bin/busybox mount -t devtmpfs dev /dev
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
export PATH=/bin
booted=$(cut -d' ' -f1 /proc/uptime)
# The kernel gives arguments a quarter of the stack limit; this is the default.
ulimit -s 8192
LIMIT=2097152 POINTER=4 ARG_MAX_LEN=131071
E=/ws/eclipse/Dashvane APP=/ws/apps/demo w=/work
mkdir -p $w /pkg
tar -xzf /package.tar.gz -C /pkg
launcher=$(echo /pkg/*/bin/dashvane-launcher)
checker=$(echo /pkg/*/bin/dashvane-launcher-check)
HINT='Failed to execute command. Set DVL_DBG_ENABLE env variable to get addtional diagnostics information'
passed=0 failed=0

# Compares the files $w/expected and $w/actual for the scenario named $1;
# on a difference, shows it and the file $2, if given.
check() {
    if cmp -s $w/expected $w/actual; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $1"
        diff $w/expected $w/actual | cut -c 1-200 | head -n 40
        [ -z "${2:-}" ] || { head -c 4000 "$2" && echo; }
    fi
}

lay_tree() { # ok | noexe | noeclipse | exe64
    rm -rf /ws
    mkdir -p /ws/eclipse $APP/scripts /etc/demo
    : >$APP/scripts/init.js
    : >/etc/demo/app.cfg
    cp "$launcher" $APP/run
    case $1 in
    ok) cp /standin $E ;;
    exe64) cp /program64 $E ;;
    noeclipse) rmdir /ws/eclipse ;;
    esac
}

# Prints N bytes of "x".
xs() { head -c "$1" /dev/zero | tr '\0' x; }

write_ini() { # worked | crlf | bom | arg:LENGTH | total:EXCESS
    worked='-vmargs\n-Xmx1024m\n-Ddv.appInitScript=scripts/init.js\n-Ddv.appConfigFile=/etc/demo/app.cfg\n'
    case $1 in
    worked) printf '%b' "$worked" ;;
    crlf) printf '%b' "$worked" | awk '{ printf "%s\r\n", $0 }' ;;
    bom) printf '\357\273\277%b' "$worked" ;;
    arg:*) printf '%s\n' -vmargs && xs $((ARG_MAX_LEN + ${1#arg:})) && echo ;;
    total:*)
        # Twenty lines of 100000 bytes and one that brings what execv copies
        # to LIMIT + EXCESS, for a start without command-line arguments: the
        # file name and argv[0] (both E), --launcher.appendVmargs, -vmargs,
        # the lines and -Ddv.webApp=demo, each with its NUL, and a pointer for
        # each of these 25 arguments; the environment is empty.
        printf '%s\n' -vmargs
        for _ in $(seq 20); do xs 100000 && echo; done
        strings=$((2 * (${#E} + 1) + 24 + 8 + 20 * 100001 + 17))
        xs $((LIMIT + ${1#total:} - strings - 25 * POINTER - 1)) && echo
        ;;
    esac >$APP/run.ini
}

# The vector the child should get, one element per line.
vector() { # worked | none | ini (the lines after -vmargs), then the command line
    kind=$1
    shift
    printf '%s\n' $E --launcher.appendVmargs -vmargs
    case $kind in
    worked) printf '%s\n' -Xmx1024m -Ddv.appInitScript=$APP/scripts/init.js \
        -Ddv.appConfigFile=/etc/demo/app.cfg ;;
    ini) sed 1d $APP/run.ini ;;
    esac
    printf '%s\n' -Ddv.webApp=demo "$@"
}

# The launcher run in $APP with an empty environment, DVL_DBG_ENABLE added
# when traced. It does not wait for its child, so the pipe to cat is read
# until the child has closed it too.
launch() { # yes|no ARGS...
    traced=$1
    shift
    dbg=
    [ "$traced" = yes ] && dbg=DVL_DBG_ENABLE=
    { (cd $APP && env -i $dbg ./run "$@" 2>$w/err </dev/null); echo $? >$w/status; } | cat >$w/out
}

# --- Negative control: this kernel is 32-bit and cannot run x86-64 programs.
printf '%s\n' i686 ran 'execv: Exec format error' >$w/expected
{ uname -m; /exec-report /exec-report; /exec-report /program64; } >$w/actual 2>&1
check negative-control

# --- The launcher, started with the argument ARG or none ("-"): status,
# stderr, stdout (trace, the stand-in's report of its working directory and
# argv, or the hint).
while read -r name ini tree traced arg status vec err; do
    case $name in '#'* | '') continue ;; esac
    [ "$arg" = - ] && arg=
    lay_tree "$tree"
    write_ini "$ini"
    launch "$traced" $arg
    {
        echo "$status"
        [ -z "$err" ] || echo "$err"
        if [ "$traced" = yes ]; then
            printf 'Found command line args: \n%s ' $arg
            vector "$vec" $arg | awk '{ print "Adding Arg " NR - 1 " : " $0 }'
            printf 'Running Command : %s\nWith args array\n' $E
            vector "$vec" $arg | awk '{ print NR - 1 " : " $0 }'
        fi
        if [ -z "$err" ]; then
            echo "Dashvane stand-in started in /ws/eclipse with $(vector "$vec" $arg | wc -l) arguments:"
            vector "$vec" $arg | awk '{ print "  argv[" NR - 1 "] = " $0 }'
        elif [ "$traced" = no ]; then
            printf '\n%s' "$HINT"
        fi
    } >$w/expected
    cat $w/status $w/err $w/out >$w/actual
    check "$name"
done <<'EOF'
# name          ini      tree      traced arg        status vector stderr
worked-quiet    worked   ok        no     -Dtrace=on 1      worked
worked-traced   worked   ok        yes    -Dtrace=on 1      worked
missing-exe     worked   noexe     no     -Dtrace=on 1      worked Failed to launch
missing-exe-tr  worked   noexe     yes    -Dtrace=on 1      worked Failed to launch
missing-eclipse worked   noeclipse no     -Dtrace=on 1      worked Failed to launch, could not set start directory
crlf            crlf     ok        no     -Dtrace=on 1      worked
bom             bom      ok        no     -Dtrace=on 1      none
argument-N      arg:0    ok        no     -          1      ini
argument-N+1    arg:1    ok        no     -          1      ini    Failed to launch
total-N         total:0  ok        no     -          1      ini
total-N+1       total:1  ok        no     -          1      ini    Failed to launch
EOF

# --- The i386 checker on the same trees, with the launcher's empty
# environment: judged by its exit status, by the name of the kind of warning
# expected anywhere in its report, and by the argument vector it reports.

# The argument vector of the checker's JSON report, one element per line
# (elements are plain strings here, printed one per line).
checker_vector() {
    (cd $APP && env -i "$checker" --json --pretty) | sed -n '/"argv": \[/,/\]/p' | sed -n 's/^ *"\(.*\)",\{0,1\}$/\1/p'
}

while read -r name tree ini status kind; do
    case $name in '#'* | '') continue ;; esac
    lay_tree "$tree"
    write_ini "$ini"
    # These trees have no Java VM; the VM scenarios below have one.
    (cd $APP && env -i "$checker" --ignore vm-not-found) >$w/report 2>&1 </dev/null
    found=$?
    [ -z "$kind" ] || found="$found $(grep -o -m 1 -e "$kind" $w/report)"
    echo "$found" >$w/actual
    echo "$status${kind:+ $kind}" >$w/expected
    check "$name" $w/report
done <<'EOF'
# name               tree   ini         status kind
checker-32-bit       ok     worked      0
checker-64-bit       exe64  worked      1      executable-foreign-machine
checker-argument-N   ok     arg:0       0
checker-argument-N+1 ok     arg:1       1      argument-too-long
checker-total-N      ok     total:0     0
checker-total-N+1    ok     total:1     1      arguments-too-long
EOF

lay_tree ok
write_ini worked
launch no
sed -n 's/^  argv\[[0-9]*\] = //p' $w/out >$w/expected
checker_vector >$w/actual
check checker-vector-is-the-childs

# --- The i386 Java VM, where the host gave the guest one: a Dashvane that
# hands its VM arguments to the VM, as the real one does, and the i386
# checker asking the same VM. A 32-bit kernel leaves a 32-bit program 3 GiB,
# so a 1 GiB heap comes up and a 3 GiB one cannot be reserved.
JAVA=/usr/lib/jvm/java-17-openjdk-i386/bin/java
if [ -x $JAVA ]; then
    # The checker asks the VM in a directory of its own under /tmp.
    mkdir -p /tmp
    for heap in 1g:0 3g:1; do
        lay_tree ok
        ln -s /usr/lib/jvm/java-17-openjdk-i386 /ws/eclipse/jre
        cat >$E <<'SCRIPT'
#!/bin/sh
while [ $# -gt 0 ] && [ "$1" != -vmargs ]; do shift; done
shift
/ws/eclipse/jre/bin/java -XX:-UsePerfData "$@" -version >/dev/null 2>&1
echo $? >/work/vm-status
SCRIPT
        chmod 0755 $E
        printf -- '-vmargs\n-Xmx%s\n' "${heap%:*}" >$APP/run.ini
        rm -f $w/vm-status
        (cd $APP && env -i ./run >/dev/null 2>&1 </dev/null)
        for _ in $(seq 120); do [ -s $w/vm-status ] && break; sleep 1; done
        [ "$(cat $w/vm-status 2>/dev/null)" = 0 ] && came=0 || came=1
        (cd $APP && env -i "$checker" --severity error) >$w/report 2>&1 </dev/null
        echo "vm ${came} checker $?" >$w/actual
        echo "vm ${heap#*:} checker ${heap#*:}" >$w/expected
        check "vm-heap-${heap%:*}" $w/report
    done
fi

now=$(cut -d' ' -f1 /proc/uptime)
echo "i386-kernel: $passed passed, $failed failed; $(uname -r) $(uname -m); booted in ${booted} s," \
    "scenarios $(awk "BEGIN { print $now - $booted }") s; limits: one argument $ARG_MAX_LEN bytes," \
    "all $LIMIT bytes of strings, NULs, $POINTER-byte pointers and file name"
poweroff -f
