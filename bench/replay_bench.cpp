// Checking replays: verifications per second of 2,000-frame runs (goal: at least 500 on one
// core), and the sizes of replay files. The 2,000-frame run is flown by a pilot that steers
// for the middle of the passage ahead, on the game's own cave and craft, and ends with
// "Quit?" answered "Yes" in its last frame. With a path argument after the benchmark flags
// (--write-replay=PATH) the run is also written there, for trying --verify by hand.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "bench/bench_support.h"
#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "game/run_hooks.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "replay/flight.h"
#include "replay/replay_file.h"

namespace {

constexpr int32_t RUN_FRAMES = 2000;

std::vector<bool>& pilot_bits() {
    static std::vector<bool> bits;
    return bits;
}

// Holds the climb when the craft, braking at 0.6 per frame, would stop below the middle of
// the open rows a few columns ahead of the probe.
bool pilot() {
    const CaveState& cave = cave_state();
    const float column = static_cast<float>((cave.probe_column + 6) % CAVE_WIDTH);
    int first = -1, last = -1;
    for (int y = 0; y < CAVE_HEIGHT; ++y) {
        if (read_pixel(cave.cave, column, static_cast<float>(y)) != COLOR_ROCK) {
            if (first < 0) first = y;
            last = y;
        }
    }
    const double target = first < 0 ? 160.0 : (first + last) / 2.0;
    const CraftState& c = craft_state();
    const double v = c.velocity;
    const double stop_y = c.y + v + (v > 0 ? v * v / 1.2 : -v * v / 1.2);
    const bool held = stop_y > target;
    pilot_bits().push_back(held);
    return held;
}

// The pilot's run of at most `frames` frames from the start of a process seeded at 1000 s
// (3,200 backdrop draws); it quits in its last frame unless it crashed before.
ReplayRecord piloted_run(int32_t frames) {
    headless_reset();
    open_screen(480, 320, 32, 0, 0, 0);
    ReplayRecord r;
    r.game_version = "murkwingdiver bench";
    r.backdrop_seed = r.run_seed = 1000;
    r.run_draws = 4 * BACKDROP_CIRCLES;
    set_random_position({r.run_seed, r.run_draws});
    build_cave_image();
    cave_reset();
    craft_reset();
    run_hooks().climb_source = pilot;
    pilot_bits().clear();
    for (r.frames = 1; r.frames <= frames; ++r.frames) {
        frame_update();
        if (craft_state().crashed != 0) break;
    }
    run_hooks() = RunHooks{};
    r.ending = craft_state().crashed != 0 ? RunEnding::CRASH : RunEnding::QUIT;
    if (r.ending == RunEnding::QUIT) r.frames = frames;
    r.level = score_for_height(cave_state().passage_height);
    r.flight_check = flight_check();
    r.climb = pilot_bits();
    free_images();
    headless_reset();  // checks run without a screen, as --verify does
    return r;
}

const std::string& piloted_replay() {
    static const std::string bytes = encode_replay(piloted_run(RUN_FRAMES));
    return bytes;
}

void bench_verify_2000_frames(benchmark::State& state) {
    const std::string& bytes = piloted_replay();
    for (auto _ : state) {
        const ReplayVerdict v = verify_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (!v.agrees) state.SkipWithError(v.why.c_str());
        benchmark::DoNotOptimize(v);
    }
    state.counters["verifications/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                           benchmark::Counter::kIsRate);
}
BENCHMARK(bench_verify_2000_frames)->Unit(benchmark::kMillisecond)->Repetitions(3);

// A 10,000-frame run's climb input as a player gives it: holds and releases of 2 to 30
// frames; and the worst case, a change in every frame.
size_t replay_bytes(int32_t frames, bool every_frame) {
    ReplayRecord r;
    r.game_version = "murkwingdiver 1.0.0";
    r.name = "ABCDEFGHIJKL";
    r.run_draws = 1000000;
    r.frames = frames;
    std::mt19937 random(1);
    bool held = false;
    while (r.climb.size() < static_cast<size_t>(frames)) {
        const size_t length = every_frame ? 1 : 2 + random() % 29;
        r.climb.insert(r.climb.end(), std::min(length, frames - r.climb.size()), held);
        held = !held;
    }
    return encode_replay(r).size();
}

}  // namespace

int main(int argc, char** argv) {
    std::string write_to;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--write-replay=", 15) == 0) {
            write_to = argv[i] + 15;
            for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    const ReplayRecord run = [] {
        ReplayRecord r;
        std::string why;
        decode_replay(piloted_replay(), r, why);
        return r;
    }();
    std::printf("piloted run: %d frames, level %d, %s, replay %zu bytes\n", run.frames, run.level,
                run.ending == RunEnding::QUIT ? "quit in its last frame" : "crashed", piloted_replay().size());
    const ReplayRecord long_run = piloted_run(10000);
    std::printf("piloted run of up to 10,000 frames: %d frames, level %d, replay %zu bytes\n", long_run.frames,
                long_run.level, encode_replay(long_run).size());
    std::printf("10,000-frame replay: %zu bytes with holds of 2..30 frames, %zu bytes changing every frame\n",
                replay_bytes(10000, false), replay_bytes(10000, true));
    if (!write_to.empty()) std::ofstream(write_to, std::ios::binary) << piloted_replay();
    const auto best = run_benchmarks(argc, argv);
    if (!best) return 1;
    const auto at = best->find("bench_verify_2000_frames");
    if (at != best->end()) {
        std::printf("verifications of 2,000-frame runs: %.0f per second (goal: at least 500)\n", 1e6 / at->second);
    }
    benchmark::Shutdown();
    return 0;
}
