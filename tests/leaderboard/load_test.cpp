// The leaderboard under load, with real server processes (ctest runs each mode):
//   load_test pair SERVER      two processes on one PostgreSQL of the test's own; 50
//                              clients x 20 submissions: every accepted run is stored once
//                              and both processes show the same boards; the rate limit is
//                              shared by both
//   load_test kill SERVER sqlite|postgres
//                              kill -9 of the server while 8 clients send, a restart on
//                              the same data: every run answered 201 is there
// Exit status 0 when it holds, 1 when not, 77 (skipped, with one line saying why) where
// PostgreSQL is not installed.
#include <libpq-fe.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "replay/flight.h"
#include "tools/leaderboard_harness.h"
#include "tools/run_maker.h"

namespace {

int failures = 0;

// Ends the test early with an exit status; thrown so that everything started so far is
// stopped on the way out to main.
struct Stop {
    int status;
};

void check(bool ok, const std::string& what) {
    if (ok) return;
    ++failures;
    if (failures <= 20) std::fprintf(stderr, "FAIL: %s\n", what.c_str());
}

// A data folder of the test's own, removed at the end.
struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        char name[] = "/tmp/murkwing-load-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Where the runs are kept: a PostgreSQL of the test's own (URL), or SQLite (no URL).
struct Database {
    TempPostgres postgres;
    std::string url;
    // Stops the test with 77 where PostgreSQL is not installed, 1 where it would not start.
    void start_postgres() {
        if (TempPostgres::find_bin().empty()) {
            std::printf("SKIPPED: PostgreSQL is not installed (apt-get install postgresql)\n");
            throw Stop{77};
        }
        std::string error;
        if (!postgres.start(error) || (url = postgres.create_database("leaderboard", error)).empty()) {
            std::fprintf(stderr, "FAIL: %s\n", error.c_str());
            throw Stop{1};
        }
    }
    std::vector<std::string> args(const TempFolder& data) const {
        std::vector<std::string> a = {"--data", data.path.string()};
        if (!url.empty()) a.insert(a.end(), {"--database", url});
        return a;
    }
};

void start(ServerProcess& server, const std::string& program, const std::vector<std::string>& args) {
    std::string error;
    if (!server.start(program, args, error)) {
        std::fprintf(stderr, "FAIL: %s\n", error.c_str());
        throw Stop{1};
    }
}

// The runs, in "rank, level, frames, id" form, of a board as one process shows it.
std::vector<std::string> board(int port, const std::string& name) {
    std::string body;
    const int status = get_path(port, "/api/boards/" + name + "?limit=100", body);
    check(status == 200, name + " answered " + std::to_string(status));
    std::vector<std::string> rows;
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object() || !json["runs"].is_array()) return rows;
    for (const auto& r : json["runs"]) {
        rows.push_back(std::to_string(r.value("rank", 0)) + "," + std::to_string(r.value("level", 0)) + "," +
                       std::to_string(r.value("frames", 0)) + "," + std::to_string(r.value("id", 0)));
    }
    return rows;
}

int64_t count_rows(const std::string& url) {
    PGconn* conn = PQconnectdb(url.c_str());
    PGresult* res = PQexec(conn, "SELECT count(*), count(DISTINCT digest) FROM runs");
    const bool ok = PQresultStatus(res) == PGRES_TUPLES_OK;
    const int64_t rows = ok ? std::atoll(PQgetvalue(res, 0, 0)) : -1;
    check(ok && rows == std::atoll(PQgetvalue(res, 0, 1)), "digests in the table are not all different");
    PQclear(res);
    PQfinish(conn);
    return rows;
}

int pair(const std::string& program) {
    Database db;
    db.start_postgres();
    TempFolder data_a, data_b;
    ServerProcess a, b;
    start(a, program, db.args(data_a));
    start(b, program, db.args(data_b));

    // 1,000 submissions: 900 runs of the all-time board and 50 of today's daily cave, each
    // sent once, and 50 of them sent again by another client to the other process.
    const uint32_t today = utc_date(std::time(nullptr));
    std::vector<std::string> runs = make_runs({.count = 900, .frames = 600, .per_cave = 15, .first_seed = 7});
    const std::vector<std::string> daily =
        make_runs({.count = 50, .frames = 600, .per_cave = 5, .daily_date = today, .name = "DAILY"});
    runs.insert(runs.end(), daily.begin(), daily.end());
    const size_t distinct = runs.size();
    for (size_t i = 0; i < 50; ++i) runs.push_back(runs[i * 19 + 1]);
    const std::vector<Submission> sent = submit_all({a.port(), b.port()}, runs, 50, 0);

    // Per distinct run: one 201, every answer the same id; ids all different.
    std::map<int64_t, size_t> run_of_id;
    std::vector<int64_t> id_of(distinct, 0);
    std::vector<int> created(distinct, 0);
    for (size_t i = 0; i < runs.size(); ++i) {
        const size_t run = i < distinct ? i : (i - distinct) * 19 + 1;
        const Submission& s = sent[i];
        check(s.status == 201 || s.status == 200,
              "submission " + std::to_string(i) + " answered " + std::to_string(s.status) + " " + s.body +
                  " after " + std::to_string(s.milliseconds) + " ms");
        if (s.status == 201) ++created[run];
        if (id_of[run] == 0) id_of[run] = s.id;
        check(s.id == id_of[run], "run " + std::to_string(run) + " has two ids");
    }
    for (size_t run = 0; run < distinct; ++run) {
        check(created[run] == 1, "run " + std::to_string(run) + " created " + std::to_string(created[run]) + " times");
        check(run_of_id.emplace(id_of[run], run).second, "two runs share id " + std::to_string(id_of[run]));
    }
    check(count_rows(db.url) == static_cast<int64_t>(distinct), "the table does not hold each run once");
    // Each run's bytes come back from either process.
    for (size_t run = 0; run < distinct; run += 37) {
        std::string body;
        const int port = run % 2 == 0 ? a.port() : b.port();
        check(get_path(port, "/api/runs/" + std::to_string(id_of[run]) + "/replay", body) == 200 && body == runs[run],
              "run " + std::to_string(run) + " does not come back as sent");
    }
    // Both processes show the same boards, ranked by level then fewer frames.
    const std::string daily_board = "daily-" + std::to_string(today / 10000) + "-" +
                                    std::to_string(today / 100 % 100 + 100).substr(1) + "-" +
                                    std::to_string(today % 100 + 100).substr(1);
    for (const std::string& name : {std::string("all"), daily_board}) {
        const std::vector<std::string> from_a = board(a.port(), name), from_b = board(b.port(), name);
        check(from_a == from_b, "the processes disagree on board " + name);
        check(from_a.size() == (name == "all" ? 100u : 50u), name + " shows " + std::to_string(from_a.size()) + " runs");
        for (size_t i = 1; i < from_a.size(); ++i) {
            int rank[2], level[2], frames[2];
            std::sscanf(from_a[i - 1].c_str(), "%d,%d,%d", &rank[0], &level[0], &frames[0]);
            std::sscanf(from_a[i].c_str(), "%d,%d,%d", &rank[1], &level[1], &frames[1]);
            check(rank[1] == rank[0] + 1 && (level[0] > level[1] || (level[0] == level[1] && frames[0] <= frames[1])),
                  name + " is out of order at " + from_a[i]);
        }
    }
    // The rate limit counts one address's runs at both processes together: ten a minute.
    std::vector<int> statuses;
    for (int i = 0; i < 11; ++i) {
        statuses.push_back(submit_run(i % 2 == 0 ? a.port() : b.port(), runs[0], "127.254.0.1").status);
    }
    check(std::count(statuses.begin(), statuses.end(), 200) == 10 && statuses.back() == 429,
          "eleven runs from one address to two processes were not limited to ten");
    std::printf("%zu submissions from 50 clients to 2 processes: %zu runs, each stored once; boards agree\n",
                runs.size(), distinct);
    if (failures > 0) std::fprintf(stderr, "server a:\n%s\nserver b:\n%s", a.log_tail().c_str(), b.log_tail().c_str());
    return failures == 0 ? 0 : 1;
}

int kill_under_load(const std::string& program, bool postgres) {
    Database db;
    if (postgres) db.start_postgres();
    TempFolder data;
    ServerProcess server;
    start(server, program, db.args(data));
    const std::vector<std::string> runs = make_runs({.count = 1000, .frames = 400, .per_cave = 10, .first_seed = 500});
    // Killed once a quarter of the runs were answered; the rest fail to connect.
    std::atomic<int> answered{0};
    std::vector<Submission> sent;
    std::thread clients([&] { sent = submit_all({server.port()}, runs, 8, 100000, &answered); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (answered < 150 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    server.stop(SIGKILL);
    clients.join();

    ServerProcess again;
    start(again, program, db.args(data));
    int accepted = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (sent[i].status != 201) continue;
        ++accepted;
        std::string body;
        check(get_path(again.port(), "/api/runs/" + std::to_string(sent[i].id) + "/replay", body) == 200 &&
                  body == runs[i],
              "run " + std::to_string(i) + " (id " + std::to_string(sent[i].id) + ") answered 201 is lost");
    }
    check(accepted >= 100 && accepted < static_cast<int>(runs.size()),
          "the kill did not fall amid the load (" + std::to_string(accepted) + " accepted)");
    // The ones that got no answer may or may not be stored; sent again, each is taken.
    for (size_t i = 0; i < runs.size(); i += 10) {
        const Submission s = submit_run(again.port(), runs[i], loopback_address(200000 + static_cast<uint32_t>(i)));
        check(s.status == 200 || s.status == 201, "run " + std::to_string(i) + " sent again: " + std::to_string(s.status));
        if (sent[i].status == 201) check(s.status == 200 && s.id == sent[i].id, "a stored run was stored again");
    }
    std::printf("%d of %zu runs answered 201 before the kill, all there after the restart\n", accepted, runs.size());
    if (failures > 0) std::fprintf(stderr, "server:\n%s", again.log_tail().c_str());
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    try {
        if (mode == "pair") return pair(argv[2]);
        if (mode == "kill" && argc > 3) return kill_under_load(argv[2], std::string(argv[3]) == "postgres");
    } catch (const Stop& stop) {
        return stop.status;
    }
    std::fprintf(stderr, "usage: load_test pair SERVER | load_test kill SERVER sqlite|postgres\n");
    return 2;
}
