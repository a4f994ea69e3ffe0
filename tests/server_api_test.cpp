// The leaderboard's requests without a socket: real runs from a session on the headless
// twin are accepted on their daily board with the right ranks, and forgeries of them are
// refused; many runs rank by level, frames and arrival; the same replay is one entry.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <random>

#include "replay/flight.h"
#include "replay/recorder.h"
#include "server/api.h"
#include "server/digest.h"
#include "tests/game_support.h"

namespace {

using namespace game_test;
using nlohmann::json;

constexpr int64_t SESSION_TIME = 1796601600;  // 2026-12-07 00:00:00 UTC

// A leaderboard on a fresh SQLite file, its clock set by the test.
struct Board {
    std::string path = std::filesystem::temp_directory_path() / ("murkwing-board-" + std::to_string(getpid()));
    std::unique_ptr<RunStore> store;
    int64_t now_ms = (SESSION_TIME + 12 * 3600) * 1000;
    ServerSettings settings;

    Board() {
        std::filesystem::remove(path);
        std::string error;
        store = open_sqlite_store(path, error);
        EXPECT_TRUE(store) << error;
        settings.store = store.get();
        settings.now_ms = [this] { return now_ms; };
        settings.runs_per_minute = 0;
    }
    ~Board() {
        store.reset();
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    }
    ApiReply ask(const std::string& method, const std::string& path, const std::string& body = "",
                 std::multimap<std::string, std::string> query = {}) {
        return handle_request({method, path, std::move(query), body, "192.0.2.1"}, settings);
    }
    json board(const std::string& name) {
        const ApiReply reply = ask("GET", "/api/boards/" + name, "", {{"limit", "100"}});
        EXPECT_EQ(reply.status, 200) << reply.body;
        return json::parse(reply.body);
    }
};

std::string refusal(const ApiReply& reply) { return json::parse(reply.body).value("error", ""); }

// Two runs on the daily cave of SESSION_TIME, played by the twin's scripted player: the
// first steered until frame 400, the second until frame 700, each named for the table.
std::vector<std::string> daily_session() {
    RecordingOptions options;
    options.daily = true;
    options.game_version = "murkwingdiver test";
    options.now = [] { return SESSION_TIME; };
    start_recording(options);
    std::vector<std::string> replays;
    Player player;
    player.steer = true;
    const auto keep = [&replays] { replays.push_back(last_recorded_replay()); };
    player.script = {
        {" HIGH SCORE! ", 36, {KEY_ENTER}}, {" ", 72, {'A', 'C', 'E', KEY_ENTER}},
        {" HIGH SCORES ", 4, {KEY_ENTER}, keep}, {" PLAY AGAIN? ", 36, {KEY_ENTER}},
        {" HIGH SCORE! ", 36, {KEY_ENTER}}, {" ", 72, {'b', 'e', 'a', '!', KEY_ENTER}},
        {" HIGH SCORES ", 4, {KEY_ENTER}, keep}, {" PLAY AGAIN? ", 36, {KEY_DOWN, KEY_ENTER}},
    };
    for (long p = 1; p <= 6000; ++p) {
        headless_at_pause(p, [&player, &replays] {
            player.target_y = run_clock().frame_counter < (replays.empty() ? 400 : 700) ? 160.0 : -100.0;
            player.act();
        });
    }
    EXPECT_EQ(run_game(), 0);
    EXPECT_TRUE(player.done());
    stop_recording();
    return replays;
}

class ServerApi : public GameTest {};

TEST_F(ServerApi, SessionRunsAreRankedOnTheirDailyBoardAndForgeriesRefused) {
    const std::vector<std::string> runs = daily_session();
    ASSERT_EQ(runs.size(), 2u);
    ReplayRecord record[2];
    std::string why;
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(decode_replay(runs[i], record[i], why)) << why;
    const auto ahead = [](const ReplayRecord& a, const ReplayRecord& b) {
        return a.level != b.level ? a.level > b.level : a.frames < b.frames;
    };
    const int second_rank = ahead(record[1], record[0]) ? 1 : 2;

    Board board;
    for (int i = 0; i < 2; ++i) {
        const ApiReply reply = board.ask("POST", "/api/runs", runs[i]);
        ASSERT_EQ(reply.status, 201) << reply.body;
        const json placed = json::parse(reply.body);
        EXPECT_EQ(placed["board"], "daily-2026-12-07");
        EXPECT_EQ(placed["level"], record[i].level);
        EXPECT_EQ(placed["frames"], record[i].frames);
        EXPECT_EQ(placed["rank"], i == 0 ? 1 : second_rank);
        EXPECT_EQ(placed["all_rank"], placed["rank"]);
    }
    const ApiReply again = board.ask("POST", "/api/runs", runs[0]);
    EXPECT_EQ(again.status, 200);
    const json first = json::parse(again.body);
    EXPECT_EQ(first["rank"], second_rank == 1 ? 2 : 1);
    const json daily = board.board("daily-2026-12-07");
    ASSERT_EQ(daily["runs"].size(), 2u);
    EXPECT_EQ(daily["runs"][second_rank - 1]["name"], "bea!");
    EXPECT_EQ(daily["runs"][second_rank - 1]["date"], "2026-12-07");
    EXPECT_EQ(board.board("all")["runs"], daily["runs"]);
    EXPECT_EQ(board.ask("GET", "/api/runs/" + first["id"].dump() + "/replay").body, runs[0]);
    // The page: the run on both boards, its "Watch" link to the replay or to the browser build.
    const std::string replay_url = "/api/runs/" + first["id"].dump() + "/replay";
    for (const std::string site : {"", "/srv/site"}) {
        board.settings.site_dir = site;
        const std::string page = board.ask("GET", "/").body;
        const std::string link = std::string("<a href=\"") + (site.empty() ? "" : "/play/?replay=") + replay_url + "\">Watch</a>";
        EXPECT_NE(page.find(link), page.rfind(link)) << page;
        EXPECT_NE(page.find("<td>bea!</td>"), std::string::npos);
    }
    board.settings.site_dir.clear();

    // The same run the next day still counts (begun before midnight); two days later, or
    // the day before, it does not.
    board.now_ms += 30 * 3600 * 1000;
    EXPECT_EQ(board.ask("POST", "/api/runs", runs[1]).status, 200);
    for (int64_t hours : {+20, -70}) {
        board.now_ms += hours * 3600 * 1000;
        const ApiReply late = board.ask("POST", "/api/runs", runs[1]);
        EXPECT_EQ(late.status, 422);
        EXPECT_NE(refusal(late).find(hours > 0 ? "past" : "future"), std::string::npos) << late.body;
    }
    board.now_ms = (SESSION_TIME + 12 * 3600) * 1000;

    struct Forgery {
        const char* what;
        std::function<void(ReplayRecord&)> change;
        int status;
        const char* reason;
    };
    const Forgery forgeries[] = {
        {"level", [](ReplayRecord& r) { r.level += 5; }, 422, "reaches level"},
        {"frames", [](ReplayRecord& r) { r.climb.resize(r.frames += 100, false); }, 422, "crashes in frame"},
        {"another day's seed", [](ReplayRecord& r) { r.daily_date = 20261206; }, 422, "its date's cave"},
        {"another day's cave", [](ReplayRecord& r) { r.daily_date = r.run_seed = 20261206; }, 422, "does not verify"},
        {"markup in the name", [](ReplayRecord& r) { r.name = "<script>"; }, 422, "font"},
    };
    for (const Forgery& f : forgeries) {
        ReplayRecord r = record[0];
        f.change(r);
        const ApiReply reply = board.ask("POST", "/api/runs", encode_replay(r));  // with its CRC
        EXPECT_EQ(reply.status, f.status) << f.what;
        EXPECT_NE(refusal(reply).find(f.reason), std::string::npos) << f.what << ": " << reply.body;
    }
    EXPECT_EQ(board.ask("POST", "/api/runs", runs[0] + std::string(MAX_REPLAY_BYTES, '\0')).status, 413);
    EXPECT_EQ(board.ask("POST", "/api/runs", "{\"level\": 999}").status, 400);
    EXPECT_EQ(board.board("all")["runs"].size(), 2u);
}

// A valid record of a crash: random holds of 2 to 40 frames flown until the craft crashes,
// cut there (or a quit after 3,000 frames).
ReplayRecord flown_record(unsigned seed) {
    ReplayRecord r;
    r.run_seed = seed;
    r.frames = 3000;
    r.time = SESSION_TIME;
    std::mt19937 random(seed);
    while (r.climb.size() < 3000) r.climb.resize(std::min<size_t>(3000, r.climb.size() + 2 + random() % 39), r.climb.size() % 2 == 0);
    const Flight flight = fly_record(r);
    r.ending = flight.crash_frame != 0 ? RunEnding::CRASH : RunEnding::QUIT;
    if (flight.crash_frame != 0) r.frames = flight.crash_frame, r.climb.resize(static_cast<size_t>(flight.crash_frame));
    r.level = flight.level;
    r.flight_check = flight.check;
    return r;
}

TEST(ServerRanking, ByLevelThenFramesThenArrivalAndEachReplayOnce) {
    struct Entry {
        int32_t level, frames;
        int64_t arrived;
        int64_t id;
        std::string bytes;
    };
    std::vector<Entry> expected;
    Board board;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        ReplayRecord r = flown_record(seed);
        for (const char* name : {"A", "B"}) {  // the same flight twice: equal level and frames
            r.name = name;
            board.now_ms += 1000;
            const std::string bytes = encode_replay(r);
            const ApiReply reply = board.ask("POST", "/api/runs", bytes);
            ASSERT_EQ(reply.status, 201) << reply.body;
            EXPECT_EQ(board.ask("POST", "/api/runs", bytes).body, board.ask("POST", "/api/runs", bytes).body);
            expected.push_back({r.level, r.frames, board.now_ms, json::parse(reply.body)["id"].get<int64_t>(), bytes});
            if (seed % 2 == 0) break;
        }
    }
    std::sort(expected.begin(), expected.end(), [](const Entry& a, const Entry& b) {
        return std::tie(b.level, a.frames, a.arrived) < std::tie(a.level, b.frames, b.arrived);
    });
    const json all = board.board("all");
    ASSERT_EQ(all["runs"].size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(all["runs"][i]["id"], expected[i].id) << i;
        EXPECT_EQ(all["runs"][i]["rank"], i + 1);
        EXPECT_EQ(all["runs"][i]["level"], expected[i].level) << i;
        EXPECT_EQ(json::parse(board.ask("POST", "/api/runs", expected[i].bytes).body)["all_rank"], i + 1);
    }
    EXPECT_EQ(board.board("daily-2026-12-07")["runs"].size(), 0u);
    EXPECT_EQ(board.ask("GET", "/api/boards/all", "", {{"limit", "3"}}).body.find("\"rank\":4"), std::string::npos);
}

// FIPS 180-4's examples: one block, and a message whose padding takes a second block.
TEST(ServerDigest, Sha256OfTheStandardsExamples) {
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
