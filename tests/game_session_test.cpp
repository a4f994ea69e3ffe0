// Whole sessions played from start-up to the last "No" on the headless twin: runs quit with
// Escape, names typed, the table screen, "Play Again?", and the high-score file compared
// byte for byte after every save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/cave.h"
#include "game/play.h"
#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::write_file;
using test_support::read_cell;
using test_support::read_text;
using test_support::TempDir;

// What the screen shows at a pause: text is read only where it was drawn in this very
// pass, since every dimming, pull or frame blend changes the glyph colours.
bool shows_quit() { return read_text(184, 36, 7) == " QUIT? "; }
bool shows_high_score() { return read_text(136, 36, 13) == " HIGH SCORE! "; }
bool shows_name_field() { return read_cell(128, 72) == '['; }
bool shows_table() { return read_text(136, 4, 13) == " HIGH SCORES "; }
bool shows_play_again() { return read_text(136, 36, 13) == " PLAY AGAIN? "; }
bool any_time() { return true; }

// One step of a player: when the screen matches, act (queue keys) and go to the next step.
struct Step {
    std::function<bool()> when;
    std::function<void()> act;
};

void keys(std::initializer_list<int> codes) {
    for (int code : codes) headless_queue_key(code);
}

// Runs the steps in order, checking the screen at every pause of the game.
class Player {
public:
    explicit Player(std::vector<Step> steps) : steps_(std::move(steps)) { watch(); }
    size_t steps_done() const { return next_; }

private:
    void watch() {
        headless_at_pause(headless_pause_count() + 1, [this] {
            if (next_ < steps_.size() && steps_[next_].when()) steps_[next_++].act();
            watch();
        });
    }
    std::vector<Step> steps_;
    size_t next_ = 0;
};

class Session : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        reset_input_state();
        reset_high_scores();
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        old_cwd_ = cwd;
        test_support::write_test_font(dir_.file(FONT_FILE));
        ASSERT_EQ(::chdir(dir_.path.c_str()), 0);
        headless_set_pause_limit(50000, [] { throw std::runtime_error("pause limit: the session never ended"); });
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(old_cwd_.c_str()), 0);
        reset_high_scores();
        headless_reset();
    }
    std::string file() const { return dir_.file(HIGH_SCORE_FILE); }

    TempDir dir_;
    std::string old_cwd_;
};

std::string twelve_below_zero() {
    std::string bytes;
    for (int k = 1; k <= 12; ++k) bytes += "-1\r\nE" + std::to_string(k) + "\r\n";
    return bytes;
}

// Each run is quit in its first frames, before the cave has bent (checked below), so it
// scores floor(100 - 0.625 * 160) = 0, which beats a table of -1s.
TEST_F(Session, TwoRunsWithNamesEndInTheExpectedFile) {
    write_file(file(), twelve_below_zero());
    std::string after_first_name;
    Player player({
        {any_time, [] { keys({KEY_ESCAPE}); }},                   // frame 1: Escape read
        {shows_quit, [] { keys({KEY_ESCAPE}); }},                 // Escape confirms "No"
        {any_time, [] { keys({KEY_ESCAPE}); }},                   // the run goes on
        {shows_quit, [] { keys({KEY_DOWN, KEY_ENTER}); }},        // "Yes"
        {shows_high_score, [] { keys({KEY_ENTER}); }},            // "Okay"
        {shows_name_field, [] { headless_type("ace\r"); }},
        {shows_table, [&] { after_first_name = read_file(file()); keys({KEY_ENTER}); }},
        {shows_play_again, [] { keys({KEY_ENTER}); }},            // "Yes"
        {any_time, [] { keys({KEY_ESCAPE}); }},
        {shows_quit, [] { keys({KEY_DOWN, KEY_ENTER}); }},
        {shows_high_score, [] { keys({KEY_SPACE}); }},
        {shows_name_field, [] { headless_type("Bob!\r"); }},
        {shows_table, [] { keys({KEY_SPACE}); }},
        {shows_play_again, [] { keys({KEY_DOWN, KEY_ENTER}); }},  // "No"
    });
    EXPECT_EQ(run_game(), 0);
    EXPECT_EQ(player.steps_done(), 14u);
    ASSERT_EQ(cave_state().passage_height, 160.0) << "the cave bent: the runs did not score 0";

    std::string first = " 0\r\nace\r\n";
    for (int k = 1; k <= 11; ++k) first += "-1\r\nE" + std::to_string(k) + "\r\n";
    EXPECT_EQ(after_first_name, first);  // saved as soon as the name was typed

    std::string last = " 0\r\nace\r\n 0\r\nBob!\r\n";
    for (int k = 1; k <= 10; ++k) last += "-1\r\nE" + std::to_string(k) + "\r\n";
    EXPECT_EQ(read_file(file()), last);
}

// One switch: the left mouse button answers every screen with a click (down at the next
// pause, up at the one after); the name stays empty; "No" is pointed at.
TEST_F(Session, TheLeftMouseButtonAlonePlaysASession) {
    write_file(file(), twelve_below_zero());
    auto click_at = [](int y) -> std::function<void()> {
        return [y] { for (int k : {1, 2}) headless_at_pause(headless_pause_count() + k, [=] { headless_set_mouse(240, y, 2 - k); }); };
    };
    const auto click = click_at(200);
    Player player({{any_time, click}, {shows_high_score, click}, {shows_name_field, click},
                   {shows_table, click}, {shows_play_again, click},  // "Yes"
                   {shows_high_score, click}, {shows_name_field, click}, {shows_table, click},
                   {shows_play_again, click_at(115)}});              // "No"
    EXPECT_EQ(run_game(), 0);
    EXPECT_EQ(player.steps_done(), 9u);
    EXPECT_EQ(high_score_entry(1).name + high_score_entry(2).name + high_score_entry(3).name, "E1");
}

TEST_F(Session, WithoutAFileAndNoEntryTheGameWritesTheEmptyTable) {
    int32_t frame_of_second_quit = -1;
    Player player({
        {any_time, [] { keys({KEY_ESCAPE}); }},
        {shows_quit, [] { keys({KEY_DOWN, KEY_ENTER}); }},
        {shows_table, [] { keys({KEY_ENTER}); }},                  // 0 does not beat 0: no offer
        {shows_play_again, [] { keys({KEY_ESCAPE}); }},            // Escape on "Yes"
        {shows_quit, [&] {                                         // at once, in the next run
             frame_of_second_quit = run_clock().frame_counter;
             keys({KEY_DOWN, KEY_ENTER});
         }},
        {shows_table, [] { keys({KEY_ENTER}); }},
        {shows_play_again, [] { keys({KEY_DOWN, KEY_ENTER}); }},
    });
    EXPECT_EQ(run_game(), 0);
    EXPECT_EQ(player.steps_done(), 7u);
    EXPECT_EQ(frame_of_second_quit, 1);
    ASSERT_EQ(cave_state().passage_height, 160.0);
    std::string empty;
    for (int k = 0; k < 12; ++k) empty += " 0\r\n\r\n";
    EXPECT_EQ(read_file(file()).size(), 72u);
    EXPECT_EQ(read_file(file()), empty);
}

TEST_F(Session, KeysTypedAtTheEndOfARunDoNotReachTheName) {
    write_file(file(), twelve_below_zero());
    Player player({
        {any_time, [] { keys({KEY_ESCAPE}); }},
        {shows_quit, [] { keys({KEY_DOWN, KEY_ENTER}); }},
        {any_time, [] { headless_type("zz"); }},                   // the run's last frame
        {shows_high_score, [] { keys({KEY_ENTER}); }},
        {shows_name_field, [] { headless_type("ok\r"); }},
        {shows_table, [] { keys({KEY_ENTER}); }},
        {shows_play_again, [] { keys({KEY_DOWN, KEY_ENTER}); }},
    });
    EXPECT_EQ(run_game(), 0);
    EXPECT_EQ(player.steps_done(), 7u);
    EXPECT_EQ(read_file(file()).substr(0, 8), " 0\r\nok\r\n");
}

// A working folder the player may not write (the test drops from root to "nobody" in a
// child process): the game plays, takes a name, shows the table and ends normally, saying
// once on standard error that the scores cannot be saved.
TEST_F(Session, UnwritableFolderPlaysAndSaysOnceThatScoresAreNotSaved) {
    write_file(file(), twelve_below_zero());
    ASSERT_EQ(::chmod(dir_.path.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(file().c_str(), 0444), 0);
    const test_support::ChildResult child = test_support::run_as_nobody([] {
        Player player({
            {any_time, [] { keys({KEY_ESCAPE}); }},
            {shows_quit, [] { keys({KEY_DOWN, KEY_ENTER}); }},
            {shows_high_score, [] { keys({KEY_ENTER}); }},
            {shows_name_field, [] { headless_type("ace\r"); }},
            {shows_table, [] { keys({KEY_ENTER}); }},
            {shows_play_again, [] { keys({KEY_DOWN, KEY_ENTER}); }},
        });
        const int status = run_game();
        return status == 0 && player.steps_done() == 6u && high_score_entry(1).name == "ace" ? 0 : 4;
    });
    const std::string& err = child.err;
    ::chmod(dir_.path.c_str(), 0755);
    EXPECT_EQ(child.status, 0) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("high scores not saved"), std::string::npos) << err;
    EXPECT_EQ(read_file(file()), twelve_below_zero());
}

}  // namespace
