// The play loop and the frame loop on the headless twin: start-up and its one failure,
// "Quit?" during a run, the key string carried between runs, the drain after a run, the
// score reaching the table, shut-down, and a pinned checksum of one composed frame.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "game/frame.h"
#include "gfx/draw.h"
#include "tests/game_support.h"

namespace {

using game_test::GameTest;
using game_test::Player;
using game_test::text_shown;

constexpr double SEED_NO_EARLY_BENDS = 1001.0;  // the first bend comes at frame 288
constexpr double SEED_TWO_EARLY_BENDS = 1000.0; // bends at cave steps 17 and 28 (frames 9, 14)

const std::vector<int> ANSWER_FIRST = {KEY_ENTER};
const std::vector<int> ANSWER_SECOND = {KEY_DOWN, KEY_ENTER};

using PlayTest = GameTest;

// S1..S7 leave: the screen size, a 480 x 320 page, the generator seeded from the clock's
// whole seconds and then drawn 3200 times for the backdrop, a white overlay, the cave
// images, the font and the high-score table read from the working directory.
TEST_F(PlayTest, StartUpDoesItsSevenStepsInOrder) {
    {
        std::FILE* f = std::fopen(HIGH_SCORE_FILE, "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(" 57\r\nACE\r\n", f);
        std::fclose(f);
    }
    headless_set_time(1000.75);
    ASSERT_TRUE(start_up());
    EXPECT_EQ(game_screen().width, 480);
    EXPECT_EQ(game_screen().height, 320);

    const double next_draw = random_unit(1);
    seed_random(1000.0, 0);
    for (int i = 0; i < 4 * 800; ++i) random_unit(1);
    EXPECT_EQ(random_unit(1), next_draw) << "seeded from the clock before the 800 circles";

    const Image overlay = game_screen().overlay;
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->width, 480);
    EXPECT_EQ(overlay->height, 320);
    EXPECT_EQ(read_pixel(overlay, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(read_pixel(overlay, 479, 319), 0xFFFFFFFFu);

    const CaveState& c = cave_state();
    ASSERT_NE(c.back_buffer, nullptr);
    ASSERT_NE(c.backdrop, nullptr);
    ASSERT_NE(c.cave, nullptr);
    EXPECT_EQ(read_pixel(c.cave, 240, 160), DEFAULT_IMAGE_COLOR);  // not reset before a run

    draw_text("A", 0, 100, 255, 0);
    EXPECT_TRUE(text_shown("A", 0, 100));

    EXPECT_EQ(high_score_entry(1).score, 57);
    EXPECT_EQ(high_score_entry(1).name, "ACE");
}

// The one failure the game reports: without a window it says why on one line and ends
// with status 1, before touching any file.
TEST_F(PlayTest, WithoutAWindowTheGameSaysWhyAndReturns1) {
    headless_fail_open(true);
    ::testing::internal::CaptureStderr();
    const int status = run_game();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("no display (headless)"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_FALSE(std::filesystem::exists(HIGH_SCORE_FILE));
    EXPECT_EQ(game_screen().overlay, nullptr);
    EXPECT_EQ(cave_state().back_buffer, nullptr);
    EXPECT_EQ(headless_pause_count(), 0);
}

TEST_F(PlayTest, StartRunResetsTheRun) {
    start_game(SEED_NO_EARLY_BENDS);
    for (int k = 0; k < 5; ++k) play_frame();
    const double now = headless_time();
    start_run();
    EXPECT_EQ(run_clock().frame_counter, 0);
    EXPECT_EQ(run_clock().run_start_time, now);
    EXPECT_EQ(cave_state().write_column, 0);
    EXPECT_EQ(craft_state().y, 160.0);
}

// Escape read in frame 10, or the window losing the focus then, opens "Quit?" in frame 11;
// "No" (highlighted first) lets the same run go on: the craft's fall is undisturbed and
// still ends in frame 40.
void expect_quit_and_no_resume(const std::function<void()>& interrupt) {
    Player player;
    int32_t frame_of_dialog = 0;
    player.script = {{" QUIT? ", 36, ANSWER_FIRST, [&] {
                          frame_of_dialog = run_clock().frame_counter;
                          EXPECT_TRUE(text_shown(" NO ", 10, 72));
                          EXPECT_TRUE(text_shown(" YES ", 10, 108));
                      }}};
    headless_at_pause(10, interrupt);
    player.attach(200);
    EXPECT_EQ(frame_loop(), -1);
    EXPECT_TRUE(player.done());
    EXPECT_EQ(frame_of_dialog, 11);
    EXPECT_EQ(run_clock().frame_counter, 40);
    EXPECT_EQ(craft_state().crashed, -1);
    EXPECT_NEAR(craft_state().y, 332.0, 1e-9);
}

TEST_F(PlayTest, EscapeOpensQuitAndNoResumesTheSameRun) {
    start_game(SEED_NO_EARLY_BENDS);
    expect_quit_and_no_resume([] { headless_queue_key(KEY_ESCAPE); });
}

// Clicking another window during a run: all keys read as up, and "Quit?" opens.
TEST_F(PlayTest, FocusLossOpensQuitAndNoResumesTheSameRun) {
    start_game(SEED_NO_EARLY_BENDS);
    headless_set_active(false);  // a focus change before the run started is forgotten
    headless_set_active(true);
    start_run();
    expect_quit_and_no_resume([] {
        headless_set_active(false);
        headless_set_active(true);
    });
}

// "Yes" ends the run like a crash, after the rest of that frame: one more update and draw.
TEST_F(PlayTest, YesAtQuitEndsTheRunAfterOneMoreFrame) {
    start_game(SEED_NO_EARLY_BENDS);
    Player player;
    player.script = {{" QUIT? ", 36, ANSWER_SECOND}};
    headless_at_pause(10, [] { headless_queue_key(KEY_ESCAPE); });
    player.attach(200);
    EXPECT_EQ(frame_loop(), -1);
    EXPECT_TRUE(player.done());
    EXPECT_EQ(run_clock().frame_counter, 11);
    EXPECT_EQ(craft_state().crashed, 0);
    EXPECT_NEAR(craft_state().y, 111.6, 1e-9);  // the 11th craft step ran
    EXPECT_TRUE(text_shown(" [TIME 11] [LEVEL 0] ", CENTRE_X, 4));  // and its frame was drawn
}

// A second Escape answers "Quit?" with its highlighted "No" (Escape confirms).
TEST_F(PlayTest, EscapeAtQuitAnswersNo) {
    start_game(SEED_NO_EARLY_BENDS);
    Player player;
    player.script = {{" QUIT? ", 36, {KEY_ESCAPE}}};
    headless_at_pause(3, [] { headless_queue_key(KEY_ESCAPE); });
    player.attach(200);
    EXPECT_EQ(frame_loop(), -1);
    EXPECT_TRUE(player.done());
    EXPECT_EQ(run_clock().frame_counter, 40);
}

// The whole program twice round: "Play Again?" answered with Escape on "Yes" leaves Escape
// in the key string, so the next run opens "Quit?" in its first frame; "No" there plays the
// run on; "No" at the second "Play Again?" ends the program with status 0.
TEST_F(PlayTest, TheKeyStringIsCarriedIntoTheNextRun) {
    headless_set_time(SEED_NO_EARLY_BENDS);
    Player player;
    int32_t quit_frame = -1, second_table_frame = -1;
    player.script = {
        {" HIGH SCORES ", 4, {KEY_ENTER}},
        {" PLAY AGAIN? ", 36, {KEY_ESCAPE}},
        {" QUIT? ", 36, ANSWER_FIRST, [&] { quit_frame = run_clock().frame_counter; }},
        {" HIGH SCORES ", 4, {KEY_ENTER}, [&] { second_table_frame = run_clock().frame_counter; }},
        {" PLAY AGAIN? ", 36, ANSWER_SECOND},
    };
    player.attach(1000);
    EXPECT_EQ(run_game(), 0);
    EXPECT_TRUE(player.done());
    EXPECT_EQ(quit_frame, 1);
    EXPECT_EQ(second_table_frame, 40);
    EXPECT_EQ(key_string(), std::string(1, '\r'));
}

// Keys still queued when the run ends are drained (at least one 50 ms pause, then one per
// key) so that they do not answer the table screen: a space would confirm it at once.
TEST_F(PlayTest, KeysQueuedAtTheEndOfARunAreDrained) {
    headless_set_time(SEED_NO_EARLY_BENDS);
    Player player;
    double crash_time = 0.0, table_time = 0.0;
    player.script = {
        {" HIGH SCORES ", 4, {KEY_ENTER}, [&] { table_time = headless_time(); }},
        {" PLAY AGAIN? ", 36, ANSWER_SECOND},
    };
    headless_at_pause(40, [&] {
        crash_time = headless_time();
        headless_type("   ");  // frame 40 reads one, the drain the other two
    });
    player.attach(1000);
    EXPECT_EQ(run_game(), 0);
    EXPECT_TRUE(player.done());
    // The pause of frame 40 (20 ms) and three drain pauses (150 ms) before the table.
    EXPECT_GE(table_time - crash_time, 0.170 - 1e-9);
}

TEST_F(PlayTest, TheDrainWaits50MsEvenWithNoKeyPending) {
    headless_set_time(SEED_NO_EARLY_BENDS);
    Player player;
    double crash_time = 0.0, table_time = 0.0;
    player.script = {
        {" HIGH SCORES ", 4, {KEY_ENTER}, [&] { table_time = headless_time(); }},
        {" PLAY AGAIN? ", 36, ANSWER_SECOND},
    };
    headless_at_pause(40, [&] { crash_time = headless_time(); });
    player.attach(1000);
    EXPECT_EQ(run_game(), 0);
    EXPECT_GE(table_time - crash_time, 0.070 - 1e-9);
}

// Two bends in the first 40 frames: height 156, score floor(100 - 97.5) = 2, which beats
// the empty table: it is announced, the typed name stored, the table shows it and the
// file written at shut-down holds it.
TEST_F(PlayTest, TheRunsScoreIsOfferedToTheTable) {
    headless_set_time(SEED_TWO_EARLY_BENDS);
    Player player;
    player.script = {
        {" HIGH SCORE! ", 36, {KEY_ENTER, 'a', 'c', 'e', KEY_ENTER}},
        {" HIGH SCORES ", 4, {KEY_ENTER}, [] { EXPECT_TRUE(text_shown(" ACE [2] ", CENTRE_X, 44)); }},
        {" PLAY AGAIN? ", 36, ANSWER_SECOND},
    };
    player.attach(1000);
    EXPECT_EQ(run_game(), 0);
    EXPECT_TRUE(player.done());
    EXPECT_EQ(cave_state().passage_height, 156.0);
    EXPECT_EQ(high_score_entry(1).score, 2);
    EXPECT_EQ(high_score_entry(1).name, "ace");
    const std::vector<uint8_t> saved = game_test::read_file(HIGH_SCORE_FILE);
    const std::string text(saved.begin(), saved.end());
    EXPECT_EQ(text.substr(0, 10), " 2\r\nace\r\n ");
}

// Shut-down frees every image and writes the table back.
TEST_F(PlayTest, ShutDownFreesTheImagesAndSavesTheTable) {
    headless_set_time(SEED_NO_EARLY_BENDS);
    Player player;
    player.script = {{" HIGH SCORES ", 4, {KEY_ENTER}}, {" PLAY AGAIN? ", 36, ANSWER_SECOND}};
    player.attach(1000);
    EXPECT_EQ(run_game(), 0);
    EXPECT_EQ(game_screen().overlay, nullptr);
    EXPECT_EQ(cave_state().back_buffer, nullptr);
    EXPECT_EQ(cave_state().backdrop, nullptr);
    EXPECT_EQ(cave_state().cave, nullptr);
    // Twelve empty entries, each the six bytes 32, 48, 13, 10, 13, 10.
    const std::vector<uint8_t> saved = game_test::read_file(HIGH_SCORE_FILE);
    std::string expected;
    for (int k = 0; k < 12; ++k) expected += " 0\r\n\r\n";
    EXPECT_EQ(std::string(saved.begin(), saved.end()), expected);
}

// A pinned picture: the whole screen after 60 frames of seed 1000 with the space bar held
// in frames 20-28, 40-47 and 57-60 (the craft weaves between y 110 and 200). The frame is
// written to build dir/game_frame60.bmp for looking at; docs/frame60.png is that picture.
TEST_F(PlayTest, Frame60OfAFixedRunHasAPinnedChecksum) {
    start_game(SEED_TWO_EARLY_BENDS);
    std::set<int> held;
    for (int f = 20; f <= 28; ++f) held.insert(f);
    for (int f = 40; f <= 47; ++f) held.insert(f);
    for (int f = 57; f <= 60; ++f) held.insert(f);
    for (int frame = 1; frame <= 60; ++frame) {
        headless_set_key_down(SCANCODE_SPACE, held.count(frame) != 0);
        play_frame();
        ASSERT_EQ(craft_state().crashed, 0) << frame;
    }
    EXPECT_NEAR(craft_state().y, 198.4, 1e-9);
    headless_save_page_bmp(std::string(MURKWING_BINARY_DIR) + "/game_frame60.bmp");
    EXPECT_TRUE(text_shown(" [TIME 60] [LEVEL 3] ", CENTRE_X, 4));  // bends at steps 17, 28, 117
    EXPECT_EQ(game_test::page_checksum(), 0x635fb4a5b3824b27ull);
}

}  // namespace
