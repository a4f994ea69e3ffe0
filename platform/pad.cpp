// Pad events to the game's two input channels: held face and shoulder buttons and triggers
// become the climb (key-state entry 57, read through climb_held), commands become pad codes
// in the key queue, and the D-pad and the left stick become direction codes that repeat
// like a held key. The codes mean nothing to the platform; ui/ reads them by context.
#include "platform/pad.h"

#include <cstdlib>
#include <map>

#include "platform/core.h"
#include "platform/platform.h"

namespace {

enum Direction { UP, DOWN, LEFT, RIGHT, DIRECTION_COUNT };

constexpr int DIRECTION_CODES[DIRECTION_COUNT] = {KEY_PAD_UP, KEY_PAD_DOWN, KEY_PAD_LEFT, KEY_PAD_RIGHT};

struct PadState {
    bool held[pad::BUTTON_COUNT] = {};
    int axis[pad::AXIS_COUNT] = {};
    int stick = -1;                          // the left stick's direction, -1 at rest
    bool pointing[DIRECTION_COUNT] = {};     // by the D-pad or the stick
    int64_t next_repeat[DIRECTION_COUNT] = {};
};

// Never destroyed: the refresh thread lets go of the pads while the window stops at exit,
// after other statics may be gone.
std::map<int, PadState>& pads() {
    static auto* all = new std::map<int, PadState>;
    return *all;
}

// The pad code a button queues when pressed, 0 for none (the shoulders only hold, the
// Guide button belongs to the system, the D-pad goes through the directions).
int command_code(int button) {
    switch (button) {
        case pad::BUTTON_A: return KEY_PAD_A;
        case pad::BUTTON_B: return KEY_PAD_B;
        case pad::BUTTON_X: return KEY_PAD_X;
        case pad::BUTTON_Y: return KEY_PAD_Y;
        case pad::BUTTON_START: return KEY_PAD_START;
        case pad::BUTTON_BACK: return KEY_PAD_BACK;
        default: return 0;
    }
}

bool climbs(int button) {
    switch (button) {
        case pad::BUTTON_A: case pad::BUTTON_B: case pad::BUTTON_X: case pad::BUTTON_Y:
        case pad::BUTTON_LEFT_SHOULDER: case pad::BUTTON_RIGHT_SHOULDER: return true;
        default: return false;
    }
}

// The stick's direction: the larger of its two deflections once past STICK_ENGAGE, kept
// until the stick is back inside STICK_RELEASE.
int stick_direction(const PadState& p) {
    const int x = p.axis[pad::AXIS_LEFT_X], y = p.axis[pad::AXIS_LEFT_Y];
    const int ax = std::abs(x), ay = std::abs(y);
    const int threshold = p.stick >= 0 ? pad::STICK_RELEASE : pad::STICK_ENGAGE;
    if (ax < threshold && ay < threshold) return -1;
    if (ay >= ax) return y < 0 ? UP : DOWN;  // SDL's y grows downward
    return x < 0 ? LEFT : RIGHT;
}

// Recomputes the directions; one that starts pointing queues its code at once and repeats
// after REPEAT_DELAY_MS.
void update_directions(PadState& p, int64_t now_ms) {
    p.stick = stick_direction(p);
    const bool dpad[DIRECTION_COUNT] = {p.held[pad::BUTTON_DPAD_UP], p.held[pad::BUTTON_DPAD_DOWN],
                                        p.held[pad::BUTTON_DPAD_LEFT], p.held[pad::BUTTON_DPAD_RIGHT]};
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const bool now_pointing = dpad[d] || p.stick == d;
        if (now_pointing && !p.pointing[d]) {
            core::post_key(DIRECTION_CODES[d]);
            p.next_repeat[d] = now_ms + pad::REPEAT_DELAY_MS;
        }
        p.pointing[d] = now_pointing;
    }
}

}  // namespace

namespace pad {

void press(int id, int button, bool down, int64_t now_ms) {
    if (button < 0 || button >= BUTTON_COUNT) return;
    PadState& p = pads()[id];
    const bool was = p.held[button];
    p.held[button] = down;
    if (down && !was) {
        if (int code = command_code(button)) core::post_key(code);
    }
    update_directions(p, now_ms);
}

void move_axis(int id, int axis, int value, int64_t now_ms) {
    if (axis < 0 || axis >= AXIS_COUNT) return;
    PadState& p = pads()[id];
    p.axis[axis] = value;
    update_directions(p, now_ms);
}

void remove(int id) { pads().erase(id); }

void repeat(int64_t now_ms) {
    for (auto& [id, p] : pads()) {
        for (int d = 0; d < DIRECTION_COUNT; ++d) {
            if (!p.pointing[d] || now_ms < p.next_repeat[d]) continue;
            core::post_key(DIRECTION_CODES[d]);
            p.next_repeat[d] += REPEAT_EVERY_MS;
            // A late tick gives one repeat, not a burst of the ones it missed.
            if (p.next_repeat[d] <= now_ms) p.next_repeat[d] = now_ms + REPEAT_EVERY_MS;
        }
    }
}

bool climb_held() {
    for (const auto& [id, p] : pads()) {
        for (int b = 0; b < BUTTON_COUNT; ++b) {
            if (p.held[b] && climbs(b)) return true;
        }
        if (p.axis[AXIS_LEFT_TRIGGER] >= TRIGGER_HELD || p.axis[AXIS_RIGHT_TRIGGER] >= TRIGGER_HELD) return true;
    }
    return false;
}

void reset() { pads().clear(); }

}  // namespace pad
