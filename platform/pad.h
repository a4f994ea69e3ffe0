// The gamepad's rules, common to the SDL window and its headless twin: which buttons hold
// the climb, which queue a pad code (platform.h), and the dead zone and key-like repeat of
// the directions. A backend only feeds the raw events of its pads in, all of them with
// core::screen_mutex() held; times are milliseconds on the backend's own clock.
#pragma once

#include <cstdint>

namespace pad {

// Buttons and axes as the game-controller layer names them (an Xbox-style layout: A is the
// bottom face button, B the right one), in the order of SDL's own enumerations.
enum Button {
    BUTTON_A, BUTTON_B, BUTTON_X, BUTTON_Y, BUTTON_BACK, BUTTON_GUIDE, BUTTON_START,
    BUTTON_LEFT_STICK, BUTTON_RIGHT_STICK, BUTTON_LEFT_SHOULDER, BUTTON_RIGHT_SHOULDER,
    BUTTON_DPAD_UP, BUTTON_DPAD_DOWN, BUTTON_DPAD_LEFT, BUTTON_DPAD_RIGHT,
    BUTTON_COUNT
};
enum Axis {
    AXIS_LEFT_X, AXIS_LEFT_Y, AXIS_RIGHT_X, AXIS_RIGHT_Y, AXIS_LEFT_TRIGGER, AXIS_RIGHT_TRIGGER,
    AXIS_COUNT
};

constexpr int AXIS_MAX = 32767;           // axis values run -32768..32767, triggers 0..32767
constexpr int STICK_ENGAGE = 16384;       // the stick points when pushed half way...
constexpr int STICK_RELEASE = 12000;      // ...and stops once back inside this (no chatter)
constexpr int TRIGGER_HELD = 10000;       // a trigger pulled past a third holds the climb
constexpr int64_t REPEAT_DELAY_MS = 400;  // a held direction repeats after this...
constexpr int64_t REPEAT_EVERY_MS = 100;  // ...then ten times a second, like a key

// A pad with this id (the backend's own, unique while it is connected) pressed or released
// a button, or moved an axis. Unknown buttons and axes are ignored.
void press(int id, int button, bool down, int64_t now_ms);
void move_axis(int id, int axis, int value, int64_t now_ms);
// The pad was unplugged: whatever it held is let go.
void remove(int id);
// Queues the repeats of the held directions that are due at now_ms; the backend calls it
// on every tick.
void repeat(int64_t now_ms);
// Whether any pad holds a climbing button (a face or shoulder button) or a trigger now.
bool climb_held();
// Forgets every pad (the headless twin's reset).
void reset();

}  // namespace pad
