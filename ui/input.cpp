// The key string and the mouse state that the dialogs poll once per pass, and the
// questions they ask of them (-1 true, 0 false).
#include "ui/input.h"

#include "platform/platform.h"

namespace {

constexpr int RELEASE_PAUSE_MS = 25;  // one pass of wait_for_release

struct InputState {
    std::string key;   // last key read: empty, one byte, or 255 and a code byte
    MouseState mouse;  // last good sample and the one before it
};

InputState& input() {
    static InputState state;
    return state;
}

int32_t truth(bool value) { return value ? -1 : 0; }

}  // namespace

const std::string& key_string() { return input().key; }

void set_key_string(const std::string& key) { input().key = key; }

const MouseState& mouse_state() { return input().mouse; }

void poll_key() { input().key = read_key(); }

void poll_mouse() {
    MouseState& m = input().mouse;
    m.prev_x = m.x;
    m.prev_y = m.y;
    m.prev_buttons = m.buttons;
    int32_t x = 0, y = 0, wheel = 0, buttons = 0;
    // A failed query (pointer outside, window inactive) fills -1s; keeping the last good
    // values instead makes the sample look like "no move, no new button".
    if (read_mouse(x, y, wheel, buttons) == 0) {
        m.x = x;
        m.y = y;
        m.buttons = buttons;
    }
}

void wait_for_release() {
    for (;;) {
        pause_ms(RELEASE_PAUSE_MS);
        poll_mouse();
        poll_key();
        if (input().mouse.buttons == 0 && input().key.empty()) return;
    }
}

bool key_is(int code) {
    const std::string& key = input().key;
    if (code <= 255) return key.size() == 1 && static_cast<unsigned char>(key[0]) == code;
    return key.size() == 2 && static_cast<unsigned char>(key[0]) == 255 &&
           static_cast<unsigned char>(key[1]) == (code >> 8);
}

int32_t is_confirm_key() {
    const bool pad = key_is(KEY_PAD_A) || key_is(KEY_PAD_START) || key_is(KEY_PAD_B) || key_is(KEY_PAD_BACK);
    return truth(key_is(KEY_ESCAPE) || key_is(KEY_ENTER) || key_is(KEY_SPACE) || pad);
}

int32_t is_escape_key() { return truth(key_is(KEY_ESCAPE) || key_is(KEY_PAD_B) || key_is(KEY_PAD_BACK)); }

int32_t is_quit_key() { return truth(key_is(KEY_ESCAPE) || key_is(KEY_PAD_START) || key_is(KEY_PAD_BACK)); }

int32_t is_up_key() { return truth(key_is(KEY_UP) || key_is(KEY_PAD_UP)); }

int32_t is_down_key() { return truth(key_is(KEY_DOWN) || key_is(KEY_PAD_DOWN)); }

int32_t is_fresh_click() {
    const MouseState& m = input().mouse;
    return truth(m.buttons > 0 && m.prev_buttons == 0);
}

int32_t mouse_moved() {
    const MouseState& m = input().mouse;
    return truth(m.prev_x != m.x || m.prev_y != m.y);
}

int32_t is_confirm_or_click() { return is_confirm_key() | is_fresh_click(); }

void reset_input_state() { input() = InputState{}; }
