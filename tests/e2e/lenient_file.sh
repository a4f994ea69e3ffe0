#!/usr/bin/env bash
# A session against a high-score file written in the variants that reading accepts (line
# feeds alone, a plus sign, trailing spaces, a quoted score, a decimal point, &H and &O, a
# leading tab, no line end at the very end) with scores no run can beat: no "High Score!"
# comes, the table shows the values read, and after "No" the file holds the same table in
# the game's own format.
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

game_start
game_window || e2e_end
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

expected="$WORK/expected.dat"
printf '%s' \
    $' 900\r\nALPHA\r\n' $' 850\r\nBravo Two, X\r\n' $' 800\r\nCHARLIE\r\n' \
    $' 750\r\nDELTA\r\n' $' 700\r\nECHO\r\n' $' 650\r\nFOXTROT\r\n' $' 600\r\ngolf\r\n' \
    $' 550\r\nHOTEL\r\n' $' 500\r\nINDIA\r\n' $' 450\r\nJULIET\r\n' $' 400\r\nKILO\r\n' \
    $' 350\r\nLIMA\r\n' >"$expected"
if cmp -s "$expected" "$WORK/game/$SCORE_FILE"; then
    pass "file rewritten in the game's format, $(wc -c <"$expected") bytes as expected"
else
    fail "file after exit differs from the expected bytes:"
    show_file "$WORK/game/$SCORE_FILE"
fi
e2e_end
