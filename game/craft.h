// The player's craft: flight, single-pixel collision and the trail of 51 discs.
#pragma once

#include <cstdint>

constexpr int TRAIL_LENGTH = 51;
constexpr int CRAFT_X = 120;             // screen x of the craft's centre
constexpr double CRAFT_START_Y = 160.0;
constexpr double CRAFT_START_VELOCITY = -8.0;
constexpr double CRAFT_THRUST = 0.6;     // change of velocity per frame, either way
constexpr double FIELD_HEIGHT = 320.0;   // the craft crashes outside 0 <= y < 320
constexpr int TRAIL_RADIUS = 8;
constexpr int TRAIL_SPACING = 2;         // pixels between discs: the cave's scroll per frame

struct CraftState {
    double y = 160.0;          // pixels from the top of the field, growing downwards
    double velocity = -8.0;    // change of y per frame, negative upwards
    int32_t crashed = 0;       // 0, or -1 once it touched rock or left the field
    int32_t trail[TRAIL_LENGTH] = {};  // rounded y of the last 51 frames, 0 the newest
};

const CraftState& craft_state();
CraftState& craft_state_for_tests();
void restore_craft(const CraftState& saved);  // after flying a run aside (replay checks)

void craft_reset();  // at the start of every run, after cave_reset
void craft_step();   // once per frame, after cave_advance
void draw_trail();   // once per frame, into the back buffer

// y rounded to the nearest integer, halves to even (160.5 -> 160, 161.5 -> 162), clamped to
// the 32-bit range so that a craft far outside the field still converts safely.
int32_t trail_row(double y);
