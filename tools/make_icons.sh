#!/usr/bin/env bash
# Regenerates the desktop icons dist/icons/NxN/murkwingdiver.png at the hicolor sizes, and
# the web app's icons platform/web/icons/ (32 pixels for the tab; 192 and 512, and a
# full-bleed 512 that phones crop to their own shape, for the manifest), from
# tools/make_icon.cpp. Needs g++ and ImageMagick's convert; the PNGs are committed, so only
# run this after changing the drawing.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -o "$work/make_icon" "$here/tools/make_icon.cpp"
for size in 16 32 48 64 128 256; do
    mkdir -p "$here/dist/icons/${size}x${size}"
    "$work/make_icon" "$size" "$work/icon-$size.pam"
    # -strip drops the time stamps convert would add, so the same drawing gives the same file.
    convert "$work/icon-$size.pam" -strip "PNG32:$here/dist/icons/${size}x${size}/murkwingdiver.png"
done
mkdir -p "$here/platform/web/icons"
web_icon() {  # SIZE NAME [maskable]
    "$work/make_icon" "$1" "$work/web.pam" "${@:3}"
    convert "$work/web.pam" -strip "PNG32:$here/platform/web/icons/$2.png"
}
web_icon 32 icon-32
web_icon 192 icon-192
web_icon 512 icon-512
web_icon 512 icon-maskable-512 maskable
echo "icons written to $here/dist/icons and $here/platform/web/icons"
