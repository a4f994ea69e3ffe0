// Start-up, the play loop, the frame loop and shut-down: the order of everything.
#pragma once

#include <cstdint>

constexpr int32_t SCREEN_WIDTH = 480;      // pixels, set as the screen width at start-up
constexpr int32_t SCREEN_HEIGHT = 320;     // pixels
constexpr int32_t FRAME_PAUSE_MS = 20;     // the pause after every frame
constexpr int32_t DRAIN_PAUSE_MS = 50;     // the pause of each pass that drains keys after a run
constexpr const char* FONT_FILE = "font.bmp";

struct RunClock {
    int32_t frame_counter = 0;      // frames of the current run, raised at each frame's top
    double run_start_time = 0.0;    // clock_seconds when the run started
};

RunClock& run_clock();

// S1..S7: screen size, window, random seed, overlay image, cave images, font, high-score
// table; then the sound (the player's mute choice and the audio device, whose absence
// only costs a line on stderr). Returns false right after S2 when no window could be opened; nothing else (no file
// in particular) has been touched then.
bool start_up();
void start_run();     // resets cave and craft, frame counter 0, run start time
void frame_update();  // two cave columns, one craft step

// Steps 1 to 6 of one frame of a run: count it, ask "Quit?" when the key string holds
// Escape, update, draw, pause 20 ms and read the next key into the key string. Returns the
// quit flag of this frame: -1 when the player answered "Yes" to "Quit?", else 0.
int32_t play_frame();

// One run: play_frame until the craft crashed or the player quit; returns that nonzero flag.
int32_t frame_loop();

void shut_down();     // D1..D4 (the process end is the caller's)

// The whole program: start-up, play loop until "No" at "Play Again?", shut-down.
// Returns the exit status: 0, or 1 (with one line on stderr) when no window could be opened.
int run_game();

// The score of a run with this passage height: floor(100 - 0.625 * height), clamped to the
// 32-bit range (NaN gives 0).
int32_t score_for_height(double passage_height);
