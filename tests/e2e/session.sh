#!/usr/bin/env bash
# A whole session of the real game, played through its window: a run ended through "Quit?"
# (Escape at once, cursor down, Enter), a name typed for the score, which enters a prepared table
# of low scores (-5, so any run's score enters), the table confirmed, "Play Again?"
# answered "No". Checks the exit status, the high-score file byte for byte, the selection
# box rows and the table title on the way (close_keys.sh checks the status line's tile).
. "$(dirname "$0")/lib.sh"

e2e_begin
write_low_scores "$WORK/game/$SCORE_FILE"
game_start
game_window || e2e_end

press Escape
wait_dialog "Quit?" || e2e_end
[ "$(read_text 10 72 4)" = " NO " ] && [ "$(read_text 10 108 5)" = " YES " ] &&
    pass "options \" No \" at y 72 and \" Yes \" at y 108, x 10" ||
    fail "options read \"$(read_text 10 72 4)\" and \"$(read_text 10 108 5)\""
check_box 72 "\"Quit?\" opened on option 1"
press Down
check_box 108 "\"Quit?\" after cursor down"
press Return

wait_dialog "High Score!" || e2e_end
# The name field " [" + name + "] " padded to 16 cells, centred: x 112, y 72.
enter_name "ace1!"
press Return

wait_table || e2e_end
row1=$(table_row 1)
if [[ "$row1" =~ ^ACE1!\ \[([0-9]+)\]$ ]]; then
    score=${BASH_REMATCH[1]}
    pass "table row 1: \"$row1\""
else
    fail "table row 1 reads \"$row1\", expected ACE1! with the run's score"
    score=0
fi
# A run's score is floor(1.25 x bends): never 4, 9, 14, ...
[ $((score % 5)) -ne 4 ] || fail "score $score is not floor(1.25 x a number of bends)"
row2=$(table_row 2)
[ "$row2" = "LOW1 [ 5]" ] && pass "table row 2: \"$row2\" (the minus sign has no glyph)" ||
    fail "table row 2 reads \"$row2\""
press Return

answer_no_and_exit

expected="$WORK/expected.dat"
{
    printf ' %d\r\nace1!\r\n' "$score"
    for k in $(seq 11); do printf -- '-5\r\nLOW%d\r\n' "$k"; done
} >"$expected"
if cmp -s "$expected" "$WORK/game/$SCORE_FILE"; then
    pass "high-score file holds exactly the expected $(wc -c <"$expected") bytes"
else
    fail "high-score file differs from the expected bytes:"
    show_file "$WORK/game/$SCORE_FILE"
fi
e2e_end
