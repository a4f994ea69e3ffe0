#!/usr/bin/env bash
# The browser build: installs what is missing (emscripten, Node.js) and builds build/web/
# (index.html, murkwingdiver.js, .wasm and .data).
#   bash tools/web.sh          builds build/web/
#   bash tools/web.sh serve    builds, then serves it on http://127.0.0.1:8000/
#   bash tools/web.sh test     builds the test build (seed and hold URL parameters) into
#                              build/web-test/, for tests/web
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the browser build" emscripten nodejs cmake ninja-build python3
# Debian's emscripten finds its JavaScript helpers (acorn) through Node's system folder.
export NODE_PATH=/usr/share/nodejs

# Builds one site: $1 the folder under build/, then cmake options.
build_site() {
    local name=$1
    shift
    local tree="$here/build/$name-cmake" site="$here/build/$name"
    emcmake cmake -S "$here" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$tree" --target murkwingdiver_web -j 2
    mkdir -p "$site"
    cp "$here/platform/web/index.html" "$site/index.html"
    cp "$tree/game/murkwingdiver.js" "$tree/game/murkwingdiver.wasm" "$tree/game/murkwingdiver.data" "$site/"
    echo "built $site"
}

case "${1:-build}" in
    build) build_site web ;;
    test) build_site web-test -DMURKWING_WEB_TEST=ON ;;
    serve)
        build_site web
        echo "Play at http://127.0.0.1:8000/ (Ctrl+C stops the server)"
        cd "$here/build/web"
        exec python3 -m http.server 8000 --bind 127.0.0.1
        ;;
    *) echo "usage: bash tools/web.sh [build|serve|test]" >&2; exit 2 ;;
esac
