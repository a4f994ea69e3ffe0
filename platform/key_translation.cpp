// Key translation tables of the desktop window and the browser: SDL scancodes (USB HID
// usages) to PC set 1 make codes for the key-state table, key presses to queued key codes
// after the PC BIOS convention, and typed Unicode text to code page 437. Only SDL's
// scancode and keycode numbers are used, from its headers; nothing of SDL is called.
#include "platform/key_translation.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>

#include "platform/platform.h"

namespace {

struct MakeCode {
    int sdl;  // SDL scancode
    int pc;   // set 1 make code
};

constexpr MakeCode MAKE_CODES[] = {
    {SDL_SCANCODE_A, 30}, {SDL_SCANCODE_B, 48}, {SDL_SCANCODE_C, 46}, {SDL_SCANCODE_D, 32},
    {SDL_SCANCODE_E, 18}, {SDL_SCANCODE_F, 33}, {SDL_SCANCODE_G, 34}, {SDL_SCANCODE_H, 35},
    {SDL_SCANCODE_I, 23}, {SDL_SCANCODE_J, 36}, {SDL_SCANCODE_K, 37}, {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_M, 50}, {SDL_SCANCODE_N, 49}, {SDL_SCANCODE_O, 24}, {SDL_SCANCODE_P, 25},
    {SDL_SCANCODE_Q, 16}, {SDL_SCANCODE_R, 19}, {SDL_SCANCODE_S, 31}, {SDL_SCANCODE_T, 20},
    {SDL_SCANCODE_U, 22}, {SDL_SCANCODE_V, 47}, {SDL_SCANCODE_W, 17}, {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_Y, 21}, {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_1, 2}, {SDL_SCANCODE_2, 3}, {SDL_SCANCODE_3, 4}, {SDL_SCANCODE_4, 5},
    {SDL_SCANCODE_5, 6}, {SDL_SCANCODE_6, 7}, {SDL_SCANCODE_7, 8}, {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10}, {SDL_SCANCODE_0, 11},
    {SDL_SCANCODE_RETURN, 28}, {SDL_SCANCODE_ESCAPE, 1}, {SDL_SCANCODE_BACKSPACE, 14},
    {SDL_SCANCODE_TAB, 15}, {SDL_SCANCODE_SPACE, 57}, {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13}, {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_BACKSLASH, 43}, {SDL_SCANCODE_NONUSHASH, 43}, {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40}, {SDL_SCANCODE_GRAVE, 41}, {SDL_SCANCODE_COMMA, 51},
    {SDL_SCANCODE_PERIOD, 52}, {SDL_SCANCODE_SLASH, 53}, {SDL_SCANCODE_CAPSLOCK, 58},
    {SDL_SCANCODE_F1, 59}, {SDL_SCANCODE_F2, 60}, {SDL_SCANCODE_F3, 61}, {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63}, {SDL_SCANCODE_F6, 64}, {SDL_SCANCODE_F7, 65}, {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67}, {SDL_SCANCODE_F10, 68}, {SDL_SCANCODE_F11, 87}, {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_SCROLLLOCK, 70},
    // The cursor block reads as the keypad key in its place.
    {SDL_SCANCODE_INSERT, 82}, {SDL_SCANCODE_HOME, 71}, {SDL_SCANCODE_PAGEUP, 73},
    {SDL_SCANCODE_DELETE, 83}, {SDL_SCANCODE_END, 79}, {SDL_SCANCODE_PAGEDOWN, 81},
    {SDL_SCANCODE_RIGHT, 77}, {SDL_SCANCODE_LEFT, 75}, {SDL_SCANCODE_DOWN, 80},
    {SDL_SCANCODE_UP, 72},
    {SDL_SCANCODE_NUMLOCKCLEAR, 69}, {SDL_SCANCODE_KP_DIVIDE, 53}, {SDL_SCANCODE_KP_MULTIPLY, 55},
    {SDL_SCANCODE_KP_MINUS, 74}, {SDL_SCANCODE_KP_PLUS, 78}, {SDL_SCANCODE_KP_ENTER, 28},
    {SDL_SCANCODE_KP_1, 79}, {SDL_SCANCODE_KP_2, 80}, {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_4, 75}, {SDL_SCANCODE_KP_5, 76}, {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_7, 71}, {SDL_SCANCODE_KP_8, 72}, {SDL_SCANCODE_KP_9, 73},
    {SDL_SCANCODE_KP_0, 82}, {SDL_SCANCODE_KP_PERIOD, 83}, {SDL_SCANCODE_KP_EQUALS, 89},
    {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_APPLICATION, 93},
    {SDL_SCANCODE_F13, 100}, {SDL_SCANCODE_F14, 101}, {SDL_SCANCODE_F15, 102},
    {SDL_SCANCODE_F16, 103}, {SDL_SCANCODE_F17, 104}, {SDL_SCANCODE_F18, 105},
    {SDL_SCANCODE_F19, 106}, {SDL_SCANCODE_F20, 107}, {SDL_SCANCODE_F21, 108},
    {SDL_SCANCODE_F22, 109}, {SDL_SCANCODE_F23, 110}, {SDL_SCANCODE_F24, 118},
    {SDL_SCANCODE_INTERNATIONAL1, 115}, {SDL_SCANCODE_INTERNATIONAL2, 112},
    {SDL_SCANCODE_INTERNATIONAL3, 125}, {SDL_SCANCODE_INTERNATIONAL4, 121},
    {SDL_SCANCODE_INTERNATIONAL5, 123},
    {SDL_SCANCODE_LCTRL, 29}, {SDL_SCANCODE_LSHIFT, 42}, {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_LGUI, 91}, {SDL_SCANCODE_RCTRL, 29}, {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_RALT, 56}, {SDL_SCANCODE_RGUI, 92},
};

// Extended code bytes of a key without a character: alone, with Shift, Ctrl, Alt (0: none).
struct ExtendedKey {
    int sdl;
    int plain, shift, ctrl, alt;
};

constexpr ExtendedKey FUNCTION_AND_CURSOR_KEYS[] = {
    {SDL_SCANCODE_F1, 59, 84, 94, 104},   {SDL_SCANCODE_F2, 60, 85, 95, 105},
    {SDL_SCANCODE_F3, 61, 86, 96, 106},   {SDL_SCANCODE_F4, 62, 87, 97, 107},
    {SDL_SCANCODE_F5, 63, 88, 98, 108},   {SDL_SCANCODE_F6, 64, 89, 99, 109},
    {SDL_SCANCODE_F7, 65, 90, 100, 110},  {SDL_SCANCODE_F8, 66, 91, 101, 111},
    {SDL_SCANCODE_F9, 67, 92, 102, 112},  {SDL_SCANCODE_F10, 68, 93, 103, 113},
    {SDL_SCANCODE_F11, 133, 135, 137, 139}, {SDL_SCANCODE_F12, 134, 136, 138, 140},
    {SDL_SCANCODE_HOME, 71, 71, 119, 151},  {SDL_SCANCODE_UP, 72, 72, 141, 152},
    {SDL_SCANCODE_PAGEUP, 73, 73, 132, 153}, {SDL_SCANCODE_LEFT, 75, 75, 115, 155},
    {SDL_SCANCODE_RIGHT, 77, 77, 116, 157}, {SDL_SCANCODE_END, 79, 79, 117, 159},
    {SDL_SCANCODE_DOWN, 80, 80, 145, 160},  {SDL_SCANCODE_PAGEDOWN, 81, 81, 118, 161},
    {SDL_SCANCODE_INSERT, 82, 82, 146, 162}, {SDL_SCANCODE_DELETE, 83, 83, 147, 163},
};

// Keypad keys with Num Lock off: the cursor block's codes; Alt with them gives nothing
// (on a PC it starts typing a character by its number).
constexpr ExtendedKey KEYPAD_CURSOR_KEYS[] = {
    {SDL_SCANCODE_KP_7, 71, 71, 119, 0}, {SDL_SCANCODE_KP_8, 72, 72, 141, 0},
    {SDL_SCANCODE_KP_9, 73, 73, 132, 0}, {SDL_SCANCODE_KP_4, 75, 75, 115, 0},
    {SDL_SCANCODE_KP_5, 76, 76, 143, 0}, {SDL_SCANCODE_KP_6, 77, 77, 116, 0},
    {SDL_SCANCODE_KP_1, 79, 79, 117, 0}, {SDL_SCANCODE_KP_2, 80, 80, 145, 0},
    {SDL_SCANCODE_KP_3, 81, 81, 118, 0}, {SDL_SCANCODE_KP_0, 82, 82, 146, 0},
    {SDL_SCANCODE_KP_PERIOD, 83, 83, 147, 0},
};

// Keypad operators type their character; with Ctrl or Alt they give extended codes.
constexpr ExtendedKey KEYPAD_OPERATORS[] = {
    {SDL_SCANCODE_KP_DIVIDE, 0, 0, 149, 164}, {SDL_SCANCODE_KP_MULTIPLY, 0, 0, 150, 55},
    {SDL_SCANCODE_KP_MINUS, 0, 0, 142, 74},   {SDL_SCANCODE_KP_PLUS, 0, 0, 144, 78},
};

// Code page 437 bytes 128..255 as Unicode.
constexpr uint16_t CP437_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

const ExtendedKey* find_key(const ExtendedKey* table, int count, int sdl_scancode) {
    for (int i = 0; i < count; ++i) {
        if (table[i].sdl == sdl_scancode) return &table[i];
    }
    return nullptr;
}

// The BIOS column for the held modifiers: Alt before Ctrl before Shift.
int pick_code(const ExtendedKey& key, int mods) {
    if (mods & MOD_ALT) return key.alt;
    if (mods & MOD_CTRL) return key.ctrl;
    if (mods & MOD_SHIFT) return key.shift;
    return key.plain;
}

bool is_letter_key(int sdl_scancode) {
    return sdl_scancode >= SDL_SCANCODE_A && sdl_scancode <= SDL_SCANCODE_Z;
}

bool is_digit_key(int sdl_scancode) {
    return sdl_scancode >= SDL_SCANCODE_1 && sdl_scancode <= SDL_SCANCODE_0;
}

// The BIOS code byte of left Alt with a character key: letters and punctuation give their
// make code, the digit row 120..129, minus 130 and equals 131; 0 for other keys.
int alt_character_code(int sdl_scancode) {
    if (is_digit_key(sdl_scancode)) return 120 + (sdl_scancode - SDL_SCANCODE_1);
    switch (sdl_scancode) {
        case SDL_SCANCODE_MINUS: return 130;
        case SDL_SCANCODE_EQUALS: return 131;
        case SDL_SCANCODE_LEFTBRACKET: case SDL_SCANCODE_RIGHTBRACKET:
        case SDL_SCANCODE_BACKSLASH: case SDL_SCANCODE_NONUSHASH:
        case SDL_SCANCODE_SEMICOLON: case SDL_SCANCODE_APOSTROPHE: case SDL_SCANCODE_GRAVE:
        case SDL_SCANCODE_COMMA: case SDL_SCANCODE_PERIOD: case SDL_SCANCODE_SLASH:
            return pc_make_code(sdl_scancode);
        default:
            return is_letter_key(sdl_scancode) ? pc_make_code(sdl_scancode) : 0;
    }
}

// Ctrl with a letter: 1..26 by the layout's letter, else by the key's US position.
int ctrl_letter_code(int sdl_scancode, int sdl_keycode) {
    if (sdl_keycode >= 'a' && sdl_keycode <= 'z') return sdl_keycode - 'a' + 1;
    if (is_letter_key(sdl_scancode)) return sdl_scancode - SDL_SCANCODE_A + 1;
    return 0;
}

// Keys whose character SDL does not send as text: Enter, Escape, Backspace, Tab.
int control_key_code(int sdl_scancode, int mods) {
    switch (sdl_scancode) {
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_KP_ENTER:
            if (mods & MOD_ALT) return extended_key(sdl_scancode == SDL_SCANCODE_RETURN ? 28 : 166);
            return (mods & MOD_CTRL) ? 10 : KEY_ENTER;
        case SDL_SCANCODE_ESCAPE:
            return (mods & MOD_ALT) ? extended_key(1) : KEY_ESCAPE;
        case SDL_SCANCODE_BACKSPACE:
            if (mods & MOD_ALT) return extended_key(14);
            return (mods & MOD_CTRL) ? 127 : KEY_BACKSPACE;
        case SDL_SCANCODE_TAB:
            if (mods & MOD_ALT) return extended_key(165);
            if (mods & MOD_CTRL) return extended_key(148);
            return (mods & MOD_SHIFT) ? extended_key(15) : KEY_TAB;
        default:
            return 0;
    }
}

}  // namespace

int pc_make_code(int sdl_scancode) {
    for (const MakeCode& m : MAKE_CODES) {
        if (m.sdl == sdl_scancode) return m.pc;
    }
    return 0;
}

KeyTranslation translate_key_press(int sdl_scancode, int sdl_keycode, int mods) {
    KeyTranslation t;
    if (sdl_scancode == SDL_SCANCODE_F4 && (mods & MOD_ALT)) {
        t.code = KEY_CLOSE;
        return t;
    }
    if (int code = control_key_code(sdl_scancode, mods)) {
        t.code = code;
        t.drops_text = true;
        return t;
    }
    constexpr int CURSOR_COUNT = sizeof(FUNCTION_AND_CURSOR_KEYS) / sizeof(ExtendedKey);
    if (const ExtendedKey* key = find_key(FUNCTION_AND_CURSOR_KEYS, CURSOR_COUNT, sdl_scancode)) {
        int byte = pick_code(*key, mods);
        if (byte) t.code = extended_key(byte);
        return t;
    }
    constexpr int KEYPAD_COUNT = sizeof(KEYPAD_CURSOR_KEYS) / sizeof(ExtendedKey);
    if (const ExtendedKey* key = find_key(KEYPAD_CURSOR_KEYS, KEYPAD_COUNT, sdl_scancode)) {
        // Shift inverts Num Lock on the keypad, as on a PC.
        bool types_digits = ((mods & MOD_NUM_LOCK) != 0) != ((mods & MOD_SHIFT) != 0);
        if (types_digits) return t;
        int byte = pick_code(*key, mods & ~MOD_SHIFT);
        if (byte) t.code = extended_key(byte);
        return t;
    }
    constexpr int OPERATOR_COUNT = sizeof(KEYPAD_OPERATORS) / sizeof(ExtendedKey);
    if (const ExtendedKey* key = find_key(KEYPAD_OPERATORS, OPERATOR_COUNT, sdl_scancode)) {
        int byte = pick_code(*key, mods);
        if (byte) {
            t.code = extended_key(byte);
            t.drops_text = true;
        }
        return t;
    }
    // Character keys: left Alt gives the BIOS Alt code (right Alt is left to the layout,
    // where it may be AltGr); Ctrl with a letter gives 1..26; otherwise the character
    // event types the key.
    if (mods & MOD_LEFT_ALT) {
        if (int byte = alt_character_code(sdl_scancode)) {
            t.code = extended_key(byte);
            t.drops_text = true;
        }
        return t;
    }
    if ((mods & MOD_CTRL) && !(mods & MOD_ALT)) {
        if (int code = ctrl_letter_code(sdl_scancode, sdl_keycode)) {
            t.code = code;
            t.drops_text = true;
        }
    }
    return t;
}

bool is_full_screen_toggle(int sdl_scancode, int mods) {
    return (mods & MOD_ALT) &&
           (sdl_scancode == SDL_SCANCODE_RETURN || sdl_scancode == SDL_SCANCODE_KP_ENTER);
}

int cp437_from_unicode(uint32_t code_point) {
    if (code_point >= 32 && code_point < 127) return static_cast<int>(code_point);
    if (code_point == 0x00A0) return 0;
    for (int i = 0; i < 128; ++i) {
        if (CP437_HIGH[i] == code_point) return 128 + i;
    }
    // Look-alikes that code page 437 shares with its Greek letters.
    if (code_point == 0x03B2) return 0xE1;  // beta, drawn as sharp s
    if (code_point == 0x03BC) return 0xE6;  // mu, the micro sign
    return 0;
}

std::string cp437_from_utf8(const char* text) {
    std::string out;
    if (!text) return out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        uint32_t cp = *p;
        int extra = 0;
        if (cp >= 0xF0 && cp <= 0xF4) { extra = 3; cp &= 0x07; }
        else if (cp >= 0xE0 && cp <= 0xEF) { extra = 2; cp &= 0x0F; }
        else if (cp >= 0xC2 && cp <= 0xDF) { extra = 1; cp &= 0x1F; }
        int i = 1;
        for (; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) break;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        bool valid = i > extra && !(extra == 2 && cp < 0x800) && !(extra == 3 && cp < 0x10000) &&
                     !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
        if (extra > 0 && valid) {
            p += extra + 1;
        } else {
            cp = *p;  // not UTF-8: a Latin-1 byte
            ++p;
        }
        if (int code = cp437_from_unicode(cp)) out.push_back(static_cast<char>(code));
    }
    return out;
}
