#!/usr/bin/env bash
# Alt+F4 asks the window to close; the game keeps its window and goes on. Checked during a
# run (the frame counter keeps rising) and during "Quit?" (the dialog stays and still
# answers: Enter on "No" resumes the same run). A table of unbeatable scores keeps the
# order of the screens fixed.
. "$(dirname "$0")/lib.sh"

# Whether the game's window is still there.
window_alive() { xdotool search --pid "$GAME_PID" --name '^Murkwing Diver$' >/dev/null 2>&1; }

e2e_begin
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"
game_start
game_window || e2e_end

wait_status 10 || e2e_end
before=$STATUS_TIME
press alt+F4
sleep 0.3
if window_alive && wait_status 5 && [ "$STATUS_TIME" -gt "$before" ]; then
    pass "Alt+F4 during a run: window stays, frames go on ($before -> $STATUS_TIME)"
else
    fail "Alt+F4 during a run: window or run gone (frame $before, then ${STATUS_TIME:-none})"
fi

paused_at=$STATUS_TIME
press Escape
wait_dialog "Quit?" || e2e_end
press alt+F4
sleep 0.5
shot after-close
if window_alive && shows_centred " Quit? " 36; then
    pass "Alt+F4 during \"Quit?\": window and dialog stay"
else
    fail "Alt+F4 during \"Quit?\": window alive: $(window_alive && echo yes || echo no), y 36 reads \"$(read_text 0 36 30)\""
fi
check_box 72 "\"Quit?\" after Alt+F4, still on option 1"
press Return
if wait_status 5 && [ "$STATUS_TIME" -gt "$paused_at" ]; then
    pass "\"No\" after Alt+F4 resumes the run (frame $STATUS_TIME)"
else
    fail "the run did not resume after \"No\""
fi

# The craft falls out of the field within a couple of seconds; the table follows.
wait_table 10 || e2e_end
[ "$(table_row 1)" = "TOP1 [1000]" ] || fail "table row 1 reads \"$(table_row 1)\""
press Return
answer_no_and_exit
e2e_end
