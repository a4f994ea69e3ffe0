// KeyboardEvent.code names to USB HID usage numbers.
#include "platform/web/keys.h"

#include <cstring>

namespace {

struct CodeUsage {
    const char* code;
    int usage;
};

constexpr CodeUsage CODE_USAGES[] = {
    {"Enter", 40}, {"Escape", 41}, {"Backspace", 42}, {"Tab", 43}, {"Space", 44},
    {"Minus", 45}, {"Equal", 46}, {"BracketLeft", 47}, {"BracketRight", 48},
    {"Backslash", 49}, {"Semicolon", 51}, {"Quote", 52}, {"Backquote", 53}, {"Comma", 54},
    {"Period", 55}, {"Slash", 56}, {"CapsLock", 57},
    {"PrintScreen", 70}, {"ScrollLock", 71}, {"Pause", 72}, {"Insert", 73}, {"Home", 74},
    {"PageUp", 75}, {"Delete", 76}, {"End", 77}, {"PageDown", 78}, {"ArrowRight", 79},
    {"ArrowLeft", 80}, {"ArrowDown", 81}, {"ArrowUp", 82}, {"NumLock", 83},
    {"NumpadDivide", 84}, {"NumpadMultiply", 85}, {"NumpadSubtract", 86}, {"NumpadAdd", 87},
    {"NumpadEnter", 88}, {"NumpadDecimal", 99}, {"IntlBackslash", 100}, {"ContextMenu", 101},
    {"NumpadEqual", 103}, {"IntlRo", 135}, {"KanaMode", 136}, {"IntlYen", 137},
    {"Convert", 138}, {"NonConvert", 139},
    {"ControlLeft", HID_LEFT_CTRL}, {"ShiftLeft", HID_LEFT_SHIFT}, {"AltLeft", HID_LEFT_ALT},
    {"MetaLeft", 227}, {"ControlRight", HID_RIGHT_CTRL}, {"ShiftRight", HID_RIGHT_SHIFT},
    {"AltRight", HID_RIGHT_ALT}, {"MetaRight", 231},
};

// The number after a prefix ("F12" -> 12), or -1 when the rest is not a plain number.
int number_after(const char* code, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (std::strncmp(code, prefix, n) != 0 || code[n] == '\0') return -1;
    int value = 0;
    for (const char* p = code + n; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 100) return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

}  // namespace

int hid_usage_of_code(const char* code) {
    if (!code) return 0;
    // Letters 4..29, digits 1..9 30..38 and 0 39, keypad 1..9 89..97 and 0 98,
    // F1..F12 58..69, F13..F24 104..115.
    if (std::strncmp(code, "Key", 3) == 0 && code[3] >= 'A' && code[3] <= 'Z' && code[4] == '\0') {
        return 4 + (code[3] - 'A');
    }
    int n = number_after(code, "Digit");
    if (n >= 0 && n <= 9) return n == 0 ? 39 : 29 + n;
    n = number_after(code, "Numpad");
    if (n >= 0 && n <= 9) return n == 0 ? 98 : 88 + n;
    n = number_after(code, "F");
    if (n >= 1 && n <= 12) return 57 + n;
    if (n >= 13 && n <= 24) return 91 + n;
    for (const CodeUsage& c : CODE_USAGES) {
        if (std::strcmp(c.code, code) == 0) return c.usage;
    }
    return 0;
}
