#!/usr/bin/env bash
# A whole session with one mouse button (one switch): the button held in flight climbs, and
# clicks answer "High Score!", leave the name empty, leave the table and answer "Yes" to
# "Play Again?"; the second session's "No" is picked by pointing at it. Checks the exit
# status and the high-score file byte for byte: two new entries with empty names.
. "$(dirname "$0")/lib.sh"

# One click on the game's picture at page pixel (X, Y), held 150 ms as a hand would (the
# dialogs sample the button every 40 or 50 ms).
click_at() {
    xdotool mousemove --window "$WINDOW" "$1" "$2" mousedown 1 sleep 0.15 mouseup 1
    sleep 0.2
}

# A run flown with the button: held for a second (climbing), then let go until the crash.
fly() {
    wait_status 10 || { fail "no status line during run $1"; e2e_end; }
    xdotool mousemove --window "$WINDOW" 240 200 mousedown 1
    sleep 1
    xdotool mouseup 1
    wait_dialog "High Score!" 20 || e2e_end
}

e2e_begin
write_low_scores "$WORK/game/$SCORE_FILE"
game_start
game_window || e2e_end

scores=()
for run in 1 2; do
    fly "$run"
    click_at 240 200                     # "Okay"
    sleep 0.3
    click_at 240 200                     # the name stays empty
    wait_table || e2e_end
    for k in $(seq "$run"); do           # the new entries lead the table, best first
        row=$(table_row "$k")
        [[ "$row" =~ ^\[([0-9]+)\]$ ]] && pass "table row $k: \"$row\", no name" ||
            fail "table row $k reads \"$row\""
        scores[k]=${BASH_REMATCH[1]:-0}
    done
    click_at 240 200
    wait_dialog "Play Again?" || e2e_end
    [ "$run" = 2 ] || click_at 240 200   # "Yes"
done
xdotool mousemove --window "$WINDOW" 240 115
check_box 108 "pointing at \"No\""
click_at 240 115
game_wait_exit 10
[ "$EXIT_STATUS" -eq 0 ] && pass "exit status 0 after a click on \"No\"" ||
    fail "exit status $EXIT_STATUS; stderr: $(cat "$WORK/stderr")"

expected="$WORK/expected.dat"
{
    printf ' %d\r\n\r\n %d\r\n\r\n' "${scores[1]}" "${scores[2]}"
    for k in $(seq 10); do printf -- '-5\r\nLOW%d\r\n' "$k"; done
} >"$expected"
cmp -s "$expected" "$WORK/game/$SCORE_FILE" && pass "high-score file holds exactly the expected bytes" ||
    { fail "high-score file differs:"; show_file "$WORK/game/$SCORE_FILE"; }
e2e_end
