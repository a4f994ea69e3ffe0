#!/usr/bin/env bash
# A whole session from a virtual pad alone (GAME is pad_game), unplugged and plugged in
# again in "Quit?"; checks the screens, the name from the pad, the exit status, the file.
. "$(dirname "$0")/lib.sh"

# pad_game applies each command once the game has read the one before from the pad.
pad() { for command in "$@"; do echo "$command" >&5; done; }

e2e_begin
write_low_scores "$WORK/game/$SCORE_FILE"
mkfifo "$WORK/pad"
exec 5<>"$WORK/pad"
(cd "$WORK/game" && exec "$GAME" <&5) >"$WORK/stdout" 2>"$WORK/stderr" &
GAME_PID=$!
# Back at once, before the craft falls out; in "Quit?" the run waits.
game_window && pad "tap back" && wait_dialog "Quit?" || e2e_end
pad unplug plug "axis ly 30000" "axis ly 0"
check_box 108 "the pad plugged in again: left stick down picked \"Yes\""
pad "axis ly -30000" "axis ly 0"
check_box 72 "left stick up picked \"No\""
# B confirms "No": the run goes on until the craft falls out; any score enters the table.
pad "tap b"
wait_status 5 && pass "B said \"No\": the run goes on" || fail "no run after B"
pad "tap a"
wait_dialog "High Score!" || e2e_end
pad "tap a" "tap up" "tap up" "tap up" "tap right" "tap down" "tap right" "tap b" "tap start"  # C CA C! C!A C!
wait_table || e2e_end
[[ "$(table_row 1)" =~ ^C!\ \[([0-9]+)\]$ ]] && pass "table row 1: $(table_row 1)" || fail "row 1: $(table_row 1)"
score=${BASH_REMATCH[1]:-0}
pad "tap b"
wait_dialog "Play Again?" || e2e_end
pad "tap down" "tap a"
game_wait_exit 10
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS"
{ printf ' %d\r\nC!\r\n' "$score"; for k in $(seq 11); do printf -- '-5\r\nLOW%d\r\n' "$k"; done; } >"$WORK/expected"
cmp -s "$WORK/expected" "$WORK/game/$SCORE_FILE" && pass "high-score file as expected" ||
    { fail "high-score file differs:"; show_file "$WORK/game/$SCORE_FILE"; }
e2e_end
