#!/usr/bin/env bash
# Alt+F4 asks the window to close; the game keeps its window and goes on. Checked during a
# run (later frames still read keys) and during "Quit?" (the dialog stays and still
# answers: Enter on "No" resumes the same run). A table of unbeatable scores keeps the
# order of the screens fixed.
#
# Nothing here races the falling craft: the first run is left to end by itself, and the
# second run's keys are typed at "Play Again?" together with the Enter that starts it. The
# dialog answers the Enter and leaves the rest queued; the run then reads one key per frame
# (Enter, Alt+F4, Escape), so Escape opens "Quit?" in its third frame however slowly the
# machine runs. Only the check that "No" resumes needs one screenshot of the resumed run
# before its craft falls out (about 37 frames).
. "$(dirname "$0")/lib.sh"

# Whether the game's window is still there.
window_alive() { xdotool search --pid "$GAME_PID" --name '^Murkwing Diver$' >/dev/null 2>&1; }

e2e_begin
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"
game_start
game_window || e2e_end

wait_table 20 || e2e_end
[ "$(table_row 1)" = "TOP1 [1000]" ] || fail "table row 1 reads \"$(table_row 1)\""
press Return
wait_dialog "Play Again?" || e2e_end
xdotool key --delay 30 Return alt+F4 Escape
if wait_dialog "Quit?" && window_alive; then
    pass "Alt+F4 during a run: window stays, and a later frame reads Escape"
else
    fail "Alt+F4 during a run: window alive: $(window_alive && echo yes || echo no)"
    e2e_end
fi

# The dialog reads one key per pass: the Down typed after Alt+F4 moves the box only once
# Alt+F4 has been read.
press alt+F4 Down
check_box 108 "\"Quit?\" after Alt+F4 and Down, on option 2"
shot after-close
if window_alive && shows_centred " Quit? " 36; then
    pass "Alt+F4 during \"Quit?\": window and dialog stay"
else
    fail "Alt+F4 during \"Quit?\": window alive: $(window_alive && echo yes || echo no), y 36 reads \"$(read_text 0 36 30)\""
fi
press Up
check_box 72 "\"Quit?\" after Up, on option 1"
press Return
if wait_status 10; then
    pass "\"No\" after Alt+F4 resumes the run (frame $STATUS_TIME)"
    check_status_tile
else
    fail "the run did not resume after \"No\""
fi
# The craft falls out of the field within a couple of seconds; the table follows.
wait_table 10 || e2e_end
press Return
answer_no_and_exit
e2e_end
