// The game sending its runs to a leaderboard, on the headless twin against a small test
// server on 127.0.0.1: a run that enters the table is posted while the next run is flown,
// and the game does not wait for the answer; with the server down the run waits in the
// queue and goes at the next start, where a run the server refuses leaves the queue too.
// Last, against the real murkwingdiver-server: the run is flown again there and ranked.
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "leaderboard/leaderboard.h"
#include "replay/recorder.h"
#include "replay/replay_file.h"
#include "tests/game_support.h"

namespace {

using namespace game_test;
namespace fs = std::filesystem;
constexpr auto DEADLINE = std::chrono::seconds(60);

// Asks `done` again every 10 ms until it holds; false at the deadline.
bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// Takes POST /api/runs: 201 for a replay, 400 for anything else; holds each answer until
// `answering` is set.
struct TestServer {
    httplib::Server http;
    std::thread thread;
    int port = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> bodies;
    int answered = 0;
    bool answering = true;

    explicit TestServer(bool answer_at_once) : answering(answer_at_once) {
        http.Post("/api/runs", [this](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock<std::mutex> lock(mutex);
            bodies.push_back(request.body);
            changed.notify_all();
            changed.wait_for(lock, DEADLINE, [this] { return answering; });
            ReplayRecord record;
            std::string why;
            if (decode_replay(request.body, record, why)) {
                response.status = 201;
                response.set_content(R"({"id":7,"level":)" + std::to_string(record.level) +
                                         R"(,"frames":9,"board":"all","rank":1,"all_rank":1})",
                                     "application/json");
            } else {
                response.status = 400;
                response.set_content(R"({"error":"not a replay"})", "application/json");
            }
            ++answered;
            changed.notify_all();
        });
        port = http.bind_to_any_port("127.0.0.1");  // listening from here on
        thread = std::thread([this] { http.listen_after_bind(); });
        eventually([this] { return http.is_running(); });  // before that, stop() would be lost
    }
    ~TestServer() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            answering = true;
            changed.notify_all();
        }
        http.stop();
        if (thread.joinable()) thread.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port); }
    // Waits until `done` holds (under the lock); false at the deadline.
    template <typename Done>
    bool wait_for(Done done) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, DEADLINE, done);
    }
};

class LeaderboardSubmit : public GameTest {
protected:
    void TearDown() override {
        finish_leaderboard();
        stop_recording();
        GameTest::TearDown();
    }

    void start(const std::string& url) {
        LeaderboardOptions options;
        options.url = url;
        options.report = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(report_mutex);
            reports += line + "\n";
        };
        std::string error;
        ASSERT_TRUE(start_leaderboard(options, error)) << error;
    }

    // Plays runs steered at mid-height until frame 400, then out of the top, each entering
    // the table under the next of `names`; every pause calls `during` first with the number
    // of dialogs answered (four a run: "High Score!", the name, the table, "Play Again?").
    void play(const std::vector<std::string>& names, const std::function<void(size_t answered)>& during = {}) {
        RecordingOptions recording;
        recording.game_version = "murkwingdiver test";
        recording.entered_table = submit_run;
        start_recording(recording);
        Player player;
        player.steer = true;
        for (size_t i = 0; i < names.size(); ++i) {
            std::vector<int> typed(names[i].begin(), names[i].end());
            typed.push_back(KEY_ENTER);
            const bool last = i + 1 == names.size();
            player.script.push_back({" HIGH SCORE! ", 36, {KEY_ENTER}});
            player.script.push_back({" ", 72, typed});
            player.script.push_back({" HIGH SCORES ", 4, {KEY_ENTER}});
            player.script.push_back({" PLAY AGAIN? ", 36, last ? std::vector<int>{KEY_DOWN, KEY_ENTER}
                                                                : std::vector<int>{KEY_ENTER}});
        }
        for (long p = 1; p <= 6000; ++p) {
            headless_at_pause(p, [&] {
                if (during) during(player.next);
                player.target_y = run_clock().frame_counter < 400 ? 160.0 : -100.0;
                player.act();
            });
        }
        headless_set_time(SEED_TIME);
        ASSERT_EQ(run_game(), 0);
        ASSERT_TRUE(player.done());
    }

    std::vector<fs::path> queued() const {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir_ / "leaderboard-queue", ec)) files.push_back(entry.path());
        return files;
    }

    std::string reported() {
        std::lock_guard<std::mutex> lock(report_mutex);
        return reports;
    }

    std::mutex report_mutex;
    std::string reports;
};

std::string replay_name(const std::string& bytes) {
    ReplayRecord record;
    std::string why;
    return decode_replay(bytes, record, why) ? record.name : "(" + why + ")";
}

TEST_F(LeaderboardSubmit, SendsInTheBackgroundWhileTheNextRunGoesOn) {
    TestServer server(false);
    start(server.url());
    bool received = false;
    bool held = false;
    play({"ACE", "BEA"}, [&](size_t answered) {
        // The first run's post arrives while the second run is flown...
        if (answered == 4 && run_clock().frame_counter >= 50 && !received) {
            received = server.wait_for([&] { return !server.bodies.empty(); });
        }
        // ...and the game flies it to its end and shows the table while the answer is held.
        if (answered == 7 && !held) {
            std::lock_guard<std::mutex> lock(server.mutex);
            EXPECT_EQ(server.answered, 0);
            server.answering = held = true;
            server.changed.notify_all();
        }
    });
    EXPECT_TRUE(received && held);
    ASSERT_TRUE(server.wait_for([&] { return server.answered == 2; }));
    EXPECT_EQ(replay_name(server.bodies[0]), "ACE");
    EXPECT_EQ(replay_name(server.bodies[1]), "BEA");
    finish_leaderboard();
    EXPECT_TRUE(queued().empty());
    EXPECT_NE(reported().find("sent: level "), std::string::npos) << reported();
}

TEST_F(LeaderboardSubmit, KeepsRunsWhileTheServerIsDownAndSendsThemAtTheNextStart) {
    start(TestServer(true).url());  // a port nothing listens on any more
    play({"CID"});
    finish_leaderboard();
    EXPECT_NE(reported().find("kept for a later start"), std::string::npos) << reported();
    ASSERT_EQ(queued().size(), 1u);
    const std::vector<uint8_t> kept = read_file(queued()[0]);
    EXPECT_EQ(replay_name(std::string(kept.begin(), kept.end())), "CID");
    // A file the server will refuse: it leaves the queue too, and goes first by its name.
    std::ofstream(dir_ / "leaderboard-queue" / "00000000-000000-00000000.mwr") << "not a replay";

    TestServer server(true);
    start(server.url());
    ASSERT_TRUE(server.wait_for([&] { return server.answered == 2; })) << reported();
    EXPECT_TRUE(eventually([&] { return queued().empty(); }));
    EXPECT_EQ(server.bodies[0], "not a replay");
    EXPECT_EQ(replay_name(server.bodies[1]), "CID");
    EXPECT_NE(reported().find("refused, not sent again (HTTP 400: not a replay)"), std::string::npos) << reported();
}

// The real server on a free port of 127.0.0.1, its data in `folder`; the shell before it
// says its process id, then it says where it listens. Stopped with SIGTERM at the end.
struct RealServer {
    FILE* output = nullptr;
    long pid = 0;
    std::string url;

    RealServer(const std::string& program, const fs::path& folder) {
        output = popen(("echo $$; exec '" + program + "' --listen 127.0.0.1:0 --data '" + folder.string() + "' 2>&1")
                           .c_str(),
                       "r");
        char line[200] = "";
        if (output != nullptr && std::fscanf(output, "%ld ", &pid) == 1 && std::fgets(line, sizeof line, output) &&
            std::strncmp(line, "listening on ", 13) == 0) {
            url.assign(line + 13, std::strcspn(line + 13, "\n"));
        }
    }
    ~RealServer() {
        if (pid > 0) kill(static_cast<pid_t>(pid), SIGTERM);
        if (output != nullptr) pclose(output);
    }
};

TEST_F(LeaderboardSubmit, TheRealServerFliesTheRunAgainAndRanksIt) {
#ifndef SERVER_PROGRAM
    GTEST_SKIP() << "murkwingdiver-server is not built here";
#else
    RealServer server(SERVER_PROGRAM, dir_ / "server");
    ASSERT_FALSE(server.url.empty()) << "the server never said where it listens";
    start(server.url);
    play({"DEE"});
    EXPECT_TRUE(eventually([&] { return queued().empty(); }));
    finish_leaderboard();
    ReplayRecord record;
    std::string why;
    ASSERT_TRUE(decode_replay(last_recorded_replay(), record, why)) << why;
    EXPECT_NE(reported().find(" sent: level " + std::to_string(record.level) + ", rank 1 on all"), std::string::npos)
        << reported();
    httplib::Client client(server.url);
    const httplib::Result board = client.Get("/api/boards/all");
    ASSERT_TRUE(board);
    EXPECT_NE(board->body.find(R"("name":"DEE")"), std::string::npos) << board->body;
#endif
}

}  // namespace
