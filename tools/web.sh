#!/usr/bin/env bash
# The browser build: installs what is missing (emscripten, Node.js) and builds build/web/
# (index.html, murkwingdiver.js, .wasm and .data, the web app's manifest, icons and service
# worker sw.js).
#   bash tools/web.sh          builds build/web/
#   bash tools/web.sh serve [--port N]
#                              builds, then serves it on http://127.0.0.1:8000/ (tools/serve.mjs;
#                              a busy port: the next one)
#   bash tools/web.sh test     builds the test build (seed and hold URL parameters) into
#                              build/web-test/, for tests/web
#   bash tools/web.sh stamp FOLDER
#                              writes FOLDER/sw.js for the site's files as they are in FOLDER
# Ninja decides what to rebuild, and a file is copied into the site only when its contents
# changed: with nothing changed, nothing is built or written.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the browser build" emscripten nodejs cmake ninja-build
# Debian's emscripten finds its JavaScript helpers (acorn) through Node's system folder.
export NODE_PATH=/usr/share/nodejs

web="$here/platform/web"
# The site's files, relative to its folder, all kept by the service worker.
site_files=(index.html manifest.webmanifest murkwingdiver.js murkwingdiver.wasm murkwingdiver.data)
for icon in "$web"/icons/*.png; do site_files+=("icons/${icon##*/}"); done

# Copies $1 to $2 unless $2 already holds the same bytes.
copy_changed() {
    cmp -s "$1" "$2" || cp "$1" "$2"
}

# Writes $1/sw.js: the service worker with the site's files and the build's version, the
# first 16 hex digits of a SHA-256 over their names and contents. Any changed byte gives a
# new version, hence a new cache; an identical rebuild keeps the old one.
stamp_site() {
    local site=$1 version files
    version=$(cd "$site" && sha256sum -- "${site_files[@]}" | sha256sum | cut -c1-16)
    files=$(printf "'%s', " "${site_files[@]}" | sed "s|'index.html'|'./'|; s|, \$||")
    sed -e "s|@VERSION@|$version|" -e "s|'@FILES@'|$files|" "$web/sw.js" >"$site/sw.js.new"
    copy_changed "$site/sw.js.new" "$site/sw.js"
    rm "$site/sw.js.new"
}

# Builds one site: $1 the folder under build/, then cmake options (used when the tree is
# first configured; afterwards ninja runs cmake again itself when a CMakeLists.txt changes).
build_site() {
    local name=$1
    shift
    local tree="$here/build/$name-cmake" site="$here/build/$name"
    [ -f "$tree/build.ninja" ] ||
        emcmake cmake -S "$here" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
    cmake --build "$tree" --target murkwingdiver_web -j 2
    mkdir -p "$site/icons"
    local file
    for file in "${site_files[@]}"; do
        case "$file" in
            murkwingdiver.*) copy_changed "$tree/game/$file" "$site/$file" ;;
            *) copy_changed "$web/$file" "$site/$file" ;;
        esac
    done
    stamp_site "$site"
    echo "built $site"
}

case "${1:-build}" in
    build) build_site web ;;
    test) build_site web-test -DMURKWING_WEB_TEST=ON ;;
    serve)
        build_site web
        shift
        exec node "$here/tools/serve.mjs" "$here/build/web" "$@"
        ;;
    stamp) stamp_site "${2:?usage: bash tools/web.sh stamp FOLDER}" ;;
    *) echo "usage: bash tools/web.sh [build|serve [--port N]|test|stamp FOLDER]" >&2; exit 2 ;;
esac
