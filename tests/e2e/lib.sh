# Shared steps of the end-to-end sessions, sourced by tests/e2e/*.sh: a fresh working
# directory with a copy of the font, the real game started in it, its window found and
# focused, keys sent through XTEST as a player's keyboard would, screenshots of the window
# read with screen_probe, and the checks' bookkeeping.
#
# Each session script is called as:  SCRIPT GAME SCREEN_PROBE FONT_BMP
# and exits 0 (all checks passed), 1 (a check failed) or 77 (skipped: no DISPLAY).

GAME=$(readlink -f "$1")
PROBE=$(readlink -f "$2")
FONT_BMP=$(readlink -f "$3")
CHARSET='0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[]!?'
SCORE_FILE=murkwingdiver_highscores.dat
CR=$'\r'
# The sessions check the game, not the sound: a dummy audio device opens everywhere, so a
# machine without a sound card adds no "no sound" line to the stderr the sessions check.
# (sound.sh picks its own drivers.)
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

FAILURES=0
GAME_PID=""
WINDOW=""
SHOT_COUNT=0

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }
note() { echo "-- $*"; }

# Ends the script: kills a game still running, removes the working directory unless
# E2E_KEEP is set, and exits with the tally.
e2e_end() {
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        kill -KILL "$GAME_PID" 2>/dev/null
        wait "$GAME_PID" 2>/dev/null
    fi
    GAME_PID=""
    [ -n "${HOLDER_PID:-}" ] && kill "$HOLDER_PID" 2>/dev/null
    if [ -n "${E2E_KEEP:-}" ]; then
        echo "kept: $WORK"
    else
        rm -rf "$WORK"
    fi
    if [ "$FAILURES" -eq 0 ]; then
        echo "all checks passed"
        exit 0
    fi
    echo "$FAILURES checks failed"
    exit 1
}

# Makes the working directory $WORK with a copy of the font (pass "nofont" to leave it
# out), converts the font for text recognition, and parks the pointer off the window.
e2e_begin() {
    for tool in xdotool xwd convert; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
    done
    if [ -z "${DISPLAY:-}" ]; then
        echo "skipped: DISPLAY is not set (tools/test.sh starts Xvfb for these tests)"
        exit 77
    fi
    unset WAYLAND_DISPLAY XDG_RUNTIME_DIR  # the game would prefer a Wayland desktop to X11
    WORK=$(mktemp -d)
    trap 'fail "interrupted"; e2e_end' INT TERM
    mkdir -p "$WORK/game" "$WORK/shots"
    [ "${1:-}" = nofont ] || cp "$FONT_BMP" "$WORK/game/font.bmp"
    FONT_PPM="$WORK/font.ppm"
    convert "$FONT_BMP" -depth 8 "ppm:$FONT_PPM" || { echo "FAIL: cannot convert $FONT_BMP"; exit 1; }
    hold_display
    xdotool mousemove 1279 1023
}

# An X server started without -noreset resets whenever its last client leaves, and a
# client connecting during the reset is refused; one idle client kept connected for the
# whole session (a search for a window that never comes) prevents that.
hold_display() {
    local try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        xdotool search --sync --name '^no window is called this$' >/dev/null 2>&1 &
        HOLDER_PID=$!
        sleep 0.2
        kill -0 "$HOLDER_PID" 2>/dev/null && return 0
    done
    echo "FAIL: cannot connect to the X server on $DISPLAY"
    exit 1
}

# Starts the game in $WORK/game; its output goes to $WORK/stdout and $WORK/stderr.
game_start() {
    (cd "$WORK/game" && exec "$GAME") >"$WORK/stdout" 2>"$WORK/stderr" &
    GAME_PID=$!
    WINDOW=""
}

# Waits up to 10 s for the game's window (titled "Murkwing Diver") and gives it the keyboard
# focus; there is no window manager, so focus is set directly.
game_window() {
    local i
    for i in $(seq 100); do
        WINDOW=$(xdotool search --pid "$GAME_PID" --name '^Murkwing Diver$' 2>/dev/null | head -n 1)
        [ -n "$WINDOW" ] && break
        kill -0 "$GAME_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$WINDOW" ]; then
        fail "no window titled 'Murkwing Diver'; stderr: $(cat "$WORK/stderr")"
        return 1
    fi
    focus_window
}

focus_window() {
    timeout 5 xdotool windowfocus --sync "$WINDOW" 2>/dev/null ||
        xdotool windowfocus "$WINDOW" 2>/dev/null
}

# Sends key presses (xdotool key names) to the focused window, 80 ms apart, so that each
# lands in its own pass of a dialog or frame.
press() { xdotool key --delay 80 "$@"; }

# Types a text, one character per 120 ms (the name entry takes one key per 50 ms pass).
type_text() { xdotool type --delay 120 "$1"; }

# Takes a screenshot of the window into $WORK/shots/NNN-NAME.ppm and sets SHOT to its path.
shot() {
    SHOT_COUNT=$((SHOT_COUNT + 1))
    SHOT=$(printf '%s/shots/%03d-%s.ppm' "$WORK" "$SHOT_COUNT" "${1:-shot}")
    xwd -silent -id "$WINDOW" 2>/dev/null | convert xwd:- -depth 8 "ppm:$SHOT" 2>/dev/null
}

# The text of N cells at (X, Y) in the latest screenshot.
read_text() { "$PROBE" text "$SHOT" "$FONT_PPM" "$CHARSET" "$1" "$2" "$3"; }

# The text as the game draws it: capitals, and a space for every character the font lacks.
as_drawn() {
    local text=${1^^} out="" i c
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        [[ "$CHARSET" == *"$c"* ]] && out+=$c || out+=" "
    done
    printf '%s' "$out"
}

# The x at which a centred text of LENGTH cells starts on the 480-pixel screen.
centred_x() { echo $((240 - 8 * $1)); }

# Whether the latest screenshot shows TEXT centred at row Y (as the game draws it).
shows_centred() {
    local text=$1 y=$2
    [ "$(read_text "$(centred_x ${#text})" "$y" ${#text})" = "$(as_drawn "$text")" ]
}

# Waits up to TIMEOUT seconds (default 10) until TEXT shows centred at row Y.
wait_centred() {
    local text=$1 y=$2 timeout=${3:-10} name=${4:-wait} deadline
    deadline=$((SECONDS + timeout))
    while [ "$SECONDS" -le "$deadline" ]; do
        shot "$name"
        shows_centred "$text" "$y" && return 0
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# Waits for a dialog titled TITLE (drawn as " TITLE " centred at y 36).
wait_dialog() {
    if wait_centred " $1 " 36 "${2:-10}" dialog; then
        pass "dialog \"$1\" shows"
        return 0
    fi
    fail "dialog \"$1\" did not show (last screen: $(read_text 0 36 30))"
    return 1
}

# Waits for the high-score table screen (title " High Scores " centred at y 4).
wait_table() {
    if wait_centred " High Scores " 4 "${1:-10}" table; then
        pass "table screen shows its title at y 4, x $(centred_x 13)"
        return 0
    fi
    fail "table screen did not show (last screen at y 4: $(read_text 0 4 30))"
    return 1
}

# Row K (1..12) of the table screen in the latest screenshot, trimmed: "NAME [SCORE]".
table_row() {
    local y=$((20 * $1 + 24)) text odd even_glyphs odd_glyphs
    # A centred row starts at a multiple of 16 or 8 past one, by the parity of its length.
    text=$(read_text 0 "$y" 30)
    odd=$(read_text 8 "$y" 29)
    even_glyphs=${text// /}
    odd_glyphs=${odd// /}
    [ ${#odd_glyphs} -gt ${#even_glyphs} ] && text=$odd
    text=${text#"${text%%[! ]*}"}
    printf '%s' "${text%"${text##*[! ]}"}"
}

# Waits for a running frame: the status line " [Time N] [Level L] " centred at y 4.
# Sets STATUS_TIME, STATUS_LEVEL and STATUS_X (the x of its first cell).
wait_status() {
    local timeout=${1:-10} deadline length text
    deadline=$((SECONDS + timeout))
    while [ "$SECONDS" -le "$deadline" ]; do
        shot status
        for length in $(seq 20 26); do
            text=$(read_text "$(centred_x "$length")" 4 "$length")
            if [[ "$text" =~ ^\ \[TIME\ ([0-9]+)\]\ \[LEVEL\ ([0-9]+)\]\ $ ]]; then
                STATUS_TIME=${BASH_REMATCH[1]}
                STATUS_LEVEL=${BASH_REMATCH[2]}
                STATUS_X=$(centred_x "$length")
                return 0
            fi
        done
        kill -0 "$GAME_PID" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# Waits up to TIMEOUT seconds for the game to end; sets EXIT_STATUS (124 on time-out).
game_wait_exit() {
    local timeout=${1:-10} i
    for i in $(seq $((timeout * 10))); do
        kill -0 "$GAME_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$GAME_PID" 2>/dev/null; then
        EXIT_STATUS=124
        return 1
    fi
    wait "$GAME_PID"
    EXIT_STATUS=$?
    GAME_PID=""
    return 0
}

# Answers "Play Again?" with "No" and checks that the game ends with status 0.
answer_no_and_exit() {
    wait_dialog "Play Again?" || return 1
    press Down Return
    game_wait_exit 10
    [ "$EXIT_STATUS" -eq 0 ] && pass "exit status 0 after \"No\"" ||
        fail "exit status $EXIT_STATUS after \"No\"; stderr: $(cat "$WORK/stderr")"
}

# Ends the current run through "Quit?": Escape, cursor down to "Yes", Enter. Called at
# once after game_window: the Escape must land within the run's first 40 frames (about
# 1.3 s), before the craft falls out of the field.
quit_run() {
    press Escape
    wait_dialog "Quit?" || return 1
    press Down
    check_box 108 "\"Quit?\" after cursor down" || return 1
    press Return
}

# Types NAME into the name entry that follows "High Score!" (the dialog's Enter first; the
# entry takes keys already queued as typed) and waits until the field shows it.
enter_name() {
    local field=" [$1] " timeout=10
    press Return
    [ -z "$1" ] || type_text "$1"
    while [ ${#field} -lt 16 ]; do field+=" "; done
    if wait_centred "$field" 72 "$timeout" name; then
        pass "name field shows \"[$(as_drawn "$1")]\" at x 112, y 72"
    else
        fail "name field reads \"$(read_text 112 72 16)\""
    fi
}

# Prints a high-score file with its line ends made visible, for failure messages.
show_file() { sed -n l "$1" | head -n 30; }

# Writes twelve entries, each score -5 and names LOW1..LOW12, in the game's own format.
write_low_scores() {
    local k
    for k in $(seq 12); do printf -- '-5\r\nLOW%d\r\n' "$k"; done >"$1"
}

# Whether the selection box of a dialog row drawn at Y shows in full: its top and bottom
# edges, rows Y - 2 and Y + 20, opaque white across the whole width. The box is drawn after
# each pass's blend, and the key that moves it may still be on its way: screenshots are
# taken until it shows, for up to 10 s.
check_box() {
    local y=$1 label=$2 deadline=$((SECONDS + 10)) top bottom
    while :; do
        shot box
        top=$("$PROBE" count "$SHOT" 0 $((y - 2)) 479 $((y - 2)) FFFFFF)
        bottom=$("$PROBE" count "$SHOT" 0 $((y + 20)) 479 $((y + 20)) FFFFFF)
        if [ "$top" -eq 480 ] && [ "$bottom" -eq 480 ]; then
            pass "$label: selection box rows y $((y - 2)) and y $((y + 20)) white across x 0..479"
            return 0
        fi
        [ "$SECONDS" -le "$deadline" ] && kill -0 "$GAME_PID" 2>/dev/null || break
        sleep 0.03
    done
    fail "$label: selection box rows y $((y - 2)) / y $((y + 20)) have $top / $bottom white pixels of 480"
    return 1
}

# Whether the latest status-line screenshot has a backing tile as its first cell (a space,
# so a tile without a glyph) at the centred x.
check_status_tile() {
    if "$PROBE" tile "$SHOT" "$STATUS_X" 4; then
        pass "status line \"[TIME $STATUS_TIME] [LEVEL $STATUS_LEVEL]\": first backing tile at its centred x $STATUS_X, y 4"
    else
        fail "status line: no backing tile at x $STATUS_X, y 4"
    fi
}
