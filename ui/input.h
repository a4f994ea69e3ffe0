// Keyboard and mouse polling for the dialogs: the key string, the mouse state and the
// predicates over them. Predicates return -1 for true and 0 for false.
#pragma once

#include <cstdint>
#include <string>

struct MouseState {
    int32_t x = 0, y = 0, buttons = 0;                 // last successful sample
    int32_t prev_x = 0, prev_y = 0, prev_buttons = 0;  // before the latest poll_mouse
};

// The last key read: empty, one byte, or 255 and a code byte.
const std::string& key_string();
void set_key_string(const std::string& key);  // the frame loop stores its read here
const MouseState& mouse_state();

void poll_key();          // key string := read_key()
void poll_mouse();        // one mouse sample; a failed one keeps the last values
void wait_for_release();  // 25 ms passes until no key is pending and no button is held

// The pad's codes (platform.h) count as keys: A and Start as Enter, B and Back as Escape.
bool key_is(int code);          // the key string is this queued key code
int32_t is_confirm_key();       // Escape, Enter or space; pad A, B, Start or Back
int32_t is_escape_key();        // Escape; pad B or Back
int32_t is_quit_key();          // in flight: Escape; pad Start or Back (B climbs there)
int32_t is_up_key();            // cursor up; pad up
int32_t is_down_key();          // cursor down; pad down
int32_t is_fresh_click();       // a button held now and none at the previous poll
int32_t mouse_moved();
int32_t is_confirm_or_click();

// Back to the state of a fresh process (tests only).
void reset_input_state();
