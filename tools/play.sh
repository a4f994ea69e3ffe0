#!/usr/bin/env bash
# Builds Murkwing Diver and starts it in the player's own folder, which keeps the font
# picture and the high-score file: $XDG_DATA_HOME/murkwingdiver (~/.local/share/murkwingdiver).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages cmake ninja-build g++ pkg-config libsdl2-dev

cmake -S "$here" -B "$here/build/game" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_TESTS=OFF >/dev/null
cmake --build "$here/build/game" --target murkwingdiver

home="${XDG_DATA_HOME:-$HOME/.local/share}/murkwingdiver"
mkdir -p "$home"
cp "$here/data/font.bmp" "$home/font.bmp"
cd "$home"
exec "$here/build/game/game/murkwingdiver"
