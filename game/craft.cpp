// The craft: one space-bar-driven vertical motion, a one-pixel collision probe on the cave
// image and the trail of the last 51 positions drawn as white discs.
#include "game/craft.h"

#include <cmath>

#include "game/cave.h"
#include "game/run_hooks.h"
#include "gfx/draw.h"
#include "platform/platform.h"

namespace {

CraftState& craft() {
    static CraftState state;
    return state;
}

}  // namespace

const CraftState& craft_state() { return craft(); }
CraftState& craft_state_for_tests() { return craft(); }
void restore_craft(const CraftState& saved) { craft() = saved; }

int32_t trail_row(double y) {
    if (std::isnan(y)) return 0;
    const double r = std::nearbyint(y);  // the default rounding mode: halves to even
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

void craft_reset() {
    CraftState& c = craft();
    c.y = CRAFT_START_Y;
    c.velocity = CRAFT_START_VELOCITY;
    c.crashed = 0;
    for (int32_t& row : c.trail) row = trail_row(c.y);
}

void craft_step() {
    CraftState& c = craft();
    // The space bar is sampled once per frame; presses between frames are not seen.
    const RunHooks& hooks = run_hooks();
    const bool held = hooks.climb_source ? hooks.climb_source() : is_key_down(SCANCODE_SPACE) != 0;
    if (hooks.climb_sampled) hooks.climb_sampled(held);
    c.velocity += held ? -CRAFT_THRUST : CRAFT_THRUST;
    c.y += c.velocity;

    // A single probe pixel: the drawn disc may overlap rock without harm. Rows that round
    // to 320 read as 0xFFFFFFFF outside the image, which is not rock.
    if (c.y < 0.0 || c.y >= FIELD_HEIGHT) {
        c.crashed = -1;
    } else {
        const CaveState& cave = cave_state();
        const uint32_t probe = read_pixel(cave.cave, static_cast<float>(cave.probe_column),
                                          static_cast<float>(c.y));
        if (probe == COLOR_ROCK) c.crashed = -1;
    }

    for (int i = TRAIL_LENGTH - 1; i > 0; --i) c.trail[i] = c.trail[i - 1];
    c.trail[0] = trail_row(c.y);
}

void draw_trail() {
    const CraftState& c = craft();
    const Image back_buffer = cave_state().back_buffer;
    for (int i = 0; i < TRAIL_LENGTH; ++i) {
        draw_circle(back_buffer, static_cast<float>(CRAFT_X - TRAIL_SPACING * i),
                    static_cast<float>(c.trail[i]), static_cast<float>(TRAIL_RADIUS), COLOR_WHITE,
                    1.0f, 0.0f, FULL_TURN_ANGLE, -1);
    }
}
