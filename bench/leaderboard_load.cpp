// The leaderboard server's figures, against a real murkwingdiver-server on 127.0.0.1:
// verified submissions per second from 8 concurrent clients sending 2,000-frame runs, then,
// with 10,000 runs stored, the latency (p50, p99) of POST /api/runs and GET /api/boards/all
// from one client at a time. On SQLite (the default) and on a PostgreSQL of its own.
//   leaderboard_load SERVER [sqlite|postgres]...
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/leaderboard_harness.h"
#include "tools/run_maker.h"

namespace {

constexpr int CLIENTS = 8;
constexpr int FRAMES = 2000;
constexpr int MEASURED_RUNS = 2000;   // sent by the 8 clients, timed
constexpr int STORED_RUNS = 10000;    // on the board before the latencies are taken
constexpr int LATENCY_SAMPLES = 300;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int created(const std::vector<Submission>& sent) {
    int n = 0;
    for (const Submission& s : sent) n += s.status == 201 ? 1 : 0;
    return n;
}

std::vector<double> latencies(const std::vector<Submission>& sent) {
    std::vector<double> ms;
    for (const Submission& s : sent) ms.push_back(s.milliseconds);
    return ms;
}

bool measure(const std::string& program, const std::string& store) {
    TempPostgres postgres;
    std::vector<std::string> args;
    char folder[] = "/tmp/murkwing-bench-XXXXXX";
    args = {"--data", mkdtemp(folder)};
    std::string error;
    if (store == "postgres") {
        std::string url;
        if (!postgres.start(error) || (url = postgres.create_database("leaderboard", error)).empty()) {
            std::printf("%s: not measured: %s\n", store.c_str(), error.c_str());
            return false;
        }
        args.insert(args.end(), {"--database", url});
    }
    ServerProcess server;
    if (!server.start(program, args, error)) {
        std::printf("%s: %s\n", store.c_str(), error.c_str());
        return false;
    }
    const int port = server.port();
    uint32_t address = 0;  // every submission from its own loopback address

    // Throughput: 2,000 runs of 2,000 frames, 8 clients.
    auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> runs = make_runs({.count = MEASURED_RUNS, .frames = FRAMES, .per_cave = 10});
    std::printf("%s: %d runs of %d frames made in %.1f s\n", store.c_str(), MEASURED_RUNS, FRAMES, seconds_since(started));
    started = std::chrono::steady_clock::now();
    const std::vector<Submission> sent = submit_all({port}, runs, CLIENTS, address);
    const double took = seconds_since(started);
    address += MEASURED_RUNS;
    std::printf("%s: %d verified submissions in %.2f s: %.0f per second (%d clients, %d-frame runs; "
                "POST p50 %.1f ms, p99 %.1f ms under this load)\n",
                store.c_str(), created(sent), took, created(sent) / took, CLIENTS, FRAMES,
                quantile(latencies(sent), 0.5), quantile(latencies(sent), 0.99));

    // Filled up to 10,000 runs (shorter ones, which check faster), then one client at a time.
    const std::vector<std::string> fill =
        make_runs({.count = STORED_RUNS - MEASURED_RUNS, .frames = 300, .per_cave = 20, .first_seed = 100000});
    const int filled = created(submit_all({port}, fill, CLIENTS, address));
    address += static_cast<uint32_t>(fill.size());
    const std::vector<std::string> more =
        make_runs({.count = LATENCY_SAMPLES, .frames = FRAMES, .per_cave = 10, .first_seed = 200000});
    const std::vector<Submission> posts = submit_all({port}, more, 1, address);
    std::vector<double> gets;
    for (int i = 0; i < LATENCY_SAMPLES; ++i) {
        std::string body;
        double ms = 0;
        if (get_path(port, "/api/boards/all", body, &ms) == 200) gets.push_back(ms);
    }
    std::printf("%s: with %d runs stored: POST /api/runs p50 %.1f ms, p99 %.1f ms (%d accepted); "
                "GET /api/boards/all p50 %.1f ms, p99 %.1f ms (%zu answered)\n",
                store.c_str(), created(sent) + filled, quantile(latencies(posts), 0.5),
                quantile(latencies(posts), 0.99), created(posts), quantile(gets, 0.5), quantile(gets, 0.99),
                gets.size());
    server.stop(SIGTERM);
    std::filesystem::remove_all(folder);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: leaderboard_load SERVER [sqlite|postgres]...\n");
        return 2;
    }
    std::vector<std::string> stores(argv + 2, argv + argc);
    if (stores.empty()) stores = {"sqlite", "postgres"};
    bool all = true;
    for (const std::string& store : stores) all = measure(argv[1], store) && all;
    return all ? 0 : 1;
}
