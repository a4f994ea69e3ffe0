#!/usr/bin/env bash
# Another window takes the focus during a run: "Quit?" opens; "No" resumes the same run.
# The focus moves at once after the window shows, well before the craft falls out.
. "$(dirname "$0")/lib.sh"

e2e_begin
xlogo 2>/dev/null & LOGO_PID=$!
LOGO=$(timeout 10 xdotool search --sync --pid $LOGO_PID --name '^xlogo$' | head -n 1)
game_start
game_window || e2e_end
xdotool windowfocus "$LOGO"
wait_dialog "Quit?" && check_box 72 "focus taken by xlogo: \"Quit?\" on \"No\""
focus_window
press Return
wait_status 5 && pass "\"No\" resumed the run (frame $STATUS_TIME)" || fail "no run after \"No\""
kill $LOGO_PID
e2e_end
