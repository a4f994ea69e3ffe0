// Where the leaderboard keeps its runs: one small interface, two implementations (SQLite in
// the server's data folder, the default; PostgreSQL for several server processes). A store
// holds no state of its own between calls that another process could not see, so any number
// of server processes can share one database.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A run the server has flown again and found true, as it is stored.
struct NewRun {
    std::string digest;        // SHA-256 of the replay's bytes, 64 lower-case hex digits
    std::string replay;        // the replay file's bytes (at most 16 KB)
    std::string name;          // as recorded in the replay, checked against the font
    int32_t level = 0;         // as the flight reached it
    int32_t frames = 0;
    uint32_t daily_date = 0;   // YYYYMMDD of the daily cave it was flown on, 0 if none
    int64_t run_time = 0;      // when the run ended, seconds since 1970-01-01 UTC (replay)
    int64_t arrived_ms = 0;    // when the server took it, milliseconds since 1970 UTC
};

// One row of a board, best first. Ranking: level (higher first), then frames (fewer
// first), then arrival (earlier first), then id.
struct BoardRow {
    int rank = 0;              // 1-based
    int64_t id = 0;
    std::string name;
    int32_t level = 0;
    int32_t frames = 0;
    int64_t run_time = 0;
};

// The boards: "all" takes every run; "daily-YYYY-MM-DD" the runs of that date's daily cave.
// A board is named to a store by its date: 0 for "all", YYYYMMDD for a daily board.
class RunStore {
public:
    virtual ~RunStore() = default;

    struct Added {
        int64_t id = 0;
        bool duplicate = false;  // the same replay (by digest) was stored before: nothing new
    };
    // Stores a run durably before returning (committed, synced). A replay whose digest is
    // already stored is not stored again: its first id comes back with duplicate set.
    // Throws std::runtime_error when the database fails.
    virtual Added add_run(const NewRun& run) = 0;

    // The rank (1-based) of stored run `id` on board `date` (0: all), 0 if it is not on it.
    virtual int rank_of(int64_t id, uint32_t date) = 0;

    // The best `limit` runs of board `date` (0: all), best first.
    virtual std::vector<BoardRow> top(uint32_t date, int limit) = 0;

    // The replay's bytes of stored run `id`, if there is one.
    virtual std::optional<std::string> replay(int64_t id) = 0;

    // Rate limiting shared by every process: notes one request from `address` at `now_ms`
    // and returns how many that address made in (now_ms - window_ms, now_ms], this one
    // included. Old notes may be forgotten.
    virtual int note_request(const std::string& address, int64_t now_ms, int64_t window_ms) = 0;
};

// Every method may be called from several threads at once.
// Opens (creating when missing) the SQLite store in file `path`: WAL mode, full sync.
std::unique_ptr<RunStore> open_sqlite_store(const std::string& path, std::string& error);
// Connects to PostgreSQL (a libpq URL, postgresql://...) and creates the tables if missing.
std::unique_ptr<RunStore> open_postgres_store(const std::string& url, std::string& error);
