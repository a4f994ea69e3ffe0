// The game's icon on its SDL window, drawn by tools/make_icon.cpp like the desktop icons.
#pragma once

struct SDL_Window;

// Called once by the refresh thread after making the window. Leaves the window manager's
// default icon when SDL cannot take the picture.
void set_game_icon(SDL_Window* window);
