#!/usr/bin/env bash
# Without a display the game cannot open its window: it ends with status 1 and one line
# on standard error, and creates no file (no high-score file either). The command line is
# read before the window: --version and a wrong option answer without one.
GAME=$(readlink -f "$1")
FONT_BMP=$(readlink -f "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/game"
cp "$FONT_BMP" "$work/game/font.bmp"
failures=0

(cd "$work/game" && exec env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$GAME") \
    >"$work/stdout" 2>"$work/stderr"
status=$?
if [ "$status" -eq 1 ]; then
    echo "ok: status 1"
else
    echo "FAIL: status $status, expected 1"
    failures=$((failures + 1))
fi
lines=$(wc -l <"$work/stderr")
if [ "$lines" -eq 1 ] && [ "$(wc -c <"$work/stderr")" -gt 1 ]; then
    echo "ok: one line on stderr: $(cat "$work/stderr")"
else
    echo "FAIL: $lines lines on stderr:"
    cat "$work/stderr"
    failures=$((failures + 1))
fi
version=$(cd "$work/game" && env -u DISPLAY "$GAME" --version)
[ $? -eq 0 ] && [[ "$version" =~ ^murkwingdiver\ [0-9]+\.[0-9]+\.[0-9]+$ ]] &&
    echo "ok: --version says $version" || { echo "FAIL: --version said '$version'"; failures=$((failures + 1)); }
(cd "$work/game" && env -u DISPLAY "$GAME" --bogus) >"$work/stdout" 2>"$work/stderr"
status=$?
if [ "$status" -eq 2 ] && grep -q '^Usage: murkwingdiver' "$work/stderr" && [ ! -s "$work/stdout" ]; then
    echo "ok: an unknown option gives status 2 and the usage line"
else
    echo "FAIL: unknown option: status $status, stderr: $(cat "$work/stderr")"
    failures=$((failures + 1))
fi
if [ "$(ls -A "$work/game")" = "font.bmp" ]; then
    echo "ok: no file created"
else
    echo "FAIL: files in the working directory: $(ls -A "$work/game")"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
