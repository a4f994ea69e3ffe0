// Points where a run can be observed or driven from outside the game's rules: recording a
// run as it is flown, flying a recorded one again. All are empty unless someone sets them;
// the game then behaves exactly as without them.
#pragma once

#include <cstdint>

struct RunHooks {
    // Before each run of the play loop starts (before start_run): may reseed the random
    // numbers (the daily cave) and notes where they stand.
    void (*run_starting)() = nullptr;
    // Replaces the space-bar query of craft_step: whether the climb input is held in this
    // frame (flying a recorded run).
    bool (*climb_source)() = nullptr;
    // Told, in every craft_step, the climb state the step used.
    void (*climb_sampled)(bool held) = nullptr;
    // After "Quit?" was answered "No" (or "Yes") at the top of a frame: the question's last
    // picture is on the screen, under the frame about to be drawn.
    void (*dialog_closed)() = nullptr;
    // After the frame loop of a run returned, before the score is offered to the table.
    void (*run_ended)() = nullptr;
    // After offer_high_score of the run's score returned.
    void (*score_offered)(int32_t score) = nullptr;
};

RunHooks& run_hooks();
