#!/usr/bin/env bash
# Checks by hand (as root; not part of the test command) that ensure_packages waits for the
# package manager: another process holds apt's and dpkg's locks for HOLD seconds (10), the
# way a running apt-get does, while ensure_packages installs PACKAGE (sl, which must not be
# installed); it must finish after the locks are let go, with the package installed. The
# package is removed again at the end.
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
package=${1:-sl}
hold=${HOLD:-10}
[ "$(id -u)" -eq 0 ] || { echo "run as root"; exit 2; }
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" &&
    { echo "$package is already installed"; exit 2; }
ready=$(mktemp)
# apt and dpkg take these with fcntl locks, as lockf does.
python3 -c '
import fcntl, sys, time
held = [open(p, "a") for p in ("/var/lib/dpkg/lock-frontend", "/var/lib/dpkg/lock", "/var/lib/apt/lists/lock")]
for f in held: fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[1], "w").write("held")
time.sleep(float(sys.argv[2]))' "$ready" "$hold" &
holder=$!
trap 'kill $holder 2>/dev/null; rm -f "$ready"' EXIT
while [ ! -s "$ready" ]; do kill -0 $holder 2>/dev/null || { echo "cannot take the locks"; exit 1; }; sleep 0.1; done
start=$SECONDS
ensure_packages --for "the lock check" "$package"
status=$?
took=$((SECONDS - start))
installed=no
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" && installed=yes
apt-get -o DPkg::Lock::Timeout=600 remove -y -qq "$package" >/dev/null 2>&1
echo "ensure_packages: status $status after $took s (locks held $hold s), $package installed: $installed"
[ "$status" -eq 0 ] && [ "$installed" = yes ] && [ "$took" -ge $((hold - 1)) ]
