// The pad's rules on the headless twin: codes, climb, dead zone, repeat; the mouse's climb.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/headless/headless.h"
#include "platform/pad.h"
#include "platform/platform.h"

namespace {

std::vector<int> queued() {  // the codes of every queued (extended) key
    std::vector<int> codes;
    for (std::string key = read_key(); !key.empty(); key = read_key()) codes.push_back(extended_key(key[1] & 0xFF));
    return codes;
}

TEST(Pad, ButtonsStickAndRepeatFeedTheQueueAndTheClimb) {
    headless_reset();
    struct Case { int button, code; bool climbs; } cases[] = {
        {pad::BUTTON_A, KEY_PAD_A, true}, {pad::BUTTON_B, KEY_PAD_B, true}, {pad::BUTTON_Y, KEY_PAD_Y, true},
        {pad::BUTTON_RIGHT_SHOULDER, 0, true}, {pad::BUTTON_START, KEY_PAD_START, false},
        {pad::BUTTON_BACK, KEY_PAD_BACK, false}, {pad::BUTTON_GUIDE, 0, false}, {pad::BUTTON_DPAD_LEFT, KEY_PAD_LEFT, false}};
    for (const Case& c : cases) {
        headless_pad_button(3, c.button, true);
        headless_pad_button(3, c.button, true);  // a repeated report is still one press
        EXPECT_EQ(is_key_down(SCANCODE_SPACE) != 0, c.climbs) << c.button;
        headless_pad_button(3, c.button, false);
        EXPECT_EQ(queued(), c.code ? std::vector<int>{c.code} : std::vector<int>{}) << c.button;
    }
    for (int trigger : {pad::TRIGGER_HELD - 1, pad::TRIGGER_HELD}) headless_pad_axis(3, pad::AXIS_LEFT_TRIGGER, trigger);
    EXPECT_NE(is_key_down(SCANCODE_SPACE), 0);
    headless_pad_unplug(3);  // lets go of the trigger
    headless_set_mouse(1, 1, MOUSE_RIGHT);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
    headless_set_mouse(1, 1, MOUSE_LEFT);
    EXPECT_NE(is_key_down(SCANCODE_SPACE), 0);

    struct Step { int x, y; std::vector<int> codes; } steps[] = {  // SDL's y grows downward
        {0, -16383, {}}, {0, -16384, {KEY_PAD_UP}}, {3000, -12000, {}}, {0, -11999, {}},
        {25000, 20000, {KEY_PAD_RIGHT}}};  // half way to start, inside 12000 to stop, the larger wins
    for (const Step& s : steps) {
        headless_pad_axis(0, pad::AXIS_LEFT_X, s.x);
        headless_pad_axis(0, pad::AXIS_LEFT_Y, s.y);
        EXPECT_EQ(queued(), s.codes) << s.x << ", " << s.y;
    }
    headless_pad_unplug(0);
    const double start = headless_time();
    std::vector<long> at;  // ms after the press of each code of the D-pad held down
    headless_pad_button(0, pad::BUTTON_DPAD_DOWN, true);
    for (int step = 0; step <= 16; ++step, pause_ms(50)) {
        if (step == 15) headless_pad_button(0, pad::BUTTON_DPAD_DOWN, false);
        for (size_t n = queued().size(); n > 0; --n) at.push_back(std::lround((headless_time() - start) * 1000));
    }
    EXPECT_EQ(at, (std::vector<long>{0, 400, 500, 600, 700}));
}

}  // namespace
