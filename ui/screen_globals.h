// The values that the play loop sets up once at start-up and that text drawing, the
// dialogs and the high-score screen read: screen size and the overlay image.
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

struct GameScreen {
    int32_t width = 0;       // 480 once start-up has run
    int32_t height = 0;      // 320 once start-up has run
    Image overlay = nullptr; // screen-sized image buffer the dialogs dim the screen with
};

GameScreen& game_screen();
