// The replay file: what decides a run (where the random numbers stood when it started and
// the climb input of every frame), how it ended, and who flew it when, in a few hundred
// bytes. docs/replay-format.md describes the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The rules a replay was flown by. A game whose cave, craft or frame rules differ must
// carry another name, so that its replays are refused instead of checked wrongly.
constexpr const char* REPLAY_RULES = "murkwing-rules-1";
constexpr uint8_t REPLAY_FORMAT_VERSION = 1;
constexpr int32_t REPLAY_MAX_FRAMES = 1000000;      // far beyond any run the cave allows
constexpr uint64_t REPLAY_MAX_DRAWS = 100000000;    // draws before a run: 11 days of play
constexpr size_t REPLAY_MAX_NAME = 12;              // the name entry's limit
constexpr size_t REPLAY_MAX_TEXT = 40;              // rules and game version texts

enum class RunEnding : uint8_t {
    CRASH = 0,  // the craft touched rock or left the field in the last frame
    QUIT = 1,   // "Quit?" was answered "Yes" at the top of the last frame
};

struct ReplayRecord {
    std::string rules = REPLAY_RULES;
    std::string game_version;
    bool daily = false;           // flown on the daily cave of daily_date
    bool fresh_screen = false;    // the first run of its process: it began on a black page
    uint32_t daily_date = 0;      // YYYYMMDD (UTC), 0 unless daily
    uint32_t backdrop_seed = 0;   // seed word the backdrop was painted from (draws 0..3199)
    uint32_t run_seed = 0;        // seed word and draws since that seeding at the run's start
    uint64_t run_draws = 0;
    int32_t frames = 0;           // frames of the run, 1..REPLAY_MAX_FRAMES
    RunEnding ending = RunEnding::CRASH;
    int32_t level = 0;            // the level (the score) the run reached
    int64_t time = 0;             // when the run ended, seconds since 1970-01-01 UTC
    std::string name;             // the name entered for the table, or empty
    uint32_t flight_check = 0;    // the state the flight ended in, hashed (flight_check())
    std::vector<bool> climb;      // per frame, whether craft_step saw the climb held
    bool operator==(const ReplayRecord&) const = default;
};

// The file's bytes. The climb input is stored run-length coded or as plain bits,
// whichever is shorter, so a run of F frames never takes more than F / 8 + 100 bytes.
std::string encode_replay(const ReplayRecord& record);

// Reads a replay. Any byte sequence either gives the record (true) or a refusal in a few
// words in `why` (false): never a crash, never a record that breaks the limits above.
bool decode_replay(const uint8_t* data, size_t size, ReplayRecord& record, std::string& why);
bool decode_replay(const std::string& bytes, ReplayRecord& record, std::string& why);

// CRC-32 (the polynomial of zip and PNG) of the bytes.
uint32_t replay_crc32(const uint8_t* data, size_t size);
