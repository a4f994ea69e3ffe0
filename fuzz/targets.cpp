// Fuzzed entry points: the BMP loader, the high-score reader and writer, and text drawing.
#include "fuzz/targets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "replay/flight.h"
#include "replay/replay_file.h"
#include "scores/high_scores.h"
#include "ui/font.h"
#include "ui/screen_globals.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

// The screen and the font are set up once per process, as the game does at start-up.
void set_up_once() {
    static bool done = false;
    if (done) return;
    done = true;
    open_screen(480, 320, 32, 0, 0, 0);
    game_screen().width = 480;
    game_screen().height = 320;
    load_font(MURKWING_SOURCE_DIR "/data/font.bmp", GAME_CHARSET);
}

int32_t read_int32(const uint8_t* data) {
    uint32_t v;
    std::memcpy(&v, data, 4);
    return static_cast<int32_t>(v);
}

}  // namespace

void fuzz_bitmap(const uint8_t* data, size_t size) {
    set_up_once();
    static Image target = create_image(640, 18, 0, 0, IMAGE_DEFAULT_FILL);
    ImageHeader before = *target;
    int result = load_bitmap_bytes(data, size, target);
    check(result >= 0 && result <= 3, "load_bitmap result outside 0..3");
    check(std::memcmp(&before, target, sizeof before) == 0, "load_bitmap changed the header");
}

void fuzz_high_scores(const uint8_t* data, size_t size) {
    reset_high_scores();
    parse_high_scores(std::string(reinterpret_cast<const char*>(data), size));
    HighScoreEntry first[HIGH_SCORE_COUNT];
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) first[k - 1] = high_score_entry(k);
    const std::string saved = format_high_scores();

    reset_high_scores();
    parse_high_scores(saved);
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
        check(high_score_entry(k).score == first[k - 1].score, "score changed by a save and load");
        check(high_score_entry(k).name == first[k - 1].name, "name changed by a save and load");
    }
    check(format_high_scores() == saved, "a reloaded table saves differently");
}

void fuzz_text(const uint8_t* data, size_t size) {
    set_up_once();
    if (size < 10) return;
    // x and y are squeezed into a range around the screen, except for the centring marker
    // and the raw extremes, which are kept.
    int32_t x = read_int32(data);
    int32_t y = read_int32(data + 4);
    if (data[8] & 1) x = (x % 1200) - 600;
    if (data[8] & 2) y = (y % 800) - 400;
    if (data[8] & 4) x = CENTRE_X;
    int32_t alpha = data[9];
    int32_t backing = (data[8] & 8) ? -1 : 0;
    std::string text(reinterpret_cast<const char*>(data + 10), size - 10);
    draw_text(text, x, y, alpha, backing);
}

namespace {

constexpr int32_t FUZZ_MAX_FLOWN_FRAMES = 20000;
constexpr uint64_t FUZZ_MAX_SKIPPED_DRAWS = 1000000;

void fuzz_replay_bytes(const uint8_t* data, size_t size) {
    ReplayRecord record;
    std::string why;
    if (!decode_replay(data, size, record, why)) {
        check(!why.empty(), "a refusal without a reason");
        return;
    }
    ReplayRecord again;
    check(decode_replay(encode_replay(record), again, why) && again == record, "a record that does not write back");
    // Flying is the game's own code, tested elsewhere; long runs are left out to keep each
    // input fast under the sanitizers.
    if (record.frames > FUZZ_MAX_FLOWN_FRAMES || record.run_draws > FUZZ_MAX_SKIPPED_DRAWS) return;
    const RandomPosition before = random_position();
    const ReplayVerdict verdict = verify_replay(data, size);
    check(verdict.agrees || !verdict.why.empty(), "a disagreement without a reason");
    check(random_position() == before, "a check that moved the random numbers");
}

}  // namespace

// The bytes as they are, and with their last four bytes replaced by the integrity check of
// the rest, so that the fuzzer reaches past the check.
void fuzz_replay(const uint8_t* data, size_t size) {
    fuzz_replay_bytes(data, size);
    if (size < 4) return;
    std::string sealed(reinterpret_cast<const char*>(data), size - 4);
    const uint32_t crc = replay_crc32(data, size - 4);
    for (int i = 0; i < 4; ++i) sealed.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
    fuzz_replay_bytes(reinterpret_cast<const uint8_t*>(sealed.data()), sealed.size());
}
