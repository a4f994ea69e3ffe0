// The pad's rules on the headless twin: which buttons climb and which queue a code, the
// left mouse button as a one-switch climb, unplugging, the stick's dead zone and the
// key-like repeat of a held direction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/pad.h"
#include "platform/platform.h"

namespace {

class PadTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
    }
    void TearDown() override { headless_reset(); }
};

// Every queued key, as the codes platform.h names.
std::vector<int> queued() {
    std::vector<int> codes;
    for (std::string key = read_key(); !key.empty(); key = read_key()) {
        codes.push_back(key.size() == 1 ? static_cast<unsigned char>(key[0])
                                        : extended_key(static_cast<unsigned char>(key[1])));
    }
    return codes;
}

bool climbing() { return is_key_down(SCANCODE_SPACE) != 0; }

TEST_F(PadTest, EachButtonQueuesItsCodeOnceAndTheFaceAndShoulderButtonsClimbWhileHeld) {
    struct Case { int button; int code; bool climbs; } cases[] = {
        {pad::BUTTON_A, KEY_PAD_A, true},         {pad::BUTTON_B, KEY_PAD_B, true},
        {pad::BUTTON_X, KEY_PAD_X, true},         {pad::BUTTON_Y, KEY_PAD_Y, true},
        {pad::BUTTON_LEFT_SHOULDER, 0, true},     {pad::BUTTON_RIGHT_SHOULDER, 0, true},
        {pad::BUTTON_START, KEY_PAD_START, false}, {pad::BUTTON_BACK, KEY_PAD_BACK, false},
        {pad::BUTTON_GUIDE, 0, false},            {pad::BUTTON_LEFT_STICK, 0, false},
        {pad::BUTTON_DPAD_UP, KEY_PAD_UP, false}, {pad::BUTTON_DPAD_DOWN, KEY_PAD_DOWN, false},
        {pad::BUTTON_DPAD_LEFT, KEY_PAD_LEFT, false}, {pad::BUTTON_DPAD_RIGHT, KEY_PAD_RIGHT, false},
        {pad::BUTTON_COUNT, 0, false},
    };
    for (const Case& c : cases) {
        headless_pad_button(3, c.button, true);
        headless_pad_button(3, c.button, true);  // a repeated press is still one press
        EXPECT_EQ(climbing(), c.climbs) << "button " << c.button;
        EXPECT_EQ(is_key_down(SCANCODE_ENTER), 0);
        headless_pad_button(3, c.button, false);
        EXPECT_FALSE(climbing()) << "button " << c.button;
        EXPECT_EQ(queued(), c.code ? std::vector<int>{c.code} : std::vector<int>{}) << "button " << c.button;
    }
}

TEST_F(PadTest, TriggersPastAThirdAndTheLeftMouseButtonClimb) {
    headless_pad_axis(0, pad::AXIS_RIGHT_TRIGGER, pad::TRIGGER_HELD - 1);
    EXPECT_FALSE(climbing());
    headless_pad_axis(0, pad::AXIS_RIGHT_TRIGGER, pad::TRIGGER_HELD);
    EXPECT_TRUE(climbing());
    headless_pad_axis(0, pad::AXIS_RIGHT_TRIGGER, 0);
    headless_pad_axis(0, pad::AXIS_LEFT_TRIGGER, pad::AXIS_MAX);
    EXPECT_TRUE(climbing());
    headless_pad_axis(0, pad::AXIS_LEFT_TRIGGER, 0);
    headless_set_mouse(10, 10, MOUSE_RIGHT | MOUSE_MIDDLE);
    EXPECT_FALSE(climbing());
    headless_set_mouse(10, 10, MOUSE_LEFT);
    EXPECT_TRUE(climbing());
    EXPECT_TRUE(queued().empty());
}

TEST_F(PadTest, UnpluggingAPadLetsGoOfWhatItHeldButNotOfAnotherPad) {
    headless_pad_button(1, pad::BUTTON_A, true);
    headless_pad_button(2, pad::BUTTON_X, true);
    headless_pad_unplug(1);
    EXPECT_TRUE(climbing());
    headless_pad_unplug(2);
    EXPECT_FALSE(climbing());
    // Plugged in again, its first press counts as a press.
    headless_pad_button(1, pad::BUTTON_A, true);
    EXPECT_EQ(queued(), (std::vector<int>{KEY_PAD_A, KEY_PAD_X, KEY_PAD_A}));
}

TEST_F(PadTest, TheStickPointsPastHalfWayAlongItsLargerDeflectionAndStopsInsideTheDeadZone) {
    struct Step { int x, y; std::vector<int> codes; } steps[] = {
        {0, -16383, {}},                    // not yet half way
        {0, -16384, {KEY_PAD_UP}},          // up: SDL's y grows downward
        {3000, -12000, {}},                 // still up until inside the release zone
        {0, -11999, {}},                    // back at rest
        {0, 20000, {KEY_PAD_DOWN}},
        {25000, 20000, {KEY_PAD_RIGHT}},    // the larger deflection wins
        {-32768, 0, {KEY_PAD_LEFT}},
        {0, 0, {}},
    };
    for (const Step& s : steps) {
        headless_pad_axis(0, pad::AXIS_LEFT_X, s.x);
        headless_pad_axis(0, pad::AXIS_LEFT_Y, s.y);
        EXPECT_EQ(queued(), s.codes) << s.x << ", " << s.y;
    }
    headless_pad_axis(0, pad::AXIS_RIGHT_Y, -32768);  // the right stick steers nothing
    EXPECT_TRUE(queued().empty());
}

TEST_F(PadTest, AHeldDirectionRepeatsLikeAKeyAndStopsWhenLetGo) {
    const double start = headless_time();
    std::vector<long> at;  // milliseconds after the press of each queued code
    headless_pad_button(0, pad::BUTTON_DPAD_DOWN, true);
    for (int step = 0; step <= 14; ++step) {  // 700 ms in 50 ms pauses
        for (int code : queued()) {
            EXPECT_EQ(code, KEY_PAD_DOWN);
            at.push_back(std::lround((headless_time() - start) * 1000.0));
        }
        pause_ms(50);
    }
    EXPECT_EQ(at, (std::vector<long>{0, 400, 500, 600, 700}));
    headless_pad_button(0, pad::BUTTON_DPAD_DOWN, false);
    pause_ms(50);
    pause_ms(50);
    EXPECT_TRUE(queued().empty());
}

}  // namespace
