#!/usr/bin/env bash
# Another window (xlogo) takes the focus during a run: "Quit?" opens as for Escape, and
# "No" resumes the same run (its frame counter goes on).
. "$(dirname "$0")/lib.sh"

e2e_begin
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"
xlogo 2>/dev/null &
LOGO_PID=$!
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
