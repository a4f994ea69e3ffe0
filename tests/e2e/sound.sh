#!/usr/bin/env bash
# The real game's sound through SDL's disk audio driver, which writes the device's stream
# (48 kHz stereo floats) to a file: a run, "Quit?", the table and "No" leave sound in it; the same with --mute leaves exact silence. A device that is not there costs one line
# on standard error (ALSA's own complaints are kept out of it) and the game plays on.
. "$(dirname "$0")/lib.sh"
e2e_begin
# A table of unbeatable scores: a bend before the Escape lands raises the level, and no
# "High Score!" may then stand between "Quit?" and the table.
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"

# Starts the game with SDL_AUDIODRIVER=$1, writing to $2, and the further arguments; a game
# that a failed session left running is ended first, so its window hides nothing.
start_with_driver() {
    local driver=$1 file=$2
    shift 2
    if [ -n "$GAME_PID" ] && kill -0 "$GAME_PID" 2>/dev/null; then
        kill -KILL "$GAME_PID"
        wait "$GAME_PID" 2>/dev/null
    fi
    (cd "$WORK/game" && exec env SDL_AUDIODRIVER="$driver" SDL_DISKAUDIOFILE="$file" \
        AUDIODEV=murkwing_no_such_device "$GAME" "$@") \
        >"$WORK/stdout" 2>"$WORK/stderr" &
    GAME_PID=$!
    WINDOW=""
}

# The largest magnitude among the floats of a file, and how many there are.
peak_of() { od -A n -t f4 -v "$1" | awk '{ for (i = 1; i <= NF; ++i) { v = $i < 0 ? -$i : $i; if (v > p) p = v; ++n } } END { printf "%g %d\n", p, n }'; }

# One session: a run ended at "Quit?", then the table and "No".
play_session() {
    game_window && wait_status 30 || { fail "no run; stderr: $(cat "$WORK/stderr")"; return 1; }
    quit_run
    wait_table 30 || return 1
    press Return
    answer_no_and_exit
}

start_with_driver disk "$WORK/sound.raw"
play_session
read -r peak count < <(peak_of "$WORK/sound.raw")
# A quarter of a second of play at least, and a peak of the tone and the dialogs' clicks.
if [ "$count" -gt 24000 ] && awk -v p="$peak" 'BEGIN { exit !(p > 0.03 && p < 1) }'; then
    pass "the device's stream holds sound: $count samples, peak $peak"
else
    fail "the device's stream: $count samples, peak $peak"
fi

start_with_driver disk "$WORK/muted.raw" --mute
play_session
read -r peak count < <(peak_of "$WORK/muted.raw")
if [ "$count" -gt 24000 ] && [ "$peak" = 0 ]; then
    pass "with --mute the stream holds $count samples of silence"
else
    fail "with --mute: $count samples, peak $peak"
fi

start_with_driver alsa "$WORK/none.raw"
if game_window && wait_status 30; then
    if [ "$(wc -l <"$WORK/stderr")" -eq 1 ] && grep -q '^murkwingdiver: no sound: ' "$WORK/stderr"; then
        pass "no audio device: one line on stderr ($(cat "$WORK/stderr")) and the run goes on"
    else
        fail "no audio device: stderr holds: $(cat "$WORK/stderr")"
    fi
else
    fail "no audio device: no run; stderr: $(cat "$WORK/stderr")"
fi
e2e_end
