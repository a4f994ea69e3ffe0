// Frame composition on the headless twin: the status line and its place, the Level after
// each bend, the frame-rate figure and the slow warning, and the blend of the back buffer
// onto the screen.
#include <cmath>
#include <map>

#include "game/frame.h"
#include "gfx/draw.h"
#include "tests/game_support.h"

namespace {

using game_test::GameTest;
using game_test::text_shown;

using FrameTest = GameTest;

TEST(StatusLine, IsBuiltFromTheFrameCounterAndTheLevel) {
    EXPECT_EQ(status_line(1, 160.0), " [Time 1] [Level 0] ");
    EXPECT_EQ(status_line(1234, 152.0), " [Time 1234] [Level 5] ");
    EXPECT_EQ(status_line(7, 170.0), " [Time 7] [Level -7] ");  // floor(-6.25)
    EXPECT_EQ(slow_warning(16), " [Too Slow] [FPS 16]");
}

struct LevelCase {
    double height;
    int32_t level;
};

class LevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelTest, IsFloorOf100Minus0625TimesTheHeight) {
    EXPECT_EQ(score_for_height(GetParam().height), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Bends, LevelTest,
                         ::testing::Values(LevelCase{160.0, 0}, LevelCase{158.0, 1},
                                           LevelCase{156.0, 2}, LevelCase{154.0, 3},
                                           LevelCase{152.0, 5}, LevelCase{0.0, 100},
                                           LevelCase{-2.0, 101}, LevelCase{NAN, 0},
                                           LevelCase{1e300, INT32_MIN},
                                           LevelCase{-1e300, INT32_MAX}));

struct FigureCase {
    int32_t frames;
    double seconds;
    int32_t figure;
};

class FigureTest : public ::testing::TestWithParam<FigureCase> {};

TEST_P(FigureTest, IsTheFlooredAverageOrNoFigure) {
    EXPECT_EQ(frame_rate_figure(GetParam().frames, GetParam().seconds), GetParam().figure);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FigureTest,
    ::testing::Values(FigureCase{101, 6.0, 16}, FigureCase{100, 5.0, 20},
                      FigureCase{101, 5.0, 20}, FigureCase{99, 5.0, 19},
                      FigureCase{1, 0.036, 27},
                      // At the first frame no time may have passed: no figure, and defined.
                      FigureCase{1, 0.0, NO_FRAME_RATE_FIGURE},
                      FigureCase{1, -0.001, NO_FRAME_RATE_FIGURE},
                      FigureCase{1, 1e-300, NO_FRAME_RATE_FIGURE},
                      FigureCase{1, NAN, NO_FRAME_RATE_FIGURE},
                      FigureCase{INT32_MAX, 0.5, NO_FRAME_RATE_FIGURE},
                      FigureCase{1, INFINITY, 0}));

TEST(SlowWarning, OnlyAfterFrame100AndBelow20) {
    EXPECT_TRUE(shows_slow_warning(101, 16));
    EXPECT_TRUE(shows_slow_warning(101, 19));
    EXPECT_FALSE(shows_slow_warning(101, 20));
    EXPECT_FALSE(shows_slow_warning(100, 0));
    EXPECT_FALSE(shows_slow_warning(1, 0));
    EXPECT_FALSE(shows_slow_warning(101, NO_FRAME_RATE_FIGURE));
}

TEST_F(FrameTest, FrameOneShowsTheStatusLineCentredAtTheTopInCapitals) {
    start_game();
    play_frame();
    // 20 cells centred: x = 240 - 8 * 20 = 80.
    EXPECT_TRUE(text_shown(" [TIME 1] [LEVEL 0] ", 80, 4));
    // The backing tiles end where the text ends: beside them the screen is still black
    // (in frame 1 the back buffer is passage black there).
    EXPECT_EQ(headless_pixel(79, 10) & 0xFFFFFF, 0u);
    EXPECT_NE(headless_pixel(80, 10) & 0xFFFFFF, 0u);
    EXPECT_NE(headless_pixel(399, 10) & 0xFFFFFF, 0u);
    EXPECT_EQ(headless_pixel(400, 10) & 0xFFFFFF, 0u);
    EXPECT_FALSE(text_shown(" [TOO SLOW] [FPS ", 80, 297));
}

// Real frames until four bends: after each, the frame's status line shows the Level of the
// new height (1, 2, 3, then 5).
TEST_F(FrameTest, LevelsAfterOneToFourBendsAre1235) {
    const std::map<double, int> level_of_height = {{158.0, 1}, {156.0, 2}, {154.0, 3}, {152.0, 5}};
    start_game();
    std::map<double, int> seen;
    for (int frame = 1; frame <= 2000 && cave_state().passage_height > 152.0; ++frame) {
        headless_set_key_down(SCANCODE_SPACE, game_test::thrust_towards(160.0));
        const double before = cave_state().passage_height;
        play_frame();
        const double height = cave_state().passage_height;
        if (height == before) continue;
        ASSERT_TRUE(level_of_height.count(height)) << height;
        const std::string line = " [TIME " + std::to_string(frame) + "] [LEVEL " +
                                 std::to_string(level_of_height.at(height)) + "] ";
        EXPECT_TRUE(text_shown(line, CENTRE_X, 4));
        seen[height] = frame;
    }
    EXPECT_EQ(cave_state().passage_height, 152.0);
    EXPECT_GE(seen.size(), 3u);  // two bends may share a frame
}

// Frame 101 after 6 seconds of run: floor(101 / 6) = 16, below 20: the warning shows.
TEST_F(FrameTest, AtFrame101AfterSixSecondsTheWarningShowsFps16) {
    start_game();
    for (int k = 0; k < 100; ++k) play_frame();
    headless_set_time(run_clock().run_start_time + 6.0);
    play_frame();
    EXPECT_EQ(run_clock().frame_counter, 101);
    EXPECT_TRUE(text_shown(" [TOO SLOW] [FPS 16]", CENTRE_X, 297));
}

TEST_F(FrameTest, AtFrame100NoWarningWhateverTheFigure) {
    start_game();
    for (int k = 0; k < 99; ++k) play_frame();
    headless_set_time(run_clock().run_start_time + 6.0);
    play_frame();
    EXPECT_EQ(run_clock().frame_counter, 100);
    EXPECT_FALSE(text_shown(" [TOO SLOW] [FPS 16]", CENTRE_X, 297));
}

TEST_F(FrameTest, AtTheNormalPaceNoWarning) {
    start_game();
    for (int k = 0; k < 101; ++k) play_frame();
    // 36 ms per frame on the twin (16 ms retrace, 20 ms pause): figure 27.
    EXPECT_FALSE(text_shown(" [TOO SLOW] [FPS ", 80, 297));
}

// On the twin no time passes between start_run and the figure of frame 1 (the first pause
// comes after it): the quotient would be infinite, yet the figure is a defined value and
// nothing about it shows.
TEST_F(FrameTest, FrameOneWithNoTimePassedDrawsNormally) {
    start_game();
    EXPECT_EQ(headless_time(), run_clock().run_start_time);
    play_frame();
    EXPECT_TRUE(text_shown(" [TIME 1] [LEVEL 0] ", CENTRE_X, 4));
    EXPECT_FALSE(text_shown(" [TOO SLOW] [FPS ", 80, 297));
}

uint8_t blended(uint32_t s, uint32_t d, int shift) {
    const int sb = (s >> shift) & 0xFF, db = (d >> shift) & 0xFF;
    return static_cast<uint8_t>(db + static_cast<int>(std::floor((sb - db) * 51 / 256.0)));
}

uint32_t blended_pixel(uint32_t s, uint32_t d) {
    return static_cast<uint32_t>(blended(s, d, 24)) << 24 | blended(s, d, 16) << 16 |
           blended(s, d, 8) << 8 | blended(s, d, 0);
}

// Each frame moves the screen 51/256 of the way to the back buffer; back-buffer pixels in
// the key colour (rock where the backdrop is bare) leave the screen as it was.
TEST_F(FrameTest, TheBackBufferIsBlendedWithAlpha50AndKeyPixelsLeaveTheScreen) {
    start_game();
    for (int k = 0; k < 300; ++k) {
        headless_set_key_down(SCANCODE_SPACE, game_test::thrust_towards(160.0));
        frame_update();
    }
    const uint32_t MARK = 0xFF123456u;
    draw_line(nullptr, 0, 0, 479, 319, MARK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    frame_draw();
    const Image back = cave_state().back_buffer;
    int keyed = 0, mixed = 0;
    for (int y = 24; y < 320; ++y) {  // below the status line
        for (int x = 0; x < 480; ++x) {
            const uint32_t s = read_pixel(back, static_cast<float>(x), static_cast<float>(y));
            const uint32_t shown = headless_pixel(x, y);
            if (is_key_color(s)) {
                ++keyed;
                ASSERT_EQ(shown, MARK) << x << ", " << y;
            } else {
                ++mixed;
                ASSERT_EQ(shown, blended_pixel(s, MARK)) << x << ", " << y;
            }
        }
    }
    EXPECT_GT(keyed, 1000);
    EXPECT_GT(mixed, 1000);
}

// The worked values: black over white gives 204 in every byte, white over black 50.
TEST_F(FrameTest, BlackOverWhiteGives204AndWhiteOverBlack50) {
    start_game();
    draw_line(nullptr, 0, 0, 479, 319, COLOR_WHITE, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    play_frame();
    // Frame 1: the cave is open everywhere but the two new columns at x 478 and 479, so the
    // back buffer holds passage black (alpha cleared) except the trail.
    EXPECT_EQ(headless_pixel(300, 200), 0xCCCCCCCCu);
    EXPECT_EQ(headless_pixel(20, 160), 0xFFFFFFFFu);  // a white disc over white

    draw_line(nullptr, 0, 0, 479, 319, COLOR_BLACK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    play_frame();
    EXPECT_EQ(headless_pixel(20, 160), 0xFF323232u);
    EXPECT_EQ(headless_pixel(300, 200), 0xCC000000u);
}

TEST_F(FrameTest, FrameDrawReleasesTheLockAndMarksEveryRow) {
    start_game();
    headless_clear_row_flags();
    frame_draw();
    EXPECT_FALSE(headless_lock_held());
    for (int y = 0; y < 320; ++y) ASSERT_TRUE(headless_row_changed(y)) << y;
}

}  // namespace
