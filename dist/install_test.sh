#!/usr/bin/env bash
# Checks a desktop install of the game: every installed file, the menu entry and the AppStream
# file (valid, and naming each other), the manual page, and the installed launcher: without a
# display it must exit 1 with one line on stderr and create no high-score file; under DISPLAY
# it must open a 480x320 window titled "Murkwing Diver" in the player's folder
# ($XDG_DATA_HOME/murkwingdiver) with the installed font copied there.
#
#   install_test.sh BUILD_DIR APP_ID "ICON SIZES"
#       installs the build into a temporary prefix with cmake --install, then checks it
#   install_test.sh --installed PREFIX BINDIR DATADIR APP_ID "ICON SIZES"
#       checks what is installed under PREFIX already (the Debian package: /usr games
#       share/games/murkwingdiver)
set -uo pipefail
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

work=$(mktemp -d)
game_pid=""
holder_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
    [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

if [ "$1" = --installed ]; then
    prefix=$2 bindir=$3 datadir=$4 app_id=$5 icon_sizes=$6
else
    build=$1 app_id=$2 icon_sizes=$3
    bindir=bin datadir=share/murkwingdiver
    prefix="$work/prefix"
    if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
        cat "$work/install.log"
        fail "cmake --install into $prefix"
        exit 1
    fi
    pass "installed into a temporary prefix"
fi

expect_file() {  # path [executable]
    if [ ! -f "$prefix/$1" ]; then
        fail "missing $1"
    elif [ "${2:-}" = executable ] && [ ! -x "$prefix/$1" ]; then
        fail "$1 is not executable"
    else
        pass "$1"
    fi
}
desktop="share/applications/$app_id.desktop"
metainfo="share/metainfo/$app_id.metainfo.xml"
expect_file "$bindir/murkwingdiver" executable
expect_file "$bindir/murkwingdiver-play" executable
expect_file "$datadir/font.bmp"
expect_file "$desktop"
expect_file "$metainfo"
for size in $icon_sizes; do
    icon="share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    expect_file "$icon"
    # The PNG header holds width and height as big-endian words at bytes 16 and 20.
    dims=$(od -An -tu1 -j16 -N8 "$prefix/$icon" 2>/dev/null | tr -s ' ')
    expected_dims=" 0 0 $((size / 256)) $((size % 256)) 0 0 $((size / 256)) $((size % 256))"
    [ "$dims" = "$expected_dims" ] || fail "$icon is not ${size}x${size} (header:$dims)"
done

# The menu entry runs the launcher by name, shows the icons above and names the window class
# the game sets; the AppStream file launches that entry.
desktop-file-validate "$prefix/$desktop" && pass "desktop entry valid" || fail "$desktop invalid"
entry() { sed -n "s/^$1=//p" "$prefix/$desktop"; }
[ "$(entry Categories)" = "Game;ArcadeGame;" ] || fail "desktop entry lacks Categories=Game;ArcadeGame;"
[ "$(entry Exec | cut -d' ' -f1)" = murkwingdiver-play ] || fail "desktop entry runs $(entry Exec)"
[ "$(entry Icon)" = "$app_id" ] || fail "desktop entry's icon is $(entry Icon), not $app_id"
[ "$(entry StartupWMClass)" = "$app_id" ] || fail "desktop entry's window class is $(entry StartupWMClass)"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$prefix/$metainfo" ||
    fail "the AppStream file does not launch $app_id.desktop"
if appstreamcli validate --no-net "$prefix/$metainfo" >"$work/appstream.log" 2>&1; then
    pass "AppStream metainfo valid: $(tail -n 1 "$work/appstream.log")"
else
    cat "$work/appstream.log"
    fail "appstreamcli rejects $metainfo"
fi

# One version: the game's --version, the AppStream release and the manual page agree.
version=$("$prefix/$bindir/murkwingdiver" --version | sed -n 's/^murkwingdiver //p')
grep -q "<release version=\"$version\" date=\"[0-9-]*\">" "$prefix/$metainfo" ||
    fail "no AppStream release for version '$version'"
man6="$prefix/share/man/man6"
[ -n "$(ls "$man6"/murkwingdiver-play.6* 2>/dev/null)" ] || fail "no manual page murkwingdiver-play.6"
page=$(ls "$man6"/murkwingdiver.6* 2>/dev/null | head -n 1)
zcat -f "$page" 2>/dev/null | grep -q "^\.TH MURKWINGDIVER 6 .*\"murkwingdiver $version\"" &&
    pass "manual page $page, version $version" || fail "no manual page murkwingdiver.6 of version $version"

# Without a display: status 1, exactly one line on stderr, no high-score file.
data_home="$work/data"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$data_home" \
    timeout 20 "$prefix/$bindir/murkwingdiver-play" >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] && pass "no display: status 1" || fail "no display: status $status, expected 1"
lines=$(wc -l <"$work/err")
[ "$lines" -eq 1 ] && pass "no display: one line on stderr: $(cat "$work/err")" ||
    fail "no display: $lines lines on stderr: $(cat "$work/err")"
[ ! -e "$data_home/murkwingdiver/murkwingdiver_highscores.dat" ] ||
    fail "no display: a high-score file was created"
cmp -s "$prefix/$datadir/font.bmp" "$data_home/murkwingdiver/font.bmp" &&
    pass "launcher copied the font into the player's folder" ||
    fail "font.bmp not copied to $data_home/murkwingdiver"

# With a display: the launcher must bring up the game's window.
if [ -z "${DISPLAY:-}" ]; then
    echo "DISPLAY is not set: the window check is skipped"
elif ! command -v xdotool >/dev/null; then
    fail "xdotool is not installed: cannot check the window"
else
    # An idle client keeps an X server without -noreset from resetting (and refusing
    # connections) between the clients below.
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        xdotool search --sync --name '^no window is called this$' >/dev/null 2>&1 &
        holder_pid=$!
        sleep 0.2
        kill -0 "$holder_pid" 2>/dev/null && break
    done
    rm -rf "$data_home"
    XDG_DATA_HOME="$data_home" "$prefix/$bindir/murkwingdiver-play" >"$work/out" 2>"$work/err" &
    game_pid=$!   # the launcher execs the game, so this is the game's process
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --pid "$game_pid" --name '^Murkwing Diver$' 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        kill -0 "$game_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -n "$window" ]; then
        pass "window $window titled 'Murkwing Diver'"
        size=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
        [ "$size" = "480x320" ] && pass "window is 480x320" || fail "window geometry $size"
        for _ in $(seq 50); do
            [ -e "$data_home/murkwingdiver/murkwingdiver_highscores.dat" ] && break
            sleep 0.1
        done
        [ -e "$data_home/murkwingdiver/murkwingdiver_highscores.dat" ] &&
            pass "the game runs in the player's folder" ||
            fail "no high-score file in $data_home/murkwingdiver"
        [ "$(readlink -f "/proc/$game_pid/cwd")" = "$(readlink -f "$data_home/murkwingdiver")" ] ||
            fail "the game's working directory is $(readlink -f "/proc/$game_pid/cwd")"
    else
        fail "no window titled 'Murkwing Diver' appeared; stderr: $(cat "$work/err")"
    fi
    kill -KILL "$game_pid" 2>/dev/null
    wait "$game_pid" 2>/dev/null
    game_pid=""
fi

[ "$failures" -eq 0 ] && echo "all install checks passed" || echo "$failures install checks failed"
[ "$failures" -eq 0 ]
