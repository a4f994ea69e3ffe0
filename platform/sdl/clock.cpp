// The desktop's real clock: clock_seconds on the monotonic counter (seconds since the
// system started), with the millisecond tick count as fallback. POSIX only, nothing of SDL;
// it lives with the SDL window because that is the one backend on the real clock (the
// browser has its own, the headless twin a virtual one).
#include <sys/times.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace {

enum class ClockMode { UNDECIDED, COUNTER, TICKS };

struct Clock {
    ClockMode mode = ClockMode::UNDECIDED;
    double period = 0.0;  // seconds per counter unit (1 ns for CLOCK_MONOTONIC)
    long ticks_per_second = 0;
};

Clock& clock_state() {
    static Clock c;
    return c;
}

// The clock's mode is fixed at the first call: the counter when CLOCK_MONOTONIC works.
void decide_mode(Clock& c) {
    timespec resolution{};
    timespec now{};
    if (clock_getres(CLOCK_MONOTONIC, &resolution) == 0 && clock_gettime(CLOCK_MONOTONIC, &now) == 0) {
        c.mode = ClockMode::COUNTER;
        c.period = 1e-9;
        return;
    }
    c.mode = ClockMode::TICKS;
    c.ticks_per_second = sysconf(_SC_CLK_TCK);
    if (c.ticks_per_second <= 0) c.ticks_per_second = 100;
}

// Milliseconds since an arbitrary start (the system's, on Linux), wrapping at 2^32 like a
// tick count.
uint32_t tick_count_ms(const Clock& c) {
    tms unused{};
    auto ticks = static_cast<unsigned long long>(times(&unused));
    return static_cast<uint32_t>(ticks * 1000ULL / static_cast<unsigned long long>(c.ticks_per_second));
}

}  // namespace

double clock_seconds() {
    Clock& c = clock_state();
    if (c.mode == ClockMode::UNDECIDED) decide_mode(c);
    if (c.mode == ClockMode::COUNTER) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        int64_t counter = static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        return static_cast<double>(counter) * c.period;
    }
    return tick_count_ms(c) * 0.001;
}
