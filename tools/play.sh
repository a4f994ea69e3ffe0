#!/usr/bin/env bash
# Builds Murkwing Diver and starts it in the player's own folder, which keeps the font
# picture and the high-score file: $XDG_DATA_HOME/murkwingdiver (~/.local/share/murkwingdiver).
# Arguments go to the game, e.g. `bash tools/play.sh --scale 2` (see --help). The build
# shows a few lines of progress; its log, build/game/build.log, is printed only when it fails.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the game's build" cmake ninja-build g++ pkg-config libsdl2-dev libcpp-httplib-dev

build="$here/build/game"
log="$build/build.log"
mkdir -p "$build"
# Prints the build log and stops; the log's last lines say what went wrong.
fail() {
    echo "The build failed; its log follows ($log)." >&2
    cat "$log" >&2
    exit 1
}

echo "Murkwing Diver: preparing the build in build/game ..."
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_TESTS=OFF >"$log" 2>&1 || fail
# Ninja numbers its steps ("[3/36] ..."); one line at each quarter of them is enough.
NINJA_STATUS="[%f/%t] " cmake --build "$build" --target murkwingdiver >>"$log" 2>&1 &
builder=$!
shown=0
while kill -0 "$builder" 2>/dev/null; do
    sleep 0.5
    step=$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -n 1 | tr -d '[]') || true
    [ -n "$step" ] || continue
    quarter=$((${step%/*} * 4 / ${step#*/}))
    if [ "$quarter" -gt "$shown" ] && [ "$quarter" -lt 4 ]; then
        shown=$quarter
        echo "  compiling: $((quarter * 25)) % done"
    fi
done
wait "$builder" || fail
echo "Built. Starting the game."

# XDG_DATA_HOME counts only when it is an absolute path, as for the installed launcher.
case "${XDG_DATA_HOME:-}" in
    /*) home="$XDG_DATA_HOME/murkwingdiver" ;;
    *) home="$HOME/.local/share/murkwingdiver" ;;
esac
mkdir -p "$home"
cp "$here/data/font.bmp" "$home/font.bmp"
cd "$home"
exec "$build/game/murkwingdiver" "$@"
