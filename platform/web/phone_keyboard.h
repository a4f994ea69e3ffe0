// The phone's own keyboard for the name entry: a text field of the page ("#name-input",
// invisible but focusable) that is focused while the game takes typed text on a touch
// screen. What the keyboard types into it reaches the key queue as a keyboard's keys would.
#pragma once

#include <emscripten/html5.h>

// Makes set_text_entry show and hide the phone's keyboard and starts listening to the
// text field. Called once by open_screen.
void listen_to_phone_keyboard();

// Called by the touch handler with every touch event, before the game looks at it.
// Browsers show a phone's keyboard only for a field focused inside a touch's handler, so
// while the name entry waits for the keyboard, the fingers that land focus the field and
// belong to the keyboard until they lift.
void phone_keyboard_sees_touch(int event_type, const EmscriptenTouchEvent& event);

// Whether a finger belongs to the keyboard: the game ignores it, so the tap that brings up
// the keyboard does not also end the entry.
bool phone_keyboard_has_finger(long identifier);
