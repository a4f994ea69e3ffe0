#!/usr/bin/env bash
# The Debian packages from start to end: debian/changelog and debian/control agree with the
# version, date and web address in CMakeLists.txt, tools/package.sh builds the game's and the
# server's package with dpkg-buildpackage, lintian finds no error and no warning in the
# .changes (source and binaries), a second build from a copy of the sources in another
# folder is byte-identical, apt-get installs both, the game's files are where it lists them,
# dist/install_test.sh plays the installed launcher (under DISPLAY or a private Xvfb), the
# server answers --version and its systemd unit is in place, and a purge leaves none of
# their files. Prints an "ok:" or "FAIL:" line per check. It installs into the system: run
# it as root on a throwaway machine, as CI does, or with sudo; a murkwingdiver or
# murkwingdiver-server installed before is replaced and purged.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages lintian man-db desktop-file-utils appstream xvfb xdotool git
sudo=$([ "$(id -u)" -ne 0 ] && echo sudo)
icon_sizes="16 32 48 64 128 256"  # the hicolor sizes the package must ship

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
started=$SECONDS
step() { echo "-- $* (at $((SECONDS - started)) s)"; }

work=$(mktemp -d)
installed=""
xvfb_pid=""
cleanup() {  # purges the package if a check stopped the run after its install
    [ -n "$installed" ] && $sudo dpkg --purge murkwingdiver murkwingdiver-server >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The launcher's window needs an X server: the caller's, or a private Xvfb.
if [ -z "${DISPLAY:-}" ]; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n 1 "$work/display")"
fi
unset WAYLAND_DISPLAY XDG_RUNTIME_DIR  # the launcher would prefer a Wayland desktop to X11

# The version is kept in CMakeLists.txt; a release adds its entry to debian/changelog.
step "the version"
version=$(sed -n 's/^project(murkwingdiver VERSION \([^ ]*\) .*/\1/p' "$here/CMakeLists.txt")
release_date=$(sed -n 's/^set(MURKWING_RELEASE_DATE \(.*\))$/\1/p' "$here/dist/CMakeLists.txt")
homepage=$(sed -n 's/^set(MURKWING_HOMEPAGE "\([^"]*\)".*/\1/p' "$here/dist/CMakeLists.txt")
changelog=("$(dpkg-parsechangelog -l "$here/debian/changelog" -SVersion)"
           "$(date -u -d "$(dpkg-parsechangelog -l "$here/debian/changelog" -SDate)" +%F)")
[ "${changelog[*]}" = "$version $release_date" ] && pass "debian/changelog: $version of $release_date" ||
    fail "debian/changelog has ${changelog[*]}, CMakeLists.txt $version of $release_date"
grep -qx "Homepage: $homepage" "$here/debian/control" && pass "debian/control: Homepage $homepage" ||
    fail "debian/control's Homepage is not MURKWING_HOMEPAGE, $homepage"

step "building the package"
if ! deb=$(bash "$here/tools/package.sh" | tail -n 1) || [ ! -f "$deb" ]; then
    fail "tools/package.sh wrote no package" && exit 1
fi
server_deb="$(dirname "$deb")/$(basename "$deb" | sed 's/^murkwingdiver_/murkwingdiver-server_/')"
[ -f "$server_deb" ] || { fail "no server package beside $deb" && exit 1; }
pass "built $deb, $(stat -c %s "$deb") bytes, and $(basename "$server_deb"), $(stat -c %s "$server_deb") bytes"

step "lintian"
changes="${deb%.deb}.changes"
lintian --display-info "$changes" 2>&1 | grep -v '^running with root privileges' >"$work/lintian.log"
lintian_status=${PIPESTATUS[0]}
sed 's/^/   /' "$work/lintian.log"
errors=$(grep -c '^[EW]: ' "$work/lintian.log")
[ "$lintian_status" -eq 0 ] && [ "$errors" -eq 0 ] &&
    pass "lintian $(basename "$changes"): no error or warning, $(grep -c '^I: ' "$work/lintian.log") infos" ||
    fail "lintian: $errors errors and warnings (status $lintian_status)"

# The second build works on a copy of the sources (tracked files and new ones not ignored)
# in a folder of another name and length, and builds its tree from scratch.
step "building it again in another folder"
twin="$here/build/package-twin/sources"
rm -rf "$here/build/package-twin"
mkdir -p "$twin"
(cd "$here" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - |
    tar -xf - -C "$twin")
twin_deb=$(bash "$twin/tools/package.sh" | tail -n 1)
echo "   $(sha256sum "$deb")"
echo "   $(sha256sum "$twin_deb")"
twin_server_deb="$(dirname "$twin_deb")/$(basename "$server_deb")"
[ -f "$twin_deb" ] && cmp -s "$deb" "$twin_deb" && cmp -s "$server_deb" "$twin_server_deb" &&
    pass "two builds in two folders are byte-identical" ||
    fail "the builds in $here and $twin differ"

step "installing"
if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" "$server_deb" \
        >"$work/apt.log" 2>&1; then
    cat "$work/apt.log"
    fail "apt-get install $deb" && exit 1
fi
installed=yes
pass "installed; Depends: $(dpkg-query -W -f='${Depends}' murkwingdiver)"
dpkg -L murkwingdiver | sort >"$work/files"
listed() { grep -qx "$1" "$work/files"; }

# Where the package says: the AppStream file names the menu entry, which names the launcher
# (in a folder of the default PATH) and the icon; man finds both manual pages in the package.
metainfo=$(grep -E '^/usr/share/metainfo/[^/]+\.metainfo\.xml$' "$work/files")
app_id=$(basename "$metainfo" .metainfo.xml)
desktop="/usr/share/applications/$app_id.desktop"
listed "$desktop" && pass "menu entry $desktop" || fail "no menu entry $desktop in the package"
launcher_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
launcher=$(grep -xE "/usr/(games|bin)/$launcher_name" "$work/files")
[ -n "$launcher" ] && pass "launcher $launcher" || fail "the entry's $launcher_name is not in /usr/games or /usr/bin"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in $icon_sizes; do
    listed "/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" ||
        fail "no ${size}x${size} icon $icon in the package"
done
for page in murkwingdiver murkwingdiver-play; do
    path=$(man -w 6 "$page" 2>/dev/null)
    listed "$path" && pass "man 6 $page: $path" || fail "man 6 $page finds '$path', not the package's page"
done
font=$(grep -E '/murkwingdiver/font\.bmp$' "$work/files")

step "checking the installed files and playing the launcher"
bindir=$(dirname "${launcher#/usr/}")
datadir=$(dirname "${font#/usr/}")
bash "$here/dist/install_test.sh" --installed /usr "$bindir" "$datadir" "$app_id" "$icon_sizes" |
    grep -vE '^(all install checks passed|[0-9]+ install checks failed)$'
[ "${PIPESTATUS[0]}" -eq 0 ] || failures=$((failures + 1))

# The server: it runs, and the systemd unit is installed as debian/ has it, valid for
# systemd-analyze (where systemd is there), running as a user of its own.
step "checking the server's package"
dpkg -L murkwingdiver-server | sort >>"$work/files"
server_version=$(murkwingdiver-server --version 2>&1)
[ "$server_version" = "murkwingdiver-server $version" ] && pass "murkwingdiver-server --version: $server_version" ||
    fail "murkwingdiver-server --version says '$server_version'"
unit=$(grep -E '/lib/systemd/system/murkwingdiver-server\.service$' "$work/files")
if [ -n "$unit" ] && cmp -s "$unit" "$here/debian/murkwingdiver-server.service"; then
    pass "systemd unit $unit"
else
    fail "no systemd unit murkwingdiver-server.service in the package, or not debian/'s"
fi
grep -qx 'DynamicUser=yes' "$unit" && grep -qx 'StateDirectory=murkwingdiver-server' "$unit" &&
    grep -q -- '--listen 127.0.0.1:8080 --data /var/lib/murkwingdiver-server' "$unit" &&
    pass "the unit runs it as a dynamic user on 127.0.0.1:8080, data in its state folder" ||
    fail "the unit's user, state folder or address"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" >"$work/verify.log" 2>&1 && pass "systemd-analyze verify: the unit is valid" ||
        { sed 's/^/   /' "$work/verify.log"; fail "systemd-analyze verify $unit"; }
fi

# Purged, the packages leave none of their files, and a folder they listed stays only when
# it still holds something or another package owns it. (A folder may be a link to one, as
# /lib is to usr/lib where /usr is merged.)
step "purging"
$sudo dpkg --purge murkwingdiver murkwingdiver-server >"$work/purge.log" 2>&1 ||
    { cat "$work/purge.log"; fail "dpkg --purge"; }
installed=""
before=$failures
while read -r path; do
    if [ -d "$path" ]; then
        [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1 && fail "empty folder $path left"
    elif [ -e "$path" ] || [ -L "$path" ]; then
        fail "$path left behind"
    fi
done <"$work/files"
ls /var/lib/dpkg/info/murkwingdiver.* /var/lib/dpkg/info/murkwingdiver-server.* >/dev/null 2>&1 &&
    fail "dpkg still keeps the packages' records"
[ "$failures" -eq "$before" ] && pass "purged: none of the $(wc -l <"$work/files") listed paths is left"

step "done"
[ "$failures" -eq 0 ] && echo "all package checks passed" || echo "$failures package checks failed"
[ "$failures" -eq 0 ]
