// Speed of the blits and the circles of the game, beside memcpy of one 480 x 320 image (the
// floor), SDL2's SDL_BlitSurface and pixman's composite, in one run, with each row form
// timed alone; ends with a table of every result as a ratio to memcpy, the form put_image
// uses for each mode, and the goals.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "gfx/blit_rows.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

constexpr int WIDTH = 480;
constexpr int HEIGHT = 320;
constexpr int TILE = 16;
constexpr size_t IMAGE_BYTES = static_cast<size_t>(WIDTH) * HEIGHT * 4;
constexpr uint32_t KEY = 0xFFFF00FFu;
constexpr int REPETITIONS = 30;  // each a short run; the summary takes the best

// The pictures of one frame, made once: a back buffer with runs of key pixels (about one
// pixel in eight), a cave image (rock above and below a winding passage), an opaque
// backdrop, the text backing tile, and a target.
struct Scene {
    Image back = nullptr;
    Image cave = nullptr;
    Image backdrop = nullptr;
    Image tile = nullptr;
    Image target = nullptr;
};

uint32_t hash_colour(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return 0xFF000000u | (h & 0x00FFFFFFu);
}

Scene& scene() {
    static Scene s = [] {
        headless_reset();
        open_screen(WIDTH, HEIGHT, 32, 0, 0, 0);
        Scene made;
        made.back = create_image(WIDTH, HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
        made.cave = create_image(WIDTH, HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
        made.backdrop = create_image(WIDTH, HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
        made.tile = create_image(TILE, TILE, 0, 0, IMAGE_DEFAULT_FILL);
        made.target = create_image(WIDTH, HEIGHT, 0xFF000000u, 0, 0);
        for (int y = 0; y < HEIGHT; ++y) {
            const auto yy = static_cast<uint32_t>(y);
            for (int x = 0; x < WIDTH; ++x) {
                const auto xx = static_cast<uint32_t>(x);
                image_row(made.back, y)[x] = (x / 11 + y) % 8 == 0 ? KEY : hash_colour(xx, yy);
                image_row(made.backdrop, y)[x] = hash_colour(yy, xx);
                const double top = 80 + 60 * std::sin(x / 40.0);
                image_row(made.cave, y)[x] = y >= top && y <= top + 160 ? 0xFF000000u : KEY;
            }
        }
        for (int y = 0; y < TILE; ++y) {
            const uint32_t a = static_cast<uint32_t>(150 - 9 * std::abs(y - 8));
            for (int x = 0; x < TILE; ++x) image_row(made.tile, y)[x] = a << 24 | 0x00FFFFFFu;
        }
        return made;
    }();
    return s;
}

uint8_t* pixels_of(Image image) { return reinterpret_cast<uint8_t*>(image + 1); }

// ---- the game's services ----

void bench_memcpy(benchmark::State& state) {
    Scene& s = scene();
    for (auto _ : state) {
        std::memcpy(pixels_of(s.target), pixels_of(s.backdrop), IMAGE_BYTES);
        benchmark::ClobberMemory();
    }
}

void bench_put(benchmark::State& state, Image Scene::*source, bool to_screen, blit_mode mode,
               int alpha) {
    Scene& s = scene();
    Image target = to_screen ? nullptr : s.target;
    for (auto _ : state) {
        put_image(target, 0, 0, s.*source, mode, alpha);
        benchmark::ClobberMemory();
    }
}

// The backdrop's two scrolling blits (one frame's worth at an odd seam).
void bench_scroll_pair(benchmark::State& state) {
    Scene& s = scene();
    const float seam = 137;
    for (auto _ : state) {
        put_image(s.target, -1 - seam, 0, s.backdrop, blit_mode::copy, -1);
        put_image(s.target, 479 - seam, 0, s.backdrop, blit_mode::copy, -1);
        benchmark::ClobberMemory();
    }
}

void bench_alpha_tile(benchmark::State& state) {
    Scene& s = scene();
    for (auto _ : state) {
        put_image(s.target, 101, 77, s.tile, blit_mode::alpha, -1);
        benchmark::ClobberMemory();
    }
}

// A stand-in for the screen page: 480 x 320 packed rows starting on a cache line, as the
// page is laid out, so that one form's row routine can be timed onto it directly.
uint8_t* page_like() {
    static uint8_t* page = static_cast<uint8_t*>(std::aligned_alloc(64, IMAGE_BYTES));
    return page;
}

// One row routine form on the whole image, onto an image or the page, without put_image
// around it.
void bench_form(benchmark::State& state, const RowTable* table, blit_mode mode,
                Image Scene::*source, bool to_page) {
    Scene& s = scene();
    const RowRoutine routine = table->routine[static_cast<int>(mode)][4];
    uint8_t* target = to_page ? page_like() : pixels_of(s.target);
    if (to_page) std::memcpy(target, pixels_of(s.target), IMAGE_BYTES);
    for (auto _ : state) {
        routine(pixels_of(s.*source), target, WIDTH, HEIGHT, WIDTH * 4, WIDTH * 4, 50);
        benchmark::ClobberMemory();
    }
}

// One form's per-pixel alpha on the text tile, placed as bench_alpha_tile places it.
void bench_form_tile(benchmark::State& state, const RowTable* table) {
    Scene& s = scene();
    const RowRoutine routine = table->routine[static_cast<int>(blit_mode::alpha)][4];
    uint8_t* target = reinterpret_cast<uint8_t*>(image_row(s.target, 77) + 101);
    for (auto _ : state) {
        routine(pixels_of(s.tile), target, TILE, TILE, s.tile->pitch, s.target->pitch, -1);
        benchmark::ClobberMemory();
    }
}

// The craft's trail: 51 white discs of radius 8 at x = 120 - 2i along a wavy path.
void bench_trail(benchmark::State& state) {
    Scene& s = scene();
    for (auto _ : state) {
        for (int i = 0; i <= 50; ++i) {
            const float y = static_cast<float>(160 + std::lround(50 * std::sin(i / 9.0)));
            draw_circle(s.target, static_cast<float>(120 - 2 * i), y, 8, 0xFFFFFFFFu, 1.0f, 0,
                        FULL_TURN_ANGLE, -1);
        }
        benchmark::ClobberMemory();
    }
}

// The backdrop texture: 800 discs as build_images paints them, with the seam copies.
struct Disc {
    float x, y, radius;
    uint32_t colour;
};

void bench_backdrop(benchmark::State& state) {
    Scene& s = scene();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Disc> discs;
    for (int i = 0; i < 800; ++i) {
        const auto shade = static_cast<uint32_t>(std::floor(unit(rng) * 150) + 30);
        const double radius = std::floor(unit(rng) * 4) + 4;
        const double x = std::floor(unit(rng) * 480);
        const double y = std::floor(unit(rng) * 320);
        discs.push_back({static_cast<float>(x), static_cast<float>(y), static_cast<float>(radius),
                         0xFF000000u + (shade + 32) * 0x10000u + (shade + 16) * 0x100u + shade});
    }
    for (auto _ : state) {
        for (const Disc& d : discs) {
            draw_circle(s.target, d.x, d.y, d.radius, d.colour, 1.0f, 0, FULL_TURN_ANGLE, -1);
            if (d.x - d.radius < 0)
                draw_circle(s.target, d.x + 480, d.y, d.radius, d.colour, 0, 0, FULL_TURN_ANGLE,
                            -1);
            if (d.x + d.radius >= 480)
                draw_circle(s.target, d.x - 480, d.y, d.radius, d.colour, 0, 0, FULL_TURN_ANGLE,
                            -1);
        }
        benchmark::ClobberMemory();
    }
}

// ---- SDL2 ----

SDL_Surface* sdl_surface(Image image, uint32_t format) {
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, image->width, image->height, 32, format);
    for (int y = 0; y < image->height; ++y)
        std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch,
                    image_row(image, y), static_cast<size_t>(image->width) * 4);
    return surface;
}

enum class SdlKind { copy, colour_key, blend, blend_key, alpha_tile };

void bench_sdl(benchmark::State& state, SdlKind kind) {
    Scene& s = scene();
    SDL_Surface* target = sdl_surface(s.target, SDL_PIXELFORMAT_ARGB8888);
    SDL_Surface* source = nullptr;
    switch (kind) {
    case SdlKind::copy:
        source = sdl_surface(s.backdrop, SDL_PIXELFORMAT_ARGB8888);
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        break;
    case SdlKind::colour_key:
        source = sdl_surface(s.cave, SDL_PIXELFORMAT_ARGB8888);
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(source, SDL_TRUE, KEY);
        break;
    case SdlKind::blend:
    case SdlKind::blend_key:
        // An opaque source with a surface alpha: the constant-alpha blend.
        source = sdl_surface(s.back, SDL_PIXELFORMAT_RGB888);
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceAlphaMod(source, 51);
        if (kind == SdlKind::blend_key) SDL_SetColorKey(source, SDL_TRUE, KEY & 0x00FFFFFFu);
        break;
    case SdlKind::alpha_tile:
        source = sdl_surface(s.tile, SDL_PIXELFORMAT_ARGB8888);
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_BLEND);
        break;
    }
    SDL_Rect place{kind == SdlKind::alpha_tile ? 101 : 0, kind == SdlKind::alpha_tile ? 77 : 0, 0,
                   0};
    for (auto _ : state) {
        SDL_Rect where = place;
        SDL_BlitSurface(source, nullptr, target, &where);
        benchmark::ClobberMemory();
    }
    SDL_FreeSurface(source);
    SDL_FreeSurface(target);
}

// ---- pixman ----

enum class PixmanKind { src, over_solid_mask };

void bench_pixman(benchmark::State& state, PixmanKind kind) {
    Scene& s = scene();
    const bool over = kind == PixmanKind::over_solid_mask;
    pixman_image_t* source = pixman_image_create_bits(
        over ? PIXMAN_x8r8g8b8 : PIXMAN_a8r8g8b8, WIDTH, HEIGHT,
        reinterpret_cast<uint32_t*>(pixels_of(over ? s.back : s.backdrop)), WIDTH * 4);
    std::vector<uint32_t> bits(static_cast<size_t>(WIDTH) * HEIGHT, 0xFF000000u);
    pixman_image_t* target =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, WIDTH, HEIGHT, bits.data(), WIDTH * 4);
    const pixman_color_t alpha50 = {0, 0, 0, 51 * 257};
    pixman_image_t* mask = over ? pixman_image_create_solid_fill(&alpha50) : nullptr;
    for (auto _ : state) {
        pixman_image_composite32(over ? PIXMAN_OP_OVER : PIXMAN_OP_SRC, source, mask, target, 0, 0,
                                 0, 0, 0, 0, WIDTH, HEIGHT);
        benchmark::ClobberMemory();
    }
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(target);
    pixman_image_unref(source);
}

// ---- the summary ----

// One goal: the benchmark `name` at most `at_most` times `against`, with the blit mode and
// the row form it measures ("-" where neither applies).
struct Goal {
    std::string name;
    std::string against;
    double at_most;
    std::string mode;
    std::string form;
};

void print_summary(const std::map<std::string, double>& best_us,
                   const std::vector<std::string>& order) {
    const auto floor_at = best_us.find("memcpy_480x320");
    if (floor_at == best_us.end()) return;
    const double floor_us = floor_at->second;
    std::printf("\nBest time of each, and as a ratio to memcpy of one 480x320 image:\n");
    for (const std::string& name : order) {
        const auto at = best_us.find(name);
        if (at != best_us.end())
            std::printf("  %-40s %10.3f us  %7.3fx\n", name.c_str(), at->second,
                        at->second / floor_us);
    }

    auto picked = [](blit_mode mode) { return std::string(row_form_name(row_form_of(mode))); };
    std::printf(
        "\nThis processor runs AVX-512 (F, BW): %s. Form put_image uses per mode: copy memcpy "
        "(every form), transparent %s, alpha %s, blend %s.\n",
        row_table_of(row_form::avx512) != nullptr ? "yes" : "no",
        picked(blit_mode::transparent).c_str(), picked(blit_mode::alpha).c_str(),
        picked(blit_mode::blend).c_str());

    std::vector<Goal> goals = {
        {"put_image_copy", "memcpy_480x320", 1.4, "copy", "memcpy"},
        {"put_image_transparent", "memcpy_480x320", 1.4, "transparent",
         picked(blit_mode::transparent)},
        {"put_image_alpha_tile16", "sdl_alpha_tile16", 0.1, "alpha", picked(blit_mode::alpha)},
        {"put_image_blend50_screen", "memcpy_480x320", 1.4, "blend", picked(blit_mode::blend)},
        {"put_image_blend50_image", "memcpy_480x320", 1.4, "blend", picked(blit_mode::blend)},
        {"draw_trail_51_circles", "memcpy_480x320", 0.6, "-", "-"},
    };
    // The blend in each vector form this processor runs, as put_image runs it on processors
    // whose widest form that is.
    for (row_form form : {row_form::avx2, row_form::avx512}) {
        if (row_table_of(form) == nullptr) continue;
        for (const char* target : {"screen", "image"})
            goals.push_back({std::string("rows_blend50_") + target + "_" + row_form_name(form),
                             "memcpy_480x320", 1.4, "blend", row_form_name(form)});
    }

    std::printf("Goals (best times):\n  %-28s %-12s %-8s %10s  %-24s %8s  %s\n", "benchmark",
                "mode", "form", "time", "ratio", "goal", "met");
    for (const Goal& g : goals) {
        const auto a = best_us.find(g.name);
        const auto b = best_us.find(g.against);
        if (a == best_us.end() || b == best_us.end()) continue;
        const double ratio = a->second / b->second;
        const std::string of = "x " + (b == floor_at ? std::string("memcpy") : g.against);
        std::printf("  %-28s %-12s %-8s %7.3f us  %6.3f%-18s <= %.2fx  %s\n", g.name.c_str(),
                    g.mode.c_str(), g.form.c_str(), a->second, ratio, of.c_str(), g.at_most,
                    ratio <= g.at_most ? "met" : "MISSED");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> order;
    auto add = [&order](const std::string& name, std::function<void(benchmark::State&)> fn) {
        order.push_back(name);
        benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State& st) { fn(st); })
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.02)
            ->Repetitions(REPETITIONS)
            ->ComputeStatistics(
                "min",
                [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
            ->DisplayAggregatesOnly(true);
    };
    add("memcpy_480x320", bench_memcpy);
    add("put_image_copy",
        [](auto& st) { bench_put(st, &Scene::backdrop, false, blit_mode::copy, -1); });
    add("put_image_copy_scroll_pair", bench_scroll_pair);
    add("put_image_transparent",
        [](auto& st) { bench_put(st, &Scene::cave, false, blit_mode::transparent, -1); });
    add("put_image_blend50_screen",
        [](auto& st) { bench_put(st, &Scene::back, true, blit_mode::blend, 50); });
    add("put_image_blend50_image",
        [](auto& st) { bench_put(st, &Scene::back, false, blit_mode::blend, 50); });
    add("put_image_alpha_tile16", bench_alpha_tile);
    for (int f = 0; f < ROW_FORM_COUNT; ++f) {
        const auto form = static_cast<row_form>(f);
        const RowTable* table = row_table_of(form);
        if (table == nullptr) continue;
        const std::string suffix = row_form_name(form);
        add("rows_blend50_screen_" + suffix,
            [table](auto& st) { bench_form(st, table, blit_mode::blend, &Scene::back, true); });
        add("rows_blend50_image_" + suffix,
            [table](auto& st) { bench_form(st, table, blit_mode::blend, &Scene::back, false); });
        add("rows_transparent_" + suffix, [table](auto& st) {
            bench_form(st, table, blit_mode::transparent, &Scene::cave, false);
        });
        add("rows_alpha_tile16_" + suffix, [table](auto& st) { bench_form_tile(st, table); });
    }
    add("draw_trail_51_circles", bench_trail);
    add("draw_backdrop_800_circles", bench_backdrop);
    add("sdl_copy", [](auto& st) { bench_sdl(st, SdlKind::copy); });
    add("sdl_colour_key", [](auto& st) { bench_sdl(st, SdlKind::colour_key); });
    add("sdl_blend_alpha51", [](auto& st) { bench_sdl(st, SdlKind::blend); });
    add("sdl_blend_alpha51_key", [](auto& st) { bench_sdl(st, SdlKind::blend_key); });
    add("sdl_alpha_tile16", [](auto& st) { bench_sdl(st, SdlKind::alpha_tile); });
    add("pixman_src", [](auto& st) { bench_pixman(st, PixmanKind::src); });
    add("pixman_over_solid_mask51",
        [](auto& st) { bench_pixman(st, PixmanKind::over_solid_mask); });

    const auto best = run_benchmarks(argc, argv);
    if (!best) return 1;
    print_summary(*best, order);
    benchmark::Shutdown();
    return 0;
}
