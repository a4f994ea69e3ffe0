// Speed of one frame of a run (frame_update and the drawing of frame_draw with the status
// line, without the pause and the retrace wait) beside its memory floor, the parts of the
// frame, and the whole start-up from open_screen to the end of the first frame, on the
// headless twin. Ends with the goals: frame <= 1.4x the floor, start-up < 10 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "game/cave.h"
#include "game/craft.h"
#include "game/frame.h"
#include "game/play.h"
#include "gfx/image.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "ui/font.h"
#include "ui/screen_globals.h"

namespace {

constexpr size_t IMAGE_PIXELS = 480 * 320;
constexpr size_t IMAGE_BYTES = IMAGE_PIXELS * 4;

// Runs everything in a scratch working directory holding the game's font, so that start-up
// finds "font.bmp" and writes its high-score file there.
struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        char pattern[] = "/tmp/murkwing_bench_XXXXXX";
        dir = ::mkdtemp(pattern);
        std::filesystem::copy_file(std::string(MURKWING_SOURCE_DIR) + "/data/font.bmp", dir / "font.bmp");
        std::filesystem::current_path(dir);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

void release_game() {
    destroy_image(game_screen().overlay);
    game_screen().overlay = nullptr;
    free_font();
    free_images();
}

// A started game with one run begun; the clock fixed at 1000 s seeds it.
void start_fresh_game() {
    release_game();
    headless_reset();
    headless_set_time(1000.0);
    start_up();
    start_run();
}

// Keeps the craft near mid-field (thrust when it would stop below y 160), so that every
// frame draws its whole trail on the screen; crashes are ignored.
void steer_craft() {
    const CraftState& c = craft_state();
    const double v = c.velocity;
    const double stop_y = c.y + v + (v > 0 ? v * v / 1.2 : -v * v / 1.2);
    headless_set_key_down(SCANCODE_SPACE, stop_y > 160.0);
}

// One frame as the frame loop runs it, minus the retrace wait and the 20 ms pause.
void one_frame() {
    ++run_clock().frame_counter;
    frame_update();
    compose_frame();
    unlock_screen(-1, -1);
}

void bench_frame(benchmark::State& state) {
    start_fresh_game();
    for (int k = 0; k < 300; ++k) {  // into the cave proper: rock in every column
        steer_craft();
        one_frame();
    }
    for (auto _ : state) {
        steer_craft();
        one_frame();
        if (run_clock().frame_counter > 20000) {  // keep the passage from shrinking away
            state.PauseTiming();
            start_run();
            state.ResumeTiming();
        }
    }
}

// The pixel work of a frame at memory speed: two copies of one 480 x 320 image (the two
// scenery blits) and three read-modify-write passes over one image (the cave blits and
// the blend onto the screen).
void bench_memory_floor(benchmark::State& state) {
    std::vector<uint32_t> a(IMAGE_PIXELS, 0xFF203040u), b(IMAGE_PIXELS), c(IMAGE_PIXELS, 0xFF000000u);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), IMAGE_BYTES);
        std::memcpy(c.data(), a.data(), IMAGE_BYTES);
        benchmark::ClobberMemory();
        for (int pass = 0; pass < 3; ++pass) {
            uint32_t* p = c.data();
            for (size_t i = 0; i < IMAGE_PIXELS; ++i) p[i] = (p[i] & 0xFEFEFEFEu) >> 1 | 0x80000000u;
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(b.data());
        benchmark::DoNotOptimize(c.data());
    }
}

// The parts of a frame, each alone.
void bench_part(benchmark::State& state, void (*part)()) {
    start_fresh_game();
    for (int k = 0; k < 300; ++k) {
        steer_craft();
        one_frame();
    }
    for (auto _ : state) part();
}

void part_update() {
    steer_craft();
    frame_update();
    if (cave_state().passage_height < -1000.0) start_run();
}
void part_layers() { draw_layers(); }
void part_trail() { draw_trail(); }
void part_blend() {
    put_image(nullptr, 0, 0, cave_state().back_buffer, blit_mode::blend, FRAME_BLEND_ALPHA);
}
void part_status_line() {
    draw_text(status_line(12345, 152.0), CENTRE_X, STATUS_LINE_Y, 255, -1);
}

// From open_screen to the end of the first frame: start-up S1..S7, start_run, and frame 1
// as the frame loop plays it (its retrace wait and pause run on the twin's virtual clock).
void bench_start_up(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        release_game();
        headless_reset();
        headless_set_time(1000.0);
        state.ResumeTiming();
        start_up();
        start_run();
        play_frame();
    }
}

// Keeps the best time of every benchmark (of all repetitions) while printing as usual.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const double us =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
            auto [at, fresh] = best_us.emplace(run.benchmark_name(), us);
            if (!fresh) at->second = std::min(at->second, us);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> best_us;
};

void print_goals(const std::map<std::string, double>& best) {
    const auto frame = best.find("frame");
    const auto floor = best.find("memory_floor");
    const auto start = best.find("start_up_to_first_frame");
    std::printf("\nGoals (best of the repetitions):\n");
    if (frame != best.end() && floor != best.end()) {
        const double ratio = frame->second / floor->second;
        std::printf("  frame %.1f us = %.3fx the memory floor %.1f us (goal <= 1.40x): %s\n",
                    frame->second, ratio, floor->second, ratio <= 1.4 ? "met" : "MISSED");
    }
    if (start != best.end()) {
        std::printf("  start-up to the end of frame 1 %.2f ms (goal < 10 ms): %s\n",
                    start->second / 1000.0, start->second < 10000.0 ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char** argv) {
    Scratch scratch;
    benchmark::RegisterBenchmark("memory_floor", bench_memory_floor)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("frame", bench_frame)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("part_frame_update", bench_part, part_update)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("part_draw_layers", bench_part, part_layers)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("part_draw_trail", bench_part, part_trail)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("part_blend_onto_screen", bench_part, part_blend)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("part_status_line", bench_part, part_status_line)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("start_up_to_first_frame", bench_start_up)->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_goals(reporter.best_us);
    benchmark::Shutdown();
    release_game();
    return 0;
}
