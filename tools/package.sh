#!/usr/bin/env bash
# Builds the Debian packages of Murkwing Diver (the game, murkwingdiver, and the leaderboard
# server, murkwingdiver-server) from its source package (debian/) with dpkg-buildpackage, in
# a clean copy of the sources (the files git tracks, and new ones it does not ignore;
# outside a repository, all but build/) under build/package/, and prints the path of the
# game's .deb; the server's .deb, the .changes, .buildinfo, .dsc and source tarball lie
# beside it.
# debian/rules says what goes in the package. The same sources give the same bytes in any
# folder: the file times are SOURCE_DATE_EPOCH, by default the date of the latest entry in
# debian/changelog.
#
#   bash tools/package.sh
#   SOURCE_DATE_EPOCH=1700000000 bash tools/package.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the Debian packages" build-essential dpkg-dev debhelper cmake pkg-config libsdl2-dev \
    libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libpq-dev git
umask 022
export LC_ALL=C TZ=UTC

out="$here/build/package"
version=$(dpkg-parsechangelog -l "$here/debian/changelog" -SVersion)
source="$out/murkwingdiver-$version"
rm -rf "$out"
mkdir -p "$source"
if [ "$(git -C "$here" rev-parse --show-toplevel 2>/dev/null)" = "$here" ]; then
    (cd "$here" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -)
else  # sources outside a repository of their own: all but the build folder
    tar -C "$here" --exclude=./build -cf - .
fi | tar -xf - -C "$source"

log="$out/dpkg-buildpackage.log"
(cd "$source" && dpkg-buildpackage -us -uc -j2) >"$log" 2>&1 ||
    { tail -n 30 "$log" >&2; echo "tools/package.sh: dpkg-buildpackage failed; see $log" >&2; exit 1; }
echo "$out/murkwingdiver_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
