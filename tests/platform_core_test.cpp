// The screen lock, key queue, key states, mouse query and pauses, on the headless twin.
#include <gtest/gtest.h>

#include "platform/core.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/screen.h"

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
    }
};

std::string ext(char code) { return std::string{static_cast<char>(255), code}; }

TEST_F(PlatformTest, PageStartsBlackWithEveryRowChanged) {
    EXPECT_EQ(headless_pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(headless_pixel(479, 319), 0xFF000000u);
    ScreenPage p = screen_page();
    EXPECT_EQ(p.width, 480);
    EXPECT_EQ(p.height, 320);
    EXPECT_EQ(p.pitch, 1920);
    EXPECT_TRUE(headless_row_changed(0));
}

// Rows come out of take_rows_to_present, in runs, only while they differ from what was
// presented of them last, unless the window may have lost them (mark_all_rows).
TEST_F(PlatformTest, OnlyRowsUnlikeTheirLastPresentationArePresented) {
    std::vector<core::RowRun> runs;
    auto presented = [&] {
        std::string text;
        std::lock_guard<std::mutex> lock(core::screen_mutex());
        if (!core::take_rows_to_present(runs)) return text;
        for (const core::RowRun& r : runs) text += std::to_string(r.first) + ".." + std::to_string(r.last) + " ";
        return text;
    };
    EXPECT_EQ(presented(), "0..319 ");
    unlock_screen(-1, -1);  // every row drawn again as it was
    EXPECT_EQ(presented(), "");
    for (int y : {5, 6, 9}) screen_page().pixels[y * 480 + 7] = 0xFF102030u;
    unlock_screen(-1, -1);
    EXPECT_EQ(presented(), "5..6 9..9 ");
    {
        std::lock_guard<std::mutex> lock(core::screen_mutex());
        core::mark_all_rows();
    }
    EXPECT_EQ(presented(), "0..319 ");
}

TEST(PlatformOpen, RefusesBadArguments) {
    struct Case { int w, h, depth; int result; } cases[] = {
        {480, 320, 32, 0}, {480, 320, 24, 0}, {480, 320, 15, 0}, {480, 320, 1, 0},
        {0, 320, 32, 1},   {480, -1, 32, 1},  {480, 320, 12, 1}, {480, 320, 0, 1},
    };
    for (const Case& c : cases) {
        headless_reset();
        EXPECT_EQ(open_screen(c.w, c.h, c.depth, 0, 0, 0), c.result) << c.w << "x" << c.h << "x" << c.depth;
        EXPECT_EQ(screen_is_open(), c.result == 0);
    }
}

TEST(PlatformOpen, FailureLeavesNoScreenAndSaysWhy) {
    headless_reset();
    headless_fail_open(true);
    EXPECT_EQ(open_screen(480, 320, 32, 0, 0, 0), 1);
    EXPECT_FALSE(screen_is_open());
    EXPECT_FALSE(open_screen_error().empty());
    EXPECT_EQ(wait_for_retrace(), 1);
}

TEST_F(PlatformTest, KeysComeOutInOrderOnePerRead) {
    headless_queue_key('a');
    headless_queue_key(KEY_UP);
    headless_queue_key(KEY_ENTER);
    EXPECT_EQ(read_key(), "a");
    EXPECT_EQ(read_key(), ext('H'));
    EXPECT_EQ(read_key(), "\r");
    EXPECT_EQ(read_key(), "");
}

TEST_F(PlatformTest, FullQueueDropsTheOldestKey) {
    for (int i = 0; i < 16; ++i) headless_queue_key('A' + i);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(read_key(), std::string(1, static_cast<char>('A' + i)));
    EXPECT_EQ(read_key(), "");
}

TEST_F(PlatformTest, ExtendedCodesReadAsTwoBytes) {
    struct Case { int code; std::string bytes; } cases[] = {
        {KEY_DOWN, ext('P')}, {KEY_CLOSE, ext('k')}, {KEY_F1, ext(';')},
        {KEY_F11, ext(static_cast<char>(133))}, {KEY_PAD5, ext('L')}, {255, "\xff"}, {0, ""},
    };
    for (const Case& c : cases) {
        headless_queue_key(c.code);
        EXPECT_EQ(read_key(), c.bytes) << c.code;
    }
}

TEST_F(PlatformTest, KeyStateBounds) {
    headless_set_key_down(SCANCODE_SPACE, true);
    headless_set_key_down(127, true);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), -1);
    EXPECT_EQ(is_key_down(127), -1);
    EXPECT_EQ(is_key_down(128), 0);
    EXPECT_EQ(is_key_down(-1), 0);
    EXPECT_EQ(is_key_down(1), 0);
    headless_set_key_down(SCANCODE_SPACE, false);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
}

TEST_F(PlatformTest, ActivationChangeReleasesEveryKey) {
    headless_set_key_down(SCANCODE_SPACE, true);
    headless_set_active(false);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
    headless_set_active(true);
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
}

TEST_F(PlatformTest, MouseQueryFailsOutsideOrInactive) {
    headless_set_mouse(100, 200, MOUSE_LEFT | MOUSE_MIDDLE);
    headless_turn_wheel(2);
    headless_turn_wheel(-1);
    int32_t x, y, wheel, buttons;
    EXPECT_EQ(read_mouse(x, y, wheel, buttons), 0);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 200);
    EXPECT_EQ(wheel, 1);
    EXPECT_EQ(buttons, 5);

    headless_set_pointer_inside(false);
    EXPECT_EQ(read_mouse(x, y, wheel, buttons), 1);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(wheel, -1);
    EXPECT_EQ(buttons, -1);

    headless_set_pointer_inside(true);
    headless_set_active(false);
    EXPECT_EQ(read_mouse(x, y, wheel, buttons), 1);
    EXPECT_EQ(buttons, -1);
}

TEST_F(PlatformTest, PointerIsTakenAsUnsigned16Bits) {
    headless_set_mouse(-1, 65536 + 7, 0);
    int32_t x, y, wheel, buttons;
    ASSERT_EQ(read_mouse(x, y, wheel, buttons), 0);
    EXPECT_EQ(x, 65535);
    EXPECT_EQ(y, 7);
}

TEST_F(PlatformTest, LockTwiceUnlockOnceLeavesTheLockFree) {
    lock_screen();
    lock_screen();
    EXPECT_TRUE(headless_lock_held());
    unlock_screen(-1, -1);
    EXPECT_FALSE(headless_lock_held());
}

TEST_F(PlatformTest, UnlockWithoutLockMarksRowsAndReleasesNothing) {
    headless_clear_row_flags();
    unlock_screen(-1, -1);
    EXPECT_FALSE(headless_lock_held());
    for (int y : {0, 160, 319}) EXPECT_TRUE(headless_row_changed(y)) << y;
}

TEST_F(PlatformTest, UnlockMarksOnlyTheGivenRows) {
    struct Case { int first, last; int lo, hi; } cases[] = {
        {10, 20, 10, 20}, {-5, 3, 0, 3}, {300, -1, 300, 319}, {30, 20, -1, -1}, {0, 320, -1, -1},
    };
    for (const Case& c : cases) {
        headless_clear_row_flags();
        lock_screen();
        unlock_screen(c.first, c.last);
        EXPECT_FALSE(headless_lock_held());
        for (int y = 0; y < 320; ++y) {
            bool expected = c.lo >= 0 && y >= c.lo && y <= c.hi;
            ASSERT_EQ(headless_row_changed(y), expected) << c.first << ".." << c.last << " row " << y;
        }
    }
}

TEST_F(PlatformTest, OperationsInsideTheCallersLockKeepItHeld) {
    lock_screen();
    headless_queue_key('x');
    EXPECT_EQ(read_key(), "x");
    EXPECT_EQ(is_key_down(SCANCODE_SPACE), 0);
    int32_t x, y, w, b;
    read_mouse(x, y, w, b);
    EXPECT_TRUE(headless_lock_held());
    unlock_screen(-1, -1);
    EXPECT_FALSE(headless_lock_held());
}

TEST_F(PlatformTest, OperationsWithoutTheCallersLockLeaveItFree) {
    headless_queue_key('x');
    read_key();
    is_key_down(SCANCODE_SPACE);
    EXPECT_FALSE(headless_lock_held());
    {
        CallLock guard;
        EXPECT_TRUE(guard.taken);
        EXPECT_TRUE(headless_lock_held());
        CallLock inner;
        EXPECT_FALSE(inner.taken);
    }
    EXPECT_FALSE(headless_lock_held());
}

// pause_ms in its three regimes, timed on the virtual clock.
TEST_F(PlatformTest, ShortPausesRunTheirFullLengthWhateverTheKeys) {
    for (int ms : {20, 25, 40, 50, 99}) {
        headless_queue_key('k');
        double before = headless_time();
        pause_ms(ms);
        EXPECT_NEAR(headless_time() - before, ms / 1000.0, 1e-9) << ms;
    }
    double before = headless_time();
    pause_ms(0);
    pause_ms(-5);
    EXPECT_EQ(headless_time(), before);
}

TEST_F(PlatformTest, LongPauseReturnsAtOnceWhenAKeyIsPending) {
    headless_queue_key('k');
    double before = headless_time();
    pause_ms(1000);
    EXPECT_EQ(headless_time(), before);
    // The key-hit flag is gone; the key itself stays queued.
    before = headless_time();
    pause_ms(1000);
    EXPECT_NEAR(headless_time() - before, 1.0, 1e-9);
    EXPECT_EQ(read_key(), "k");
}

TEST_F(PlatformTest, LongPauseEndsAtTheFiftyMillisecondStepAfterAKey) {
    double start = headless_time();
    headless_at_time(start + 0.120, [] { headless_queue_key('k'); });
    pause_ms(1000);
    EXPECT_NEAR(headless_time() - start, 0.150, 1e-9);
}

TEST_F(PlatformTest, ReadKeyClearsTheKeyHitFlag) {
    headless_queue_key('k');
    read_key();
    double before = headless_time();
    pause_ms(130);
    EXPECT_NEAR(headless_time() - before, 0.130, 1e-9);
}

TEST_F(PlatformTest, PauseMinusOneWaitsForAKey) {
    double start = headless_time();
    headless_at_time(start + 0.333, [] { headless_queue_key(KEY_ESCAPE); });
    pause_ms(-1);
    EXPECT_NEAR(headless_time() - start, 0.350, 1e-9);
    EXPECT_EQ(read_key(), "\x1b");
}

// The frame loop's pace: a retrace wait and a 20 ms pause per frame take two ticks of the
// 60 Hz timeline (1/30 s) whatever rate the display reports, and 36 ms when it reports none.
TEST_F(PlatformTest, FramePeriodIsTheSameOnEveryDisplayRate) {
    struct Case {
        int rate;
        double period;
    };
    for (const Case c : {Case{0, 0.036}, Case{60, 1.0 / 30}, Case{75, 1.0 / 30}, Case{120, 1.0 / 30},
                         Case{144, 1.0 / 30}, Case{240, 1.0 / 30}, Case{1000, 1.0 / 30}}) {
        headless_reset();
        headless_set_refresh_rate(c.rate);
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
        headless_set_time(headless_time() + 0.0123);  // start off the timeline
        double start = 0.0;
        for (int frame = 0; frame < 90; ++frame) {
            if (frame == 30) start = headless_time();
            wait_for_retrace();
            pause_ms(20);
        }
        EXPECT_NEAR((headless_time() - start) / 60, c.period, 1e-9) << c.rate << " Hz";
    }
}

TEST(RetraceWait, EndsOnTheNextTickOfTheTimeline) {
    struct Case {
        int rate;
        int64_t origin_ns, now_ns, wait_ns;
    };
    const Case cases[] = {
        {0, 5000000000, 5000000000, 16000000},   // rate unknown: 16 ms
        {60, 5000000000, 5000000000, 16666667},  // at the origin: the next tick
        {144, 5000000000, 5001000000, 15666667}, // 1 ms in, the display's rate plays no part
        {60, 5000000000, 5033333334, 16666666},  // exactly on tick 2: tick 3 is 50 ms in
        {60, 5000000000, 6000000000, 16666667},  // tick 60 is exactly one second in
        {60, 5000000000, 4999000000, 1000000},   // before the origin: wait for it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core::retrace_wait_ns(c.rate, c.origin_ns, c.now_ns), c.wait_ns) << c.rate << " Hz at " << c.now_ns;
    }
}

TEST_F(PlatformTest, FocusLossIsTakenOnce) {
    EXPECT_FALSE(take_focus_loss());
    headless_set_active(false);
    headless_set_active(false);
    EXPECT_TRUE(take_focus_loss());
    EXPECT_FALSE(take_focus_loss());
    headless_set_active(true);
    EXPECT_FALSE(take_focus_loss());
}

TEST_F(PlatformTest, ScriptRunsAtPauseNumbers) {
    headless_at_pause(2, [] { headless_queue_key('2'); });
    pause_ms(20);
    EXPECT_EQ(read_key(), "");
    pause_ms(20);
    EXPECT_EQ(read_key(), "2");
    EXPECT_EQ(headless_pause_count(), 2);
}

TEST_F(PlatformTest, PauseLimitCallsTheHandler) {
    int called = 0;
    headless_set_pause_limit(3, [&] { ++called; });
    for (int i = 0; i < 5; ++i) pause_ms(1);
    EXPECT_EQ(called, 1);
}

}  // namespace
