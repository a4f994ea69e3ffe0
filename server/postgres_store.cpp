// The leaderboard's runs in PostgreSQL, for any number of server processes on one database.
// Every statement goes through PQexecParams with its values as parameters, never spliced
// into the text. Each call runs in autocommit: a statement that returns has committed, so a
// run is durable before add_run returns (synchronous_commit as the server sets it, on by
// default). The digest is unique: the same replay sent to two processes at once is stored
// once, whichever commits first, and the other finds its id.
//
// Threads: a pool of connections, one per concurrent caller; a connection is used by one
// thread at a time, as libpq requires.
#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "server/store.h"

namespace {

// Tables, created by the first process that finds them missing. Rankings read the indexes
// best first: level down, then frames, arrival and id up.
constexpr const char* SCHEMA = R"sql(
CREATE TABLE IF NOT EXISTS runs (
    id BIGSERIAL PRIMARY KEY,
    digest TEXT NOT NULL UNIQUE,
    replay BYTEA NOT NULL,
    name TEXT NOT NULL,
    level INTEGER NOT NULL,
    frames INTEGER NOT NULL,
    daily_date INTEGER NOT NULL,
    run_time BIGINT NOT NULL,
    arrived_ms BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS runs_all_order ON runs (level DESC, frames, arrived_ms, id);
CREATE INDEX IF NOT EXISTS runs_daily_order ON runs (daily_date, level DESC, frames, arrived_ms, id);
CREATE TABLE IF NOT EXISTS request_notes (
    address TEXT NOT NULL,
    at_ms BIGINT NOT NULL
);
CREATE INDEX IF NOT EXISTS request_notes_by_address ON request_notes (address, at_ms);
)sql";

// Two processes starting on an empty database would both create the tables; a lock held
// for the creating transaction makes the second wait and then find them.
constexpr const char* SCHEMA_LOCK = "SELECT pg_advisory_xact_lock(7242063524)";

// A board's rows, best first; $1 the date (daily only), then the limit.
constexpr const char* TOP_ALL =
    "SELECT id, name, level, frames, run_time FROM runs "
    "ORDER BY level DESC, frames, arrived_ms, id LIMIT $1";
constexpr const char* TOP_DAILY =
    "SELECT id, name, level, frames, run_time FROM runs WHERE daily_date = $1 "
    "ORDER BY level DESC, frames, arrived_ms, id LIMIT $2";

// One plus the runs of the board that rank before run $1 on board $2 (0: all). Run o
// ranks before run r when (o.level, -o.frames, -o.arrived_ms, -o.id) is greater; the row
// comparison below says the same with the negated columns swapped over.
constexpr const char* RANK_OF =
    "SELECT 1 + (SELECT count(*) FROM runs o WHERE ($2 = 0 OR o.daily_date = $2) AND "
    "(o.level, r.frames, r.arrived_ms, r.id) > (r.level, o.frames, o.arrived_ms, o.id)) "
    "FROM runs r WHERE r.id = $1 AND ($2 = 0 OR r.daily_date = $2)";

// The notes of the other processes count too: all of them share the table. The count
// reads the table as it stood before this statement's own insert, hence the one added.
// A note need not survive a crash, so its commit does not wait for the disk (the setting
// holds for this statement's transaction only; "quick" is read so that it is evaluated).
constexpr const char* NOTE_REQUEST =
    "WITH quick AS (SELECT set_config('synchronous_commit', 'off', true) AS off), "
    "noted AS (INSERT INTO request_notes (address, at_ms) VALUES ($1, $2)) "
    "SELECT 1 + count(*) FROM request_notes, quick "
    "WHERE address = $1 AND at_ms > $2 - $3 AND at_ms <= $2";
constexpr const char* FORGET_NOTES = "DELETE FROM request_notes WHERE at_ms <= $1";
constexpr int NOTES_BETWEEN_SWEEPS = 1000;  // notes older than the window are swept this often

constexpr size_t IDLE_CONNECTIONS = 16;  // kept open between calls; more are closed

// A result that clears itself.
struct Result {
    PGresult* res;
    explicit Result(PGresult* r) : res(r) {}
    Result(Result&& other) noexcept : res(other.res) { other.res = nullptr; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() { PQclear(res); }
    int rows() const { return PQntuples(res); }
    std::string text(int row, int column) const { return PQgetvalue(res, row, column); }
    int64_t number(int row, int column) const { return std::strtoll(PQgetvalue(res, row, column), nullptr, 10); }
};

// One parameter, as text or (for bytes) binary.
struct Param {
    std::string value;
    bool binary = false;
    Param(std::string v, bool b = false) : value(std::move(v)), binary(b) {}
    Param(int64_t v) : value(std::to_string(v)) {}
};

std::runtime_error database_error(PGconn* conn, const char* what) {
    std::string message = PQerrorMessage(conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return std::runtime_error(std::string("PostgreSQL: ") + what + ": " + message);
}

// Runs one statement with its parameters; throws unless it succeeded.
Result execute(PGconn* conn, const char* sql, const std::vector<Param>& params, bool binary_result = false) {
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
        values.push_back(p.value.data());
        lengths.push_back(static_cast<int>(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    Result result(PQexecParams(conn, sql, static_cast<int>(params.size()), nullptr, values.data(),
                               lengths.data(), formats.data(), binary_result ? 1 : 0));
    const ExecStatusType status = PQresultStatus(result.res);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw database_error(conn, "statement failed");
    return result;
}

PGconn* connect(const std::string& url, std::string& error) {
    // The URL's own settings win over these defaults: they come after it is expanded.
    // (The notices of CREATE ... IF NOT EXISTS about tables already there are not wanted.)
    const char* keys[] = {"connect_timeout", "application_name", "options", "dbname", nullptr};
    const char* values[] = {"10", "murkwingdiver-server", "-c client_min_messages=warning", url.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
        error = conn != nullptr ? database_error(conn, "cannot connect").what() : "PostgreSQL: out of memory";
        PQfinish(conn);
        return nullptr;
    }
    return conn;
}

class PostgresStore final : public RunStore {
public:
    explicit PostgresStore(std::string url) : url_(std::move(url)) {}
    ~PostgresStore() override {
        for (PGconn* conn : idle_) PQfinish(conn);
    }

    // Connects the first connection and creates the tables when missing.
    bool open(std::string& error) {
        PGconn* conn = connect(url_, error);
        if (conn == nullptr) return false;
        try {
            execute(conn, "BEGIN", {});
            execute(conn, SCHEMA_LOCK, {});
            // Several statements in one text: PQexec, which takes no parameters (none here).
            Result created(PQexec(conn, SCHEMA));
            if (PQresultStatus(created.res) != PGRES_COMMAND_OK) throw database_error(conn, "cannot create the tables");
            execute(conn, "COMMIT", {});
        } catch (const std::exception& e) {
            error = e.what();
            PQfinish(conn);
            return false;
        }
        idle_.push_back(conn);
        return true;
    }

    Added add_run(const NewRun& run) override {
        return with_connection([&](PGconn* conn) {
            Result inserted = execute(
                conn,
                "INSERT INTO runs (digest, replay, name, level, frames, daily_date, run_time, arrived_ms) "
                "VALUES ($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT (digest) DO NOTHING RETURNING id",
                {run.digest, Param(run.replay, true), run.name, int64_t{run.level}, int64_t{run.frames},
                 int64_t{run.daily_date}, run.run_time, run.arrived_ms});
            if (inserted.rows() == 1) return Added{inserted.number(0, 0), false};
            // Stored before, perhaps by another process a moment ago: its insert has
            // committed (ours waited for it), so this statement's snapshot sees it.
            Result found = execute(conn, "SELECT id FROM runs WHERE digest = $1", {run.digest});
            if (found.rows() != 1) throw std::runtime_error("PostgreSQL: a run's digest is neither new nor stored");
            return Added{found.number(0, 0), true};
        });
    }

    int rank_of(int64_t id, uint32_t date) override {
        return with_connection([&](PGconn* conn) {
            Result r = execute(conn, RANK_OF, {id, int64_t{date}});
            return r.rows() == 1 ? static_cast<int>(r.number(0, 0)) : 0;
        });
    }

    std::vector<BoardRow> top(uint32_t date, int limit) override {
        return with_connection([&](PGconn* conn) {
            Result r = date == 0 ? execute(conn, TOP_ALL, {int64_t{limit}})
                                 : execute(conn, TOP_DAILY, {int64_t{date}, int64_t{limit}});
            std::vector<BoardRow> rows;
            for (int i = 0; i < r.rows(); ++i) {
                rows.push_back({i + 1, r.number(i, 0), r.text(i, 1), static_cast<int32_t>(r.number(i, 2)),
                                static_cast<int32_t>(r.number(i, 3)), r.number(i, 4)});
            }
            return rows;
        });
    }

    std::optional<std::string> replay(int64_t id) override {
        return with_connection([&](PGconn* conn) -> std::optional<std::string> {
            Result r = execute(conn, "SELECT replay FROM runs WHERE id = $1", {id}, true);
            if (r.rows() != 1) return std::nullopt;
            return std::string(PQgetvalue(r.res, 0, 0), static_cast<size_t>(PQgetlength(r.res, 0, 0)));
        });
    }

    int note_request(const std::string& address, int64_t now_ms, int64_t window_ms) override {
        return with_connection([&](PGconn* conn) {
            Result r = execute(conn, NOTE_REQUEST, {address, now_ms, window_ms});
            if (++notes_ % NOTES_BETWEEN_SWEEPS == 0) execute(conn, FORGET_NOTES, {now_ms - window_ms});
            return static_cast<int>(r.number(0, 0));
        });
    }

private:
    // Runs `work` on a connection of the pool (a new one when none is idle). A connection
    // that broke (the server restarted, say) is dropped and the work tried once more on a
    // new one: every statement here may be repeated without harm (a run is found by its
    // digest the second time).
    template <typename Work>
    auto with_connection(Work work) -> decltype(work(nullptr)) {
        for (int attempt = 0;; ++attempt) {
            PGconn* conn = take();
            try {
                auto result = work(conn);
                give_back(conn);
                return result;
            } catch (...) {
                const bool broken = PQstatus(conn) == CONNECTION_BAD;
                if (broken) PQfinish(conn);
                else give_back(conn);
                if (!broken || attempt == 1) throw;
            }
        }
    }

    PGconn* take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                PGconn* conn = idle_.back();
                idle_.pop_back();
                return conn;
            }
        }
        std::string error;
        PGconn* conn = connect(url_, error);
        if (conn == nullptr) throw std::runtime_error(error);
        return conn;
    }

    void give_back(PGconn* conn) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (idle_.size() < IDLE_CONNECTIONS) idle_.push_back(conn);
        else PQfinish(conn);
    }

    const std::string url_;
    std::mutex mutex_;
    std::vector<PGconn*> idle_;
    std::atomic<int> notes_{0};
};

}  // namespace

std::unique_ptr<RunStore> open_postgres_store(const std::string& url, std::string& error) {
    auto store = std::make_unique<PostgresStore>(url);
    if (!store->open(error)) return nullptr;
    return store;
}
