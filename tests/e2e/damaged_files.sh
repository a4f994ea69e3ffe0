#!/usr/bin/env bash
# The game opens, plays and ends through "No" with status 0 whatever its files hold. MODE:
#   missing_font    no font.bmp at all: texts show as rows of blank backing tiles, and one
#                   line on stderr names the file and the folder (as for the damaged fonts)
#   damaged_font    font.bmp cut off halfway through its pixel rows
#   hostile_font    font.bmp whose header claims 2147483647 x -2147483648 pixels at an
#                   offset past the end of the file
#   fifo_font       font.bmp is a FIFO that nobody writes: start-up must not wait for it
#   damaged_scores  a high-score file of binary junk, over-long numbers, an open quote and
#                   huge decimals; the file after exit is in the game's format
# Without a readable font the dialogs are recognised by the backing tiles of their blank
# cells (the spaces around titles and options), which every font leaves alone.
. "$(dirname "$0")/lib.sh"
MODE=${4:?usage: damaged_files.sh GAME PROBE FONT MODE}

# Whether the latest screenshot has backing tiles at every x given, all at row Y.
tiles_at() {
    local y=$1 x
    shift
    for x in "$@"; do "$PROBE" tile "$SHOT" "$x" "$y" || return 1; done
}

# Waits up to TIMEOUT seconds until tiles show at row Y at every x given.
wait_tiles() {
    local what=$1 timeout=$2 y=$3 deadline
    shift 3
    deadline=$((SECONDS + timeout))
    while [ "$SECONDS" -le "$deadline" ]; do
        shot tiles
        if tiles_at "$y" "$@"; then
            pass "$what shows (blank cells at y $y, x $*)"
            return 0
        fi
        kill -0 "$GAME_PID" 2>/dev/null || break
        sleep 0.05
    done
    fail "$what did not show (no tiles at y $y, x $*)"
    return 1
}

# Waits for a running frame: the status line's blank first cell and the blank after
# "[Time", for any length the line can have.
wait_status_tiles() {
    local deadline=$((SECONDS + 10)) length x
    while [ "$SECONDS" -le "$deadline" ]; do
        shot status
        for length in $(seq 20 26); do
            x=$(centred_x "$length")
            if tiles_at 4 "$x" $((x + 96)); then
                pass "a run shows its status line (tiles at y 4 from x $x)"
                return 0
            fi
        done
        sleep 0.05
    done
    fail "no status line tiles at y 4"
    return 1
}

# A session recognised by tiles alone, against a table of unbeatable scores, so that the
# order of the screens is fixed: a run ended through "Quit?" (Escape at once, before the
# craft falls out), table, "Play Again?", "Yes", a run that ends by itself, table, "No".
play_by_tiles() {
    local k
    for k in $(seq 12); do printf ' 1000\r\nTOP\r\n'; done >"$WORK/game/$SCORE_FILE"
    game_start
    game_window || e2e_end
    press Escape
    wait_tiles '"Quit?"' 10 36 184 280 || e2e_end   # " Quit? " from x 184
    check_box 72 "\"Quit?\" on option 1"
    press Down
    check_box 108 "\"Quit?\" after cursor down"
    press Return
    wait_tiles "the table" 10 44 144 208 320 || e2e_end   # " TOP [1000] " from x 144
    press Return
    wait_tiles '"Play Again?"' 10 36 136 216 328 || e2e_end   # " Play Again? " from x 136
    press Return
    wait_status_tiles
    wait_tiles "the table" 10 44 144 208 320 || e2e_end
    press Return
    wait_tiles '"Play Again?"' 10 36 136 216 328 || e2e_end
    press Down Return
    game_wait_exit 10
    [ "$EXIT_STATUS" -eq 0 ] && pass "exit status 0 after \"No\"" ||
        fail "exit status $EXIT_STATUS after \"No\"; stderr: $(cat "$WORK/stderr")"
    # One line on stderr names the font picture and the folder it was looked for in.
    [ "$(wc -l <"$WORK/stderr")" -eq 1 ] && grep -qF "font.bmp in $(cd "$WORK/game" && pwd -P) (" "$WORK/stderr" &&
        pass "stderr: $(cat "$WORK/stderr")" || fail "stderr is not one line on font.bmp: $(cat "$WORK/stderr")"
}

# Writes a 32-bit little-endian value into FILE at OFFSET.
patch_u32() {
    local file=$1 offset=$2 value=$3
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((value & 255)) $((value >> 8 & 255)) \
        $((value >> 16 & 255)) $((value >> 24 & 255)))" |
        dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

case "$MODE" in
missing_font)
    e2e_begin nofont
    play_by_tiles
    [ ! -e "$WORK/game/font.bmp" ] || fail "a font.bmp appeared"
    ;;
damaged_font)
    e2e_begin nofont
    head -c $((54 + 640 * 3 * 9)) "$FONT_BMP" >"$WORK/game/font.bmp"
    play_by_tiles
    ;;
hostile_font)
    e2e_begin nofont
    head -c 200 "$FONT_BMP" >"$WORK/game/font.bmp"
    patch_u32 "$WORK/game/font.bmp" 10 $((0xFFFFFFF0))   # pixel data offset
    patch_u32 "$WORK/game/font.bmp" 18 $((0x7FFFFFFF))   # width
    patch_u32 "$WORK/game/font.bmp" 22 $((0x80000000))   # height: top-down, most negative
    play_by_tiles
    ;;
fifo_font)
    e2e_begin nofont
    mkfifo "$WORK/game/font.bmp"
    play_by_tiles
    ;;
damaged_scores)
    e2e_begin
    {
        head -c 300 "$FONT_BMP"
        printf '\n"open quote, never closed 12 34\n'
        printf '99999999999999999999999999999999\nLONG\n'
        printf '&Hffffffffffffffffffffffff\nHEX\n'
        printf '1e999\nEXP\n'
        printf '%s\n' "-123456789012345678901234567890.5"
        printf '&B\n\0\0\0\r\r\r\n&\n,,,,\n'
    } >"$WORK/game/$SCORE_FILE"
    game_start
    game_window || e2e_end
    # The run ends by itself; whatever the junk read as, its score may or may not enter.
    deadline=$((SECONDS + 20))
    screen=""
    while [ "$SECONDS" -le "$deadline" ] && [ -z "$screen" ]; do
        shot either
        shows_centred " High Score! " 36 && screen=entry
        shows_centred " High Scores " 4 && screen=table
        sleep 0.05
    done
    if [ "$screen" = entry ]; then
        note "the run's score entered the table read from junk"
        enter_name junk
        press Return
    fi
    wait_table || e2e_end
    press Return
    answer_no_and_exit
    file="$WORK/game/$SCORE_FILE"
    lines=$(grep -ac $'\r$' "$file")
    bad_scores=$(awk 'NR % 2 == 1' "$file" | grep -acvE $'^[ -][0-9]+\r$')
    if [ "$lines" -eq 24 ] && [ "$(wc -l <"$file")" -eq 24 ] && [ "$bad_scores" -eq 0 ]; then
        pass "file after exit: 24 lines in the game's format"
    else
        fail "file after exit is not 24 CR LF lines with score lines in the game's format:"
        show_file "$file"
    fi
    ;;
*)
    echo "unknown mode $MODE"
    exit 2
    ;;
esac
e2e_end
