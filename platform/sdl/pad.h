// Gamepads in the SDL window, through SDL's game-controller layer. All of it runs on the
// refresh thread; the events go to the shared pad rules (platform/pad.h).
#pragma once

union SDL_Event;

// Starts SDL's game-controller layer (after the video). SDL reads its mapping database and
// SDL_GAMECONTROLLERCONFIG (or SDL_GAMECONTROLLERCONFIG_FILE) then, and reports the pads
// already connected as added events. False when the layer is missing: the game then plays
// without pads.
bool open_pads();
// Handles a pad event (added, removed, button, axis); false for any other event. Called with
// the screen lock held.
bool handle_pad_event(const SDL_Event& event);
// Queues the repeats of held pad directions; once per tick, with the screen lock held.
void repeat_pads();
// Closes the open pads and the game-controller layer (before SDL_Quit).
void close_pads();
