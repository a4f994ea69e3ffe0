// The cave and its backdrop: two 480-column ring images shown as two blits each, a passage
// that bends at random and narrows at every bend, and a texture of 800 warm-grey circles.
#include "game/cave.h"

#include <cmath>

#include "audio/sound.h"
#include "game/play.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/platform.h"

namespace {

constexpr double START_TOP = 80.0;
constexpr double START_SLOPE = 1.0;
constexpr double START_HEIGHT = 160.0;
constexpr double BEND_NARROWING = 2.0;   // passage height lost at each bend
constexpr double MAX_BEND_SLOPE = 2.0;   // a bend's slope magnitude lies in [0, 2)
constexpr double BOUNCE_TOP = 10.0;      // the passage turns when its top goes above this
constexpr double BOUNCE_BOTTOM = 310.0;  // or its bottom reaches this
constexpr int32_t BACKDROP_STEP = 2;     // backdrop pixels per cave step (the cave moves 1)

CaveState& cave() {
    static CaveState state;
    return state;
}

// An integer in 0..n-1 from one random draw.
int32_t random_below(int32_t n) {
    return static_cast<int32_t>(std::floor(random_unit(1) * n));
}

double sign_of(double v) { return (v > 0.0) - (v < 0.0); }

// One backdrop circle: four draws in the order shade, radius, x, y. A circle that crosses
// the left or right edge is drawn again one width away, with the default aspect (8/9 on
// this screen), so the texture joins across the seam as it scrolls.
void paint_backdrop_circle(Image backdrop) {
    const int32_t shade = random_below(150) + 30;  // 30..179
    const int32_t radius = random_below(4) + 4;    // 4..7
    const int32_t x = random_below(CAVE_WIDTH);
    const int32_t y = random_below(CAVE_HEIGHT);
    const uint32_t colour = 0xFF000000u + static_cast<uint32_t>(shade + 32) * 0x10000u +
                            static_cast<uint32_t>(shade + 16) * 0x100u + static_cast<uint32_t>(shade);
    draw_circle(backdrop, static_cast<float>(x), static_cast<float>(y), static_cast<float>(radius),
                colour, 1.0f, 0.0f, FULL_TURN_ANGLE, -1);
    if (x - radius < 0) {
        draw_circle(backdrop, static_cast<float>(x + CAVE_WIDTH), static_cast<float>(y),
                    static_cast<float>(radius), colour, 0.0f, 0.0f, FULL_TURN_ANGLE, -1);
    } else if (x + radius >= CAVE_WIDTH) {
        draw_circle(backdrop, static_cast<float>(x - CAVE_WIDTH), static_cast<float>(y),
                    static_cast<float>(radius), colour, 0.0f, 0.0f, FULL_TURN_ANGLE, -1);
    }
}

// One cave step: the ring advances one column, the backdrop two pixels, the passage may
// bend and bounce, and the new column is written rock first, then its open rows.
void cave_step() {
    CaveState& c = cave();
    c.write_column = (c.write_column + 1) % CAVE_WIDTH;
    c.probe_column = (c.probe_column + 1) % CAVE_WIDTH;
    c.backdrop_offset = (c.backdrop_offset + BACKDROP_STEP) % CAVE_WIDTH;

    if (random_below(BEND_ODDS) == 0) {
        const double r = random_unit(1);
        c.passage_slope = r * sign_of(c.passage_slope) * MAX_BEND_SLOPE;
        c.passage_height -= BEND_NARROWING;
        sound_bend(score_for_height(c.passage_height));
    }
    if (c.passage_top < BOUNCE_TOP || c.passage_top + c.passage_height >= BOUNCE_BOTTOM) {
        c.passage_slope = -c.passage_slope;
    }
    c.passage_top += c.passage_slope;

    const float column = static_cast<float>(c.write_column);
    draw_line(c.cave, column, 0.0f, 0.0f, static_cast<float>(CAVE_HEIGHT - 1), COLOR_ROCK,
              LINE_SEGMENT, LINE_SOLID, COORDS_RELATIVE);
    draw_line(c.cave, column, static_cast<float>(c.passage_top), 0.0f,
              static_cast<float>(c.passage_height), COLOR_PASSAGE, LINE_SEGMENT, LINE_SOLID,
              COORDS_RELATIVE);
}

}  // namespace

const CaveState& cave_state() { return cave(); }
CaveState& cave_state_for_tests() { return cave(); }

void build_images() {
    CaveState& c = cave();
    c.back_buffer = create_image(CAVE_WIDTH, CAVE_HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
    c.backdrop = create_image(CAVE_WIDTH, CAVE_HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
    for (int32_t i = 0; i < BACKDROP_CIRCLES; ++i) paint_backdrop_circle(c.backdrop);
    build_cave_image();
}

void build_cave_image() {
    CaveState& c = cave();
    if (c.cave == nullptr) c.cave = create_image(CAVE_WIDTH, CAVE_HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
}

CaveState set_cave_aside() {
    const CaveState saved = cave();
    cave() = CaveState{};
    return saved;
}

void restore_cave(const CaveState& saved) { cave() = saved; }

void cave_reset() {
    CaveState& c = cave();
    c.write_column = 0;
    c.probe_column = PROBE_LEAD;
    c.backdrop_offset = 0;
    c.passage_top = START_TOP;
    c.passage_slope = START_SLOPE;
    c.passage_height = START_HEIGHT;
    draw_line(c.cave, 0.0f, 0.0f, static_cast<float>(CAVE_WIDTH - 1),
              static_cast<float>(CAVE_HEIGHT - 1), COLOR_PASSAGE, LINE_FILLED_BOX, LINE_SOLID,
              COORDS_ABSOLUTE);
}

void cave_advance() {
    cave_step();
    cave_step();
}

// The two copies of each image lie 480 pixels apart and together cover x = 0..479: the
// column just written shows at x = 479, the probe column at x = 119.
void draw_layers() {
    CaveState& c = cave();
    const float backdrop_x = static_cast<float>(-1 - c.backdrop_offset);
    const float cave_x = static_cast<float>(-1 - c.write_column);
    put_image(c.back_buffer, backdrop_x, 0.0f, c.backdrop, blit_mode::copy, -1);
    put_image(c.back_buffer, backdrop_x + CAVE_WIDTH, 0.0f, c.backdrop, blit_mode::copy, -1);
    put_image(c.back_buffer, cave_x, 0.0f, c.cave, blit_mode::transparent, -1);
    put_image(c.back_buffer, cave_x + CAVE_WIDTH, 0.0f, c.cave, blit_mode::transparent, -1);
}

void free_images() {
    CaveState& c = cave();
    destroy_image(c.back_buffer);
    destroy_image(c.backdrop);
    destroy_image(c.cave);
    c.back_buffer = c.backdrop = c.cave = nullptr;
}
