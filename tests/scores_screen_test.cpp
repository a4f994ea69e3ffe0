// The table screen: its layout, its pull toward black and what ends it.
#include <gtest/gtest.h>

#include <string>

#include "gfx/draw.h"
#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_text;

class TableScreen : public test_support::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        reset_high_scores();
    }
    void TearDown() override {
        reset_high_scores();
        ScreenTest::TearDown();
    }
    // A key queued before pause `pause` is read at the end of that pass.
    void press_at(long pause, int code) {
        headless_at_pause(pause, [code] { headless_queue_key(code); });
    }
};

TEST_F(TableScreen, TitleAndRowsAreCentredTwentyPixelsApart) {
    set_high_score_entry(1, {120, "ZED"});
    set_high_score_entry(3, {57, "ace"});
    set_high_score_entry(4, {-5, "bob"});
    press_at(1, KEY_ENTER);
    show_high_scores();
    EXPECT_EQ(headless_pause_count(), 1);
    EXPECT_EQ(read_text(136, 4, 13), " HIGH SCORES ");
    EXPECT_EQ(read_text(152, 44, 11), " ZED [120] ");
    EXPECT_EQ(read_text(200, 64, 5), " [0] ");      // an empty entry
    EXPECT_EQ(read_text(160, 84, 10), " ACE [57] "); // drawn in capitals, centred at x 160
    EXPECT_EQ(read_text(160, 104, 10), " BOB [ 5] ");  // "-" is not in the font: blank cell
    EXPECT_EQ(read_text(200, 264, 5), " [0] ");     // entry 12 at y 264
    EXPECT_EQ(high_score_entry(3).name, "ace");
}

TEST_F(TableScreen, OverlayIsFilledWithOpaqueBlack) {
    press_at(1, KEY_ENTER);
    show_high_scores();
    EXPECT_EQ(test_support::overlay_pixel(0, 0), COLOR_BLACK);
    EXPECT_EQ(test_support::overlay_pixel(479, 319), COLOR_BLACK);
}

struct PullCase {
    long passes;
    uint32_t pixel;
};

class TablePull : public TableScreen, public ::testing::WithParamInterface<PullCase> {};

TEST_P(TablePull, EachPassPullsTheScreenTowardBlack) {
    draw_line(nullptr, 0, 0, 479, 319, COLOR_WHITE, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    press_at(GetParam().passes, KEY_ENTER);
    show_high_scores();
    EXPECT_EQ(headless_pixel(470, 310), GetParam().pixel);
}

// 255 -> 255 + floor(-255 * 21 / 256) = 234 -> 234 + floor(-234 * 21 / 256) = 214 -> 196.
INSTANTIATE_TEST_SUITE_P(Passes, TablePull,
                         ::testing::Values(PullCase{1, 0xFFEAEAEAu}, PullCase{2, 0xFFD6D6D6u},
                                           PullCase{3, 0xFFC4C4C4u}));

struct EndCase {
    const char* label;
    int code;
    bool ends;
};

class TableEnd : public TableScreen, public ::testing::WithParamInterface<EndCase> {};

TEST_P(TableEnd, OnlyConfirmingKeysEndIt) {
    press_at(1, GetParam().code);
    press_at(3, KEY_ENTER);
    show_high_scores();
    EXPECT_EQ(headless_pause_count(), GetParam().ends ? 1 : 3);
}

INSTANTIATE_TEST_SUITE_P(Keys, TableEnd,
                         ::testing::Values(EndCase{"enter", KEY_ENTER, true}, EndCase{"space", KEY_SPACE, true},
                                           EndCase{"escape", KEY_ESCAPE, true}, EndCase{"letter", 'a', false},
                                           EndCase{"cursor_down", KEY_DOWN, false},
                                           EndCase{"close_key", KEY_CLOSE, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(TableScreen, ConfirmingKeyLeftInTheKeyStringDoesNotEndIt) {
    set_key_string("\r");  // what the name entry returned with
    press_at(2, KEY_SPACE);
    show_high_scores();
    EXPECT_EQ(headless_pause_count(), 2);
}

TEST_F(TableScreen, ButtonStillHeldFromTheNameEntryDoesNotEndIt) {
    headless_set_mouse(100, 100, MOUSE_LEFT);
    poll_mouse();
    headless_at_pause(2, [] { headless_set_mouse(100, 100, 0); });
    headless_at_pause(4, [] { headless_set_mouse(100, 100, MOUSE_MIDDLE); });
    show_high_scores();
    EXPECT_EQ(headless_pause_count(), 4);
}

TEST_F(TableScreen, LockIsFreeBetweenPassesAndAfter) {
    bool held_during_pause = true;
    headless_at_pause(2, [&] { held_during_pause = headless_lock_held(); });
    press_at(2, KEY_ENTER);
    show_high_scores();
    EXPECT_FALSE(held_during_pause);
    EXPECT_FALSE(headless_lock_held());
}

}  // namespace
