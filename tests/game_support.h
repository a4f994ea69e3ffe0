// Shared by the game's tests: a fixture that runs each test in its own working directory
// with the game's font, a reader of font.bmp that checks texts on the screen glyph by
// glyph, a scripted player that answers dialogs it sees and steers the craft, and a
// checksum of the screen page.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "scores/high_scores.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/screen_globals.h"

namespace game_test {

inline std::string source_path(const std::string& relative) {
    return std::string(MURKWING_SOURCE_DIR) + "/" + relative;
}

inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The committed font picture as 0xRRGGBB values, read here independently of the game's
// loader: a 24-bit bottom-up BMP.
struct FontPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

inline const FontPicture& game_font_picture() {
    static const FontPicture picture = [] {
        FontPicture p;
        const std::vector<uint8_t> f = read_file(source_path("data/font.bmp"));
        if (f.size() < 54) return p;
        auto get32 = [&](size_t at) {
            return static_cast<int>(f[at] | f[at + 1] << 8 | f[at + 2] << 16 | f[at + 3] << 24);
        };
        p.width = get32(18);
        p.height = get32(22);
        const int offset = get32(10);
        const int row_bytes = (p.width * 3 + 3) & ~3;
        p.rgb.resize(static_cast<size_t>(p.width) * p.height);
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* row = &f[offset + static_cast<size_t>(p.height - 1 - y) * row_bytes];
            for (int x = 0; x < p.width; ++x) {
                p.rgb[static_cast<size_t>(y) * p.width + x] =
                    row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
            }
        }
        return p;
    }();
    return picture;
}

// Whether the screen shows `text` (one line, as drawn: capitals) with its first cell at
// (x, y), x == CENTRE_X centring it: every non-transparent pixel of every glyph must be
// on the screen exactly, as a glyph drawn with alpha 255 leaves it.
inline ::testing::AssertionResult text_shown(const std::string& text, int32_t x, int32_t y) {
    const FontPicture& font = game_font_picture();
    const std::string charset = GAME_CHARSET;
    if (x == CENTRE_X) x = 240 - 8 * static_cast<int32_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t glyph = charset.find(text[i]);
        if (glyph == std::string::npos) continue;
        for (int gy = 0; gy < FONT_CELL_HEIGHT; ++gy) {
            for (int gx = 0; gx < FONT_CELL_WIDTH; ++gx) {
                const uint32_t rgb = font.at(static_cast<int>(glyph) * FONT_CELL_WIDTH + gx, gy);
                if (rgb == 0xFF00FF) continue;
                const int sx = x + 16 * static_cast<int>(i) + gx;
                const int sy = y + gy;
                if (sx < 0 || sx >= 480 || sy < 0 || sy >= 320) continue;
                if (headless_pixel(sx, sy) != (0xFF000000u | rgb)) {
                    return ::testing::AssertionFailure()
                           << "\"" << text << "\" not at (" << x << ", " << y << "): character "
                           << i << " differs at (" << sx << ", " << sy << ")";
                }
            }
        }
    }
    return ::testing::AssertionSuccess() << "\"" << text << "\" at (" << x << ", " << y << ")";
}

// FNV-1a over the whole screen page.
inline uint64_t page_checksum() {
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 480; ++x) {
            uint32_t v = headless_pixel(x, y);
            for (int b = 0; b < 4; ++b) {
                hash ^= (v >> (8 * b)) & 0xFF;
                hash *= 1099511628211ull;
            }
        }
    }
    return hash;
}

// Frees what start-up made, without saving anything (the tests' shut-down).
inline void release_game() {
    GameScreen& screen = game_screen();
    destroy_image(screen.overlay);
    screen.overlay = nullptr;
    free_font();
    free_images();
}

// Each test runs in a fresh temporary working directory holding the game's font.bmp, on a
// reset headless twin whose clock starts at `seed_time` (the game seeds from it), with a
// pause limit so that a dialog nobody answers fails the test instead of hanging it.
class GameTest : public ::testing::Test {
protected:
    static constexpr double SEED_TIME = 1000.0;
    static constexpr long PAUSE_LIMIT = 20000;

    void SetUp() override {
        headless_reset();
        reset_input_state();
        reset_high_scores();
        headless_set_time(SEED_TIME);
        headless_set_pause_limit(PAUSE_LIMIT, [] {
            ADD_FAILURE() << "pause limit reached: a dialog was never answered";
            throw std::runtime_error("pause limit");
        });
        char pattern[] = "/tmp/murkwing_game_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        old_dir_ = std::filesystem::current_path();
        std::filesystem::copy_file(source_path("data/font.bmp"), dir_ / "font.bmp");
        std::filesystem::current_path(dir_);
    }

    void TearDown() override {
        release_game();
        headless_reset();
        reset_input_state();
        reset_high_scores();
        std::filesystem::current_path(old_dir_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // start_up with the clock at `seed_time`, then one run started.
    void start_game(double seed_time = SEED_TIME) {
        headless_set_time(seed_time);
        ASSERT_TRUE(start_up());
        start_run();
    }

    std::filesystem::path dir_;
    std::filesystem::path old_dir_;
};

// Whether holding the space bar now keeps the craft near `target_y`: thrust when the
// craft, braking from its velocity at 0.6 per frame, would stop below the target.
inline bool thrust_towards(double target_y) {
    const CraftState& c = craft_state();
    const double v = c.velocity;
    const double stop_y = c.y + v + (v > 0 ? v * v / 1.2 : -v * v / 1.2);
    return stop_y > target_y;
}

// A player driven by the pauses of the game: at the start of every pause it looks at the
// screen for the next dialog of its script and, when that dialog's title is shown, types
// the answer; it also holds or releases the space bar to keep the craft near a height.
struct Player {
    struct Answer {
        std::string text;   // the title as drawn, e.g. " QUIT? "
        int32_t y;          // its row: 36 for the choice dialog, 4 for the table screen
        std::vector<int> keys;
        std::function<void()> on_seen = {};  // optional check at that moment
    };
    std::vector<Answer> script;
    size_t next = 0;
    bool steer = false;
    double target_y = 160.0;

    void act() {
        if (next < script.size() && text_shown(script[next].text, CENTRE_X, script[next].y)) {
            Answer& answer = script[next++];
            if (answer.on_seen) answer.on_seen();
            for (int key : answer.keys) headless_queue_key(key);
        }
        if (steer) headless_set_key_down(SCANCODE_SPACE, thrust_towards(target_y));
    }

    // Makes act() run at the start of each of the next `pauses` pauses.
    void attach(long pauses) {
        const long first = headless_pause_count() + 1;
        for (long p = first; p < first + pauses; ++p) headless_at_pause(p, [this] { act(); });
    }

    bool done() const { return next == script.size(); }
};

}  // namespace game_test
