// The synthesizer's cost: 60 s of a typical run's sound rendered as the desktop pulls it,
// in blocks of 256 frames, with the events of a steered run applied between blocks: the
// flight tone following a craft that climbs and falls every few frames, a bend every 40
// frames with its chime, a tick now and then, and a crash at the end. Printed as the ratio
// of the render's processor time to the 60 s of sound it makes (goal: at most 0.5%).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/synth.h"
#include "bench/bench_support.h"

namespace {

constexpr int SECONDS = 60;
constexpr int BLOCK = 256;
constexpr int FRAME_SAMPLES = 1728;  // one game frame: 16 ms retrace wait and 20 ms pause
constexpr int REPETITIONS = 5;

void render_minute(benchmark::State& state) {
    std::vector<float> block(2 * BLOCK);
    for (auto _ : state) {
        audio::Synth synth;
        int frame = 0;
        float velocity = -8.0f;
        for (long done = 0; done < long{SECONDS} * audio::SAMPLE_RATE; done += BLOCK) {
            // The game frames that began before this block, each with its events.
            while (long{frame} * FRAME_SAMPLES <= done) {
                ++frame;
                velocity += (frame / 4) % 2 ? 0.6f : -0.6f;  // held for 4 frames, then released
                synth.apply({audio::Cue::FLIGHT, velocity});
                if (frame % 40 == 0) synth.apply({audio::Cue::BEND, static_cast<float>(frame / 32)});
                if (frame % 300 == 0) synth.apply({audio::Cue::TICK, 0.0f});
                if (frame == 1600) synth.apply({audio::Cue::CRASH, 0.0f});
            }
            synth.render(block.data(), BLOCK);
            benchmark::DoNotOptimize(block.data());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("render_60s_of_a_run", render_minute)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.05)
        ->Repetitions(REPETITIONS)
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->DisplayAggregatesOnly(true);
    const auto best = run_benchmarks(argc, argv);
    if (!best) return 1;
    const auto minute = best->find("render_60s_of_a_run");
    if (minute != best->end()) {
        const double ratio = minute->second / 1e6 / SECONDS;
        std::printf("\nGoal (best of the repetitions, processor time):\n"
                    "  60 s of sound in %.1f ms = %.3f%% of real time on one core (goal <= 0.5%%): %s\n",
                    minute->second / 1000.0, 100.0 * ratio, ratio <= 0.005 ? "met" : "MISSED");
    }
    benchmark::Shutdown();
    return 0;
}
