// The player's craft: flight, single-pixel collision and the trail of 51 discs.
#pragma once

#include <cstdint>

constexpr int TRAIL_LENGTH = 51;
constexpr int CRAFT_X = 120;  // screen x of the craft's centre

struct CraftState {
    double y = 160.0;          // pixels from the top of the field, growing downwards
    double velocity = -8.0;    // change of y per frame, negative upwards
    int32_t crashed = 0;       // 0, or -1 once it touched rock or left the field
    int32_t trail[TRAIL_LENGTH] = {};  // rounded y of the last 51 frames, 0 the newest
};

const CraftState& craft_state();
CraftState& craft_state_for_tests();

void craft_reset();  // at the start of every run, after cave_reset
void craft_step();   // once per frame, after cave_advance
void draw_trail();   // once per frame, into the back buffer
