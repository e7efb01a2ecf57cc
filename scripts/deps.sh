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
TEST_PACKAGES="libgtest-dev"

# dashvane-launcher-check: its JSON report, and the rendering test of its man page.
BUILD_PACKAGES="$BUILD_PACKAGES nlohmann-json3-dev"
TEST_PACKAGES="$TEST_PACKAGES groff-base"
