# Sourced by the other scripts: installs the Debian packages they need.
need_packages() {
    missing=""
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $pkg"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        sudo=""
    elif command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
    else
        echo "Missing packages:$missing (run as root, or install them first)" >&2
        exit 1
    fi
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}

BUILD_PACKAGES="g++ cmake make libboost-filesystem-dev"
# strace, valgrind and setpriv/prlimit (util-linux) provoke and observe faults.
TEST_PACKAGES="libgtest-dev strace valgrind util-linux"
# The sanitizer and fuzzing stage: clang with its sanitizer and libFuzzer runtimes.
SANITIZER_PACKAGES="clang libclang-rt-14-dev"
COVERAGE_PACKAGES="gcovr"
