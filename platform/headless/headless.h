// Controls of the headless twin of the platform layer, for tests only. The twin keeps the
// screen page in memory, runs a virtual clock that pause_ms and wait_for_retrace advance
// and clock_seconds reads, and takes keys, key states and the mouse from the test, either
// at once or from a script keyed to virtual times or to the number of pauses taken.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Back to the state of a fresh process: no screen, empty key queue, all keys up, mouse
// inside an active window at (0, 0) with no buttons, clock at 1000.0 s, no script, random
// generator unseeded, pause limit off.
void headless_reset();

// Virtual clock, in seconds. pause_ms(n) adds n / 1000; wait_for_retrace adds one refresh
// period (headless_set_refresh_rate, default 0: 16 ms).
void headless_set_time(double seconds);
double headless_time();
void headless_set_refresh_rate(int hz);

// Makes the next open_screen fail (as with no display).
void headless_fail_open(bool fail);

// Input, as the refresh thread would deliver it.
void headless_queue_key(int code);               // a key code as stored in the queue
void headless_type(const std::string& text);     // one queued key per byte
void headless_set_key_down(int scancode, bool down);
void headless_set_mouse(int x, int y, int buttons);
void headless_set_pointer_inside(bool inside);
void headless_set_active(bool active);           // a change clears every key state
void headless_turn_wheel(int steps);
// A gamepad, through the same rules as the real one: button and axis numbers as in
// platform/pad.h (pad::BUTTON_A, pad::AXIS_LEFT_Y, ...), at the virtual clock's time; a held
// direction repeats as the clock advances. Any pad id plugs a pad in.
void headless_pad_button(int pad_id, int button, bool down);
void headless_pad_axis(int pad_id, int axis, int value);
void headless_pad_unplug(int pad_id);

// Script: actions run by pause_ms / wait_for_retrace when the virtual clock reaches a time,
// or just before the pause with the given 1-based number starts. Actions run on the
// caller's thread, in order of their trigger.
void headless_at_time(double seconds, std::function<void()> action);
void headless_at_pause(long pause_number, std::function<void()> action);
long headless_pause_count();                     // pause_ms calls so far

// Runs on_limit (default: print a line and abort) at the pause after `max_pauses`, so that
// a test waiting on a dialog that never gets its key fails instead of hanging. 0 turns the
// limit off.
void headless_set_pause_limit(long max_pauses, std::function<void()> on_limit = {});

// Snapshot of the page and of the row-changed flags, for tests.
uint32_t headless_pixel(int x, int y);
bool headless_row_changed(int y);
void headless_clear_row_flags();
bool headless_lock_held();                       // the screen mutex is held by someone

// Writes the page as a 24-bit BMP (for looking at composed frames); false on failure.
bool headless_save_page_bmp(const std::string& path);
