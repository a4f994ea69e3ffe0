#!/usr/bin/env bash
# Installs what is missing, builds Murkwing Diver and runs every test: the headless suites,
# the real-window suites under a private Xvfb server, the end-to-end sessions and the
# browser version in headless Chromium. Ends with the line "N passed, N failed".
#   tools/test.sh          everything (10 to 20 minutes)
#   tools/test.sh quick    stage 1's headless suites only, less the soak test, for the inner
#                          loop (well under 2 minutes once build/test is built)
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
quick=false
[ "${1:-}" = quick ] && quick=true
. "$here/tools/ensure-packages.sh"
headless_packages=(cmake ninja-build g++ pkg-config libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev
    libpixman-1-dev libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libpq-dev)
$quick && ensure_packages --for "the headless tests" "${headless_packages[@]}"
$quick || ensure_packages --for "the tests" "${headless_packages[@]}" xvfb xdotool x11-apps imagemagick xauth \
    clang libclang-rt-14-dev desktop-file-utils appstream weston libegl-mesa0 libgl1-mesa-dri
# The leaderboard's PostgreSQL tests start a server from this package; on their own line,
# since where it cannot be installed they are skipped (one line says so) and the rest runs.
$quick || ensure_packages --for "the PostgreSQL tests" postgresql
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

mkdir -p "$here/build"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1"
# The one leak forgiven: inside the system's D-Bus library, which SDL loads.
export LSAN_OPTIONS="suppressions=$here/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# Configures and builds one tree ($1: name, $2: targets or "all", then cmake options) and
# runs its ctest suites ($CTEST_ARGS); counts a failed build as one failure.
run_stage() {
    local name=$1 targets=$2
    shift 2
    local build="$here/build/$name"
    echo "== $name"
    local started=$SECONDS
    local target_args=()
    [ "$targets" != all ] && for t in $targets; do target_args+=(--target "$t"); done
    if cmake -S "$here" -B "$build" -G Ninja "$@" >"$build.configure.log" 2>&1 &&
       cmake --build "$build" -j "$jobs" "${target_args[@]}" >"$build.build.log" 2>&1; then
        (cd "$build" && ctest -j "$jobs" --output-on-failure ${CTEST_ARGS:-}) 2>&1 | tee "$build.ctest.log" |
            grep -vE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed'
        count_ctest "$build.ctest.log"
        echo "$name: built and tested in $((SECONDS - started)) s"
    else
        cat "$build.configure.log" "$build.build.log" 2>/dev/null | grep -E -A5 'error|Error' | head -n 60
        echo "build failed: $build"
        failed=$((failed + 1))
    fi
}

stage1_options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWING_WERROR=ON -DMURKWING_BENCH=ON)
# Every headless test program (tests/<suite>_test) and every fuzzer (fuzz/fuzz_<target>): stage 2
# builds only what these lists name, so a new suite or fuzzer is added here.
headless_suites="platform gfx audio ui scores game replay fuzz server"
fuzzers="bitmap high_scores text replay"
if $quick; then
    # The soak test (a long session, about a minute and a half) is left to the full run.
    CTEST_ARGS="-L ^(${headless_suites// /|})\$ -E ^Soak\." run_stage test "$(printf '%s_test ' $headless_suites)" \
        "${stage1_options[@]}"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
fi

# A private X server for the window tests; -displayfd picks a free display.
xvfb_log=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$xvfb_log" 2>/dev/null &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null' EXIT
for _ in $(seq 100); do [ -s "$xvfb_log" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$xvfb_log")"
# The game prefers a Wayland compositor to X11: on a Wayland desktop it would open there,
# out of reach of xdotool and xwd. (window_wayland_test starts a compositor of its own.)
unset WAYLAND_DISPLAY XDG_RUNTIME_DIR

# 1. Everything, warnings as errors: headless suites, window suites, end-to-end sessions.
run_stage test all "${stage1_options[@]}"

# 2. Under AddressSanitizer and UndefinedBehaviorSanitizer: the headless suites, and the
# real game in its window through the end-to-end sessions. Built with clang in the same
# tree as the libFuzzer programs, so that one sanitized build serves both; the window
# suites are left to stage 3 (not built here, hence their placeholder test is excluded), and
# the leaderboard's load tests (real server processes, label load) to stage 1.
# The soak test's session is shortened here (a quarter of stage 1's 200,000 frames): under the
# sanitizers it is five times slower, and stage 1 plays the whole length.
sanitized="$here/build/sanitized"
MURKWING_SOAK_FRAMES=50000 CTEST_ARGS="-LE ^(window|install|load)\$ -E _NOT_BUILT\$" CC=clang CXX=clang++ run_stage sanitized \
    "$(printf '%s_test ' $headless_suites)$(printf 'fuzz_%s ' $fuzzers)murkwingdiver screen_probe pad_game" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWING_SANITIZE=ON -DMURKWING_FUZZ=ON -DMURKWING_SDL=ON

# 3. The real-window suites of the platform layer under ThreadSanitizer.
CTEST_ARGS="-L window" run_stage tsan window_test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMURKWING_TSAN=ON

# 4. Fuzzing: each target for a bounded time on top of the committed corpus. New inputs go
# to a scratch folder; a crash fails the run and leaves its input under build/sanitized/crashes.
fuzz_seconds=${FUZZ_SECONDS:-30}
echo "== fuzz"
for target in $fuzzers; do
    program="$sanitized/fuzz/fuzz_$target"
    scratch="$sanitized/corpus-$target"
    log="$sanitized/fuzz-$target.log"
    mkdir -p "$scratch" "$sanitized/crashes"
    if [ ! -x "$program" ]; then
        echo "fuzz_$target: not built"
        failed=$((failed + 1))
    elif (cd "$sanitized" && "$program" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$sanitized/crashes/$target-" -print_final_stats=1 \
            "$scratch" "$here/fuzz/corpus/$target" >"$log" 2>&1); then
        echo "fuzz_$target: $(grep -E 'stat::number_of_executed_units' "$log" | awk '{print $2}') executions in ${fuzz_seconds} s, ok"
        passed=$((passed + 1))
    else
        tail -n 30 "$log"
        echo "fuzz_$target: FAILED (input kept in $sanitized/crashes)"
        failed=$((failed + 1))
    fi
done

# 5. The Debian package: built twice in two folders and compared, lintian, installed (as root,
# or through sudo), its launcher played under Xvfb, purged. Counts each check it prints.
echo "== package"
package_log="$here/build/package-test.log"
bash "$here/dist/package_test.sh" >"$package_log" 2>&1
package_status=$?
grep -v '^ok: ' "$package_log"
package_ok=$(grep -c '^ok: ' "$package_log")
package_failed=$(grep -c '^FAIL: ' "$package_log")
[ "$package_status" -ne 0 ] && [ "$package_failed" -eq 0 ] && package_failed=1
passed=$((passed + package_ok))
failed=$((failed + package_failed))

# 6. The browser build in the system's headless Chromium (tests/web): the test build of the
# site, the headless twin's pages from stage 1's tree, puppeteer-core from npm.
echo "== web"
ensure_packages --for "the browser tests" emscripten nodejs chromium
command -v npm >/dev/null || ensure_packages --for "the browser tests" npm  # Node.js from elsewhere brings its own
web_log="$here/build/web.log"
if bash "$here/tools/web.sh" test >"$web_log" 2>&1 &&
   cmake --build "$here/build/test" --target web_twin_page --target murkwingdiver-server >>"$web_log" 2>&1 &&
   (cd "$here/tests/web" && npm ci --no-audit --no-fund) >>"$web_log" 2>&1; then
    # One suite of tests/web on the test build ($1: the script, then its other arguments);
    # adds its counts.
    web_suite() {
        local script=$1 line
        shift
        node "$here/tests/web/$script" "$here/build/web-test" "$@" 2>&1 | tee "$here/build/web-test.log"
        line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$here/build/web-test.log" | tail -n 1)
        if [ -n "$line" ]; then
            passed=$((passed + $(cut -d' ' -f1 <<<"$line")))
            failed=$((failed + $(cut -d' ' -f3 <<<"$line")))
        else
            failed=$((failed + 1))
        fi
    }
    web_suite web_test.mjs "$here/build/test/tests/web_twin_page" "$here/data/font.bmp"
    # The leaderboard: stage 1's server serving the test build under /play/.
    web_suite leaderboard_test.mjs "$here/build/test/server/murkwingdiver-server"
else
    tail -n 30 "$web_log"
    echo "web: build failed (log in $web_log)"
    failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
