#!/usr/bin/env bash
# A score entering a table of low scores is in the high-score file as soon as the name is
# typed: the file is checked while the table screen is still shown, the game is then
# killed with SIGKILL (no shut-down), and a fresh start in the same folder shows the entry
# on its table screen.
. "$(dirname "$0")/lib.sh"

e2e_begin
write_low_scores "$WORK/game/$SCORE_FILE"
game_start
game_window || e2e_end
quit_run
wait_dialog "High Score!" || e2e_end
enter_name bob
press Return
wait_table || e2e_end
row1=$(table_row 1)
if [[ "$row1" =~ ^BOB\ \[([0-9]+)\]$ ]]; then
    score=${BASH_REMATCH[1]}
    pass "table row 1: \"$row1\""
else
    fail "table row 1 reads \"$row1\""
    score=0
fi

expected="$WORK/expected.dat"
{
    printf ' %d\r\nbob\r\n' "$score"
    for k in $(seq 11); do printf -- '-5\r\nLOW%d\r\n' "$k"; done
} >"$expected"
if cmp -s "$expected" "$WORK/game/$SCORE_FILE"; then
    pass "while the table shows, the file already holds the new entry (exact bytes)"
else
    fail "while the table shows, the file is not the table with the new entry:"
    show_file "$WORK/game/$SCORE_FILE"
fi

kill -KILL "$GAME_PID"
wait "$GAME_PID" 2>/dev/null
GAME_PID=""
cmp -s "$expected" "$WORK/game/$SCORE_FILE" && pass "file intact after SIGKILL" ||
    fail "file changed by SIGKILL"
[ -z "$(ls "$WORK/game" | grep -vx -e font.bmp -e "$SCORE_FILE" -e replays)" ] ||
    fail "files left behind in the working directory: $(ls "$WORK/game")"

# A fresh start: its run's score enters too (any score beats -5); confirm an empty name and
# look for bob's entry on the table screen.
game_start
game_window || e2e_end
quit_run
wait_dialog "High Score!" || e2e_end
enter_name ""
press Return
wait_table || e2e_end
row1=$(table_row 1)
row2=$(table_row 2)
if [ "$row1" = "BOB [$score]" ] || [ "$row2" = "BOB [$score]" ]; then
    pass "fresh start shows \"BOB [$score]\" (rows: \"$row1\", \"$row2\")"
else
    fail "fresh start: rows 1 and 2 read \"$row1\" and \"$row2\", no \"BOB [$score]\""
fi
press Return
answer_no_and_exit
grep -q $'^bob\r$' "$WORK/game/$SCORE_FILE" && pass "bob is still in the file after exit" ||
    fail "bob is gone from the file after exit"

# Both runs were recorded, linked to their table entries, and check out.
verdicts=$("$GAME" --verify "$WORK"/game/replays/*.mwr 2>&1)
if [ $? -eq 0 ] && [ "$(grep -c ', agrees$' <<<"$verdicts")" -eq 2 ]; then
    pass "both runs' replays verify"
else
    fail "replays do not verify: $verdicts"
fi
[ "$(grep -c $'^entry\t' "$WORK/game/replays/index.txt")" -eq 2 ] && pass "both entries link their replays" ||
    fail "index.txt: $(cat "$WORK/game/replays/index.txt")"
e2e_end
