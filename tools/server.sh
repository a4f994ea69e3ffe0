#!/usr/bin/env bash
# A leaderboard on this machine in one command: installs what is missing, builds the
# desktop game and the leaderboard server (build/game, the tree tools/play.sh uses) and the
# browser version (build/web, by tools/web.sh), then serves them on 127.0.0.1: the server's
# page and API at http://127.0.0.1:PORT/ and the browser version under /play/, which sends
# its runs there. The desktop game plays against it with the command printed. The runs are
# kept in build/server-data/. Ctrl+C stops the server.
#   bash tools/server.sh             on port 8080
#   PORT=9000 bash tools/server.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the game and the leaderboard server" cmake ninja-build g++ pkg-config libsdl2-dev \
    libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libpq-dev
port=${PORT:-8080}
build="$here/build/game"
data="$here/build/server-data"
log="$build/server-build.log"
mkdir -p "$build" "$data"

echo "Building the game and the leaderboard server in build/game ..."
if ! { cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_TESTS=OFF \
           -DMURKWING_SERVER=ON &&
       cmake --build "$build" --target murkwingdiver murkwingdiver-server -j 2; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "tools/server.sh: the build failed; its log is $log" >&2
    exit 1
fi
echo "Building the browser version in build/web ..."
bash "$here/tools/web.sh" >"$build/web-build.log" 2>&1 ||
    { tail -n 30 "$build/web-build.log" >&2; echo "tools/server.sh: the browser build failed" >&2; exit 1; }

# The server says where it listens once it takes connections; the addresses are printed
# after that line, and its log of requests follows on the terminal.
"$build/server/murkwingdiver-server" --listen "127.0.0.1:$port" --data "$data" --site "$here/build/web" \
    2> >(while IFS= read -r line; do
             echo "$line" >&2
             if [[ $line == "listening on "* ]]; then
                 url="${line#listening on }/"
                 echo "
Murkwing Diver's leaderboard is served on 127.0.0.1:
  the boards:            $url
  the browser version:   ${url}play/   (its runs are sent to the boards)
  the desktop game:      MURKWING_LEADERBOARD=$url bash tools/play.sh
Runs are kept in $data. Ctrl+C stops the server." >&2
             fi
         done) &
server=$!
trap 'kill -TERM "$server" 2>/dev/null' INT TERM
wait "$server"
