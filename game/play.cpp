// The program's order of things: start-up, the play loop of runs, tables and "Play Again?",
// the frame loop of one run, and shut-down.
#include "game/play.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "audio/sound.h"
#include "game/cave.h"
#include "game/craft.h"
#include "game/frame.h"
#include "game/run_hooks.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "scores/high_scores.h"
#include "ui/dialog.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/screen_globals.h"

namespace {

constexpr uint32_t OVERLAY_FILL = 0xFFFFFFFFu;
constexpr int32_t ANSWER_NO_AT_PLAY_AGAIN = 2;   // "Yes:::No"
constexpr int32_t ANSWER_YES_AT_QUIT = 2;        // "No:::Yes"

// Keys typed during the run's last moments must not reach the name entry: at least one
// 50 ms pause, then one more for every key still queued. Each pause ends with a mouse
// sample, so a button or finger still held from the flight (where it climbs) is known to
// be held: as with the space bar, only a fresh press answers the table, never a release.
void drain_keys() {
    do {
        pause_ms(DRAIN_PAUSE_MS);
        poll_mouse();
    } while (!read_key().empty());
}

// One line on stderr when the font picture was not read (load_font's result, 0 when it
// was): which file, in which folder, and why. The game goes on; its texts show as rows of
// blank backing tiles.
void report_unread_font(int result) {
    if (result == 0) return;
    std::error_code error;
    std::string folder = std::filesystem::current_path(error).string();
    if (error) folder = "the current folder";
    const char* why = result == 2   ? "missing or unreadable"
                      : result == 3 ? "not a BMP picture, or damaged or cut short"
                                    : "a BMP picture of 15 or 16 bits, which the game does not read";
    std::fprintf(stderr, "murkwingdiver: cannot read the font picture %s in %s (%s): texts show as blank boxes\n",
                 FONT_FILE, folder.c_str(), why);
}

// The player's choice of silence (the command line's, or the one the platform kept) and the
// audio device. No device is no reason to stop: the game plays on, silently.
void start_sound() {
    set_sound_muted(kept_mute_choice(window_options().muted));
    const std::string error = open_sound(render_sound, sound_quiet);
    if (!error.empty()) std::fprintf(stderr, "murkwingdiver: no sound: %s\n", error.c_str());
}

}  // namespace

RunClock& run_clock() {
    static RunClock clock;
    return clock;
}

int32_t score_for_height(double passage_height) {
    const double score = std::floor(100.0 - 0.625 * passage_height);
    if (std::isnan(score)) return 0;
    if (score >= 2147483647.0) return INT32_MAX;
    if (score <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(score);
}

bool start_up() {
    GameScreen& screen = game_screen();
    screen.width = SCREEN_WIDTH;
    screen.height = SCREEN_HEIGHT;
    if (open_screen(screen.width, screen.height, 32, 0, 0, 0) != 0) return false;
    seed_random(clock_seconds(), 0);
    screen.overlay = create_image(screen.width, screen.height, OVERLAY_FILL, 0, 0);
    build_images();
    report_unread_font(load_font(FONT_FILE, GAME_CHARSET));
    load_high_scores(HIGH_SCORE_FILE);
    start_sound();
    return true;
}

void start_run() {
    take_focus_loss();  // focus changes at the table or in the dialogs don't stop a run
    cave_reset();
    craft_reset();
    RunClock& run = run_clock();
    run.frame_counter = 0;
    run.run_start_time = clock_seconds();
}

void frame_update() {
    cave_advance();
    craft_step();
}

int32_t play_frame() {
    RunClock& run = run_clock();
    // Saturates rather than overflowing after 2^31 frames (over a year of play).
    if (run.frame_counter < INT32_MAX) ++run.frame_counter;

    // M switches the sound off and on in flight only: in the name entry it is a letter.
    if (key_is('m') || key_is('M')) keep_mute_choice(toggle_sound());

    // A run whose window lost the focus stops at "Quit?" as if Escape had been pressed:
    // the player who clicked elsewhere comes back to a question, not to a crash.
    int32_t quit = 0;
    if (is_quit_key() != 0 || take_focus_loss()) {
        sound_run_ended();  // the tone rests while the question is open
        quit = choice_dialog("Quit?", "No:::Yes", 0, 0) == ANSWER_YES_AT_QUIT ? -1 : 0;
        take_focus_loss();  // a focus change while the question was open is answered by it
        if (run_hooks().dialog_closed) run_hooks().dialog_closed();
    }
    frame_update();
    const CraftState& craft = craft_state();
    if (craft.crashed != 0) sound_crash();
    else if (quit != 0) sound_run_ended();
    else sound_flight(craft.velocity);
    frame_draw();
    pause_ms(FRAME_PAUSE_MS);
    set_key_string(read_key());
    return quit;
}

int32_t frame_loop() {
    for (;;) {
        const int32_t quit = play_frame();
        const int32_t ended = craft_state().crashed | quit;
        if (ended != 0) return ended;
    }
}

void shut_down() {
    GameScreen& screen = game_screen();
    destroy_image(screen.overlay);
    screen.overlay = nullptr;
    free_font();
    save_high_scores_at_exit();
    free_images();
}

int run_game() {
    if (!start_up()) {
        const std::string cause = open_screen_error();
        std::fprintf(stderr, "murkwingdiver: cannot open the window: %s\n",
                     cause.empty() ? "unknown cause" : cause.c_str());
        return 1;
    }
    const RunHooks& hooks = run_hooks();
    for (;;) {
        if (hooks.run_starting) hooks.run_starting();
        start_run();
        frame_loop();
        if (hooks.run_ended) hooks.run_ended();
        drain_keys();
        const int32_t score = score_for_height(cave_state().passage_height);
        offer_high_score(score);
        if (hooks.score_offered) hooks.score_offered(score);
        show_high_scores();
        if (choice_dialog("Play Again?", "Yes:::No", 0, 0) == ANSWER_NO_AT_PLAY_AGAIN) break;
    }
    shut_down();
    return 0;
}
