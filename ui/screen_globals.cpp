// Storage of the screen size and overlay image that start-up sets for text and dialogs.
#include "ui/screen_globals.h"

GameScreen& game_screen() {
    static GameScreen screen;
    return screen;
}
