// What both benchmark programs share: the reporter that keeps each benchmark's best time,
// and the run of all registered benchmarks in random interleaving.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Keeps the best time of every benchmark while printing as usual: the "min" statistic over
// the repetitions, or the single run when there is one. The machine may be shared, so the
// best of several short runs says more about the code than their mean, and processor time
// leaves out the time the process waited for a core.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
            const double us =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
            auto [at, fresh] = best_us.emplace(run.run_name.function_name, us);
            if (!fresh) at->second = std::min(at->second, us);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> best_us;
};

// Runs every registered benchmark and returns the best time of each, in microseconds by
// name; nothing when the command line holds a flag the library does not know. Repetitions
// of different benchmarks run interleaved in random order, so that a busy spell on the
// shared machine does not land on one of them only; flags given on the command line come
// later and win. The caller ends with benchmark::Shutdown().
inline std::optional<std::map<std::string, double>> run_benchmarks(int argc, char** argv) {
    std::vector<char*> args{argv[0]};
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.push_back(interleave.data());
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return std::nullopt;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return reporter.best_us;
}
