// Speed of one frame of a run (frame_update and the drawing of frame_draw with the status
// line, without the pause and the retrace wait) beside its memory floor, the parts of the
// frame, and the whole start-up from open_screen to the end of the first frame, on the
// headless twin. Ends with the goals: frame <= 1.25x the floor, start-up < 10 ms.
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

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "bench/bench_support.h"
#include "game/cave.h"
#include "game/craft.h"
#include "game/frame.h"
#include "game/play.h"
#include "gfx/blit_rows.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
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

// One read-modify-write pass over an image (each colour inverted, alpha set), in vectors as
// wide as those of the frame's blend, so that the floor does per byte what the frame's passes
// do at the least: a load, a little arithmetic and a store.
constexpr uint32_t FLIP = 0x00FFFFFFu;
constexpr uint32_t OPAQUE = 0xFF000000u;

#if defined(__x86_64__)
__attribute__((target("avx512f"))) void flip_pass_avx512(uint32_t* p, size_t pixels) {
    const __m512i flip = _mm512_set1_epi32(static_cast<int>(FLIP));
    const __m512i opaque = _mm512_set1_epi32(static_cast<int>(OPAQUE));
    for (size_t i = 0; i < pixels; i += 16) {
        const __m512i v = _mm512_xor_si512(_mm512_load_si512(p + i), flip);
        _mm512_store_si512(p + i, _mm512_or_si512(v, opaque));
    }
}

__attribute__((target("avx2"))) void flip_pass_avx2(uint32_t* p, size_t pixels) {
    const __m256i flip = _mm256_set1_epi32(static_cast<int>(FLIP));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(OPAQUE));
    for (size_t i = 0; i < pixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(p + i);
        const __m256i v = _mm256_xor_si256(_mm256_load_si256(at), flip);
        _mm256_store_si256(at, _mm256_or_si256(v, opaque));
    }
}

void flip_pass_sse2(uint32_t* p, size_t pixels) {
    const __m128i flip = _mm_set1_epi32(static_cast<int>(FLIP));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(OPAQUE));
    for (size_t i = 0; i < pixels; i += 4) {
        auto* at = reinterpret_cast<__m128i*>(p + i);
        const __m128i v = _mm_xor_si128(_mm_load_si128(at), flip);
        _mm_store_si128(at, _mm_or_si128(v, opaque));
    }
}
#endif

// The pass in the width of the form the frame's blend runs in.
void flip_pass(uint32_t* p, size_t pixels) {
#if defined(__x86_64__)
    switch (row_form_of(blit_mode::blend)) {
    case row_form::avx512: flip_pass_avx512(p, pixels); return;
    case row_form::avx2: flip_pass_avx2(p, pixels); return;
    case row_form::sse2: flip_pass_sse2(p, pixels); return;
    case row_form::plain: break;
    }
#endif
    for (size_t i = 0; i < pixels; ++i) p[i] = (p[i] ^ FLIP) | OPAQUE;
}

uint32_t* new_image_pixels(uint32_t fill) {
    auto* p = static_cast<uint32_t*>(std::aligned_alloc(64, IMAGE_BYTES));
    std::fill(p, p + IMAGE_PIXELS, fill);
    return p;
}

// The pixel work of a frame at memory speed, in passes as wide as the frame's own: two
// copies of one 480 x 320 image (the two scenery blits) and three read-modify-write passes
// over one image (the cave blits and the blend onto the screen).
void bench_memory_floor(benchmark::State& state) {
    uint32_t* a = new_image_pixels(0xFF203040u);
    uint32_t* b = new_image_pixels(0);
    uint32_t* c = new_image_pixels(0xFF000000u);
    for (auto _ : state) {
        std::memcpy(b, a, IMAGE_BYTES);
        std::memcpy(c, a, IMAGE_BYTES);
        benchmark::ClobberMemory();
        for (int pass = 0; pass < 3; ++pass) {
            flip_pass(c, IMAGE_PIXELS);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(b);
        benchmark::DoNotOptimize(c);
    }
    std::free(a);
    std::free(b);
    std::free(c);
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

constexpr int REPETITIONS = 15;  // each a short run; the goals take the best

void print_goals(const std::map<std::string, double>& best) {
    const auto frame = best.find("frame");
    const auto floor = best.find("memory_floor");
    const auto start = best.find("start_up_to_first_frame");
    std::printf("\nGoals (best of the repetitions, processor time; the floor's passes in %s "
                "vectors, the form of the frame's blend):\n",
                row_form_name(row_form_of(blit_mode::blend)));
    if (frame != best.end() && floor != best.end()) {
        const double ratio = frame->second / floor->second;
        std::printf("  frame %.1f us = %.3fx the memory floor %.1f us (goal <= 1.25x): %s\n",
                    frame->second, ratio, floor->second, ratio <= 1.25 ? "met" : "MISSED");
    }
    if (start != best.end()) {
        std::printf("  start-up to the end of frame 1 %.2f ms (goal < 10 ms): %s\n",
                    start->second / 1000.0, start->second < 10000.0 ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char** argv) {
    Scratch scratch;
    auto add = [](const char* name, auto fn, benchmark::TimeUnit unit) {
        benchmark::RegisterBenchmark(name, fn)
            ->Unit(unit)
            ->MinTime(0.05)
            ->Repetitions(REPETITIONS)
            ->ComputeStatistics(
                "min",
                [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
            ->DisplayAggregatesOnly(true);
    };
    auto part = [](void (*fn)()) { return [fn](benchmark::State& st) { bench_part(st, fn); }; };
    add("memory_floor", bench_memory_floor, benchmark::kMicrosecond);
    add("frame", bench_frame, benchmark::kMicrosecond);
    add("part_frame_update", part(part_update), benchmark::kMicrosecond);
    add("part_draw_layers", part(part_layers), benchmark::kMicrosecond);
    add("part_draw_trail", part(part_trail), benchmark::kMicrosecond);
    add("part_blend_onto_screen", part(part_blend), benchmark::kMicrosecond);
    add("part_status_line", part(part_status_line), benchmark::kMicrosecond);
    add("start_up_to_first_frame", bench_start_up, benchmark::kMillisecond);

    const auto best = run_benchmarks(argc, argv);
    if (!best) return 1;
    print_goals(*best);
    benchmark::Shutdown();
    release_game();
    return 0;
}
