#!/bin/sh
# Installs what is missing, builds with warnings as errors, and runs every test
# of every configuration, one stage after another:
#   1. release: the native build; unit, black-box, fault-injection,
#      inheritance and valgrind tests; the source tarball, the Debian source
#      package, the amd64 .deb and the RPM built twice from the last commit,
#      compared byte for byte, and judged by lintian and rpmlint;
#   2. i386: the 32-bit build with every test, the i386 .deb judged by
#      lintian, and the i386 package on a real 32-bit kernel
#      (scripts/test-i386.sh);
#   3. sanitizers: the same tests under ASan and UBSan, and the fuzzing seed
#      corpus replayed (scripts/sanitize.sh);
#   4. fuzzing for a bounded time, DVL_FUZZ_SECONDS (120 by default)
#      (scripts/fuzz.sh);
#   5. coverage of source/ by all the tests (scripts/coverage.sh).
set -eu
cd "$(dirname "$0")/.."
. scripts/deps.sh
# shellcheck disable=SC2086
need_packages $BUILD_PACKAGES $TEST_PACKAGES $SHIP_PACKAGES $LINT_PACKAGES $DIST_PACKAGES $SANITIZER_PACKAGES \
    $COVERAGE_PACKAGES
need_sarif_validator

timings=""
stage() {
    name=$1
    shift
    echo "=== stage: $name"
    start=$(date +%s)
    "$@"
    timings="$timings$name: $(($(date +%s) - start)) s
"
}

release() {
    cmake -S . -B build -DDVL_WARNINGS_AS_ERRORS=ON -DDVL_REQUIRE_TESTS=ON
    cmake --build build -j "$(nproc)"
    ctest --test-dir build --output-on-failure -j "$(nproc)"
}

stage release release
stage i386 sh scripts/test-i386.sh
stage sanitizers sh scripts/sanitize.sh
stage fuzzing sh scripts/fuzz.sh "${DVL_FUZZ_SECONDS:-120}"
stage coverage sh scripts/coverage.sh
echo "=== stage timings"
printf '%s' "$timings"
