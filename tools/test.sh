#!/usr/bin/env bash
# Installs what is missing, builds Murkwing Diver and runs every test: the headless suites,
# the real-window suites under a private Xvfb server, and the end-to-end sessions. Ends
# with the line "N passed, N failed".
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages cmake ninja-build g++ pkg-config libsdl2-dev libgtest-dev libgmock-dev \
    libbenchmark-dev libpixman-1-dev xvfb xdotool x11-apps imagemagick xauth
jobs=2

passed=0
failed=0
# Adds the counts of one ctest run (its log in $1) to the totals.
count_ctest() {
    local line total nfail
    line=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$1" | tail -n 1)
    if [ -z "$line" ]; then
        echo "no test result in $1"
        failed=$((failed + 1))
        return
    fi
    nfail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - nfail))
    failed=$((failed + nfail))
}

# A private X server for the window tests; -displayfd picks a free display.
xvfb_log=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$xvfb_log" 2>/dev/null &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$xvfb_log" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$xvfb_log")"

mkdir -p "$here/build"
build="$here/build/test"
if cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWING_WERROR=ON \
        -DMURKWING_BENCH=ON >"$build.configure.log" 2>&1 &&
   cmake --build "$build" -j "$jobs" >"$build.build.log" 2>&1; then
    (cd "$build" && ctest -j "$jobs" --output-on-failure) 2>&1 | tee "$build.ctest.log" | grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
    count_ctest "$build.ctest.log"
else
    cat "$build.configure.log" "$build.build.log" 2>/dev/null | tail -n 60
    echo "build failed: $build"
    failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
