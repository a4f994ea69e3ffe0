// The recorder: at each run's start it notes where the random numbers stand (after seeding
// them from the date for the daily cave), in each frame the climb state craft_step used,
// after the frame loop how the run ended, and after the table took its score the name
// entered; then the replay is kept. Nothing here draws, pauses or touches the table.
#include "replay/recorder.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "game/run_hooks.h"
#include "platform/platform.h"
#include "replay/flight.h"
#include "replay/keeping.h"
#include "replay/replay_file.h"
#include "replay/screens.h"

namespace {

struct Session {
    RecordingOptions options;
    int runs = 0;                   // runs started in this process
    uint32_t backdrop_seed = 0;     // the seed word of the process, noted at the first run
    ReplayRecord record;            // the run being flown
    ScreenPictures pictures;        // the screen at its start and after each "Quit?"
    HighScoreTable table_before;    // the table before its score was offered
    std::string last;
};

Session& session() {
    static Session s;
    return s;
}

int64_t now_seconds() {
    const Session& s = session();
    if (s.options.now) return s.options.now();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Pictures kept per run at most (each up to some hundreds of kilobytes): a run asked
// "Quit?" more often watches inexactly after that.
constexpr size_t MAX_PICTURES_PER_RUN = 64;

// The screen as it stands now, kept as the picture of `frame` (0: the run's start); a
// picture that cannot be taken is left out, which only makes watching less exact.
void add_picture(int32_t frame) {
    Session& s = session();
    try {
        if (frame == 0) s.pictures.clear();
        if (s.pictures.size() >= MAX_PICTURES_PER_RUN) return;
        s.pictures.push_back(ScreenPicture{frame, capture_screen()});
    } catch (const std::exception&) {
        s.pictures.clear();
    }
}

void run_starting() {
    Session& s = session();
    if (s.runs++ == 0) s.backdrop_seed = random_position().seed;
    ReplayRecord& r = s.record;
    r = ReplayRecord{};
    r.game_version = s.options.game_version;
    r.fresh_screen = s.runs == 1;
    r.backdrop_seed = s.backdrop_seed;
    if (s.options.daily) {
        r.daily = true;
        r.daily_date = utc_date(now_seconds());
        seed_random(static_cast<double>(daily_seed(r.daily_date)), 0);
    }
    const RandomPosition start = random_position();
    r.run_seed = start.seed;
    r.run_draws = start.draws;
    add_picture(0);
}

void dialog_closed() { add_picture(run_clock().frame_counter); }

void climb_sampled(bool held) { session().record.climb.push_back(held); }

void run_ended() {
    Session& s = session();
    ReplayRecord& r = s.record;
    r.frames = run_clock().frame_counter;
    r.ending = craft_state().crashed != 0 ? RunEnding::CRASH : RunEnding::QUIT;
    r.level = score_for_height(cave_state().passage_height);
    r.flight_check = flight_check();
    s.table_before = current_high_scores();
}

// A stem that sorts by time: run-YYYYMMDD-HHMMSS, with "daily-" before daily runs.
std::string file_stem(const ReplayRecord& r) {
    const std::time_t t = static_cast<std::time_t>(r.time);
    std::tm utc{};
    char text[32] = "run";
    if (gmtime_r(&t, &utc) != nullptr) std::strftime(text, sizeof text, "run-%Y%m%d-%H%M%S", &utc);
    return (r.daily ? "daily-" : "") + std::string(text);
}

void score_offered(int32_t /*score*/) {
    Session& s = session();
    try {
        ReplayRecord& r = s.record;
        const HighScoreTable after = current_high_scores();
        const int place = entered_place(s.table_before, after, r.level);
        if (place > 0) {
            r.name = after[static_cast<size_t>(place - 1)].name.substr(0, REPLAY_MAX_NAME);
            for (char& ch : r.name) {
                if (ch < 32 || ch > 126) ch = '?';
            }
        }
        r.time = now_seconds();
        if (r.frames < 1 || r.frames > REPLAY_MAX_FRAMES || r.climb.size() != static_cast<size_t>(r.frames) ||
            r.run_draws > REPLAY_MAX_DRAWS) {
            return;  // nothing a replay can hold (beyond the limits of the format)
        }
        s.last = encode_replay(r);
        if (place > 0 && s.options.entered_table) s.options.entered_table(s.last);
        std::string error;
        if (keep_replay(s.options.folder, file_stem(r), s.last, encode_screens(s.pictures), place, s.table_before,
                        after, error).empty()) {
            std::fprintf(stderr, "murkwingdiver: replay not kept: %s\n", error.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "murkwingdiver: replay not kept: %s\n", e.what());
    }
}

}  // namespace

void start_recording(const RecordingOptions& options) {
    session() = Session{};
    session().options = options;
    RunHooks& hooks = run_hooks();
    hooks.run_starting = run_starting;
    hooks.climb_sampled = climb_sampled;
    hooks.dialog_closed = dialog_closed;
    hooks.run_ended = run_ended;
    hooks.score_offered = score_offered;
}

void stop_recording() {
    run_hooks() = RunHooks{};
    session() = Session{};
}

const std::string& last_recorded_replay() { return session().last; }
