#!/usr/bin/env bash
# A whole session played from a pad alone, in the game with a virtual pad (pad_game.cpp,
# called as GAME here), which is plugged in before start-up and mapped through
# SDL_GAMECONTROLLERCONFIG: Start asks "Quit?" and B answers "No"; the pad is unplugged and
# plugged in again during the run; Back asks "Quit?" again, the left stick moves to "Yes"
# and A confirms; A answers "High Score!", the name is entered with the D-pad and B and
# confirmed with Start; B leaves the table; the D-pad and A answer "No" to "Play Again?".
# Checks the screens on the way, the exit status and the high-score file byte for byte.
. "$(dirname "$0")/lib.sh"

# Sends pad commands (see pad_game.cpp), each followed by 150 ms, so that each lands in its
# own pass of a dialog.
pad() {
    local command
    for command in "$@"; do
        echo "$command" >&5
        sleep 0.15
    done
}

e2e_begin
write_low_scores "$WORK/game/$SCORE_FILE"
mkfifo "$WORK/pad"
exec 5<>"$WORK/pad"
(cd "$WORK/game" && exec "$GAME" <&5) >"$WORK/stdout" 2>"$WORK/stderr" &
GAME_PID=$!
game_window || e2e_end
wait_status 10 || { fail "no status line during the run"; e2e_end; }

pad "tap start"
wait_dialog "Quit?" || e2e_end
check_box 72 "Start opened \"Quit?\" on \"No\""
pad "tap b"
wait_status 5 && pass "B confirmed \"No\": the run goes on" || fail "the run did not go on after B"

pad unplug plug
sleep 0.3
pad "tap back"
wait_dialog "Quit?" || e2e_end
pass "the pad plugged in again opened \"Quit?\" with Back"
pad "axis ly 30000" "axis ly 0"
check_box 108 "left stick down moved to \"Yes\""
pad "tap a"

wait_dialog "High Score!" || e2e_end
pad "tap a"
sleep 0.3
# Up three times: C; right adds A; down turns it back to "!"; right, then B erases again.
pad "tap up" "tap up" "tap up" "tap right" "tap down" "tap right" "tap b"
sleep 0.3
shot name
field=$(read_text 112 72 16)
[ "$field" = " [C!]           " ] && pass "name field from the pad shows \"[C!]\"" ||
    fail "name field reads \"$field\""
pad "tap start"

wait_table || e2e_end
row1=$(table_row 1)
if [[ "$row1" =~ ^C!\ \[([0-9]+)\]$ ]]; then
    score=${BASH_REMATCH[1]}
    pass "table row 1: \"$row1\""
else
    fail "table row 1 reads \"$row1\", expected C! with the run's score"
    score=0
fi
pad "tap b"

wait_dialog "Play Again?" || e2e_end
pad "tap down"
check_box 108 "D-pad down moved to \"No\""
pad "tap a"
game_wait_exit 10
[ "$EXIT_STATUS" -eq 0 ] && pass "exit status 0 after A on \"No\"" ||
    fail "exit status $EXIT_STATUS; stderr: $(cat "$WORK/stderr")"

expected="$WORK/expected.dat"
{
    printf ' %d\r\nC!\r\n' "$score"
    for k in $(seq 11); do printf -- '-5\r\nLOW%d\r\n' "$k"; done
} >"$expected"
cmp -s "$expected" "$WORK/game/$SCORE_FILE" && pass "high-score file holds exactly the expected bytes" ||
    { fail "high-score file differs:"; show_file "$WORK/game/$SCORE_FILE"; }
e2e_end
