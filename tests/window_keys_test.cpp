// The SDL window's key translation tables, without a display: SDL scancodes (USB HID usage
// numbers) to PC make codes, key presses to queued key codes, Unicode text to code page 437.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/key_translation.h"

namespace {

// SDL scancodes, typed in from the USB HID usage table.
constexpr int A = 4, Q = 20, Z = 29, DIGIT_1 = 30, DIGIT_0 = 39;
constexpr int RETURN = 40, ESCAPE = 41, BACKSPACE = 42, TAB = 43, SPACE = 44, MINUS = 45;
constexpr int CAPS_LOCK = 57, F1 = 58, F4 = 61, F10 = 67, F11 = 68, F12 = 69, PRINT_SCREEN = 70;
constexpr int INSERT = 73, HOME = 74, PAGE_UP = 75, DELETE = 76, END = 77, PAGE_DOWN = 78;
constexpr int RIGHT = 79, LEFT = 80, DOWN = 81, UP = 82;
constexpr int KP_ENTER = 88, KP_4 = 92, KP_5 = 93, KP_7 = 95, KP_8 = 96, KP_0 = 98, KP_PERIOD = 99;
constexpr int KP_MINUS = 86;
constexpr int LEFT_CTRL = 224, LEFT_SHIFT = 225, LEFT_ALT = 226, RIGHT_CTRL = 228;
constexpr int RIGHT_SHIFT = 229, RIGHT_ALT = 230;

struct MakeCase {
    int sdl;
    int make;
};

TEST(WindowKeys, ScancodesGiveTheirPcMakeCodesAndTwinsShareOne) {
    const MakeCase cases[] = {
        {A, 30}, {Q, 16}, {Z, 44}, {DIGIT_1, 2}, {DIGIT_0, 11}, {SPACE, 57}, {ESCAPE, 1},
        {RETURN, 28}, {BACKSPACE, 14}, {TAB, 15}, {MINUS, 12}, {F1, 59}, {F10, 68},
        {F11, 87}, {F12, 88}, {LEFT_CTRL, 29}, {RIGHT_CTRL, 29}, {LEFT_ALT, 56},
        {RIGHT_ALT, 56}, {LEFT_SHIFT, 42}, {RIGHT_SHIFT, 54},
        // The cursor block reads as the keypad key in its place.
        {UP, 72}, {KP_8, 72}, {LEFT, 75}, {KP_4, 75}, {HOME, 71}, {KP_7, 71},
        {INSERT, 82}, {KP_0, 82}, {DELETE, 83}, {KP_PERIOD, 83}, {KP_ENTER, 28}, {KP_5, 76},
        {PAGE_UP, 73}, {PAGE_DOWN, 81}, {END, 79}, {DOWN, 80}, {RIGHT, 77},
        // Keys without a make code, and scancodes no key has.
        {PRINT_SCREEN, 0}, {0, 0}, {-1, 0}, {511, 0}, {100000, 0},
    };
    for (const MakeCase& c : cases) EXPECT_EQ(pc_make_code(c.sdl), c.make) << "SDL scancode " << c.sdl;
}

TEST(WindowKeys, EveryScancodeFitsTheKeyStateTable) {
    for (int s = 0; s < 512; ++s) {
        int make = pc_make_code(s);
        EXPECT_GE(make, 0) << s;
        EXPECT_LT(make, KEY_STATE_COUNT) << s;
    }
}

struct PressCase {
    int sdl;
    int keycode;  // SDL keycode: the layout's lower-case letter for letter keys
    int mods;
    int code;
    bool drops_text;
};

TEST(WindowKeys, KeyPressesGiveTheTableCodesAndTheBiosVariants) {
    const PressCase cases[] = {
        // Keys SDL sends no character for, queued from the key event.
        {RETURN, 13, 0, 13, true}, {KP_ENTER, 0, MOD_NUM_LOCK, 13, true},
        {ESCAPE, 27, 0, 27, true}, {BACKSPACE, 8, 0, 8, true}, {TAB, 9, 0, 9, true},
        {A, 'a', MOD_CTRL, 1, true}, {Z, 'z', MOD_CTRL, 26, true},
        {Q, 'a', MOD_CTRL, 1, true},  // a French layout's A key sits where Q is
        {RETURN, 13, MOD_CTRL, 10, true}, {BACKSPACE, 8, MOD_CTRL, 127, true},
        // The extended keys of the table.
        {UP, 0, 0, extended_key(72), false}, {DOWN, 0, 0, extended_key(80), false},
        {LEFT, 0, 0, extended_key(75), false}, {RIGHT, 0, 0, extended_key(77), false},
        {HOME, 0, 0, extended_key(71), false}, {END, 0, 0, extended_key(79), false},
        {PAGE_UP, 0, 0, extended_key(73), false}, {PAGE_DOWN, 0, 0, extended_key(81), false},
        {INSERT, 0, 0, extended_key(82), false}, {DELETE, 0, 0, extended_key(83), false},
        {F1, 0, 0, extended_key(59), false}, {F10, 0, 0, extended_key(68), false},
        {F11, 0, 0, extended_key(133), false}, {F12, 0, 0, extended_key(134), false},
        // The keypad: cursor codes with Num Lock off, digits (as text) with it on; Shift
        // turns Num Lock around.
        {KP_5, 0, 0, extended_key(76), false}, {KP_8, 0, 0, extended_key(72), false},
        {KP_PERIOD, 0, 0, extended_key(83), false}, {KP_5, 0, MOD_NUM_LOCK, 0, false},
        {KP_8, 0, MOD_NUM_LOCK | MOD_SHIFT, extended_key(72), false},
        {KP_8, 0, MOD_SHIFT, 0, false},
        // Shift, Ctrl and Alt after the PC BIOS.
        {F1, 0, MOD_SHIFT, extended_key(84), false}, {F10, 0, MOD_SHIFT, extended_key(93), false},
        {F1, 0, MOD_CTRL, extended_key(94), false}, {F10, 0, MOD_CTRL, extended_key(103), false},
        {F1, 0, MOD_LEFT_ALT, extended_key(104), false},
        {F10, 0, MOD_LEFT_ALT, extended_key(113), false},
        {F11, 0, MOD_SHIFT, extended_key(135), false}, {F12, 0, MOD_LEFT_ALT, extended_key(140), false},
        {LEFT, 0, MOD_CTRL, extended_key(115), false}, {RIGHT, 0, MOD_CTRL, extended_key(116), false},
        {TAB, 9, MOD_SHIFT, extended_key(15), true}, {KP_MINUS, '-', MOD_CTRL, extended_key(142), true},
        {Q, 'q', MOD_LEFT_ALT, extended_key(16), true}, {A, 'a', MOD_LEFT_ALT, extended_key(30), true},
        {DIGIT_1, '1', MOD_LEFT_ALT, extended_key(120), true},
        {DIGIT_0, '0', MOD_LEFT_ALT, extended_key(129), true},
        {MINUS, '-', MOD_LEFT_ALT, extended_key(130), true},
        // Alt+F4 with either Alt is the close key.
        {F4, 0, MOD_LEFT_ALT, KEY_CLOSE, false}, {F4, 0, MOD_RIGHT_ALT, KEY_CLOSE, false},
        {F4, 0, MOD_LEFT_ALT | MOD_SHIFT, KEY_CLOSE, false},
        // Keys that type a character give nothing here; right Alt may be AltGr.
        {A, 'a', 0, 0, false}, {A, 'a', MOD_SHIFT, 0, false}, {SPACE, ' ', 0, 0, false},
        {Q, 'q', MOD_RIGHT_ALT, 0, false}, {KP_MINUS, '-', 0, 0, false},
        // Modifiers and Caps Lock alone give nothing.
        {LEFT_SHIFT, 0, MOD_SHIFT, 0, false}, {LEFT_CTRL, 0, MOD_CTRL, 0, false},
        {LEFT_ALT, 0, MOD_LEFT_ALT, 0, false}, {CAPS_LOCK, 0, 0, 0, false},
    };
    for (const PressCase& c : cases) {
        KeyTranslation t = translate_key_press(c.sdl, c.keycode, c.mods);
        EXPECT_EQ(t.code, c.code) << "scancode " << c.sdl << " mods " << c.mods;
        EXPECT_EQ(t.drops_text, c.drops_text) << "scancode " << c.sdl << " mods " << c.mods;
    }
}

TEST(WindowKeys, AltEnterSwitchesFullScreen) {
    EXPECT_TRUE(is_full_screen_toggle(RETURN, MOD_LEFT_ALT));
    EXPECT_TRUE(is_full_screen_toggle(RETURN, MOD_RIGHT_ALT));
    EXPECT_TRUE(is_full_screen_toggle(KP_ENTER, MOD_LEFT_ALT));
    EXPECT_FALSE(is_full_screen_toggle(RETURN, 0));
    EXPECT_FALSE(is_full_screen_toggle(RETURN, MOD_CTRL));
    EXPECT_FALSE(is_full_screen_toggle(SPACE, MOD_LEFT_ALT));
}

struct CharacterCase {
    uint32_t unicode;
    int cp437;
};

TEST(WindowKeys, CharactersMapToCodePage437) {
    const CharacterCase cases[] = {
        {'A', 65}, {' ', 32}, {'~', 126}, {'!', 33},
        {0xE9, 130}, {0xFC, 129}, {0xA3, 156}, {0xC7, 128}, {0xDF, 225}, {0xF1, 164},
        {0xC4, 142}, {0xB0, 248}, {0xB5, 230}, {0x3B1, 224}, {0x3C0, 227}, {0x2591, 176},
        {0x2588, 219}, {0x25A0, 254}, {0x221A, 251},
        // No code page 437 byte, or one that must not be queued.
        {0x7F, 0}, {0x0A, 0}, {0x1B, 0}, {0x00, 0}, {0xA0, 0}, {0x20AC, 0}, {0xC3, 0},
        {0x1F600, 0}, {0x110000, 0},
    };
    for (const CharacterCase& c : cases) EXPECT_EQ(cp437_from_unicode(c.unicode), c.cp437) << std::hex << c.unicode;
}

struct TextCase {
    const char* utf8;
    std::string cp437;
};

TEST(WindowKeys, TypedTextConvertsAndDropsWhatHasNoCode) {
    const TextCase cases[] = {
        {"abc", "abc"},
        {"h\xC3\xA9!", "h\x82!"},                  // é
        {"\xC3\xBC\xC2\xA3", "\x81\x9C"},          // ü £
        {"x\xE2\x82\xACy", "xy"},                  // € has no byte
        {"\xF0\x9F\x98\x80z", "z"},                // an emoji
        {"\xE9", "\x82"},                          // a Latin-1 byte rather than UTF-8
        {"\xC3", ""},                              // a cut sequence: Latin-1 Ã, no byte
        {"\xE2\x96", "\x83"},                      // cut three-byte sequence: Latin-1 â, a C1 control
        {"\xCE\xB1\xCE\xB2", "\xE0\xE1"},          // α β
        {"", ""},
    };
    for (const TextCase& c : cases) EXPECT_EQ(cp437_from_utf8(c.utf8), c.cp437) << c.utf8;
    EXPECT_EQ(cp437_from_utf8(nullptr), "");
}

}  // namespace
