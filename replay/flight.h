// Flying a recorded run again with the game's own cave and craft: checking it without a
// window (verify_replay), and the daily cave's seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "replay/replay_file.h"

struct ReplayVerdict {
    bool agrees = false;   // the file was read and the flight agrees with it
    int32_t level = 0;     // as recorded (0 when the file was refused unread)
    int32_t frames = 0;
    std::string why;       // the refusal, when !agrees
};

// Reads the bytes and flies the run again without a window, at full speed: the recorded
// level and ending must be those of the flight, frame for frame. A daily run must start on
// its date's seed. Leaves the random numbers, the cave, the craft and the screen (none, or
// the one open) as it found them, so that any number of checks can run one after another in
// one process (not concurrently, and not while another thread draws).
ReplayVerdict verify_replay(const uint8_t* data, size_t size);

// What the flight of a record gave: the frame the craft first crashed in (0 if it did not
// crash within the record's frames) and the level after the last frame. Same guarantees
// as verify_replay.
struct Flight {
    int32_t crash_frame = 0;
    int32_t level = 0;
    uint32_t check = 0;  // flight_check() after the last frame
};

// A hash of where a flight ended: the last random number drawn, the passage and the craft.
// Any change to the start state or the climb input changes it (but for a chance of 2^-32),
// even when the level and the last frame happen to come out the same.
uint32_t flight_check();
Flight fly_record(const ReplayRecord& record);

// Whether the record's ending, frames and level agree with its flight; else why not.
bool flight_agrees(const ReplayRecord& record, const Flight& flight, std::string& why);

// Makes craft_step take its climb input from `bits`, one value per step from the first
// (released after the last), instead of the space bar; null hands it back to the keyboard.
// The bits must outlive their flight.
void fly_climb_input(const std::vector<bool>* bits);

// The daily cave: the seed of a date YYYYMMDD is the number YYYYMMDD itself, and a daily
// run starts with no draws since that seeding.
uint32_t daily_seed(uint32_t date);
// The UTC date YYYYMMDD of a time in seconds since 1970-01-01.
uint32_t utc_date(int64_t seconds);
