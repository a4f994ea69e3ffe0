// Start-up, the play loop, the frame loop and shut-down: the order of everything.
#pragma once

#include <cstdint>

struct RunClock {
    int32_t frame_counter = 0;      // frames of the current run, raised at each frame's top
    double run_start_time = 0.0;    // clock_seconds when the run started
};

RunClock& run_clock();

void start_up();      // S1..S7
void start_run();     // resets cave and craft, frame counter 0, run start time
void frame_update();  // two cave columns, one craft step
int32_t frame_loop(); // one run; nonzero when it ended
void shut_down();     // D1..D4 (the process end is the caller's)

// The whole program: start-up, play loop until "No" at "Play Again?", shut-down.
// Returns the exit status: 0, or 1 when no window could be opened.
int run_game();

// The score of a run with this passage height: floor(100 - 0.625 * height).
int32_t score_for_height(double passage_height);
