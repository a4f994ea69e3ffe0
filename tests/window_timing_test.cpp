// Timings of the real window, printed as figures: the refresh tick (seen from outside as
// the moments the refresh thread holds the screen lock), pauses, the retrace wait and the
// key latency from a key press (the X test extension) to the queue and the key state. Only the rules hold as checks: pauses last their
// full length, and a long pause ends early once a key is pressed.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/core.h"
#include "tests/window_support.h"
#include "tests/window_x11.h"

using namespace window_test;

namespace {

class WindowTiming : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_WINDOW();
        ASSERT_TRUE(focus_window());
        drain_keys();
    }
};

struct Summary {
    double mean = 0, low = 0, high = 0, median = 0;
    size_t count = 0;
};

Summary summarize(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.count = values.size();
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    s.low = values.front();
    s.high = values.back();
    s.median = values[values.size() / 2];
    return s;
}

void print_ms(const char* what, const Summary& s) {
    std::printf("[ figures  ] %-44s mean %7.3f  median %7.3f  min %7.3f  max %7.3f ms  (n=%zu)\n", what,
                s.mean * 1e3, s.median * 1e3, s.low * 1e3, s.high * 1e3, s.count);
}

// Watches the refresh thread for `seconds` without starving it of the lock: every 20 us or
// so the test takes the screen lock when it is free. Row 0's changed flag, set again by the
// test each time, is cleared by every tick that copies it: the times it is found cleared
// give the tick period. A lock found taken is a tick at work (holds shorter than the
// polling step go unseen). With `frame_every` > 0 every row is also marked at that
// interval, as the game's frames do, so that the next tick copies the whole page.
void watch_ticks(double seconds, double frame_every, std::vector<double>& periods, std::vector<double>& holds) {
    std::mutex& lock = core::screen_mutex();
    bool held = false;
    double held_since = 0, last_tick = -1, next_frame = now_seconds();
    const double end = now_seconds() + seconds;
    for (double now = now_seconds(); now < end; now = now_seconds()) {
        if (lock.try_lock()) {
            if (held) {
                holds.push_back(now - held_since);
                held = false;
            }
            if (!core::row_changed(0)) {
                if (last_tick >= 0) periods.push_back(now - last_tick);
                last_tick = now;
                mark_rows_changed(0, 0);
            }
            if (frame_every > 0 && now >= next_frame) {
                core::mark_all_rows();
                next_frame += frame_every;
            }
            lock.unlock();
        } else if (!held) {
            held = true;
            held_since = now;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
}

TEST_F(WindowTiming, RefreshTick) {
    std::vector<double> idle_periods, idle_holds, busy_periods, busy_holds;
    watch_ticks(1.0, 0, idle_periods, idle_holds);
    watch_ticks(1.0, 0.020, busy_periods, busy_holds);
    print_ms("tick period, one row changed per tick", summarize(idle_periods));
    print_ms("lock held per tick (seen ones), one row", summarize(idle_holds));
    print_ms("tick period, whole page every 20 ms", summarize(busy_periods));
    print_ms("lock held per tick (seen ones), whole page", summarize(busy_holds));
    // The thread is alive and ticking: well over 20 ticks a second.
    EXPECT_GT(idle_periods.size(), 20u);
}

TEST_F(WindowTiming, PausesLastTheirFullLength) {
    for (int ms : {20, 50}) {
        std::vector<double> took;
        for (int i = 0; i < 20; ++i) {
            double start = now_seconds();
            pause_ms(ms);
            took.push_back(now_seconds() - start);
        }
        Summary s = summarize(took);
        print_ms(ms == 20 ? "pause_ms(20)" : "pause_ms(50)", s);
        EXPECT_GE(s.low, ms / 1000.0);
    }
    // A key pressed during a short pause does not end it.
    ASSERT_TRUE(xdo("key x"));
    double start = now_seconds();
    pause_ms(50);
    EXPECT_GE(now_seconds() - start, 0.050);
    drain_keys();
}

TEST_F(WindowTiming, LongPauseEndsAtTheFirstStepAfterAKey) {
    // A key that arrived before the pause (its press has reached the key state) ends it at
    // once. The pauses are long, so that a loaded machine cannot make them look ended early.
    XConnection keyboard;
    ASSERT_TRUE(keyboard.ok()) << "libX11 or libXtst missing";
    keyboard.send_key("x", true);
    ASSERT_TRUE(wait_until([] { return is_key_down(45) == -1; }));
    keyboard.send_key("x", false);
    double start = now_seconds();
    pause_ms(5000);
    double at_once = now_seconds() - start;
    EXPECT_LT(at_once, 2.5);
    drain_keys();
    // A key pressed 200 ms into the pause ends it at the next 50 ms step.
    start = now_seconds();  // before the thread starts its 200 ms
    std::thread presser([&keyboard] {
        sleep_ms(200);  // the moment of the press is what is tested
        keyboard.send_key("x", true);
        keyboard.send_key("x", false);
    });
    pause_ms(5000);
    double early = now_seconds() - start;
    presser.join();
    std::printf("[ figures  ] pause_ms(5000): key before it %.1f ms, key pressed at 200 ms %.1f ms\n",
                at_once * 1e3, early * 1e3);
    EXPECT_GE(early, 0.200);
    EXPECT_LT(early, 2.5);
    drain_keys();
}

TEST_F(WindowTiming, RetraceWait) {
    std::vector<double> took;
    for (int i = 0; i < 60; ++i) {
        double start = now_seconds();
        EXPECT_EQ(wait_for_retrace(), 0);
        took.push_back(now_seconds() - start);
    }
    std::printf("[ figures  ] display refresh rate %d Hz (0: unknown, 16 ms waits)\n", core::refresh_rate());
    print_ms("wait_for_retrace", summarize(took));
    // As the game calls it: with the lock held, then unlock and pause 20 ms.
    took.clear();
    for (int i = 0; i < 30; ++i) {
        lock_screen();
        double start = now_seconds();
        wait_for_retrace();
        took.push_back(now_seconds() - start);
        unlock_screen(-1, -1);
        pause_ms(20);
    }
    print_ms("wait_for_retrace in a game-like frame loop", summarize(took));
}

TEST_F(WindowTiming, KeyLatencyFromPressToTheQueue) {
    XConnection keyboard;
    ASSERT_TRUE(keyboard.ok()) << "libX11 or libXtst missing";
    std::vector<double> to_queue, to_state;
    for (int i = 0; i < 30; ++i) {
        double start = now_seconds();
        keyboard.send_key("x", true);
        bool typed = false, held = false;
        double now = start;
        while ((!typed || !held) && now - start < 10.0) {  // polled every 0.1 ms
            if (!typed && read_key() == "x") {
                typed = true;
                to_queue.push_back(now_seconds() - start);
            }
            if (!held && is_key_down(45) == -1) {  // X's make code
                held = true;
                to_state.push_back(now_seconds() - start);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            now = now_seconds();
        }
        keyboard.send_key("x", false);
        ASSERT_TRUE(typed && held) << "press " << i << " lost";
        ASSERT_TRUE(wait_until([] { return is_key_down(45) == 0; }));
        sleep_ms(7 + i % 5);  // spread the presses over the tick's phase
    }
    print_ms("key press -> read_key", summarize(to_queue));
    print_ms("key press -> is_key_down", summarize(to_state));
}

}  // namespace
