#!/usr/bin/env bash
# Plays a short scripted session of Murkwing Diver in a private Xvfb server and saves the
# pictures shown at the top of the README:
#   docs/screenshot-run.png     a run in progress: the cave, the glowing trail, the streaks
#   docs/screenshot-dialog.png  the "Quit?" dialog over the dimmed run
#   docs/screenshot-table.png   the high-score table with the run's new entry
#   docs/murkwingdiver.gif      a few seconds of play
# The craft is flown by reading its height from screenshots and holding the space bar
# while it is below the middle of the field, so no two sessions are the same.
#
#   bash tools/screenshots.sh [GAME_EXECUTABLE]   (default: built in build/screenshots)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the screenshots" cmake ninja-build g++ pkg-config libsdl2-dev libcpp-httplib-dev xvfb xdotool x11-apps imagemagick

if [ $# -ge 1 ]; then
    game=$(readlink -f "$1")
else
    build="$here/build/screenshots"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_TESTS=OFF >/dev/null
    cmake --build "$build" --target murkwingdiver >/dev/null
    game="$build/game/murkwingdiver"
fi

work=$(mktemp -d)
xvfb_pid=""
game_pid=""
holder_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
g++ -std=c++20 -O2 -o "$work/screen_probe" "$here/tests/e2e/screen_probe.cpp"
probe="$work/screen_probe"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
unset WAYLAND_DISPLAY XDG_RUNTIME_DIR  # the game would prefer a Wayland desktop to this Xvfb
xdotool search --sync --name '^no window is called this$' >/dev/null 2>&1 &
holder_pid=$!
xdotool mousemove 1023 767

# A table of earlier runs; the last places are low, so that the run's score enters.
mkdir "$work/game"
cp "$here/data/font.bmp" "$work/game/font.bmp"
printf ' %d\r\n%s\r\n' 57 ACE 41 Murk 33 Wing 26 Diver 20 Glow 15 Trail 11 Bend 8 Rock \
    5 Cave 3 Deep 1 Dusk 0 Dawn >"$work/game/murkwingdiver_highscores.dat"

(cd "$work/game" && exec "$game") >/dev/null 2>"$work/stderr" &
game_pid=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --pid "$game_pid" --name '^Murkwing Diver$' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the game's window did not open: $(cat "$work/stderr")"; exit 1; }
xdotool windowfocus --sync "$window"

shot_count=0
shot() {  # takes a screenshot; sets SHOT to its PPM file
    shot_count=$((shot_count + 1))
    SHOT=$(printf '%s/shot-%04d.ppm' "$work" "$shot_count")
    xwd -silent -id "$window" | convert xwd:- -depth 8 "ppm:$SHOT"
}

font_ppm="$work/font.ppm"
convert "$here/data/font.bmp" -depth 8 "ppm:$font_ppm"
charset='0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[]!?'

# The frame counter from the status line " [Time N] [Level L] " centred at y 4, or nothing.
read_time() {
    local length text
    for length in 20 21 22 23 24 25 26; do
        text=$("$probe" text "$SHOT" "$font_ppm" "$charset" $((240 - 8 * length)) 4 "$length")
        if [[ "$text" =~ ^\ \[TIME\ ([0-9]+)\] ]]; then
            echo "${BASH_REMATCH[1]}"
            return
        fi
    done
}

# Flies until frame UNTIL; fails when the run ends first. The craft's path shows as the
# bright band of its trail: x 110 shows it about 5 frames ago, x 100 about 10, which gives
# its height and speed. The space bar is held while the height, led by the speed over the
# delay of the trail and of the screenshot, lies below the middle of the field.
fly() {
    local until=$1 a b count speed lead held=0 lost=0 time
    while :; do
        shot
        read -r a count < <("$probe" bright "$SHOT" 108 24 112 319 185)
        read -r b count < <("$probe" bright "$SHOT" 98 24 102 319 185)
        if [ "$a" -ge 0 ] && [ "$b" -ge 0 ]; then
            speed=$(((a - b) * 2))                 # tenths of a pixel per frame
            lead=$((a - 160 + speed * 33 / 10))    # 8 frames ahead plus damping
            if [ "$lead" -gt 0 ] && [ "$held" -eq 0 ]; then
                xdotool keydown space
                held=1
            elif [ "$lead" -le 0 ] && [ "$held" -eq 1 ]; then
                xdotool keyup space
                held=0
            fi
        fi
        if [ $((shot_count % 4)) -eq 0 ]; then
            time=$(read_time)
            if [ -n "$time" ]; then
                lost=0
                [ "$time" -ge "$until" ] && break
            else
                lost=$((lost + 1))
            fi
            [ "$lost" -lt 5 ] || break
        fi
    done
    [ "$held" -eq 0 ] || xdotool keyup space
    [ "$lost" -lt 5 ]
}

# The run's picture: frame 170, when the rock fills two thirds of the field and has not
# yet reached the craft.
fly 170 || { echo "the craft crashed before frame 170; run the script again"; exit 1; }
run_shot=$shot_count
convert "$SHOT" "$here/docs/screenshot-run.png"

# Waits up to 10 s until TEXT (capitals and spaces) shows centred at row Y.
wait_text() {
    local text=$1 y=$2 deadline=$((SECONDS + 10))
    while [ "$SECONDS" -le "$deadline" ]; do
        shot
        [ "$("$probe" text "$SHOT" "$font_ppm" "$charset" $((240 - 8 * ${#text})) "$y" ${#text})" = "$text" ] &&
            return 0
        sleep 0.05
    done
    echo "\"$text\" did not show at y $y"
    return 1
}

xdotool key Escape
wait_text " QUIT? " 36
sleep 0.5                 # let the highlight settle
shot
convert "$SHOT" "$here/docs/screenshot-dialog.png"
xdotool key Down
sleep 0.3
xdotool key Return
if wait_text " HIGH SCORE! " 36; then
    xdotool key Return
    sleep 0.3
    xdotool type --delay 150 "You"
    xdotool key Return
fi
wait_text " HIGH SCORES " 4
sleep 2                   # the run's last picture fades out under the table
shot
convert "$SHOT" "$here/docs/screenshot-table.png"
xdotool key Return
wait_text " PLAY AGAIN? " 36
xdotool key Down Return
for _ in $(seq 50); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
game_pid=""

# The animation: the last four seconds of flight before the run's picture.
frames=()
for ((i = run_shot > 80 ? run_shot - 80 : 1; i <= run_shot; i += 2)); do
    frames+=("$(printf '%s/shot-%04d.ppm' "$work" "$i")")
done
convert -delay 10 -loop 0 "${frames[@]}" -layers Optimize "$here/docs/murkwingdiver.gif"
echo "saved docs/screenshot-run.png, docs/screenshot-dialog.png, docs/screenshot-table.png, docs/murkwingdiver.gif"
