// Replays end to end on the headless twin: a scripted session on the daily cave is recorded
// and kept, watched again frame for frame with equal pages, and checked; each tampering is
// refused with its reason; a 10,000-frame run fits in 2 KB.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "replay/commands.h"
#include "replay/flight.h"
#include "replay/keeping.h"
#include "replay/recorder.h"
#include "replay/watch.h"
#include "tests/game_support.h"

namespace {

using namespace game_test;

constexpr int64_t SESSION_TIME = 1796601600;  // 2026-12-07 00:00:00 UTC

// The page's checksum after each frame of a run, taken at the pause that follows the frame.
struct FrameRecorder {
    std::map<int32_t, uint64_t> pages;
    void attach(long pauses) {
        for (long p = 1; p <= pauses; ++p) {
            headless_at_pause(p, [this] {
                const int32_t frame = run_clock().frame_counter;
                if (frame > 0 && pages.count(frame) == 0) pages[frame] = page_checksum();
            });
        }
    }
};

// Answers the dialogs after a run in order; steers the craft at 160 until frame 400, then
// out of the top of the field.
struct SessionPlayer : Player {
    void act_and_steer() {
        target_y = run_clock().frame_counter < 400 ? 160.0 : -100.0;
        act();
    }
};

class ReplaySession : public GameTest {
protected:
    void TearDown() override {
        stop_recording();
        GameTest::TearDown();
    }
};

TEST_F(ReplaySession, DailyRunIsKeptWatchedPixelForPixelAndVerified) {
    RecordingOptions options;
    options.daily = true;
    options.game_version = "murkwingdiver test";
    options.now = [] { return SESSION_TIME; };
    start_recording(options);

    SessionPlayer player;
    player.steer = true;
    player.script = {
        {" HIGH SCORE! ", 36, {KEY_ENTER}},
        {" ", 72, {'A', 'C', 'E', KEY_ENTER}},  // the name field's first pass shows nothing yet
        {" HIGH SCORES ", 4, {KEY_ENTER}},
        {" PLAY AGAIN? ", 36, {KEY_DOWN, KEY_ENTER}},
    };
    for (long p = 1; p <= 3000; ++p) headless_at_pause(p, [&player] { player.act_and_steer(); });
    FrameRecorder flown;
    flown.attach(3000);
    headless_set_time(SEED_TIME);
    ASSERT_EQ(run_game(), 0);
    ASSERT_TRUE(player.done());

    const std::string bytes = last_recorded_replay();
    ReplayRecord record;
    std::string why;
    ASSERT_TRUE(decode_replay(bytes, record, why)) << why;
    EXPECT_EQ(record.name, "ACE");
    EXPECT_EQ(record.ending, RunEnding::CRASH);
    EXPECT_TRUE(record.fresh_screen);
    EXPECT_TRUE(record.daily);
    EXPECT_EQ(record.daily_date, 20261207u);
    EXPECT_EQ(RandomPosition({record.run_seed, record.run_draws}), RandomPosition({20261207, 0}));
    EXPECT_EQ(record.backdrop_seed, 1000u);
    EXPECT_GT(record.level, 0);
    EXPECT_EQ(record.level, high_score_entry(1).score);
    EXPECT_EQ(static_cast<size_t>(record.frames), flown.pages.size());

    // Kept under replays/, linked to the table's entry 1 without touching the table's file.
    const std::string kept = replay_of_entry(REPLAY_FOLDER, current_high_scores(), 1);
    ASSERT_FALSE(kept.empty());
    std::string kept_bytes;
    ASSERT_TRUE(read_replay_file(kept, kept_bytes, why)) << why;
    EXPECT_EQ(kept_bytes, bytes);
    EXPECT_EQ(latest_replay(REPLAY_FOLDER), kept);

    const ReplayVerdict verdict = verify_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_TRUE(verdict.agrees) << verdict.why;
    EXPECT_EQ(verdict.frames, record.frames);

    // Watching in a fresh process: the same pages, frame for frame.
    release_game();
    headless_reset();
    FrameRecorder watched;
    watched.attach(3000);
    ASSERT_EQ(watch_record(record, why), 0) << why;
    ASSERT_EQ(watched.pages.size(), flown.pages.size());
    for (const auto& [frame, page] : flown.pages) ASSERT_EQ(watched.pages[frame], page) << "frame " << frame;
}

// A record with human-like climb input: holds and releases of 2 to 30 frames.
ReplayRecord long_record(int32_t frames, unsigned seed) {
    ReplayRecord r;
    r.game_version = "murkwingdiver 1.0.0";
    r.frames = frames;
    r.name = "ABCDEFGHIJKL";
    r.run_draws = 123456;
    std::mt19937 random(seed);
    bool held = false;
    while (r.climb.size() < static_cast<size_t>(frames)) {
        r.climb.insert(r.climb.end(), std::min<size_t>(2 + random() % 29, frames - r.climb.size()), held);
        held = !held;
    }
    return r;
}

TEST(ReplayFile, TenThousandFramesFitInTwoKilobytesAndReadBack) {
    ReplayRecord human = long_record(10000, 7);
    ReplayRecord toggling = long_record(10000, 7);
    for (size_t i = 0; i < toggling.climb.size(); ++i) toggling.climb[i] = i % 2 == 1;
    for (const ReplayRecord& r : {human, toggling}) {
        const std::string bytes = encode_replay(r);
        EXPECT_LE(bytes.size(), 2048u);
        ReplayRecord back;
        std::string why;
        ASSERT_TRUE(decode_replay(bytes, back, why)) << why;
        EXPECT_EQ(back, r);
    }
}

TEST_F(ReplaySession, EachTamperingIsRefusedWithItsReason) {
    // A real run: flown by the twin's player until it crashes.
    start_recording(RecordingOptions{false, "replays", "test", [] { return SESSION_TIME; }});
    Player player;
    player.steer = true;
    player.script = {{" HIGH SCORE! ", 36, {KEY_ESCAPE}}, {" ", 72, {KEY_ENTER}},
                     {" HIGH SCORES ", 4, {KEY_ENTER}}, {" PLAY AGAIN? ", 36, {KEY_DOWN, KEY_ENTER}}};
    player.attach(5000);
    ASSERT_EQ(run_game(), 0);
    ReplayRecord good;
    std::string why;
    ASSERT_TRUE(decode_replay(last_recorded_replay(), good, why)) << why;

    struct Case {
        const char* what;
        std::function<void(ReplayRecord&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"nothing", [](ReplayRecord&) {}, ""},
        {"frames", [](ReplayRecord& r) { r.climb.pop_back(), --r.frames; }, "does not crash in frame"},
        {"climb input", [](ReplayRecord& r) { r.climb.flip(); }, "crashes in frame"},
        {"level", [](ReplayRecord& r) { ++r.level; }, "reaches level"},
        {"start state", [](ReplayRecord& r) { r.run_draws += 1; }, "another start state"},
        {"rules", [](ReplayRecord& r) { r.rules = "murkwing-rules-2"; }, "flown by the rules \"murkwing-rules-2\""},
        {"daily seed", [](ReplayRecord& r) { r.daily = true, r.daily_date = 20261208; }, "its date's cave"},
    };
    for (const Case& c : cases) {
        ReplayRecord r = good;
        c.change(r);
        const std::string bytes = encode_replay(r);
        const ReplayVerdict v = verify_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(v.agrees, std::string(c.reason).empty()) << c.what;
        EXPECT_NE(v.why.find(c.reason), std::string::npos) << c.what << ": " << v.why;
    }
    std::string damaged = last_recorded_replay();
    damaged[damaged.size() / 2] ^= 0x10;
    EXPECT_EQ(verify_replay(reinterpret_cast<const uint8_t*>(damaged.data()), damaged.size()).why,
              "damaged (integrity check failed)");
}

}  // namespace
