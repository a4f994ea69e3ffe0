// Key names of the browser: KeyboardEvent.code to the USB HID usage number, which is the
// scancode that the desktop's key translation (platform/key_translation.h) takes, so the
// browser build turns keys into key states and queued keys by the same tables.
#pragma once

// The USB HID usage of a KeyboardEvent.code ("KeyA" 4, "Space" 44, "ArrowUp" 82); 0 for
// a key without one.
int hid_usage_of_code(const char* code);

// HID usages of the modifier keys, for the modifier state.
constexpr int HID_LEFT_CTRL = 224;
constexpr int HID_LEFT_SHIFT = 225;
constexpr int HID_LEFT_ALT = 226;
constexpr int HID_RIGHT_CTRL = 228;
constexpr int HID_RIGHT_SHIFT = 229;
constexpr int HID_RIGHT_ALT = 230;
constexpr int HID_USAGE_COUNT = 256;
