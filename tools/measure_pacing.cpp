// Plays frames in the real window for a while and prints the frame period (median, 99th
// percentile, mean) and the CPU use of the process (user plus system time over wall time).
// A new run starts whenever the craft crashes, so the play lasts as long as asked. With
// "idle" it only keeps the window open, pausing; with "present" it also marks every row
// changed and waits for the retrace each time, as a frame does, without composing one:
// the window's own share of the CPU. "muted" plays as "play" does with the sound off (the
// device still pulls silence), to weigh the sound's own share against "play".
// Run it from a folder holding font.bmp, e.g. under Xvfb:
//   xvfb-run -s "-screen 0 640x480x24" measure_pacing 30 [play|muted|idle|present]
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "game/craft.h"
#include "game/play.h"
#include "platform/platform.h"

namespace {

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double percentile(const std::vector<double>& sorted, double p) {
    const size_t at = std::min(sorted.size() - 1, static_cast<size_t>(p * sorted.size()));
    return sorted[at];
}

}  // namespace

int main(int argc, char** argv) {
    const double run_seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const std::string mode = argc > 2 ? argv[2] : "play";
    const bool idle = mode != "play" && mode != "muted";
    WindowOptions options;
    options.muted = mode == "muted";
    set_window_options(options);
    if (!start_up()) {
        std::fprintf(stderr, "measure_pacing: cannot open the window: %s\n", open_screen_error().c_str());
        return 1;
    }
    start_run();
    std::vector<double> periods;
    int runs = 1;
    const double wall_start = clock_seconds();
    const double cpu_start = cpu_seconds();
    double last = wall_start;
    while (last - wall_start < run_seconds) {
        if (idle) {
            if (mode == "present") {
                lock_screen();
                wait_for_retrace();
                unlock_screen(-1, -1);
            }
            pause_ms(FRAME_PAUSE_MS);
        } else {
            play_frame();
            if (craft_state().crashed != 0) {
                start_run();
                ++runs;
            }
        }
        const double now = clock_seconds();
        periods.push_back(now - last);
        last = now;
    }
    const double wall = last - wall_start;
    const double cpu = cpu_seconds() - cpu_start;
    periods.erase(periods.begin());  // the first frame includes the window's first showing
    std::vector<double> sorted = periods;
    std::sort(sorted.begin(), sorted.end());
    const double mean = std::accumulate(sorted.begin(), sorted.end(), 0.0) / sorted.size();
    std::printf("%s %zu in %.1f s (%d runs)\n", mode.c_str(), periods.size() + 1, wall,
                idle ? 0 : runs);
    std::printf("frame period: median %.2f ms, 99th percentile %.2f ms, mean %.2f ms, min %.2f, max %.2f\n",
                percentile(sorted, 0.5) * 1e3, percentile(sorted, 0.99) * 1e3, mean * 1e3,
                sorted.front() * 1e3, sorted.back() * 1e3);
    std::printf("cpu: %.2f s user+system over %.1f s wall = %.2f%% of one core\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
