// The scenery of a run: the backdrop texture and the cave that scrolls, bends and narrows.
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

constexpr int32_t CAVE_WIDTH = 480;          // pixels and cave columns; sizes are fixed
constexpr int32_t CAVE_HEIGHT = 320;
constexpr int32_t PROBE_LEAD = 120;          // probe column = write column + 120, mod 480
constexpr int32_t BACKDROP_CIRCLES = 800;
constexpr int32_t BEND_ODDS = 80;            // one bend in 80 cave steps
constexpr uint32_t COLOR_PASSAGE = COLOR_BLACK;

struct CaveState {
    Image back_buffer = nullptr;  // the frame being composed, 480 x 320
    Image backdrop = nullptr;     // texture painted once at start-up, 480 x 320
    Image cave = nullptr;         // one column per cave column: rock 0xFFFF00FF, passage black
    int32_t write_column = 0;     // cave image column written by the latest step, 0..479
    int32_t probe_column = 120;   // column under the craft: (write_column + 120) mod 480
    int32_t backdrop_offset = 0;  // 0..478, even
    double passage_top = 80.0;    // y of the upper edge of the newest column
    double passage_slope = 1.0;   // change of passage_top per column
    double passage_height = 160.0;// falls by 2 at each bend
};

const CaveState& cave_state();
CaveState& cave_state_for_tests();

void build_images();  // at start-up: back buffer, backdrop (800 circles), cave image
void cave_reset();    // at the start of every run
void cave_advance();  // once per frame: two columns
void draw_layers();   // backdrop and cave into the back buffer
void free_images();   // at shut-down

// Flying a run without a window needs only the cave image: build_cave_image makes it when
// missing. set_cave_aside hands back the whole state and leaves a cave without images;
// restore_cave puts a state back (the images it names are the caller's to keep or free).
void build_cave_image();
CaveState set_cave_aside();
void restore_cave(const CaveState& saved);
