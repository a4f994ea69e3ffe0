#!/usr/bin/env bash
# Another window (xlogo) takes the focus during a run: the game stops at "Quit?" as if
# Escape had been pressed, and "No" resumes the same run (its frame counter goes on).
. "$(dirname "$0")/lib.sh"

command -v xlogo >/dev/null || { echo "FAIL: xlogo is not installed"; exit 1; }
e2e_begin
for k in $(seq 12); do printf ' 1000\r\nTOP%d\r\n' "$k"; done >"$WORK/game/$SCORE_FILE"
xlogo -geometry 100x100+700+500 2>/dev/null &
LOGO_PID=$!
LOGO=$(timeout 10 xdotool search --sync --pid "$LOGO_PID" --name '^xlogo$' 2>/dev/null | head -n 1)
[ -n "$LOGO" ] || { fail "no xlogo window"; kill "$LOGO_PID"; e2e_end; }
game_start
game_window || { kill "$LOGO_PID"; e2e_end; }

if wait_status 10; then
    paused_at=$STATUS_TIME
    xdotool windowfocus "$LOGO"
    wait_dialog "Quit?" && check_box 72 "focus taken by xlogo at frame $paused_at opened \"Quit?\" on \"No\""
    focus_window
    press Return
    if wait_status 5 && [ "$STATUS_TIME" -gt "$paused_at" ]; then
        pass "\"No\" resumed the same run (frame $paused_at -> $STATUS_TIME)"
    else
        fail "the run did not resume after \"No\" (frame $paused_at, then ${STATUS_TIME:-none})"
    fi
else
    fail "no status line during the run"
fi
kill "$LOGO_PID"
e2e_end
