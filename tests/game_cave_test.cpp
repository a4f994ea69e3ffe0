// The cave and its backdrop on the headless twin: the ring of columns, the probe column,
// bends, bounces, the passage rows of a column, the two-blit seams and the texture.
#include <algorithm>
#include <cmath>
#include <set>

#include "game/cave.h"
#include "gfx/draw.h"
#include "tests/game_support.h"

namespace {

using game_test::GameTest;

using CaveTest = GameTest;

int32_t rock_rows_in_column(Image cave, int32_t column) {
    int32_t rock = 0;
    for (int y = 0; y < 320; ++y) rock += read_pixel(cave, static_cast<float>(column), static_cast<float>(y)) == COLOR_ROCK;
    return rock;
}

TEST_F(CaveTest, ResetOpensTheWholeCaveImage) {
    start_game();
    const CaveState& c = cave_state();
    EXPECT_EQ(c.write_column, 0);
    EXPECT_EQ(c.probe_column, 120);
    EXPECT_EQ(c.backdrop_offset, 0);
    EXPECT_EQ(c.passage_top, 80.0);
    EXPECT_EQ(c.passage_slope, 1.0);
    EXPECT_EQ(c.passage_height, 160.0);
    for (int x = 0; x < 480; x += 7) EXPECT_EQ(rock_rows_in_column(c.cave, x), 0) << x;
}

TEST_F(CaveTest, ProbeColumnTrailsTheWriteColumnBy120AndIsEvenAfterEveryFrame) {
    start_game();
    for (int frame = 1; frame <= 600; ++frame) {
        cave_advance();
        const CaveState& c = cave_state();
        ASSERT_EQ(c.probe_column, (c.write_column + 120) % 480) << "frame " << frame;
        ASSERT_EQ(c.probe_column % 2, 0) << "frame " << frame;
        ASSERT_EQ(c.write_column, (2 * frame) % 480);
        ASSERT_EQ(c.backdrop_offset, (4 * frame) % 480);
    }
}

// The columns written in frame 1 reach the probe at frame 181; until then the probe column
// is open passage from top to bottom, so only the field's edges can end a run.
TEST_F(CaveTest, FirstRockReachesTheProbeColumnAtFrame181) {
    start_game();
    for (int frame = 1; frame <= 180; ++frame) {
        cave_advance();
        ASSERT_EQ(rock_rows_in_column(cave_state().cave, cave_state().probe_column), 0) << "frame " << frame;
    }
    cave_advance();
    EXPECT_EQ(cave_state().probe_column, 2);
    EXPECT_GT(rock_rows_in_column(cave_state().cave, cave_state().probe_column), 0);
}

// Whole pixels as the drawing services make them from single-precision coordinates,
// for the positive rows of these tests: halves go up.
int32_t pixel_row(float v) { return static_cast<int32_t>(std::floor(static_cast<double>(v) + 0.5)); }

TEST_F(CaveTest, AColumnIsRockWithTheRoundedPassageRowsOpen) {
    start_game();
    const CaveState& c = cave_state();
    for (int frame = 0; frame < 400; ++frame) {
        cave_advance();
        // The newest column was written with the state as it is now.
        const float top = static_cast<float>(c.passage_top);
        const int32_t first = pixel_row(top);
        const int32_t last = pixel_row(top + static_cast<float>(c.passage_height));
        for (int y = 0; y < 320; ++y) {
            const bool open = y >= first && y <= last;
            ASSERT_EQ(read_pixel(c.cave, static_cast<float>(c.write_column), static_cast<float>(y)),
                      open ? COLOR_PASSAGE : COLOR_ROCK)
                << "frame " << frame << " row " << y << " top " << c.passage_top;
        }
    }
}

TEST_F(CaveTest, EachBendNarrowsByTwoAndLeavesASlopeUnder2) {
    start_game();
    const CaveState& c = cave_state();
    int bends = 0;
    for (int frame = 0; frame < 4000 && bends < 20; ++frame) {
        const double height = c.passage_height;
        cave_advance();
        if (c.passage_height == height) continue;
        // One chance in 80 per step, so a frame of two steps may hold two bends.
        EXPECT_TRUE(c.passage_height == height - 2.0 || c.passage_height == height - 4.0);
        EXPECT_LT(std::fabs(c.passage_slope), 2.0);
        bends += static_cast<int>((height - c.passage_height) / 2.0);
    }
    EXPECT_GE(bends, 20);
    EXPECT_EQ(c.passage_height, 160.0 - 2.0 * bends);
}

TEST_F(CaveTest, AZeroSlopeStaysZero) {
    start_game();
    CaveState& c = cave_state_for_tests();
    c.passage_slope = 0.0;
    c.passage_top = 100.0;
    for (int frame = 0; frame < 500; ++frame) cave_advance();
    EXPECT_EQ(c.passage_slope, 0.0);
    EXPECT_EQ(c.passage_top, 100.0);
    EXPECT_LT(c.passage_height, 160.0);  // it bent, and bends multiply by the sign 0
}

// Bounce with a chosen state: top above 10 turns a rising passage downwards.
TEST_F(CaveTest, BounceNegatesTheSlope) {
    start_game();
    CaveState& c = cave_state_for_tests();
    c.passage_top = 9.5;
    c.passage_slope = -0.75;
    c.passage_height = 100.0;
    cave_advance();
    if (c.passage_height == 100.0) {  // no bend in these two steps
        EXPECT_EQ(c.passage_slope, 0.75);
        EXPECT_EQ(c.passage_top, 9.5 + 0.75 + 0.75);
    }
    c.passage_top = 210.0;  // bottom at 310: turns upwards
    c.passage_slope = 0.5;
    const double height = c.passage_height;
    cave_advance();
    if (c.passage_height == height) {
        EXPECT_EQ(c.passage_slope, -0.5);
        EXPECT_EQ(c.passage_top, 209.0);
    }
}

// The two blits of each image cover the back buffer exactly: screen column x shows cave
// column (write column + 1 + x) mod 480 and backdrop column (offset + 1 + x) mod 480; the
// newest column is at x = 479 and the probe column at x = 119.
TEST_F(CaveTest, LayersShowTheNewestColumnAt479AndTheProbeAt119) {
    start_game();
    for (int frame = 0; frame < 237; ++frame) cave_advance();  // columns and offsets mid-ring
    draw_layers();
    const CaveState& c = cave_state();
    EXPECT_EQ((c.write_column + 1 + 479) % 480, c.write_column);
    EXPECT_EQ((c.write_column + 1 + 119) % 480, c.probe_column);
    int passage = 0, rock = 0;
    for (int x = 0; x < 480; ++x) {
        const int cave_column = (c.write_column + 1 + x) % 480;
        const int backdrop_column = (c.backdrop_offset + 1 + x) % 480;
        for (int y = 0; y < 320; y += 3) {
            const uint32_t cave = read_pixel(c.cave, static_cast<float>(cave_column), static_cast<float>(y));
            const uint32_t shown = read_pixel(c.back_buffer, static_cast<float>(x), static_cast<float>(y));
            if (cave == COLOR_ROCK) {
                ++rock;
                ASSERT_EQ(shown, read_pixel(c.backdrop, static_cast<float>(backdrop_column), static_cast<float>(y)))
                    << x << ", " << y;
            } else {
                ++passage;
                ASSERT_EQ(shown, 0x00000000u) << x << ", " << y;  // black, alpha cleared
            }
        }
    }
    EXPECT_GT(rock, 1000);
    EXPECT_GT(passage, 1000);
}

// The texture: warm greys (red = blue + 32, green = blue + 16, blue 30..179) on the key
// colour, with many circles and plenty of bare key colour between them.
TEST_F(CaveTest, BackdropIsWarmGreyCirclesOnTheKeyColour) {
    start_game();
    const Image backdrop = cave_state().backdrop;
    int bare = 0;
    std::set<uint32_t> shades;
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 480; ++x) {
            const uint32_t p = read_pixel(backdrop, static_cast<float>(x), static_cast<float>(y));
            if (p == DEFAULT_IMAGE_COLOR) {
                ++bare;
                continue;
            }
            const uint32_t b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF;
            ASSERT_EQ(p >> 24, 0xFFu);
            ASSERT_GE(b, 30u);
            ASSERT_LE(b, 179u);
            ASSERT_EQ(g, b + 16);
            ASSERT_EQ(r, b + 32);
            shades.insert(b);
        }
    }
    EXPECT_GT(bare, 480 * 320 / 4);
    EXPECT_LT(bare, 480 * 320 * 3 / 4);
    EXPECT_GT(shades.size(), 100u);
}

// The seam of the texture: a circle cut by the left edge continues at the right edge as a
// flatter copy, so columns 0 and 479 carry matching shades on many rows.
TEST_F(CaveTest, BackdropCirclesContinueAcrossTheSeam) {
    start_game();
    const Image backdrop = cave_state().backdrop;
    int coloured_edge_rows = 0, matching = 0;
    for (int y = 0; y < 320; ++y) {
        const uint32_t left = read_pixel(backdrop, 0, static_cast<float>(y));
        const uint32_t right = read_pixel(backdrop, 479, static_cast<float>(y));
        if (left != DEFAULT_IMAGE_COLOR) ++coloured_edge_rows;
        if (left != DEFAULT_IMAGE_COLOR && left == right) ++matching;
    }
    EXPECT_GT(coloured_edge_rows, 20);
    EXPECT_GT(matching, coloured_edge_rows / 3);
}

TEST_F(CaveTest, FreeImagesLeavesNoImage) {
    start_game();
    free_images();
    EXPECT_EQ(cave_state().back_buffer, nullptr);
    EXPECT_EQ(cave_state().backdrop, nullptr);
    EXPECT_EQ(cave_state().cave, nullptr);
}

}  // namespace
