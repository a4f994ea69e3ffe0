// The autopilot and the batches of runs it flies: see run_maker.h.
#include "tools/run_maker.h"

#include <chrono>
#include <cmath>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "game/run_hooks.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "replay/flight.h"

namespace {

// The craft is over the column written this many frames before (360 columns, 2 a frame).
constexpr int32_t COLUMN_DELAY = 180;
// The autopilot aims at the passage this many frames ahead of the craft.
constexpr int32_t AIM_AHEAD = 4;

bool pilot_holds = false;
bool pilot_climb() { return pilot_holds; }

// Whether to climb so that, braking at the craft's thrust, it would come to rest at
// `target_y` (pixels from the top) rather than beyond it.
bool climb_towards(double target_y) {
    const CraftState& c = craft_state();
    const double v = c.velocity;
    const double stop = v * std::abs(v) / (2.0 * CRAFT_THRUST);
    return c.y + v + stop > target_y;
}

}  // namespace

PilotFlight fly_autopilot(const ReplayRecord& start, int32_t frames, double aim) {
    // Everything the flight touches is set aside and put back, as a replay check does.
    const RandomPosition random_before = random_position();
    const CaveState cave_before = set_cave_aside();
    const CraftState craft_before = craft_state();
    RunHooks& hooks = run_hooks();
    const RunHooks hooks_before = hooks;
    hooks = RunHooks{};
    hooks.climb_source = pilot_climb;
    set_random_position({start.run_seed, start.run_draws});
    const bool offscreen = open_offscreen_page(SCREEN_WIDTH, SCREEN_HEIGHT) == 0;
    build_cave_image();
    cave_reset();
    craft_reset();

    PilotFlight flight;
    flight.record = start;
    flight.record.climb.clear();
    std::vector<double> middles;  // the middle of the newest column after each frame
    for (int32_t frame = 1; frame <= frames; ++frame) {
        const int32_t ahead = frame - COLUMN_DELAY + AIM_AHEAD;  // frame whose column to aim at
        pilot_holds = climb_towards(ahead >= 1 ? middles[ahead - 1] + aim : CRAFT_START_Y);
        frame_update();
        flight.record.climb.push_back(pilot_holds);
        flight.levels.push_back(score_for_height(cave_state().passage_height));
        flight.checks.push_back(flight_check());
        middles.push_back(cave_state().passage_top + cave_state().passage_height / 2.0);
        if (craft_state().crashed != 0) break;
    }
    ReplayRecord& r = flight.record;
    r.frames = static_cast<int32_t>(r.climb.size());
    r.ending = craft_state().crashed != 0 ? RunEnding::CRASH : RunEnding::QUIT;
    r.level = flight.levels.back();
    r.flight_check = flight.checks.back();

    destroy_image(cave_state().cave);
    if (offscreen) close_offscreen_page();
    restore_cave(cave_before);
    restore_craft(craft_before);
    hooks = hooks_before;
    set_random_position(random_before);
    return flight;
}

ReplayRecord cut_run(const PilotFlight& flight, int32_t frames) {
    ReplayRecord r = flight.record;
    if (frames >= r.frames) return r;
    r.frames = frames;
    r.ending = RunEnding::QUIT;
    r.climb.resize(static_cast<size_t>(frames));
    r.level = flight.levels[static_cast<size_t>(frames) - 1];
    r.flight_check = flight.checks[static_cast<size_t>(frames) - 1];
    return r;
}

std::vector<std::string> make_runs(const RunBatch& batch) {
    const int64_t now = batch.time != 0 ? batch.time
                                        : std::chrono::duration_cast<std::chrono::seconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count();
    std::vector<std::string> runs;
    for (int flight_number = 0; static_cast<int>(runs.size()) < batch.count; ++flight_number) {
        ReplayRecord start;
        start.game_version = "murkwingdiver run maker";
        start.time = now;
        if (batch.daily_date != 0) {
            start.daily = true;
            start.daily_date = batch.daily_date;
            start.run_seed = daily_seed(batch.daily_date);
            start.backdrop_seed = batch.first_seed + static_cast<uint32_t>(flight_number);
        } else {
            start.run_seed = start.backdrop_seed = batch.first_seed + static_cast<uint32_t>(flight_number);
            start.run_draws = 4 * BACKDROP_CIRCLES;  // the backdrop's draws, as in a first run
        }
        // On the daily cave every flight differs by its aim: -12 .. +12 pixels.
        const double aim = batch.daily_date != 0 ? (flight_number * 7) % 25 - 12 : 0.0;
        const PilotFlight flight = fly_autopilot(start, batch.frames, aim);
        for (int k = 0; k < batch.per_cave && static_cast<int>(runs.size()) < batch.count; ++k) {
            const int32_t frames = flight.record.frames - k;
            if (frames < 1) break;
            ReplayRecord run = cut_run(flight, frames);
            run.name = (batch.name + std::to_string(runs.size())).substr(0, REPLAY_MAX_NAME);
            runs.push_back(encode_replay(run));
        }
    }
    return runs;
}
