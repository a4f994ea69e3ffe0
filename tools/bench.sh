#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them: blits and circles beside memcpy,
# SDL2 and pixman (gfx_bench), one whole frame and the start-up (game_bench),
# verifications of replays per second with the sizes of replay files (replay_bench), and
# the synthesizer's cost as a ratio to real time (audio_bench).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
. "$here/tools/ensure-packages.sh"
ensure_packages --for "the benchmarks" cmake ninja-build g++ pkg-config libsdl2-dev libgtest-dev libgmock-dev \
    libbenchmark-dev libpixman-1-dev libcpp-httplib-dev
build="$here/build/bench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMURKWING_BENCH=ON \
    -DMURKWING_TESTS=OFF >/dev/null
cmake --build "$build" --target gfx_bench game_bench replay_bench audio_bench
"$build/bench/gfx_bench" "$@"
"$build/bench/game_bench" "$@"
"$build/bench/replay_bench" "$@"
"$build/bench/audio_bench" "$@"
