// The craft on the headless twin: its flight through real frames, the single-pixel probe,
// the trail and its rounding.
#include <cmath>

#include "game/craft.h"
#include "game/frame.h"
#include "gfx/draw.h"
#include "tests/game_support.h"

namespace {

using game_test::GameTest;

class CraftTest : public GameTest {
protected:
    // Records craft y and the crash flag at the end of every frame of a run played by
    // frame_loop (the pause of frame k is pause k: nothing else pauses during the run).
    void record_flight(int frames) {
        for (int k = 1; k <= frames; ++k) {
            headless_at_pause(k, [this] {
                ys.push_back(craft_state().y);
                crashes.push_back(craft_state().crashed);
            });
        }
    }
    std::vector<double> ys;
    std::vector<int32_t> crashes;
};

TEST_F(CraftTest, NeverPressingRisesThirteenFramesThenLeavesTheBottomInFrame40) {
    start_game();
    record_flight(60);
    EXPECT_NE(frame_loop(), 0);
    EXPECT_EQ(run_clock().frame_counter, 40);
    ASSERT_EQ(ys.size(), 40u);
    EXPECT_NEAR(ys[12], 110.6, 1e-9);  // frame 13: the top of the climb
    for (int k = 1; k < 13; ++k) EXPECT_LT(ys[k], ys[k - 1]) << "frame " << k + 1;
    for (int k = 13; k < 40; ++k) EXPECT_GT(ys[k], ys[k - 1]) << "frame " << k + 1;
    EXPECT_NEAR(ys[38], 316.0, 1e-9);  // frame 39: still inside the field
    EXPECT_EQ(crashes[38], 0);
    EXPECT_NEAR(ys[39], 332.0, 1e-9);
    EXPECT_EQ(crashes[39], -1);
}

TEST_F(CraftTest, HoldingSpaceFromTheStartLeavesTheTopInFrame14) {
    start_game();
    headless_set_key_down(SCANCODE_SPACE, true);
    record_flight(60);
    EXPECT_NE(frame_loop(), 0);
    EXPECT_EQ(run_clock().frame_counter, 14);
    ASSERT_EQ(ys.size(), 14u);
    EXPECT_NEAR(ys[12], 1.4, 1e-9);
    EXPECT_EQ(crashes[12], 0);
    EXPECT_NEAR(ys[13], -15.0, 1e-9);
    EXPECT_EQ(crashes[13], -1);
}

TEST_F(CraftTest, SpaceIsSampledOncePerFrame) {
    start_game();
    // Pressed and released between two frames: never seen.
    headless_at_pause(1, [] { headless_set_key_down(SCANCODE_SPACE, true); });
    headless_at_pause(1, [] { headless_set_key_down(SCANCODE_SPACE, false); });
    headless_at_pause(2, [] { headless_set_key_down(SCANCODE_SPACE, true); });
    play_frame();
    play_frame();
    EXPECT_NEAR(craft_state().velocity, -6.8, 1e-9);
    play_frame();  // held from pause 2 on: this frame thrusts
    EXPECT_NEAR(craft_state().velocity, -7.4, 1e-9);
}

TEST_F(CraftTest, ResetPutsTheTrailInAStraightRowAt160) {
    start_game();
    craft_state_for_tests().y = 12.0;
    craft_state_for_tests().crashed = -1;
    craft_reset();
    EXPECT_EQ(craft_state().y, 160.0);
    EXPECT_EQ(craft_state().velocity, -8.0);
    EXPECT_EQ(craft_state().crashed, 0);
    for (int32_t row : craft_state().trail) EXPECT_EQ(row, 160);
}

TEST_F(CraftTest, TrailShiftsOnePlacePerFrameWithTheNewestFirst) {
    start_game();
    play_frame();  // y 152.6
    play_frame();  // y 145.8
    EXPECT_EQ(craft_state().trail[0], 146);
    EXPECT_EQ(craft_state().trail[1], 153);
    EXPECT_EQ(craft_state().trail[2], 160);
    EXPECT_EQ(craft_state().trail[50], 160);
}

struct RoundingCase {
    double y;
    int32_t row;
};

class TrailRowTest : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(TrailRowTest, RoundsHalvesToEven) { EXPECT_EQ(trail_row(GetParam().y), GetParam().row); }

INSTANTIATE_TEST_SUITE_P(Rows, TrailRowTest,
                         ::testing::Values(RoundingCase{160.5, 160}, RoundingCase{161.5, 162},
                                           RoundingCase{110.6, 111}, RoundingCase{-0.5, 0},
                                           RoundingCase{-1.5, -2}, RoundingCase{319.5, 320},
                                           RoundingCase{1e12, INT32_MAX},
                                           RoundingCase{-1e12, INT32_MIN},
                                           RoundingCase{NAN, 0}));

// Collision: the probe is one pixel of the cave image in the probe column, at the rounded
// craft y; the disc around it plays no part.
class ProbeTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        start_game();
        // Rock everywhere in the probe column but row 100.
        const float column = static_cast<float>(cave_state().probe_column);
        draw_line(cave_state().cave, column, 0, column, 319, COLOR_ROCK, LINE_SEGMENT, LINE_SOLID,
                  COORDS_ABSOLUTE);
        draw_line(cave_state().cave, column, 100, column, 100, COLOR_BLACK, LINE_SEGMENT,
                  LINE_SOLID, COORDS_ABSOLUTE);
    }
    // One step from y with no thrust and a velocity that the step cancels: lands on y.
    int32_t crash_after_step_at(double y) {
        CraftState& c = craft_state_for_tests();
        c.y = y;
        c.velocity = -CRAFT_THRUST;
        c.crashed = 0;
        craft_step();
        return c.crashed;
    }
};

TEST_F(ProbeTest, SafeInThePassageEvenWithRockAllAroundTheDisc) {
    EXPECT_EQ(crash_after_step_at(100.0), 0);
    EXPECT_EQ(crash_after_step_at(100.49), 0);
    EXPECT_EQ(crash_after_step_at(99.5), 0);   // rounds away from zero to 100
    EXPECT_EQ(crash_after_step_at(100.5), -1); // rounds to 101: rock
    EXPECT_EQ(crash_after_step_at(99.4), -1);
}

TEST_F(ProbeTest, BelowTheLastRowButUnder320TheProbeReadsOutsideAndSurvives) {
    EXPECT_EQ(crash_after_step_at(319.4), -1);  // row 319: rock
    EXPECT_EQ(crash_after_step_at(319.6), 0);   // row 320: outside the image, not rock
    EXPECT_EQ(crash_after_step_at(320.0), -1);  // outside the field
    EXPECT_EQ(crash_after_step_at(0.3), -1);    // row 0: rock
    EXPECT_EQ(crash_after_step_at(-0.01), -1);  // above the field
}

TEST_F(ProbeTest, ACrashIsNeverCleared) {
    EXPECT_EQ(crash_after_step_at(50.0), -1);
    CraftState& c = craft_state_for_tests();
    c.y = 100.0;
    c.velocity = -CRAFT_THRUST;
    craft_step();
    EXPECT_EQ(c.crashed, -1);
}

TEST_F(CraftTest, TrailDiscsSpanX12To128AtTheStart) {
    start_game();
    draw_layers();
    draw_trail();
    const Image back = cave_state().back_buffer;
    EXPECT_NE(read_pixel(back, 11, 160), COLOR_WHITE);
    EXPECT_EQ(read_pixel(back, 12, 160), COLOR_WHITE);
    EXPECT_EQ(read_pixel(back, 128, 160), COLOR_WHITE);
    EXPECT_NE(read_pixel(back, 129, 160), COLOR_WHITE);
    EXPECT_EQ(read_pixel(back, 122, 152), COLOR_WHITE);  // top row of the craft: w = 2
    EXPECT_NE(read_pixel(back, 123, 152), COLOR_WHITE);
    EXPECT_NE(read_pixel(back, 120, 151), COLOR_WHITE);
    EXPECT_EQ(read_pixel(back, 120, 168), COLOR_WHITE);
    EXPECT_NE(read_pixel(back, 120, 169), COLOR_WHITE);
}

}  // namespace
