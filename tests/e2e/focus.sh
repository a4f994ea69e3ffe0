#!/usr/bin/env bash
# Another window takes the focus during a run: "Quit?" opens; "No" resumes the same run.
# The first run (against unbeatable scores) ends by itself, so that the focus moves in the
# second, at once after the Enter that starts it at "Play Again?": well before its craft
# falls out, and long after the window's own focus was reported (SDL reports a change on
# X11 a moment late and drops one undone within that moment).
. "$(dirname "$0")/lib.sh"

e2e_begin
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"
xlogo 2>/dev/null & LOGO_PID=$!
LOGO=$(timeout 10 xdotool search --sync --pid $LOGO_PID --name '^xlogo$' | head -n 1)
game_start
game_window || e2e_end
wait_table 20 || e2e_end
press Return
wait_dialog "Play Again?" || e2e_end
press Return
xdotool windowfocus "$LOGO"
wait_dialog "Quit?" && check_box 72 "focus taken by xlogo: \"Quit?\" on \"No\""
focus_window
press Return
wait_status 5 && pass "\"No\" resumed the run (frame $STATUS_TIME)" || fail "no run after \"No\""
kill $LOGO_PID
e2e_end
