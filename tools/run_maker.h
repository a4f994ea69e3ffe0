// Real runs for the leaderboard's tests and benchmarks: an autopilot flies the game's own
// cave and craft (the same steps a replay check flies) and every run it ends is a replay
// that verifies. The autopilot only chooses the climb input; where the craft goes, whether
// it crashes and the level it reaches are the game's to say.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replay/replay_file.h"

struct RunBatch {
    int count = 100;             // replays to make, all different
    int32_t frames = 2000;       // each run ends by "Quit?" after this many frames, or
                                 // earlier by a crash; runs of one cave end a frame apart
    int per_cave = 10;           // runs cut from one flight (ended at different frames)
    uint32_t first_seed = 1;     // the caves' seeds: first_seed, first_seed + 1, ...
    uint32_t daily_date = 0;     // YYYYMMDD: every run on that date's daily cave (the
                                 // autopilot then varies its aim instead of the cave)
    int64_t time = 0;            // when the runs ended (seconds since 1970); 0: now
    std::string name = "PILOT";  // names are this plus a number, at most 12 characters
};

// The replay files' bytes, in the order made.
std::vector<std::string> make_runs(const RunBatch& batch);

// One flight of the autopilot over the cave that `start` (seeds, daily) describes, `aim`
// pixels below the passage's middle, for at most `frames` frames or until the craft
// crashed. Returns the record of a run ended by "Quit?" after the last frame, or by the
// crash, with its level and flight check. The frames that come before can be cut off the
// end with cut_run.
struct PilotFlight {
    ReplayRecord record;
    std::vector<int32_t> levels;   // after each frame
    std::vector<uint32_t> checks;  // flight_check() after each frame
};
PilotFlight fly_autopilot(const ReplayRecord& start, int32_t frames, double aim);

// The run of `flight` ended by "Quit?" after frame `frames` (1 .. its frames; the crash
// frame itself stays a crash).
ReplayRecord cut_run(const PilotFlight& flight, int32_t frames);
