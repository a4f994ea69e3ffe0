// Key translation, shared by the SDL window and the browser: SDL scancodes to PC make
// codes, key presses to the queue's extended keys, typed text to code page 437. Plain ints
// only, so that the tables can be tested without SDL's headers: scancodes are SDL's (the
// USB HID usage numbers, which the browser's key names map to, see web/keys.h), keycodes
// are SDL's (a letter key gives its lower-case ASCII letter).
#pragma once

#include <cstdint>
#include <string>

// Modifier keys held with a key press.
constexpr int MOD_SHIFT = 1;
constexpr int MOD_CTRL = 2;
constexpr int MOD_LEFT_ALT = 4;
constexpr int MOD_RIGHT_ALT = 8;   // also AltGr on layouts that have one
constexpr int MOD_NUM_LOCK = 16;
constexpr int MOD_ALT = MOD_LEFT_ALT | MOD_RIGHT_ALT;

// The PC scancode set 1 make code (1..127) whose key-state entry an SDL scancode holds;
// 0 for keys without one. Twins share an entry: right Ctrl 29, right Alt 56, each cursor
// block key the keypad key in its place.
int pc_make_code(int sdl_scancode);

struct KeyTranslation {
    int code = 0;             // key code for the queue, 0 when the key press queues nothing
    bool drops_text = false;  // the character event of this key press must be ignored
};

// What a key press (or one auto-repeat of it) queues. Keys that type a character give
// nothing here (their character event queues them), except Enter 13, Escape 27,
// Backspace 8, Tab 9 and Ctrl with a letter 1..26, for which SDL sends no character.
// Extended keys follow the PC BIOS: Shift, Ctrl and Alt variants, Alt+F4 the close key.
KeyTranslation translate_key_press(int sdl_scancode, int sdl_keycode, int mods);

// Alt+Enter switches between the window and full screen.
bool is_full_screen_toggle(int sdl_scancode, int mods);

// The code page 437 byte of a Unicode character; 0 when it has none (control characters,
// and U+00A0, whose 255 would read as the lead byte of an extended key).
int cp437_from_unicode(uint32_t code_point);

// The code page 437 bytes of typed UTF-8 text, characters without one left out. A byte
// that does not start a valid UTF-8 sequence is taken as a Latin-1 character.
std::string cp437_from_utf8(const char* text);
