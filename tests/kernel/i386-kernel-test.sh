#!/bin/sh
# Boots Debian's 32-bit kernel (linux-image-686) in qemu-system-i386 from an
# initramfs holding static busybox, a static i386 stand-in for the Dashvane
# executable and the i386 .tar.gz package of BUILD_DIR, and runs the
# scenarios of guest-init.sh there. The guest prints one summary line; this
# script reads it under a time limit.
# Usage: i386-kernel-test.sh BUILD_DIR C_COMPILER CXX_COMPILER
# Exits 77 (skipped) when qemu-system-i386 or the kernel cannot be had, unless
# DVL_I386_KERNEL_REQUIRED is set. DVL_I386_KERNEL_ACCEL=kvm tries KVM first
# (TCG is the default: some KVMs cannot boot this kernel).
set -eu
build=$(cd "$1" && pwd) cc=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
cache=$build/i386-kernel-cache
started=$(date +%s)

skip() {
    [ -z "${DVL_I386_KERNEL_REQUIRED:-}" ] || fail "$* (DVL_I386_KERNEL_REQUIRED is set)"
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    exit 1
}

command -v qemu-system-i386 >/dev/null || skip "qemu-system-i386 missing (Debian: qemu-system-x86)"
command -v cpio >/dev/null || skip "cpio missing"

# Unpacks FILE of the i386 package PACKAGE into the cache, downloading the
# package once; a metapackage is followed to the package it depends on.
fetch() {
    package=$1 file=$2 target=$3
    [ -s "$cache/$target" ] && return 0
    mkdir -p "$cache/deb"
    (cd "$cache/deb" && apt-get download -q -o APT::Sandbox::User=root "$package:i386") \
        >"$cache/download.log" 2>&1 || return 1
    deb=$(ls "$cache/deb/${package}_"*.deb)
    if ! dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -q "^\./$file"; then
        real=$(dpkg-deb -f "$deb" Depends | sed 's/[ ,(].*//')
        rm -f "$deb"
        fetch "$real" "$file" "$target"
        return
    fi
    dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards "./$file" >"$cache/$target.part"
    mv "$cache/$target.part" "$cache/$target"
    rm -f "$deb"
}
fetch linux-image-686 'boot/vmlinuz-*' vmlinuz ||
    skip "linux-image-686:i386 cannot be downloaded (needs dpkg --add-architecture i386 and" \
        "apt-get update): $(tail -n 1 "$cache/download.log")"
fetch busybox-static bin/busybox busybox ||
    skip "busybox-static:i386 cannot be downloaded: $(tail -n 1 "$cache/download.log")"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
mkdir -p "$root/bin" "$root/dev" "$root/proc"
cp "$cache/busybox" "$root/bin/busybox"
cp "$here/guest-init.sh" "$root/init"
chmod 0755 "$root/bin/busybox" "$root/init"
"$cxx" -m32 -static -O2 -o "$root/standin" "$here/../standin/DashvaneStandin.cpp" ||
    fail "cannot build the static i386 stand-in"
"$cc" -m32 -static -O2 -o "$root/exec-report" "$here/exec-report.c" &&
    "$cc" -m64 -static -O2 -o "$root/program64" "$here/exec-report.c" ||
    fail "cannot build the exec reporter"
cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
cp "$scratch"/pkg/*.tar.gz "$root/package.tar.gz"
# The i386 Java VM with the libraries it needs, where the host has it: the
# guest then judges heaps the way a 32-bit kernel reserves them.
jvm=/usr/lib/jvm/java-17-openjdk-i386
memory=256
if [ -x "$jvm/bin/java" ] && command -v objdump >/dev/null; then
    mkdir -p "$root/usr/lib/jvm" "$root/lib/i386-linux-gnu" "$root/etc"
    cp -a "$jvm" "$root/usr/lib/jvm/"
    cp -rL /etc/java-17-openjdk "$root/etc/"
    # Every library named by the VM's programs and libraries, followed through.
    todo="$jvm/bin/java $(find "$jvm/lib" -name '*.so')" seen=
    while [ -n "$todo" ]; do
        set -- $todo
        file=$1
        shift
        todo="$*"
        case " $seen " in *" $file "*) continue ;; esac
        seen="$seen $file"
        for name in $(objdump -p "$file" | awk '$1 == "NEEDED" { print $2 }'); do
            for dir in /lib/i386-linux-gnu "$jvm/lib" "$jvm/lib/server"; do
                [ -e "$dir/$name" ] || continue
                case $dir in /lib/*) cp -L "$dir/$name" "$root/lib/i386-linux-gnu/" ;; esac
                todo="$todo $(readlink -f "$dir/$name")"
                break
            done
        done
    done
    cp -L /lib/i386-linux-gnu/ld-linux.so.2 "$root/lib/i386-linux-gnu/"
    ln -s i386-linux-gnu/ld-linux.so.2 "$root/lib/ld-linux.so.2"
    memory=1536
fi
(cd "$root" && find . | cpio -o -H newc --quiet) >"$scratch/initramfs.cpio"

# Returns 0 when the guest printed its summary line within the time limit.
boot() {
    booted=$(date +%s)
    timeout -k 5 "${DVL_I386_KERNEL_TIMEOUT:-240}" qemu-system-i386 -accel "$1" -m "$memory" \
        -nodefaults -display none -serial stdio -no-reboot \
        -kernel "$cache/vmlinuz" -initrd "$scratch/initramfs.cpio" \
        -append "console=ttyS0 panic=-1 quiet cryptomgr.notests noisapnp mitigations=off" \
        </dev/null 2>&1 | tr -d '\r' >"$scratch/console.log" || true
    grep -q '^i386-kernel: ' "$scratch/console.log"
}
accel=${DVL_I386_KERNEL_ACCEL:-tcg}
if ! boot "$accel" && [ "$accel" != tcg ]; then
    echo "no summary under $accel; falling back to tcg"
    accel=tcg
    boot tcg || true
fi
summary=$(grep '^i386-kernel: ' "$scratch/console.log" || true)
[ -n "$summary" ] || { cat "$scratch/console.log"; fail "no summary line from the guest"; }
echo "$summary"
echo "accelerator $accel; guest $(($(date +%s) - booted)) s; test $(($(date +%s) - started)) s"
case $summary in
*" 0 failed"*) ;;
*)
    cat "$scratch/console.log"
    fail "scenarios failed in the guest"
    ;;
esac
