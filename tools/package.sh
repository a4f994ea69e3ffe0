#!/usr/bin/env bash
# Builds the Debian package of Murkwing Diver, build/package/murkwingdiver_<version>_<arch>.deb:
# a Release build of the game alone, installed under /usr as Debian lays out games (the game
# and its launcher in /usr/games, the font in /usr/share/games/murkwingdiver), stripped, with
# compressed manual pages, the changelog and the copyright file; Depends are read from the
# binary by dpkg-shlibdeps. The same commit gives the same bytes in any folder: file times
# are SOURCE_DATE_EPOCH (by default the release date in the changelog), owners are root, the
# compiler maps the source folder to ".", and nothing records the user or the host.
#
#   bash tools/package.sh
#   SOURCE_DATE_EPOCH=1700000000 bash tools/package.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the Debian package" cmake ninja-build g++ pkg-config libsdl2-dev dpkg-dev binutils
umask 022
export LC_ALL=C TZ=UTC

out="$here/build/package"
build="$out/build"  # kept between runs, so a second run only rebuilds what changed
work="$out/work"    # the package's tree and its control files, made anew each run
root="$work/root"
rm -rf "$work"
mkdir -p "$root/DEBIAN" "$work/debian"
trap 'echo "tools/package.sh failed; the steps are logged in $out/*.log" >&2' ERR

# Debian's hardening flags without -g (the binary is stripped, so debug data would only carry
# paths into the build id); run from the source folder, so -ffile-prefix-map maps it to ".".
cd "$here"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_TESTS=OFF \
    -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_INSTALL_PREFIX=/usr -DMURKWING_INSTALL_BINDIR=games \
    -DMURKWING_INSTALL_DATADIR=share/games/murkwingdiver >"$out/configure.log"
cmake --build "$build" --target murkwingdiver -j 2 >"$out/build.log"
DESTDIR="$root" cmake --install "$build" >"$out/install.log"

cp "$build/dist/debian/control" "$build/dist/debian/changelog" "$work/debian/"
cd "$work"
version=$(dpkg-parsechangelog -SVersion)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -STimestamp)}

# What debhelper would do: strip, compress the manual pages (the launcher's page becomes a
# link to the game's), add the changelog and the copyright file.
strip --remove-section=.comment --remove-section=.note "$root/usr/games/murkwingdiver"
man6="$root/usr/share/man/man6"
rm "$man6/murkwingdiver-play.6"
gzip -9n "$man6/murkwingdiver.6"
ln -s murkwingdiver.6.gz "$man6/murkwingdiver-play.6.gz"
doc="$root/usr/share/doc/murkwingdiver"
mkdir -p "$doc"
gzip -9n <"$work/debian/changelog" >"$doc/changelog.gz"
cp "$build/dist/debian/copyright" "$doc/copyright"

find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root/usr/games/murkwingdiver" "$root/usr/games/murkwingdiver-play"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums"

dpkg-shlibdeps -Tdebian/substvars "$root/usr/games/murkwingdiver"
dpkg-gencontrol -pmurkwingdiver -P"$root" -Tdebian/substvars -fdebian/files
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

deb="$out/murkwingdiver_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
