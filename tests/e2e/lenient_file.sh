#!/usr/bin/env bash
# A session against a high-score file written in the variants that reading accepts (line
# feeds alone, a plus sign, trailing spaces, a quoted score, a decimal point, &H and &O, a
# leading tab, no line end at the very end) with scores no run can beat: no "High Score!"
# comes, the table shows the values read, and after "No" the file is as it was: with
# nothing new to save, the game leaves it alone.
. "$(dirname "$0")/lib.sh"

e2e_begin
printf '%s' \
    $'+900\nALPHA\n' \
    $'850   \nBravo Two, X\n' \
    $'"800"\nCHARLIE\n' \
    $'750.4\nDELTA\n' \
    $'&H2BC\nECHO\n' \
    $' 650\r\nFOXTROT\r\n' \
    $'\t600\ngolf\n' \
    $'&h226\nHOTEL\n' \
    $'500.5\nINDIA\n' \
    $'"+450"\nJULIET\n' \
    $'400\t\nKILO\n' \
    $'&O536\nLIMA' >"$WORK/game/$SCORE_FILE"
cp "$WORK/game/$SCORE_FILE" "$WORK/original.dat"

game_start
game_window || e2e_end
wait_status 10 || fail "no status line during the run"
quit_run

wait_table || e2e_end
shown=(
    "ALPHA [900]" "BRAVO TWO  X [850]" "CHARLIE [800]" "DELTA [750]" "ECHO [700]"
    "FOXTROT [650]" "GOLF [600]" "HOTEL [550]" "INDIA [500]" "JULIET [450]" "KILO [400]"
    "LIMA [350]")
for k in $(seq 12); do
    row=$(table_row "$k")
    [ "$row" = "${shown[k - 1]}" ] || fail "table row $k reads \"$row\", expected \"${shown[k - 1]}\""
done
pass "table rows checked against the values read"
press Return

answer_no_and_exit

if cmp -s "$WORK/original.dat" "$WORK/game/$SCORE_FILE"; then
    pass "file left as it was, $(wc -c <"$WORK/original.dat") bytes"
else
    fail "file after exit differs from the file before:"
    show_file "$WORK/game/$SCORE_FILE"
fi
e2e_end
