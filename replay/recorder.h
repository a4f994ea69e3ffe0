// Recording every run of the play loop into replays/ (through the game's run hooks), and
// the daily cave: each run seeded from the UTC date at its start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct RecordingOptions {
    bool daily = false;                  // seed every run from the UTC date at its start
    std::string folder = "replays";      // where replays are kept, in the game's folder
    std::string game_version;            // written into every replay
    // Seconds since 1970-01-01 UTC; the tests set their own.
    std::function<int64_t()> now;
    // Told the replay (its bytes, with the name entered) of each run that entered the
    // high-score table, once it is recorded; may be empty.
    std::function<void(const std::string& replay)> entered_table = nullptr;
};

// Sets the run hooks so that every run is recorded and kept; replaces earlier options.
// A run that cannot be kept is reported with one line on stderr and otherwise ignored.
void start_recording(const RecordingOptions& options);

// Clears the hooks and forgets the session (tests, and before watching a replay).
void stop_recording();

// The last replay written in this process, its bytes; empty before the first.
const std::string& last_recorded_replay();
