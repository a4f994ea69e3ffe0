// Keys and the mouse through the real window: xdotool presses keys and moves the pointer
// with the X server's test extension, as a player would, and the tests read the key queue,
// the key states and the mouse query.
#include <string>
#include <vector>

#include "tests/window_support.h"
#include "tests/window_x11.h"

using namespace window_test;

namespace {

class WindowInput : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_WINDOW();
        ASSERT_TRUE(focus_window());
        drain_keys();
    }
};

TEST_F(WindowInput, KeysArriveInTheOrderPressed) {
    ASSERT_TRUE(xdo("key a b c Return Escape BackSpace Tab ctrl+a ctrl+z space 1 shift+a"));
    std::vector<std::string> expected = {"a", "b", "c", "\r", "\x1b", "\b", "\t", "\x01", "\x1a", " ", "1", "A"};
    EXPECT_EQ(collect_keys(expected.size()), expected);
    EXPECT_EQ(keys_before_marker(), std::vector<std::string>{}) << "a key arrived twice";
}

TEST_F(WindowInput, ExtendedKeysArriveAsTwoBytes) {
    ASSERT_TRUE(xdo("key Up Down Left Right Home End Prior Next Insert Delete KP_Begin F1 F10 F11 F12"));
    std::vector<std::string> expected = {extended(72), extended(80), extended(75), extended(77),
                                         extended(71), extended(79), extended(73), extended(81),
                                         extended(82), extended(83), extended(76), extended(59),
                                         extended(68), extended(133), extended(134)};
    EXPECT_EQ(collect_keys(expected.size()), expected);
}

TEST_F(WindowInput, ModifiedKeysFollowThePcBios) {
    ASSERT_TRUE(xdo("key shift+F1 ctrl+F1 alt+F1 ctrl+Left ctrl+Right shift+Tab alt+q alt+1"));
    std::vector<std::string> expected = {extended(84), extended(94), extended(104), extended(115),
                                         extended(116), extended(15), extended(16), extended(120)};
    EXPECT_EQ(collect_keys(expected.size()), expected);
    EXPECT_EQ(keys_before_marker(), std::vector<std::string>{}) << "Alt with a letter also typed the letter";
}

TEST_F(WindowInput, TypedCharactersArriveInCodePage437) {
    // Each character on a spare key, bound until the window has read it (the marker key that
    // follows has arrived); the euro sign has no code page 437 character and types nothing.
    XConnection x;
    ASSERT_TRUE(x.ok()) << "libX11 or libXtst missing";
    std::vector<std::string> keys;
    for (const char* symbol : {"x", "eacute", "udiaeresis", "sterling", "EuroSign", "y"}) {
        const unsigned code = x.type_on_spare_key(symbol);
        ASSERT_NE(code, 0u) << "no spare key";
        for (const std::string& k : keys_before_marker()) keys.push_back(k);
        x.unbind_key(code);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"x", "\x82", "\x81", "\x9c", "y"}));
}

TEST_F(WindowInput, SixteenKeysWithoutAReadKeepTheLastFifteen) {
    // The last key stays down until the window has seen it: all sixteen are queued then.
    ASSERT_TRUE(xdo("key a b c d e f g h i j k l m n o") && xdo("keydown p"));
    ASSERT_TRUE(wait_until([] { return is_key_down(25) == -1; }));
    ASSERT_TRUE(xdo("keyup p"));
    std::vector<std::string> expected;
    for (char c = 'b'; c <= 'p'; ++c) expected.push_back(std::string(1, c));
    EXPECT_EQ(collect_keys(15), expected);
    EXPECT_EQ(read_key(), "");
}

TEST_F(WindowInput, AutoRepeatQueuesOneKeyPerRepeat) {
    ASSERT_TRUE(xdo("keydown Right"));
    sleep_ms(1200);  // held past the server's repeat delay: this pause is what is tested
    ASSERT_TRUE(xdo("keyup Right"));
    std::vector<std::string> keys = keys_before_marker();
    EXPECT_GE(keys.size(), 3u) << "no auto-repeat arrived";
    for (const std::string& k : keys) EXPECT_EQ(k, extended(77));
}

TEST_F(WindowInput, SpaceBarStateFollowsPressAndRelease) {
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
    ASSERT_TRUE(xdo("keydown space"));
    EXPECT_TRUE(wait_until([] { return is_key_down(SCANCODE_SPACE) == -1; }));
    ASSERT_TRUE(xdo("keyup space"));
    EXPECT_TRUE(wait_until([] { return is_key_down(SCANCODE_SPACE) == 0; }));
}

TEST_F(WindowInput, TwinKeysReadAsOneEntry) {
    struct Twin {
        const char* key;
        int scancode;
    };
    const Twin twins[] = {{"Control_R", 29}, {"Alt_R", 56}, {"Up", 72}, {"KP_Up", 72},
                          {"Delete", 83}, {"Shift_R", 54}, {"Escape", 1}, {"q", 16}};
    for (const Twin& t : twins) {
        ASSERT_TRUE(xdo(std::string("keydown ") + t.key));
        EXPECT_TRUE(wait_until([&] { return is_key_down(t.scancode) == -1; })) << t.key;
        ASSERT_TRUE(xdo(std::string("keyup ") + t.key));
        EXPECT_TRUE(wait_until([&] { return is_key_down(t.scancode) == 0; })) << t.key;
    }
    EXPECT_EQ(is_key_down(128), 0);
    EXPECT_EQ(is_key_down(-1), 0);
}

TEST_F(WindowInput, LosingActivationReleasesEveryKey) {
    ASSERT_TRUE(xdo("keydown space"));
    ASSERT_TRUE(wait_until([] { return is_key_down(SCANCODE_SPACE) == -1; }));
    std::string root = trim(run("xdotool search --maxdepth 0 --name ''").out);
    ASSERT_TRUE(xdo("windowfocus --sync " + root));
    // Inactive: the key reads up although it is still held, and the mouse query fails.
    EXPECT_TRUE(wait_until([] { return is_key_down(SCANCODE_SPACE) == 0; }));
    int32_t x, y, wheel, buttons;
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 1; }));
    sleep_ms(50);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
    ASSERT_TRUE(xdo("keyup space"));
    ASSERT_TRUE(focus_window());
    // The query also needs the pointer over the window, wherever an earlier test left it.
    ASSERT_TRUE(xdo("mousemove --sync " + std::to_string(screen().x + 40) + " " + std::to_string(screen().y + 40)));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0; }));
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
}

TEST_F(WindowInput, AltF4QueuesTheCloseKeyOnceAndTheWindowStays) {
    ASSERT_TRUE(xdo("key alt+F4"));
    EXPECT_EQ(collect_keys(1), std::vector<std::string>{extended(107)});
    EXPECT_EQ(keys_before_marker(), std::vector<std::string>{});
    EXPECT_TRUE(window_exists(screen().window));
    ASSERT_TRUE(xdo("key z"));
    EXPECT_EQ(collect_keys(1), std::vector<std::string>{"z"}) << "the window stopped taking keys";
}

TEST_F(WindowInput, CloseRequestQueuesTheCloseKeyAndTheWindowStays) {
    XConnection x;
    ASSERT_TRUE(x.ok()) << "libX11 or libXtst missing";
    ASSERT_TRUE(x.send_close_request(std::stoul(screen().window)));
    EXPECT_EQ(collect_keys(1), std::vector<std::string>{extended(107)});
    EXPECT_EQ(keys_before_marker(), std::vector<std::string>{}) << "one request queued more than one close key";
    EXPECT_TRUE(window_exists(screen().window));
    EXPECT_TRUE(screen_is_open());
}

// Moves the pointer to client coordinates (x, y), which may lie outside the window.
bool move_pointer(int x, int y) {
    return xdo("mousemove --sync " + std::to_string(screen().x + x) + " " + std::to_string(screen().y + y));
}

TEST_F(WindowInput, ReadMouseGivesThePointerInClientPixels) {
    int32_t x = 0, y = 0, wheel = 0, buttons = 0;
    ASSERT_TRUE(move_pointer(100, 50));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && x == 100 && y == 50; }))
        << x << "," << y;
    ASSERT_TRUE(move_pointer(479, 319));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && x == 479 && y == 319; }))
        << x << "," << y;
    EXPECT_EQ(buttons, 0);
}

TEST_F(WindowInput, OutsideTheWindowTheMouseQueryFails) {
    int32_t x = 0, y = 0, wheel = 0, buttons = 0;
    ASSERT_TRUE(move_pointer(200, 100));
    ASSERT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0; }));
    ASSERT_TRUE(move_pointer(480 + 30, 100));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 1; }));
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(wheel, -1);
    EXPECT_EQ(buttons, -1);
}

TEST_F(WindowInput, ButtonsSetTheirBitsAndStayCapturedOutside) {
    int32_t x = 0, y = 0, wheel = 0, buttons = 0;
    ASSERT_TRUE(move_pointer(240, 160));
    struct Button {
        int xdotool_button;
        int bit;
    };
    for (Button b : {Button{1, MOUSE_LEFT}, Button{3, MOUSE_RIGHT}, Button{2, MOUSE_MIDDLE}}) {
        ASSERT_TRUE(xdo("mousedown " + std::to_string(b.xdotool_button)));
        EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && buttons == b.bit; }))
            << "button " << b.xdotool_button << " gave " << buttons;
        ASSERT_TRUE(xdo("mouseup " + std::to_string(b.xdotool_button)));
        EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && buttons == 0; }));
    }
    // Held and dragged outside: the query fails; back inside, the button is still held.
    ASSERT_TRUE(xdo("mousedown 1"));
    ASSERT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && buttons == 1; }));
    ASSERT_TRUE(move_pointer(-40, 160));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 1; }));
    EXPECT_EQ(buttons, -1);
    ASSERT_TRUE(move_pointer(10, 20));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && x == 10 && y == 20; }));
    EXPECT_EQ(buttons, MOUSE_LEFT);
    ASSERT_TRUE(move_pointer(-40, 160));
    ASSERT_TRUE(xdo("mouseup 1"));  // released outside: the capture delivers the release
    ASSERT_TRUE(move_pointer(30, 40));
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && x == 30; }));
    EXPECT_EQ(buttons, 0);
}

TEST_F(WindowInput, WheelCountsOneStepPerEvent) {
    int32_t x = 0, y = 0, wheel = 0, buttons = 0;
    ASSERT_TRUE(move_pointer(240, 160));
    ASSERT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0; }));
    const int32_t start = wheel;
    ASSERT_TRUE(xdo("click --repeat 3 --delay 30 4"));  // away from the user
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && wheel == start + 3; }))
        << wheel - start;
    ASSERT_TRUE(xdo("click 5"));  // toward the user
    EXPECT_TRUE(wait_until([&] { return read_mouse(x, y, wheel, buttons) == 0 && wheel == start + 2; }))
        << wheel - start;
}

}  // namespace
