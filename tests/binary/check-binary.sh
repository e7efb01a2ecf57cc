#!/bin/sh
# Reads a built program and checks that it is linked and hardened the way it
# ships: position independent, full RELRO with BIND_NOW, stack protection and
# _FORTIFY_SOURCE, and, when static, without any shared library.
# Usage: check-binary.sh PROGRAM static|shared
set -u
program=$1
linkage=$2
failures=0
fail() {
    echo "FAIL: $program: $1"
    failures=$((failures + 1))
}

header=$(readelf -hW "$program") || exit 1
segments=$(readelf -lW "$program")
dynamic=$(readelf -dW "$program")

echo "$header" | grep -q 'Type:[[:space:]]*DYN' || fail "not position independent (ELF type is not DYN)"
echo "$dynamic" | grep -q 'FLAGS_1.*PIE' || fail "no PIE flag"
echo "$segments" | grep -q 'GNU_RELRO' || fail "no RELRO segment"
echo "$dynamic" | grep -Eq '\(FLAGS\).*BIND_NOW|FLAGS_1.*NOW' || fail "not bound at start (no BIND_NOW)"
echo "$segments" | grep -q 'GNU_STACK.* RW ' || fail "executable stack"

if [ "$linkage" = static ]; then
    echo "$segments" | grep -q 'INTERP' && fail "has a program interpreter, so it is not static"
    echo "$dynamic" | grep -q '(NEEDED)' && fail "needs shared libraries: $(echo "$dynamic" | grep '(NEEDED)' | tr -s ' ')"
    file "$program" | grep -q 'static-pie linked' || fail "file(1) does not see a static-pie program: $(file -b "$program")"
else
    echo "$segments" | grep -q 'INTERP' || fail "shared build without a program interpreter"
fi

readelf -p .GCC.command.line "$program" 2>/dev/null | grep -q -- '-fstack-protector-strong' ||
    fail "not compiled with -fstack-protector-strong"
readelf -sW "$program" | grep -q '__stack_chk_fail' || fail "no stack protector reference"
readelf -p .note.dvl "$program" 2>/dev/null | grep -q '_FORTIFY_SOURCE=2' ||
    fail "not compiled with _FORTIFY_SOURCE=2"

# The launcher's version note, by which the checker finds its copies, must
# survive strip as the packages do it; no other program may carry it.
stripped=$(mktemp)
if strip -o "$stripped" "$program"; then
    notes=$(readelf -nW "$stripped")
    if [ "$(basename "$program")" = dashvane-launcher ]; then
        echo "$notes" | grep -q '^ *Dashvane ' || fail "no Dashvane version note once stripped"
    else
        echo "$notes" | grep -q '^ *Dashvane ' && fail "carries the launcher's version note"
    fi
else
    fail "cannot be stripped"
fi
rm -f "$stripped"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "ok: $program is $linkage, PIE, full RELRO, BIND_NOW, stack protector, _FORTIFY_SOURCE=2"
