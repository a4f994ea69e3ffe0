// The pictures a replay file does not hold: the screen page as it stood when a run began
// (what the dialogs before it left) and after each "Quit?" answered within the run. Kept
// beside a replay in the game's folder (NAME.screens beside NAME.mwr), they let watching
// show every frame of a kept run exactly as it was shown, not only the first run of a
// process on its black page. Each picture is the page's pixels run-length coded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ScreenPicture {
    int32_t frame = 0;   // 0: before the run's first frame; k: after the dialog in frame k
    std::string pixels;  // run-length coded page (see screens.cpp)
};
using ScreenPictures = std::vector<ScreenPicture>;

// The screen page now, coded; empty when no screen is open.
std::string capture_screen();
// Puts a coded page onto the screen; false (screen untouched) when it is not a whole page.
bool show_screen(const std::string& pixels);

// The sidecar file's bytes, and reading them back: any byte sequence gives the pictures
// (true) or false.
std::string encode_screens(const ScreenPictures& pictures);
bool decode_screens(const std::string& bytes, ScreenPictures& pictures);
