// The window's icon: the same drawing as the hicolor icons of the desktop entry
// (tools/make_icon.cpp), drawn at build time into game_icon.inc (GAME_ICON_SIZE,
// GAME_ICON_RGBA: size x size pixels, 4 bytes each in the order red, green, blue, alpha).
#include "platform/sdl/icon.h"

#include <SDL.h>

#include "game_icon.inc"

void set_game_icon(SDL_Window* window) {
    // SDL only reads the pixels (it copies them into the window's icon property).
    void* pixels = const_cast<unsigned char*>(GAME_ICON_RGBA);
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels, GAME_ICON_SIZE, GAME_ICON_SIZE, 32,
                                                           GAME_ICON_SIZE * 4, SDL_PIXELFORMAT_RGBA32);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}
