// Checking a recorded run by flying it again: the cave and the craft of the game, stepped
// as the frame loop steps them, with the climb input taken from the record.
#include "replay/flight.h"

#include <chrono>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "game/run_hooks.h"
#include "gfx/image.h"
#include "platform/platform.h"

namespace {

// The climb input being flown: the record's bits and the next frame's index.
struct ClimbTape {
    const std::vector<bool>* bits = nullptr;
    size_t next = 0;
};

ClimbTape& tape() {
    static ClimbTape t;
    return t;
}

bool next_climb() {
    ClimbTape& t = tape();
    return t.next < t.bits->size() ? (*t.bits)[t.next++] : false;
}

// FNV-1a over the bytes of a value.
void mix(uint32_t& hash, const void* value, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(value);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
}

}  // namespace

void fly_climb_input(const std::vector<bool>* bits) {
    tape() = ClimbTape{bits, 0};
    run_hooks().climb_source = bits != nullptr ? next_climb : nullptr;
}

uint32_t flight_check() {
    uint32_t hash = 2166136261u;
    const double last = random_unit(0);  // repeats the last number, draws nothing
    const CaveState& cave = cave_state();
    const CraftState& craft = craft_state();
    for (double v : {last, cave.passage_top, cave.passage_slope, cave.passage_height, craft.y, craft.velocity}) {
        mix(hash, &v, sizeof v);
    }
    return hash;
}

Flight fly_record(const ReplayRecord& record) {
    // Everything the flight touches is set aside and put back.
    const RandomPosition random_before = random_position();
    const CaveState cave_before = set_cave_aside();
    const CraftState craft_before = craft_state();
    RunHooks& hooks = run_hooks();
    const RunHooks hooks_before = hooks;
    const ClimbTape tape_before = tape();

    hooks = RunHooks{};
    fly_climb_input(&record.climb);
    set_random_position({record.run_seed, record.run_draws});
    // Image buffers need an open screen; without a window, a page in memory serves.
    const bool offscreen = open_offscreen_page(SCREEN_WIDTH, SCREEN_HEIGHT) == 0;
    build_cave_image();
    cave_reset();
    craft_reset();

    Flight flight;
    for (int32_t frame = 1; frame <= record.frames; ++frame) {
        frame_update();
        if (craft_state().crashed != 0 && flight.crash_frame == 0) {
            flight.crash_frame = frame;
            break;
        }
    }
    flight.level = score_for_height(cave_state().passage_height);
    flight.check = flight_check();

    destroy_image(cave_state().cave);
    if (offscreen) close_offscreen_page();
    restore_cave(cave_before);
    restore_craft(craft_before);
    tape() = tape_before;
    hooks = hooks_before;
    set_random_position(random_before);
    return flight;
}

bool flight_agrees(const ReplayRecord& record, const Flight& flight, std::string& why) {
    if (record.ending == RunEnding::CRASH && flight.crash_frame != record.frames) {
        why = flight.crash_frame == 0
                  ? "the craft does not crash in frame " + std::to_string(record.frames)
                  : "the craft crashes in frame " + std::to_string(flight.crash_frame) + ", not " +
                        std::to_string(record.frames);
        return false;
    }
    if (record.ending == RunEnding::QUIT && flight.crash_frame != 0) {
        why = "the craft crashes in frame " + std::to_string(flight.crash_frame) + " before the quit";
        return false;
    }
    if (flight.level != record.level) {
        why = "the flight reaches level " + std::to_string(flight.level) + ", not " + std::to_string(record.level);
        return false;
    }
    if (flight.check != record.flight_check) {
        why = "the flight ends elsewhere than recorded (another start state or climb input)";
        return false;
    }
    return true;
}

ReplayVerdict verify_replay(const uint8_t* data, size_t size) {
    ReplayVerdict verdict;
    ReplayRecord record;
    if (!decode_replay(data, size, record, verdict.why)) return verdict;
    verdict.level = record.level;
    verdict.frames = record.frames;
    if (record.daily && (record.run_seed != daily_seed(record.daily_date) || record.run_draws != 0)) {
        verdict.why = "a daily run that does not start on its date's cave";
        return verdict;
    }
    verdict.agrees = flight_agrees(record, fly_record(record), verdict.why);
    return verdict;
}

uint32_t daily_seed(uint32_t date) { return date; }

uint32_t utc_date(int64_t seconds) {
    using namespace std::chrono;
    const year_month_day day{floor<days>(sys_seconds{std::chrono::seconds{seconds}})};
    return static_cast<uint32_t>(static_cast<int>(day.year())) * 10000 +
           static_cast<uint32_t>(day.month()) * 100 + static_cast<uint32_t>(day.day());
}
