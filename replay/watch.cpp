// The replay window. It starts up as the game does, so the backdrop is the one the run was
// flown over; the screen page begins black, as for the first run of a process, or as the
// run's kept pictures say.
#include "replay/watch.h"

#include "game/cave.h"
#include "game/craft.h"
#include "game/frame.h"
#include "game/play.h"
#include "game/run_hooks.h"
#include "platform/platform.h"
#include "replay/flight.h"
#include "ui/font.h"
#include "ui/input.h"

std::string replay_title(const ReplayRecord& record) {
    return " - replay of " + (record.name.empty() ? std::string("an unnamed run") : record.name + "'s run") +
           (record.daily ? " (daily cave " + std::to_string(record.daily_date) + ")" : "");
}

int watch_record(const ReplayRecord& record, const ScreenPictures& pictures, std::string& error) {
    set_window_title_suffix(replay_title(record));
    if (open_screen(SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0, 0, 0) != 0) {
        error = open_screen_error();
        return 1;
    }
    seed_random(static_cast<double>(record.backdrop_seed), 0);
    build_images();
    load_font(FONT_FILE, GAME_CHARSET);
    set_random_position({record.run_seed, record.run_draws});

    RunHooks& hooks = run_hooks();
    const RunHooks hooks_before = hooks;
    hooks = RunHooks{};
    fly_climb_input(&record.climb);

    // The pictures in frame order; those that are not a whole page are passed over.
    auto picture = pictures.begin();
    const auto show_pictures_of = [&](int32_t frame) {
        for (; picture != pictures.end() && picture->frame <= frame; ++picture) {
            if (picture->frame == frame) show_screen(picture->pixels);
        }
    };
    show_pictures_of(0);
    start_run();
    RunClock& run = run_clock();
    for (int32_t frame = 1; frame <= record.frames; ++frame) {
        ++run.frame_counter;
        show_pictures_of(frame);
        frame_update();
        frame_draw();
        pause_ms(FRAME_PAUSE_MS);
        const std::string key = read_key();
        set_key_string(key);
        if (is_quit_key() != 0 || key == std::string("\xff") + static_cast<char>(KEY_CLOSE >> 8)) break;
    }

    fly_climb_input(nullptr);
    hooks = hooks_before;
    free_font();
    free_images();
    return 0;
}
