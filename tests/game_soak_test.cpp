// A long soak of whole sessions on the headless twin: 200,000 frames of steered runs,
// "Quit?" asked and answered both ways, names typed into the table, the table screen and
// "Play Again?", checking that memory stays flat after the first run and that the
// high-score file is whole and valid after every save.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "gfx/draw.h"
#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define MURKWING_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MURKWING_ASAN 1
#endif
#endif
#ifdef MURKWING_ASAN
// From the sanitizer runtime (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using test_support::read_file;
using test_support::read_cell;
using test_support::read_text;
using test_support::TempDir;

// Bytes the process holds from the allocator right now.
size_t allocated_bytes() {
#ifdef MURKWING_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

bool shows_quit() { return read_text(184, 36, 7) == " QUIT? "; }
bool shows_high_score() { return read_text(136, 36, 13) == " HIGH SCORE! "; }
bool shows_name_field() { return read_cell(128, 72) == '['; }
bool shows_table() { return read_text(136, 4, 13) == " HIGH SCORES "; }
bool shows_play_again() { return read_text(136, 36, 13) == " PLAY AGAIN? "; }

// The middle of the open rows of a cave image column, or 160 when it is all rock.
double passage_middle(int column) {
    const CaveState& cave = cave_state();
    int first = -1, last = -1;
    for (int y = 0; y < 320; ++y) {
        if (read_pixel(cave.cave, static_cast<float>(column), static_cast<float>(y)) != COLOR_ROCK) {
            if (first < 0) first = y;
            last = y;
        }
    }
    return first < 0 ? 160.0 : (first + last) / 2.0;
}

// Whether to hold the space bar to bring the craft towards target_y: thrust when, braking
// at 0.6 per frame from its velocity, it would come to rest below the target.
bool thrust_towards(double target_y) {
    const CraftState& c = craft_state();
    const double v = c.velocity;
    const double stop_y = c.y + v + (v > 0 ? v * v / 1.2 : -v * v / 1.2);
    return stop_y > target_y;
}

// A player that looks at the screen at every pause of the game and acts on what it sees.
class SoakPlayer {
public:
    SoakPlayer(long frame_goal, std::string file) : goal_(frame_goal), file_(std::move(file)) { watch(); }

    long frames = 0;          // frames played in finished runs
    int runs = 0;
    int names_typed = 0;
    int quits_declined = 0;
    int saves_checked = 0;    // table screens at which the file was checked, one per run
    size_t memory_after_first_run = 0;
    size_t memory_peak_after_first_run = 0;
    std::string failure;      // the first broken expectation, if any

private:
    void watch() {
        headless_at_pause(headless_pause_count() + 1, [this] {
            act();
            watch();
        });
    }

    void fail(const std::string& what) {
        if (failure.empty()) failure = what;
    }

    enum class Screen { run, quit, high_score, name_field, table, play_again };

    Screen screen_now() {
        // The name field is drawn over the last picture of "High Score!", whose title stays.
        if (shows_name_field()) return Screen::name_field;
        if (shows_quit()) return Screen::quit;
        if (shows_high_score()) return Screen::high_score;
        if (shows_table()) return Screen::table;
        if (shows_play_again()) return Screen::play_again;
        return Screen::run;
    }

    // Answers each dialog once, at the first pause that shows it: keys queued while it
    // stays on screen would only feed its own wait for release.
    void act() {
        const Screen now = screen_now();
        const bool first_sight = now != last_screen_;
        last_screen_ = now;
        if (now == Screen::run) return steer();
        if (!first_sight) return;
        switch (now) {
            case Screen::quit:
                headless_set_key_down(SCANCODE_SPACE, false);
                if (decline_quit_) {
                    ++quits_declined;
                    headless_queue_key(KEY_ESCAPE);  // Escape confirms the highlighted "No"
                } else {
                    headless_queue_key(KEY_DOWN);
                    headless_queue_key(KEY_ENTER);
                }
                decline_quit_ = false;
                break;
            case Screen::high_score: headless_queue_key(KEY_ENTER); break;
            case Screen::name_field: type_name(); break;
            case Screen::table: check_table(); break;
            case Screen::play_again: play_again(); break;
            case Screen::run: break;
        }
    }

    // In a run: steer through the cave until this run's length is reached, then either ask
    // to quit or stop steering and let the craft crash.
    void steer() {
        const int32_t frame = run_clock().frame_counter;
        if (frame == run_length_ && end_by_quit_) {
            headless_queue_key(KEY_ESCAPE);
            return;
        }
        if (frame == run_length_ / 2 && frame > 0 && rng_() % 4 == 0) {
            decline_quit_ = true;
            headless_queue_key(KEY_ESCAPE);
            return;
        }
        if (frame >= run_length_) {
            headless_set_key_down(SCANCODE_SPACE, frame % 7 < 3);
            return;
        }
        const CaveState& cave = cave_state();
        headless_set_key_down(SCANCODE_SPACE, thrust_towards(passage_middle((cave.probe_column + 4) % 480)));
    }

    void plan_run() {
        run_length_ = 40 + static_cast<int32_t>(rng_() % 2500);
        end_by_quit_ = rng_() % 2 == 0;
    }

    void type_name() {
        static const std::string allowed = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890!";
        std::string keys;
        const int length = static_cast<int>(rng_() % 15);
        for (int i = 0; i < length; ++i) keys += allowed[rng_() % allowed.size()];
        if (length > 3 && rng_() % 2) keys += '\b';
        keys += rng_() % 2 ? '\r' : ' ';
        headless_type(keys);
        ++names_typed;
    }

    // The table screen follows every run; a new entry has just been saved, so the file on
    // disk must be the table in the game's own format, 24 whole lines.
    void check_table() {
        frames += run_clock().frame_counter;
        ++runs;
        plan_run();
        const std::string bytes = read_file(file_);
        if (bytes != format_high_scores()) fail("the file differs from the table after run " + std::to_string(runs));
        size_t lines = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                ++lines;
                if (i == 0 || bytes[i - 1] != '\r') fail("a line without CR LF");
            }
        }
        if (lines != 24 || bytes.empty() || bytes.back() != '\n') fail("the file is not 24 whole lines");
        ++saves_checked;
        headless_queue_key(KEY_ENTER);
    }

    void play_again() {
        const size_t now = allocated_bytes();
        if (memory_after_first_run == 0) {
            memory_after_first_run = now;
        } else if (now > memory_peak_after_first_run) {
            memory_peak_after_first_run = now;
        }
        if (frames >= goal_) {
            headless_queue_key(KEY_DOWN);
        }
        headless_queue_key(KEY_ENTER);
    }

    long goal_;
    std::string file_;
    std::mt19937 rng_{20261207};
    int32_t run_length_ = 600;
    bool end_by_quit_ = true;
    bool decline_quit_ = false;
    Screen last_screen_ = Screen::run;
};

long soak_frames() {
    // The sanitizer build may shorten the soak through this variable; the game reads none.
    const char* text = std::getenv("MURKWING_SOAK_FRAMES");
    return text ? std::atol(text) : 200000;
}

TEST(Soak, LongSessionKeepsMemoryFlatAndTheFileValid) {
    TempDir dir;
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    headless_reset();
    reset_input_state();
    reset_high_scores();
    test_support::write_test_font(dir.file("font.bmp"));
    {
        std::ofstream table(dir.file(HIGH_SCORE_FILE), std::ios::binary);
        for (int k = 1; k <= 12; ++k) table << "-" << k << "\r\nLOW" << k << "\r\n";
    }
    ASSERT_EQ(::chdir(dir.path.c_str()), 0);
    const long goal = soak_frames();
    headless_set_pause_limit(goal * 4 + 100000, [] { throw std::runtime_error("pause limit: the soak never ended"); });

    SoakPlayer player(goal, dir.file(HIGH_SCORE_FILE));
    const int status = run_game();
    ASSERT_EQ(::chdir(cwd), 0);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(player.failure, "");
    EXPECT_GE(player.frames, goal);
    EXPECT_GT(player.runs, 20);
    EXPECT_GT(player.names_typed, 12);
    EXPECT_GT(player.quits_declined, 0);
    EXPECT_EQ(player.saves_checked, player.runs);
    EXPECT_EQ(read_file(dir.file(HIGH_SCORE_FILE)), format_high_scores());
    // After the first run everything the game needs exists; later runs may only reuse it.
    // Names differ in length from run to run, so allow a few hundred bytes of slack.
    EXPECT_LE(player.memory_peak_after_first_run, player.memory_after_first_run + 1024)
        << "memory grew from " << player.memory_after_first_run << " to " << player.memory_peak_after_first_run;
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("soak: %ld frames in %d runs, %d names typed, %d quits declined; "
                "allocated after the first run %zu bytes, peak later %zu bytes, final %zu bytes; "
                "peak resident %ld KiB; top score %d\n",
                player.frames, player.runs, player.names_typed, player.quits_declined,
                player.memory_after_first_run, player.memory_peak_after_first_run, allocated_bytes(),
                usage.ru_maxrss, high_score_entry(1).score);
    reset_high_scores();
    headless_reset();
}

}  // namespace
