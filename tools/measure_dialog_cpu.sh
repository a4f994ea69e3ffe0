#!/usr/bin/env bash
# Prints the CPU use of the game waiting in its "Quit?" dialog, and of the X server that
# shows it: the game runs in a fresh folder in a private Xvfb server (no window manager,
# dummy sound device), Escape opens "Quit?", and once its dimming has settled the game's
# and the server's user plus system time are read from /proc over SECONDS (default 30).
# Further arguments go to the game (--scale 2, say).
#   tools/measure_dialog_cpu.sh GAME [SECONDS [GAME ARGUMENTS...]]
# With SHOT=FILE.png the window's picture is saved there at the end (xwd, convert), to see
# that it was "Quit?" that waited. E.g.
#   tools/measure_dialog_cpu.sh build/test/game/murkwingdiver 30 --scale 2
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
game=$(readlink -f "${1:?usage: measure_dialog_cpu.sh GAME [SECONDS [GAME ARGUMENTS...]]}")
seconds=${2:-30}
shift 2 2>/dev/null || shift
settle=5  # seconds for the dimming to come to rest (it takes about 3)
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (packages xvfb xdotool)"; exit 1; }
done

work=$(mktemp -d)
cp "$here/data/font.bmp" "$work/"
fd_file="$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fd_file" 2>/dev/null &
xvfb_pid=$!
game_pid=""
trap '[ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null; kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
[ -s "$fd_file" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n 1 "$fd_file")"
unset WAYLAND_DISPLAY XDG_RUNTIME_DIR  # the game would prefer a Wayland desktop

(cd "$work" && SDL_AUDIODRIVER=dummy exec "$game" "$@" >/dev/null 2>&1) &
game_pid=$!
window=$(timeout 10 xdotool search --sync --pid "$game_pid" --name '^Murkwing Diver$' | head -n 1)
[ -n "$window" ] || { echo "the game's window did not show"; exit 1; }
xdotool windowfocus --sync "$window" key Escape
sleep "$settle"

# User plus system clock ticks of a process (fields 14 and 15 of /proc/PID/stat).
ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
hz=$(getconf CLK_TCK)
game_start=$(ticks "$game_pid")
xvfb_start=$(ticks "$xvfb_pid")
wall_start=$(date +%s.%N)
sleep "$seconds"
game_used=$(( $(ticks "$game_pid") - game_start ))
xvfb_used=$(( $(ticks "$xvfb_pid") - xvfb_start ))
wall=$(echo "$(date +%s.%N) - $wall_start" | bc -l)
kill -0 "$game_pid" 2>/dev/null || { echo "the game ended during the measurement"; exit 1; }
report() { printf '%-6s %6.2f s CPU in %.1f s in "Quit?" = %5.2f %% of one core\n' "$1" \
    "$(echo "$2 / $hz" | bc -l)" "$wall" "$(echo "100 * $2 / $hz / $wall" | bc -l)"; }
report game "$game_used"
report Xvfb "$xvfb_used"
[ -n "${SHOT:-}" ] && xwd -silent -id "$window" | convert xwd:- "$SHOT"
