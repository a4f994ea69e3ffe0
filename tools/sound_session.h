// A scripted session with sound on the headless twin, shared by the sound tests and
// tools/record_sound: a player steers through the cave for a given number of frames
// (switching the sound off and on again with M on the way, when asked), lets the craft
// fall, types a name with one refused key, and says "No" to "Play Again?". Every frame of
// the run is noted with the virtual time its pause started, so that what was heard can be
// laid beside what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "audio/sound.h"
#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace sound_session {

struct Frame {
    int32_t number = 0;      // the run's frame counter
    double pause_at = 0.0;   // virtual time at the start of the frame's 20 ms pause
    bool held = false;       // the space bar held in this frame's craft step
    double velocity = 0.0;   // after the step
    double height = 0.0;     // the passage height after the frame's two cave steps
    bool crashed = false;
};

struct Plan {
    double seed = 1000.0;    // the virtual clock at start-up: the cave's seed
    int32_t steer_frames = 240;
    int32_t mute_at = 0;     // frame whose pause queues M (0: never); again at unmute_at
    int32_t unmute_at = 0;
    bool muted = false;      // --mute
};

constexpr size_t AHEAD_FRAMES = 178;  // the craft aims 4 columns past the one it is over

// Hold the space bar when, braking at 0.6 a frame, the craft would stop below `target_y`.
inline bool thrust_towards(double target_y) {
    const CraftState& c = craft_state();
    const double v = c.velocity;
    return c.y + v + (v > 0 ? v * v / 1.2 : -v * v / 1.2) > target_y;
}

// Plays the whole session from start-up to "No" on a reset twin in the current folder
// (which holds font.bmp) with sound recorded; returns the frames of the run.
inline std::vector<Frame> play(const Plan& plan) {
    std::vector<Frame> frames;
    std::vector<double> middles;  // the middle of the passage's newest column, frame by frame
    long crash_pause = 0;
    headless_record_sound(true);
    reset_sound();
    WindowOptions options;
    options.muted = plan.muted;
    set_window_options(options);
    headless_set_time(plan.seed);
    // The keys after the crash, by pauses since: "Okay" at "High Score!", a name with a
    // refused "#", the table; then, once "Play Again?" waits, down to "No" and Enter.
    auto after_crash = [](long pauses) {
        if (pauses == 6) {
            for (int key : {KEY_ENTER, int('A'), int('B'), int('#'), KEY_ENTER, KEY_ENTER}) headless_queue_key(key);
        } else if (pauses == 30) {
            headless_queue_key(KEY_DOWN);
            headless_queue_key(KEY_ENTER);
        }
    };
    std::function<void()> watch = [&] {
        const long pause = headless_pause_count();
        headless_at_pause(pause + 1, watch);
        if (crash_pause > 0) return after_crash(pause - crash_pause);
        const int32_t number = run_clock().frame_counter;
        if (number == 0 || (!frames.empty() && frames.back().number == number)) return;
        const CraftState& craft = craft_state();
        frames.push_back({number, headless_time(), is_key_down(SCANCODE_SPACE) != 0, craft.velocity,
                          cave_state().passage_height, craft.crashed != 0});
        if (craft.crashed != 0) {
            crash_pause = pause;
            return;
        }
        if (number == plan.mute_at || number == plan.unmute_at) headless_queue_key('m');
        // The craft meets a column 360 columns (180 frames) after it was written; until then
        // it flies through the open cave of the run's start.
        middles.push_back(cave_state().passage_top + cave_state().passage_height / 2.0);
        const double target = middles.size() > AHEAD_FRAMES ? middles[middles.size() - AHEAD_FRAMES] : 160.0;
        headless_set_key_down(SCANCODE_SPACE, number < plan.steer_frames && thrust_towards(target));
    };
    headless_at_pause(1, watch);
    run_game();
    return frames;
}

}  // namespace sound_session
