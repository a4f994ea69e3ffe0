// Key string, mouse state and the predicates over them, on the headless twin.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "ui/input.h"

namespace {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        reset_input_state();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
    }
    void TearDown() override { headless_reset(); }
};

struct KeyCase {
    const char* label;
    int code;  // 0: no key pending
    int32_t confirm, escape, up, down;
};

const KeyCase KEY_CASES[] = {
    {"escape", KEY_ESCAPE, -1, -1, 0, 0},
    {"enter", KEY_ENTER, -1, 0, 0, 0},
    {"space", KEY_SPACE, -1, 0, 0, 0},
    {"backspace", KEY_BACKSPACE, 0, 0, 0, 0},
    {"letter", 'a', 0, 0, 0, 0},
    {"tab", KEY_TAB, 0, 0, 0, 0},
    {"cursor_up", KEY_UP, 0, 0, -1, 0},
    {"cursor_down", KEY_DOWN, 0, 0, 0, -1},
    {"cursor_left", KEY_LEFT, 0, 0, 0, 0},
    {"close_key", KEY_CLOSE, 0, 0, 0, 0},
    {"none", 0, 0, 0, 0, 0},
};

class KeyPredicates : public InputTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyPredicates, AnswerForTheKeyRead) {
    const KeyCase& c = GetParam();
    if (c.code) headless_queue_key(c.code);
    poll_key();
    EXPECT_EQ(is_confirm_key(), c.confirm);
    EXPECT_EQ(is_escape_key(), c.escape);
    EXPECT_EQ(is_up_key(), c.up);
    EXPECT_EQ(is_down_key(), c.down);
    EXPECT_EQ(is_confirm_or_click(), c.confirm);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyPredicates, ::testing::ValuesIn(KEY_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(InputTest, KeyStringHoldsOneKeyPerPollAndEmptyWhenNone) {
    headless_type("ab");
    headless_queue_key(KEY_DOWN);
    poll_key();
    EXPECT_EQ(key_string(), "a");
    poll_key();
    EXPECT_EQ(key_string(), "b");
    poll_key();
    EXPECT_EQ(key_string(), std::string("\xFF" "P"));
    poll_key();
    EXPECT_EQ(key_string(), "");
}

TEST_F(InputTest, TwoByteStringsMadeOfConfirmingBytesDoNotConfirm) {
    set_key_string("\r ");
    EXPECT_EQ(is_confirm_key(), 0);
    set_key_string(std::string(1, '\0'));
    EXPECT_EQ(is_confirm_key(), 0);
}

TEST_F(InputTest, HeldButtonIsAFreshClickOnlyOnTheFirstPollThatSeesIt) {
    poll_mouse();
    headless_set_mouse(10, 10, MOUSE_LEFT);
    poll_mouse();
    EXPECT_EQ(is_fresh_click(), -1);
    EXPECT_EQ(is_confirm_or_click(), -1);
    poll_mouse();
    EXPECT_EQ(is_fresh_click(), 0);
    headless_set_mouse(10, 10, 0);
    poll_mouse();
    EXPECT_EQ(is_fresh_click(), 0);
    headless_set_mouse(10, 10, MOUSE_LEFT);
    poll_mouse();
    EXPECT_EQ(is_fresh_click(), -1);
}

TEST_F(InputTest, AnyButtonMakesAFreshClick) {
    for (int button : {MOUSE_LEFT, MOUSE_RIGHT, MOUSE_MIDDLE, MOUSE_LEFT | MOUSE_RIGHT}) {
        headless_set_mouse(10, 10, 0);
        poll_mouse();
        headless_set_mouse(10, 10, button);
        poll_mouse();
        EXPECT_EQ(is_fresh_click(), -1) << "buttons " << button;
    }
}

TEST_F(InputTest, PressAndReleaseBetweenTwoPollsIsNotSeen) {
    poll_mouse();
    headless_set_mouse(0, 0, MOUSE_LEFT);
    headless_set_mouse(0, 0, 0);
    poll_mouse();
    EXPECT_EQ(is_fresh_click(), 0);
}

TEST_F(InputTest, FirstPollComparesWithTheZerosOfProgramStart) {
    headless_set_mouse(5, 0, MOUSE_LEFT);
    poll_mouse();
    EXPECT_EQ(mouse_moved(), -1);
    EXPECT_EQ(is_fresh_click(), -1);
    poll_mouse();
    EXPECT_EQ(mouse_moved(), 0);
}

TEST_F(InputTest, PointerAtOriginIsNotAMoveOnTheFirstPoll) {
    poll_mouse();
    EXPECT_EQ(mouse_moved(), 0);
}

TEST_F(InputTest, FailedSampleKeepsTheLastValues) {
    headless_set_mouse(100, 120, MOUSE_LEFT);
    poll_mouse();
    headless_set_pointer_inside(false);
    headless_set_mouse(200, 220, 0);
    poll_mouse();
    const MouseState& m = mouse_state();
    EXPECT_EQ(m.x, 100);
    EXPECT_EQ(m.y, 120);
    EXPECT_EQ(m.buttons, MOUSE_LEFT);
    EXPECT_EQ(m.prev_x, 100);
    EXPECT_EQ(m.prev_y, 120);
    EXPECT_EQ(m.prev_buttons, MOUSE_LEFT);
    EXPECT_EQ(mouse_moved(), 0);
    EXPECT_EQ(is_fresh_click(), 0);
}

TEST_F(InputTest, InactiveWindowSampleKeepsTheLastValues) {
    headless_set_mouse(30, 40, 0);
    poll_mouse();
    headless_set_active(false);
    headless_set_mouse(300, 40, MOUSE_RIGHT);
    poll_mouse();
    EXPECT_EQ(mouse_state().x, 30);
    EXPECT_EQ(mouse_state().buttons, 0);
    EXPECT_EQ(is_fresh_click(), 0);
}

TEST_F(InputTest, WaitForReleaseWithThreeKeysTakesFourPassesAndConsumesThem) {
    headless_type("xyz");
    const double start = headless_time();
    wait_for_release();
    EXPECT_EQ(headless_pause_count(), 4);
    EXPECT_NEAR(headless_time() - start, 0.100, 1e-9);
    EXPECT_EQ(key_string(), "");
    EXPECT_EQ(read_key(), "");
}

TEST_F(InputTest, WaitForReleaseTakesOnePassWhenNothingIsPending) {
    wait_for_release();
    EXPECT_EQ(headless_pause_count(), 1);
}

TEST_F(InputTest, WaitForReleaseWaitsForThePointerToComeBackWithTheButtonUp) {
    headless_set_mouse(50, 50, MOUSE_LEFT);
    poll_mouse();
    headless_set_pointer_inside(false);
    headless_at_pause(3, [] { headless_set_mouse(50, 50, 0); });  // released outside: unseen
    headless_at_pause(6, [] { headless_set_pointer_inside(true); });
    headless_set_pause_limit(100, [] { throw std::runtime_error("wait_for_release never returned"); });
    wait_for_release();
    EXPECT_EQ(headless_pause_count(), 6);
    EXPECT_EQ(mouse_state().buttons, 0);
}

TEST_F(InputTest, ResetGivesTheStateOfAFreshProcess) {
    headless_type("q");
    poll_key();
    headless_set_mouse(9, 9, MOUSE_LEFT);
    poll_mouse();
    reset_input_state();
    EXPECT_EQ(key_string(), "");
    EXPECT_EQ(mouse_state().x, 0);
    EXPECT_EQ(mouse_state().prev_buttons, 0);
}

}  // namespace
