#!/usr/bin/env bash
# Runs the real-window tests (window_test) in a private Xvfb server, without a window
# manager, as tools/test.sh does: builds the target in BUILD_DIR (default build/window)
# first. Extra arguments go to window_test, e.g. --gtest_filter='WindowInput.*'.
#   tools/xvfb-run-tests.sh [BUILD_DIR] [window_test arguments...]
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/window}"
shift || true
for tool in Xvfb xdotool xwd; do
    command -v "$tool" >/dev/null || { echo "missing $tool (packages xvfb xdotool x11-apps)"; exit 1; }
done
cmake -S "$here" -B "$build" -G Ninja >/dev/null && cmake --build "$build" --target window_test -j 2 || exit 1

fd_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$fd_file"' EXIT
for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
[ -s "$fd_file" ] || { echo "Xvfb did not start"; exit 1; }
# Without WAYLAND_DISPLAY and XDG_RUNTIME_DIR: the game would prefer a Wayland desktop's
# compositor to this X server.
env -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR DISPLAY=":$(head -n 1 "$fd_file")" "$build/tests/window_test" "$@"
