// Writes real runs for the leaderboard (see run_maker.h) into a folder, one replay file
// each, and says how they came out:
//   make_runs [--count N] [--frames F] [--per-cave K] [--seed S] [--daily YYYYMMDD]
//             [--name TEXT] [--verify] DIR
// --verify flies every file again with the replay check and counts the ones that agree.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "replay/flight.h"
#include "tools/run_maker.h"

int main(int argc, char** argv) {
    RunBatch batch;
    bool verify = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--count" && has_value) batch.count = std::atoi(argv[++i]);
        else if (arg == "--frames" && has_value) batch.frames = std::atoi(argv[++i]);
        else if (arg == "--per-cave" && has_value) batch.per_cave = std::atoi(argv[++i]);
        else if (arg == "--seed" && has_value) batch.first_seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--daily" && has_value) batch.daily_date = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--name" && has_value) batch.name = argv[++i];
        else if (arg == "--verify") verify = true;
        else if (arg[0] != '-' && folder.empty()) folder = arg;
        else {
            std::fprintf(stderr, "usage: make_runs [--count N] [--frames F] [--per-cave K] [--seed S] "
                                 "[--daily YYYYMMDD] [--name TEXT] [--verify] DIR\n");
            return 2;
        }
    }
    if (folder.empty() || batch.count < 1 || batch.frames < 1 || batch.per_cave < 1) {
        std::fprintf(stderr, "make_runs: a folder, and counts of at least 1, are needed\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    const std::vector<std::string> runs = make_runs(batch);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::filesystem::create_directories(folder);
    int agreeing = 0, shortest = batch.frames, best = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "run-%05zu.mwr", i);
        std::ofstream(std::filesystem::path(folder) / file, std::ios::binary) << runs[i];
        if (!verify) continue;
        const ReplayVerdict verdict =
            verify_replay(reinterpret_cast<const uint8_t*>(runs[i].data()), runs[i].size());
        if (verdict.agrees) ++agreeing;
        else std::fprintf(stderr, "make_runs: %s does not verify: %s\n", file, verdict.why.c_str());
        shortest = std::min(shortest, verdict.frames);
        best = std::max(best, verdict.level);
    }
    std::printf("%zu runs in %s in %.2f s", runs.size(), folder.c_str(), seconds);
    if (verify) std::printf("; %d verify (shortest %d frames, best level %d)", agreeing, shortest, best);
    std::printf("\n");
    return verify && agreeing != static_cast<int>(runs.size()) ? 1 : 0;
}
