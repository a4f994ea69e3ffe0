// The SQLite store: one file, WAL mode with full sync, so that a run is on the disk before
// add_run returns. Each thread borrows a connection of its own from a small pool (SQLite
// connections must not be shared between threads at once); writers take the database's
// write lock up front (BEGIN IMMEDIATE), one at a time per process, and wait for other
// processes up to BUSY_WAIT_MS. Every statement is prepared once per connection, with parameters bound, never pasted.
#include <sqlite3.h>

#include <mutex>
#include <stdexcept>

#include "server/store.h"

namespace {

constexpr int BUSY_WAIT_MS = 10000;

const char* const SCHEMA = R"(
CREATE TABLE IF NOT EXISTS runs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    digest TEXT NOT NULL UNIQUE,
    replay BLOB NOT NULL,
    name TEXT NOT NULL,
    level INTEGER NOT NULL,
    frames INTEGER NOT NULL,
    daily_date INTEGER NOT NULL,
    run_time INTEGER NOT NULL,
    arrived_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS runs_ranked ON runs (level DESC, frames, arrived_ms, id);
CREATE INDEX IF NOT EXISTS runs_daily_ranked ON runs (daily_date, level DESC, frames, arrived_ms, id);
CREATE TABLE IF NOT EXISTS requests (address TEXT NOT NULL, at_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS requests_by_address ON requests (address, at_ms);
CREATE INDEX IF NOT EXISTS requests_by_time ON requests (at_ms);
)";

// The rank of run (?1 level, ?2 frames, ?3 arrival, ?4 id) on a board: the runs ranked
// ahead of it or equal to it, counted as four ranges of the ranking's index (a count over
// the whole condition at once scans about three times as long). BOARD picks the board's
// runs: nothing for "all", "daily_date = ?5 AND " for a daily board.
#define RANK_COUNT(BOARD)                                                                            \
    "SELECT (SELECT COUNT(*) FROM runs WHERE " BOARD "level > ?1)"                                 \
    " + (SELECT COUNT(*) FROM runs WHERE " BOARD "level = ?1 AND frames < ?2)"                      \
    " + (SELECT COUNT(*) FROM runs WHERE " BOARD "level = ?1 AND frames = ?2 AND arrived_ms < ?3)" \
    " + (SELECT COUNT(*) FROM runs WHERE " BOARD "level = ?1 AND frames = ?2 AND arrived_ms = ?3 AND id <= ?4)"

const char* const STATEMENTS[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id FROM runs WHERE digest = ?1",
    "INSERT INTO runs (digest, replay, name, level, frames, daily_date, run_time, arrived_ms) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
    "SELECT level, frames, arrived_ms, daily_date FROM runs WHERE id = ?1",
    RANK_COUNT(""),
    RANK_COUNT("daily_date = ?5 AND "),
    "SELECT id, name, level, frames, run_time FROM runs ORDER BY level DESC, frames, arrived_ms, id "
    "LIMIT ?1",
    "SELECT id, name, level, frames, run_time FROM runs WHERE daily_date = ?2 "
    "ORDER BY level DESC, frames, arrived_ms, id LIMIT ?1",
    "SELECT replay FROM runs WHERE id = ?1",
    "DELETE FROM requests WHERE at_ms <= ?1",
    "INSERT INTO requests (address, at_ms) VALUES (?1, ?2)",
    "SELECT COUNT(*) FROM requests WHERE address = ?1 AND at_ms > ?2",
    "PRAGMA synchronous = NORMAL",
    "PRAGMA synchronous = FULL",
};
enum Statement {
    BEGIN, COMMIT, ROLLBACK, FIND_DIGEST, INSERT_RUN, RUN_KEY, RANK_ALL, RANK_DAILY, TOP_ALL,
    TOP_DAILY, REPLAY, FORGET_REQUESTS, NOTE_REQUEST, COUNT_REQUESTS, SYNC_NORMAL, SYNC_FULL,
    STATEMENT_COUNT
};
static_assert(std::size(STATEMENTS) == STATEMENT_COUNT);

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw std::runtime_error(std::string("SQLite: ") + what + ": " + sqlite3_errmsg(db));
}

// One connection with its prepared statements; used by one thread at a time.
struct Connection {
    sqlite3* db = nullptr;
    sqlite3_stmt* statements[STATEMENT_COUNT] = {};

    ~Connection() {
        for (sqlite3_stmt* s : statements) sqlite3_finalize(s);
        sqlite3_close(db);
    }

    void execute(const char* sql) {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(db, sql);
    }

    void open(const std::string& path) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            throw std::runtime_error("SQLite: cannot open " + path + ": " +
                                     (db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
        }
        sqlite3_busy_timeout(db, BUSY_WAIT_MS);
        execute("PRAGMA journal_mode = WAL");
        execute("PRAGMA synchronous = FULL");
        execute(SCHEMA);
        for (int i = 0; i < STATEMENT_COUNT; ++i) {
            if (sqlite3_prepare_v2(db, STATEMENTS[i], -1, &statements[i], nullptr) != SQLITE_OK) {
                fail(db, STATEMENTS[i]);
            }
        }
    }
};

// A statement in use: bound on the way in, reset on the way out whatever happens.
class Query {
public:
    Query(Connection& c, Statement s) : db_(c.db), stmt_(c.statements[s]) {}
    ~Query() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    Query& bind(int at, int64_t v) { return check(sqlite3_bind_int64(stmt_, at, v)); }
    Query& bind(int at, const std::string& text) {
        return check(sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    }
    Query& bind_blob(int at, const std::string& bytes) {
        return check(sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
    }
    // Steps once: true with a row to read, false when done.
    bool step() {
        const int result = sqlite3_step(stmt_);
        if (result == SQLITE_ROW) return true;
        if (result != SQLITE_DONE) fail(db_, sqlite3_sql(stmt_));
        return false;
    }
    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string bytes(int column) const {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return data != nullptr ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                               : std::string();
    }
    std::string text(int column) const {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return data != nullptr ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                               : std::string();
    }

private:
    Query& check(int result) {
        if (result != SQLITE_OK) fail(db_, "bind");
        return *this;
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_;
};

class SqliteStore : public RunStore {
public:
    explicit SqliteStore(std::string path) : path_(std::move(path)) {}

    // Opens the first connection, so that a bad path shows at start-up.
    void open_first() { give_back(borrow()); }

    Added add_run(const NewRun& run) override {
        Borrowed c(*this);
        std::lock_guard<std::mutex> writing(write_mutex_);
        Transaction t(*c);
        Added added;
        {
            Query find(*c, FIND_DIGEST);
            find.bind(1, run.digest);
            if (find.step()) return {find.integer(0), true};
        }
        Query insert(*c, INSERT_RUN);
        insert.bind(1, run.digest).bind_blob(2, run.replay).bind(3, run.name).bind(4, run.level);
        insert.bind(5, run.frames).bind(6, run.daily_date).bind(7, run.run_time).bind(8, run.arrived_ms);
        insert.step();
        added.id = sqlite3_last_insert_rowid(c->db);
        t.commit();
        return added;
    }

    int rank_of(int64_t id, uint32_t date) override {
        Borrowed c(*this);
        Query key(*c, RUN_KEY);
        key.bind(1, id);
        if (!key.step()) return 0;
        if (date != 0 && key.integer(3) != date) return 0;
        Query count(*c, date == 0 ? RANK_ALL : RANK_DAILY);
        count.bind(1, key.integer(0)).bind(2, key.integer(1)).bind(3, key.integer(2)).bind(4, id);
        if (date != 0) count.bind(5, date);
        return count.step() ? static_cast<int>(count.integer(0)) : 0;
    }

    std::vector<BoardRow> top(uint32_t date, int limit) override {
        Borrowed c(*this);
        Query q(*c, date == 0 ? TOP_ALL : TOP_DAILY);
        q.bind(1, limit);
        if (date != 0) q.bind(2, date);
        std::vector<BoardRow> rows;
        while (q.step()) {
            BoardRow row;
            row.rank = static_cast<int>(rows.size()) + 1;
            row.id = q.integer(0);
            row.name = q.text(1);
            row.level = static_cast<int32_t>(q.integer(2));
            row.frames = static_cast<int32_t>(q.integer(3));
            row.run_time = q.integer(4);
            rows.push_back(std::move(row));
        }
        return rows;
    }

    std::optional<std::string> replay(int64_t id) override {
        Borrowed c(*this);
        Query q(*c, REPLAY);
        q.bind(1, id);
        if (!q.step()) return std::nullopt;
        return q.bytes(0);
    }

    // The notes need no durability of their own: they are written without a sync of their
    // own (a later run's full sync carries them to the disk).
    int note_request(const std::string& address, int64_t now_ms, int64_t window_ms) override {
        Borrowed c(*this);
        Query(*c, SYNC_NORMAL).step();
        struct FullSyncAgain {
            Connection& c;
            ~FullSyncAgain() { Query(c, SYNC_FULL).step(); }
        } full_sync_again{*c};
        std::lock_guard<std::mutex> writing(write_mutex_);
        Transaction t(*c);
        Query(*c, FORGET_REQUESTS).bind(1, now_ms - window_ms).step();
        Query(*c, NOTE_REQUEST).bind(1, address).bind(2, now_ms).step();
        Query count(*c, COUNT_REQUESTS);
        count.bind(1, address).bind(2, now_ms - window_ms);
        const int made = count.step() ? static_cast<int>(count.integer(0)) : 1;
        t.commit();
        return made;
    }

private:
    // A write transaction, rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(Connection& c) : c_(c) { Query(c_, BEGIN).step(); }
        ~Transaction() {
            if (!done_) sqlite3_step(c_.statements[ROLLBACK]), sqlite3_reset(c_.statements[ROLLBACK]);
        }
        void commit() {
            Query(c_, COMMIT).step();
            done_ = true;
        }

    private:
        Connection& c_;
        bool done_ = false;
    };

    std::unique_ptr<Connection> borrow() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<Connection> c = std::move(idle_.back());
                idle_.pop_back();
                return c;
            }
        }
        auto c = std::make_unique<Connection>();
        c->open(path_);
        return c;
    }
    void give_back(std::unique_ptr<Connection> c) {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(c));
    }
    struct Borrowed {
        explicit Borrowed(SqliteStore& s) : store(s), c(s.borrow()) {}
        ~Borrowed() { store.give_back(std::move(c)); }
        Connection* operator->() { return c.get(); }
        Connection& operator*() { return *c; }
        SqliteStore& store;
        std::unique_ptr<Connection> c;
    };

    std::string path_;
    std::mutex mutex_;        // guards idle_
    // One writer of this process at a time: the others wait here, woken as soon as it is
    // done, rather than in SQLite's busy handler, which sleeps in steps of up to 100 ms.
    std::mutex write_mutex_;
    std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace

std::unique_ptr<RunStore> open_sqlite_store(const std::string& path, std::string& error) {
    try {
        auto store = std::make_unique<SqliteStore>(path);
        store->open_first();
        return store;
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
}
