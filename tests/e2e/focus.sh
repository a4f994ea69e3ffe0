#!/usr/bin/env bash
# Another window takes the focus during a run: "Quit?" opens; "No" resumes the same run.
. "$(dirname "$0")/lib.sh"

e2e_begin
xlogo 2>/dev/null & LOGO_PID=$!
LOGO=$(timeout 10 xdotool search --sync --pid $LOGO_PID --name '^xlogo$' | head -n 1)
game_start
game_window && wait_status 10 || { fail "no run"; e2e_end; }
paused_at=$STATUS_TIME
xdotool windowfocus "$LOGO"
wait_dialog "Quit?" && check_box 72 "focus taken by xlogo at frame $paused_at: \"Quit?\" on \"No\""
focus_window
press Return
wait_status 5 && [ "$STATUS_TIME" -gt "$paused_at" ] && pass "\"No\" resumed the run ($paused_at -> $STATUS_TIME)" ||
    fail "no run after \"No\" (frame $paused_at, then ${STATUS_TIME:-none})"
kill $LOGO_PID
e2e_end
