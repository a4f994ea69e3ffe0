#!/usr/bin/env bash
# Debian's install-and-purge tester on the packages: piuparts makes a fresh bookworm chroot
# with debootstrap from the Debian mirror apt is set up with, installs the packages there with
# their Depends, removes and purges them, and fails if anything of them is left or anything
# else changed. It builds the game's and the leaderboard server's packages first with
# tools/package.sh, unless given .deb files. It takes
# minutes (most of them for debootstrap) and runs as root (through sudo otherwise); it prints
# piuparts' PASS or FAIL lines and keeps the whole log in build/piuparts.log.
#
#   bash dist/piuparts.sh [murkwingdiver_<version>_<arch>.deb ...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages piuparts debootstrap debian-archive-keyring
sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo

if [ $# -gt 0 ]; then
    debs=("$@")
else
    game=$(bash "$here/tools/package.sh" | tail -n 1)
    debs=("$game" "${game/murkwingdiver_/murkwingdiver-server_}")
fi
# The first Debian mirror in apt's sources (one-line or deb822 form), not the security one.
mirror=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
             2>/dev/null || true; } | sed -n -e 's|^deb \(\[[^]]*\] \)\{0,1\}\(\S*/debian\)/\{0,1\} .*|\2|p' \
             -e 's|^URIs: \(\S*/debian\)/\{0,1\}$|\1|p' | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}
log="$here/build/piuparts.log"
mkdir -p "$here/build"
echo "piuparts on ${debs[*]}, bookworm from $mirror; log in $log"
status=0
$sudo piuparts --distribution=bookworm --mirror="$mirror" \
    --keyring=/usr/share/keyrings/debian-archive-keyring.gpg "${debs[@]}" >"$log" 2>&1 || status=$?
grep -E ' (PASS|FAIL|ERROR):' "$log" || tail -n 5 "$log"
exit "$status"
