// Replays end to end on the headless twin: a scripted session of two runs on the daily cave
// is recorded and kept, each run watched again frame for frame with equal pages, and
// checked; each tampering is refused with its reason; a 10,000-frame run fits in 2 KB.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <random>

#include "replay/commands.h"
#include "replay/flight.h"
#include "replay/keeping.h"
#include "replay/recorder.h"
#include "replay/screens.h"
#include "replay/watch.h"
#include "tests/game_support.h"

namespace {

using namespace game_test;

constexpr int64_t SESSION_TIME = 1796601600;  // 2026-12-07 00:00:00 UTC

// The page's checksum after each frame of each run: the last one taken at a pause while the
// frame's number stands and the craft is whole (a "Quit?" at the frame's top pauses before
// the frame is drawn), or the first once it crashed.
struct FrameRecorder {
    std::vector<std::map<int32_t, uint64_t>> runs;
    int32_t last_frame = 0;
    bool ended = false;
    void attach(long pauses) {
        for (long p = 1; p <= pauses; ++p) headless_at_pause(p, [this] { take(); });
    }
    void take() {
        const int32_t frame = run_clock().frame_counter;
        if (frame == 0) return;
        if (frame < last_frame || runs.empty()) runs.emplace_back(), ended = false;
        last_frame = frame;
        if (ended) return;
        runs.back()[frame] = page_checksum();
        ended = craft_state().crashed != 0;
    }
};

// Two runs on the daily cave: each steered at 160 until frame 400, then out of the top of the
// field; the second asks "Quit?" at frame 100 and answers "No". Both enter the table.
struct SessionPlayer : Player {
    void act_and_steer() {
        target_y = run_clock().frame_counter < 400 ? 160.0 : -100.0;
        if (next == 4 && run_clock().frame_counter == 100 && !escaped) headless_queue_key(KEY_ESCAPE), escaped = true;
        act();
    }
    bool escaped = false;
};

class ReplaySession : public GameTest {
protected:
    void TearDown() override {
        stop_recording();
        GameTest::TearDown();
    }
};

// Watches a record on a fresh twin and returns its pages frame by frame.
std::map<int32_t, uint64_t> watched_pages(const ReplayRecord& record, const ScreenPictures& pictures) {
    release_game();
    headless_reset();
    FrameRecorder watched;
    watched.attach(3000);
    std::string why;
    EXPECT_EQ(watch_record(record, pictures, why), 0) << why;
    return watched.runs.empty() ? std::map<int32_t, uint64_t>{} : watched.runs[0];
}

TEST_F(ReplaySession, DailyRunsAreKeptWatchedPixelForPixelAndVerified) {
    RecordingOptions options;
    options.daily = true;
    options.game_version = "murkwingdiver test";
    options.now = [] { return SESSION_TIME; };
    start_recording(options);

    std::string first;
    SessionPlayer player;
    player.steer = true;
    player.script = {
        {" HIGH SCORE! ", 36, {KEY_ENTER}},
        {" ", 72, {'A', 'C', 'E', KEY_ENTER}},  // the name field's first pass shows nothing yet
        {" HIGH SCORES ", 4, {KEY_ENTER}, [&first] { first = last_recorded_replay(); }},
        {" PLAY AGAIN? ", 36, {KEY_ENTER}},
        {" QUIT? ", 36, {KEY_ENTER}},            // "No"
        {" HIGH SCORE! ", 36, {KEY_ENTER}},
        {" ", 72, {'B', 'E', 'A', KEY_ENTER}},
        {" HIGH SCORES ", 4, {KEY_ENTER}},
        {" PLAY AGAIN? ", 36, {KEY_DOWN, KEY_ENTER}},
    };
    for (long p = 1; p <= 6000; ++p) headless_at_pause(p, [&player] { player.act_and_steer(); });
    FrameRecorder flown;
    flown.attach(6000);
    headless_set_time(SEED_TIME);
    ASSERT_EQ(run_game(), 0);
    ASSERT_TRUE(player.done());
    ASSERT_EQ(flown.runs.size(), 2u);

    ReplayRecord record[2];
    std::string why;
    ASSERT_TRUE(decode_replay(first, record[0], why)) << why;
    ASSERT_TRUE(decode_replay(last_recorded_replay(), record[1], why)) << why;
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run + 1);
        const ReplayRecord& r = record[run];
        EXPECT_EQ(r.name, run == 0 ? "ACE" : "BEA");
        EXPECT_EQ(r.ending, RunEnding::CRASH);
        EXPECT_EQ(r.fresh_screen, run == 0);
        EXPECT_TRUE(r.daily);
        EXPECT_EQ(r.daily_date, 20261207u);
        EXPECT_EQ(RandomPosition({r.run_seed, r.run_draws}), RandomPosition({20261207, 0}));
        EXPECT_EQ(r.backdrop_seed, 1000u);
        EXPECT_GT(r.level, 0);
        EXPECT_EQ(static_cast<size_t>(r.frames), flown.runs[run].size());
        const std::string bytes = encode_replay(r);
        const ReplayVerdict verdict = verify_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_TRUE(verdict.agrees) << verdict.why;
    }

    // Kept under replays/, linked to their table entries without touching the table's file,
    // the second with its screen pictures: at its start and after "Quit?".
    const HighScoreTable table = current_high_scores();
    const int second = table[0].name == "BEA" ? 1 : 2;
    std::string kept;
    ASSERT_TRUE(read_replay_file(replay_of_entry(REPLAY_FOLDER, table, second), kept, why)) << why;
    EXPECT_EQ(kept, last_recorded_replay());
    ASSERT_TRUE(read_replay_file(replay_of_entry(REPLAY_FOLDER, table, 3 - second), kept, why)) << why;
    EXPECT_EQ(kept, first);
    EXPECT_EQ(latest_replay(REPLAY_FOLDER), replay_of_entry(REPLAY_FOLDER, table, second));
    std::string sidecar;
    ScreenPictures pictures;
    ASSERT_TRUE(read_replay_file(screens_path(latest_replay(REPLAY_FOLDER)), sidecar, why, SCREENS_MAX_FILE_BYTES));
    ASSERT_TRUE(decode_screens(sidecar, pictures));
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[1].frame, 101);  // Escape read after frame 100 asks at the top of 101

    // Watching in a fresh process: the same pages, frame for frame; the first run on its
    // black page, the second on its pictures.
    EXPECT_EQ(watched_pages(record[0], {}), flown.runs[0]);
    EXPECT_EQ(watched_pages(record[1], pictures), flown.runs[1]);
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
    release_game();
    headless_reset();  // checked without a screen, as --verify checks

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

namespace {

// 25 runs after one that entered the table: the table's run and the last 20 stay, the rest
// go with their pictures; a folder that cannot be made keeps nothing and says why.
TEST_F(ReplaySession, KeepsTheTablesRunsAndTheLastTwentyOnly) {
    HighScoreTable before, after;
    after[0] = {7, "ACE"};
    std::string error;
    const std::string linked = keep_replay(REPLAY_FOLDER, "run-a", "first", "pictures", 1, before, after, error);
    ASSERT_EQ(linked, "run-a.mwr") << error;
    std::vector<std::string> kept;
    for (int i = 0; i < 25; ++i) {
        kept.push_back(keep_replay(REPLAY_FOLDER, "run-b", "run " + std::to_string(i), "", 0, after, after, error));
        ASSERT_FALSE(kept.back().empty()) << error;
    }
    std::set<std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(REPLAY_FOLDER)) {
        files.insert(item.path().filename().string());
    }
    std::set<std::string> expected(kept.end() - KEPT_RECENT_RUNS, kept.end());
    expected.insert({"run-a.mwr", "run-a.screens", REPLAY_INDEX});
    EXPECT_EQ(files, expected);
    EXPECT_EQ(replay_of_entry(REPLAY_FOLDER, after, 1), std::string(REPLAY_FOLDER) + "/run-a.mwr");
    EXPECT_EQ(replay_of_entry(REPLAY_FOLDER, before, 1), "");  // the entry is no longer ACE's 7

    std::ofstream("blocked") << "a file where the folder should be";
    EXPECT_EQ(keep_replay("blocked", "run-c", "bytes", "", 0, after, after, error), "");
    EXPECT_FALSE(error.empty());
}

}  // namespace
