// Offering a score: the insertion rule, the announcement, the name entry and the save that
// follows at once, also with two copies of the game saving at the same moments.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::read_text;
using test_support::write_file;
using test_support::TempDir;
using Entries = std::vector<std::pair<int32_t, std::string>>;

class OfferScore : public test_support::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        reset_high_scores();
        load_high_scores(path);
    }
    void TearDown() override {
        reset_high_scores();
        ScreenTest::TearDown();
    }
    // Scores for entries 1..12, named E1..E12.
    void fill(const std::vector<int32_t>& scores) {
        for (int k = 1; k <= 12; ++k) {
            set_high_score_entry(k, {scores[k - 1], std::string("E").append(std::to_string(k))});
        }
    }
    // Answers "High Score!" with Enter on its first pass, then types `name` and Enter.
    void answer(const std::string& name) {
        at_pass(1, [] { headless_queue_key(KEY_ENTER); });
        headless_at_pause(headless_pause_count() + 3, [name] { headless_type(name + "\r"); });
    }
    void expect_table(const Entries& expected) {
        for (int k = 1; k <= 12; ++k) {
            EXPECT_EQ(high_score_entry(k).score, expected[k - 1].first) << "entry " << k;
            EXPECT_EQ(high_score_entry(k).name, expected[k - 1].second) << "entry " << k;
        }
    }

    TempDir dir;
    std::string path = dir.file("murkwingdiver_highscores.dat");
};

const std::vector<int32_t> TENS_DOWN = {120, 110, 100, 90, 80, 70, 60, 50, 40, 30, 20, 10};

struct InsertCase {
    const char* label;
    std::vector<int32_t> before;
    int32_t score;
    bool enters;
    Entries after;
};

const InsertCase INSERT_CASES[] = {
    {"equal_to_the_twelfth_stays_out", TENS_DOWN, 10, false,
     {{120, "E1"}, {110, "E2"}, {100, "E3"}, {90, "E4"}, {80, "E5"}, {70, "E6"}, {60, "E7"}, {50, "E8"},
      {40, "E9"}, {30, "E10"}, {20, "E11"}, {10, "E12"}}},
    {"one_above_the_twelfth_replaces_it", TENS_DOWN, 11, true,
     {{120, "E1"}, {110, "E2"}, {100, "E3"}, {90, "E4"}, {80, "E5"}, {70, "E6"}, {60, "E7"}, {50, "E8"},
      {40, "E9"}, {30, "E10"}, {20, "E11"}, {11, "new"}}},
    {"equal_to_an_entry_goes_below_it", TENS_DOWN, 60, true,
     {{120, "E1"}, {110, "E2"}, {100, "E3"}, {90, "E4"}, {80, "E5"}, {70, "E6"}, {60, "E7"}, {60, "new"},
      {50, "E8"}, {40, "E9"}, {30, "E10"}, {20, "E11"}}},
    {"new_best_goes_first", TENS_DOWN, 200, true,
     {{200, "new"}, {120, "E1"}, {110, "E2"}, {100, "E3"}, {90, "E4"}, {80, "E5"}, {70, "E6"}, {60, "E7"},
      {50, "E8"}, {40, "E9"}, {30, "E10"}, {20, "E11"}}},
    {"eleven_over_twelve_tens", std::vector<int32_t>(12, 10), 11, true,
     {{11, "new"}, {10, "E1"}, {10, "E2"}, {10, "E3"}, {10, "E4"}, {10, "E5"}, {10, "E6"}, {10, "E7"},
      {10, "E8"}, {10, "E9"}, {10, "E10"}, {10, "E11"}}},
    {"zero_over_zeros_stays_out", std::vector<int32_t>(12, 0), 0, false,
     {{0, "E1"}, {0, "E2"}, {0, "E3"}, {0, "E4"}, {0, "E5"}, {0, "E6"}, {0, "E7"}, {0, "E8"}, {0, "E9"},
      {0, "E10"}, {0, "E11"}, {0, "E12"}}},
    {"one_over_zeros_goes_first", std::vector<int32_t>(12, 0), 1, true,
     {{1, "new"}, {0, "E1"}, {0, "E2"}, {0, "E3"}, {0, "E4"}, {0, "E5"}, {0, "E6"}, {0, "E7"}, {0, "E8"},
      {0, "E9"}, {0, "E10"}, {0, "E11"}}},
    {"unsorted_table_takes_the_first_lower_place", {5, 20, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10, true,
     {{10, "new"}, {5, "E1"}, {20, "E2"}, {3, "E3"}, {0, "E4"}, {0, "E5"}, {0, "E6"}, {0, "E7"}, {0, "E8"},
      {0, "E9"}, {0, "E10"}, {0, "E11"}}},
    {"negative_scores", std::vector<int32_t>(12, -5), -1, true,
     {{-1, "new"}, {-5, "E1"}, {-5, "E2"}, {-5, "E3"}, {-5, "E4"}, {-5, "E5"}, {-5, "E6"}, {-5, "E7"},
      {-5, "E8"}, {-5, "E9"}, {-5, "E10"}, {-5, "E11"}}},
};

class InsertRule : public OfferScore, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(InsertRule, PlacesTheScoreAndSavesAtOnce) {
    const InsertCase& c = GetParam();
    fill(c.before);
    if (c.enters) answer("new");
    offer_high_score(c.score);
    expect_table(c.after);
    if (c.enters) {
        EXPECT_EQ(read_file(path), format_high_scores());  // on disk before any shut-down
    } else {
        EXPECT_EQ(headless_pause_count(), 0);  // nothing shown
        EXPECT_EQ(read_file(path), "");        // nothing written
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, InsertRule, ::testing::ValuesIn(INSERT_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(OfferScore, AnnouncesHighScoreAndKeepsTheDialogAroundTheNameField) {
    answer("ace");
    offer_high_score(57);
    EXPECT_EQ(read_text(136, 36, 13), " HIGH SCORE! ");
    EXPECT_EQ(read_text(10, 72, 6), " OKAY ");
    EXPECT_EQ(read_text(112, 72, 16), " [ACE]          ");
}

TEST_F(OfferScore, LowerCaseNameIsStoredAndSavedInLowerCase) {
    answer("ace");
    offer_high_score(57);
    EXPECT_EQ(high_score_entry(1).name, "ace");
    const std::string bytes = read_file(path);
    EXPECT_EQ(bytes.substr(0, 10), " 57\r\nace\r\n");
}

TEST_F(OfferScore, ScoreNamingAnEntryThatMovesIsTakenBeforeTheMove) {
    fill({10, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    answer("x");
    offer_high_score(high_score_entry(2).score);
    EXPECT_EQ(high_score_entry(1).score, 50);
    EXPECT_EQ(high_score_entry(2).score, 10);
    EXPECT_EQ(high_score_entry(3).score, 50);
}

TEST_F(OfferScore, KeysQueuedBeforeTheAnnouncementDoNotReachTheName) {
    headless_type("zz");
    // The announcement's wait for release takes pauses 1 to 3 (two keys, then none).
    headless_at_pause(4, [] { headless_queue_key(KEY_ENTER); });
    headless_at_pause(5, [] { headless_type("ok\r"); });
    offer_high_score(3);
    EXPECT_EQ(high_score_entry(1).name, "ok");
}

TEST_F(OfferScore, SecondOfferSavesBothEntries) {
    answer("one");
    offer_high_score(5);
    answer("two");
    offer_high_score(9);
    std::string expected = " 9\r\ntwo\r\n 5\r\none\r\n";
    for (int k = 0; k < 10; ++k) expected += " 0\r\n\r\n";
    EXPECT_EQ(read_file(path), expected);
}

// Two more copies of the game on the table this one loaded, each a child process saving at
// the same moments as the other, each entering six scores: all twelve are in the file at
// the end, none lost to the other copy's save. Then this copy, which has nothing new, ends
// and leaves the file alone. Ten rounds.
TEST_F(OfferScore, CopiesSavingAtOnceLoseNoEntry) {
    for (int round = 0; round < 10; ++round) {
        write_file(path, "");
        reset_high_scores();
        load_high_scores(path);
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        pid_t copies[2];
        for (int32_t first : {1, 2}) {
            copies[first - 1] = ::fork();
            if (copies[first - 1] != 0) continue;
            char c;
            ::close(go[1]);
            if (::read(go[0], &c, 1) == 0) {  // both start when the pipe closes
                for (int32_t score = first; score <= 12; score += 2) {
                    answer("s" + std::to_string(score));
                    offer_high_score(score);
                }
            }
            ::_exit(0);
        }
        ::close(go[0]);
        ::close(go[1]);
        for (pid_t pid : copies) ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
        struct stat before, after;
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        const std::string bytes = read_file(path);
        ASSERT_TRUE(save_high_scores());
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(read_file(path), bytes);
        std::string scores;
        for (int k = 1; k <= 12; ++k) scores += std::to_string(high_score_entry(k).score) + " ";
        ASSERT_EQ(scores, "12 11 10 9 8 7 6 5 4 3 2 1 ") << "round " << round;
    }
}

}  // namespace
