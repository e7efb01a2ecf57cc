# Sourced by the other scripts: installs the Debian packages they need.

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        env DEBIAN_FRONTEND=noninteractive "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo env DEBIAN_FRONTEND=noninteractive "$@"
    else
        echo "Needs root: $* (run as root, or install the packages first)" >&2
        exit 1
    fi
}

need_packages() {
    missing=""
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $pkg"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    as_root apt-get update -qq
    # shellcheck disable=SC2086
    as_root apt-get install -y -qq --no-install-recommends $missing
}

# i386 packages can only be installed once dpkg knows the architecture.
need_i386_architecture() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    echo "Adding the i386 architecture to dpkg"
    as_root dpkg --add-architecture i386
}

# apt-get download needs package lists that know the i386 kernel: after the
# i386 architecture is added, they may be older than it.
need_i386_package_lists() {
    apt-cache show linux-image-686:i386 >/dev/null 2>&1 && return 0
    echo "Updating the package lists for i386"
    as_root apt-get update -qq
}

# npm comes with Node.js where Node.js was installed from its own packages,
# which Debian's npm package would conflict with: Debian's nodejs and npm are
# installed only where there is no npm at all.
need_npm() {
    command -v npm >/dev/null 2>&1 && return 0
    need_packages nodejs npm
}

# The SARIF authors' validator (its validate command), which the checker's
# --format sarif output must pass (tests/check/sarif-validate.sh).
need_sarif_validator() {
    need_npm
    npm_root=$(npm root -g 2>/dev/null) && [ -f "$npm_root/@microsoft/sarif-multitool/package.json" ] &&
        return 0
    echo "Installing @microsoft/sarif-multitool"
    as_root npm install -g --no-audit --no-fund @microsoft/sarif-multitool
}

# The launcher's child is an i386 program in the i386 tests, which execv
# runs directly. A kernel without its 32-bit support runs it only through
# binfmt_misc: qemu-i386 is registered there for i386 programs, as Debian's
# qemu-user-binfmt would register it, when a probe cannot run.
need_i386_exec() {
    # The kernel decodes the \x escapes of an entry itself. An entry whose
    # escapes were decoded before (as this script once did) ends its magic at
    # the first NUL, after 7 bytes, and sends every 32-bit ELF file of any
    # machine to qemu-i386: it is replaced.
    entry=/proc/sys/fs/binfmt_misc/qemu-i386
    if [ -e "$entry" ] && ! grep -q '^magic 7f454c4601010100000000000000000002000300$' "$entry"; then
        echo -1 | as_root tee "$entry" >/dev/null
    fi
    probe=$(mktemp)
    printf 'int main(void) { return 0; }\n' | gcc -m32 -static -x c -o "$probe" - 2>/dev/null || {
        rm -f "$probe"
        return 0
    }
    if "$probe" 2>/dev/null; then
        rm -f "$probe"
        return 0
    fi
    echo "This kernel runs no i386 program: registering qemu-i386 with binfmt_misc"
    [ -e /proc/sys/fs/binfmt_misc/register ] ||
        as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e "$entry" ] ||
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' |
        as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
    "$probe" || echo "i386 programs still do not run here" >&2
    rm -f "$probe"
}

BUILD_PACKAGES="g++ cmake make libboost-filesystem-dev"
# strace, valgrind and setpriv/prlimit (util-linux) provoke and observe faults;
# diff (diffutils) is what the checker's --diff output is compared with;
# the checker's tests read its JSON reports with nlohmann-json.
TEST_PACKAGES="libgtest-dev strace valgrind util-linux diffutils nlohmann-json3-dev"
# xmllint (libxml2-utils) reads the checker's --format checkstyle output.
TEST_PACKAGES="$TEST_PACKAGES libxml2-utils"
# setfacl (acl) grants another user write access in the tests of who may
# change the files a launch uses.
TEST_PACKAGES="$TEST_PACKAGES acl"
# The Java VM the checker asks about itself, and the real VM the check's
# verdicts on VM arguments are compared with.
TEST_PACKAGES="$TEST_PACKAGES openjdk-17-jre-headless"
# The ways an application is started, judged by the programs that start it:
# desktop entries (desktop-file-validate, gio launch), cron, and a real
# systemd booted in a container (systemd-nspawn) with the system bus the
# user's manager is set up over; pgrep (procps) is what the README tells
# scripts to test instead of the launcher's exit status.
TEST_PACKAGES="$TEST_PACKAGES desktop-file-utils libglib2.0-bin cron systemd systemd-container dbus procps"
# Reading the built programs, packaging them, rendering the manual pages.
SHIP_PACKAGES="binutils file dpkg-dev groff-base"
# The 32-bit build, and qemu-user to run its tests on any x86-64 kernel.
I386_PACKAGES="g++-multilib qemu-user libboost-filesystem-dev:i386 libgtest-dev:i386"
# A 32-bit Java VM, for the checker's verdicts on 32-bit heaps.
I386_PACKAGES="$I386_PACKAGES openjdk-17-jre-headless:i386"
# Debian's judgement of the .deb packages (the dist.lintian tests).
LINT_PACKAGES="lintian"
# The packages for distributions, built from git archive's tarball
# (scripts/dist.sh): the Debian source package and .deb (debhelper), the RPM
# and rpmlint's judgement, and cpio to unpack the RPM in its test.
DIST_PACKAGES="git debhelper rpm rpmlint cpio"
# The i386 .deb built on amd64 with the multilib compiler: dh_strip calls the
# i686 binutils by their prefixed names.
I386_DIST_PACKAGES="binutils-i686-linux-gnu"
# The i386 package on a real 32-bit kernel in qemu-system-i386, booted from an
# initramfs packed by cpio. The kernel (linux-image-686:i386) and busybox
# (busybox-static:i386) are fetched by the test itself with apt-get download,
# into the build folder, so the host's own kernel and busybox stay untouched.
I386_KERNEL_PACKAGES="qemu-system-x86 cpio"
# The sanitizer and fuzzing stage: clang with its sanitizer and libFuzzer runtimes.
SANITIZER_PACKAGES="clang libclang-rt-14-dev"
COVERAGE_PACKAGES="gcovr"
# The differential run (scripts/differential.sh): test libraries and programs
# built with gcc, the checker's JSON read with jq, and setpriv, prlimit and
# setarch (util-linux) to start each setup as its user and stack limit.
DIFFERENTIAL_PACKAGES="gcc jq util-linux"
