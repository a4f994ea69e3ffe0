// The bitmap font: glyphs cut from "font.bmp" at load time, and text drawn glyph by glyph
// straight onto the screen over per-pixel-alpha backing tiles.
#include "ui/font.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "ui/screen_globals.h"

namespace {

constexpr int32_t NOT_IN_SET = -1;

struct Font {
    std::string charset;
    Image glyphs[FONT_MAX_GLYPHS] = {};  // slot i: character i of the set, 16 x 18
    Image backing = nullptr;             // 16 x 16, white with an alpha byte per row
    int32_t slot_of_byte[256];           // first slot of each byte in the set, or NOT_IN_SET
    Font() { std::fill(std::begin(slot_of_byte), std::end(slot_of_byte), NOT_IN_SET); }
};

Font& font() {
    static Font f;
    return f;
}

// (screen width - 16 * length) / 2 rounded to the nearest integer, halves to even,
// computed in 64 bits so that no text length overflows it.
int64_t centred_x(size_t length, int32_t screen_width) {
    const int64_t cells = static_cast<int64_t>(std::min<uint64_t>(length, INT64_MAX / 64));
    const int64_t twice = static_cast<int64_t>(screen_width) - FONT_CELL_WIDTH * cells;
    int64_t half = twice / 2;                                  // truncated toward zero
    if (twice % 2 != 0 && twice < 0) --half;                   // floor
    if (twice % 2 != 0 && half % 2 != 0) ++half;               // x.5 goes to the even one
    return half;
}

unsigned char upper_case(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

int32_t backing_tile_alpha(int32_t row) {
    const int32_t v = static_cast<int32_t>(std::floor(std::fabs(row - 7.5)));
    return v > 5 ? 400 - 50 * v : 150;
}

int load_font(const std::string& file_name, const std::string& charset) {
    free_font();
    Font& f = font();
    f.charset = charset;
    const int32_t n = static_cast<int32_t>(std::min<size_t>(charset.size(), FONT_MAX_GLYPHS));
    int result = 0;

    // With an empty set there is no strip to load (a null image would mean the screen).
    if (n > 0) {
        Image strip = create_image(FONT_CELL_WIDTH * n, FONT_CELL_HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
        result = strip ? load_bitmap(file_name, strip) : 1;
        for (int32_t i = 0; i < n; ++i) {
            Image glyph = create_image(FONT_CELL_WIDTH, FONT_CELL_HEIGHT, 0, 0, IMAGE_DEFAULT_FILL);
            if (glyph && strip) {
                const float left = static_cast<float>(FONT_CELL_WIDTH * i);
                copy_region(strip, left, 0.0f, left + FONT_CELL_WIDTH - 1,
                            static_cast<float>(FONT_CELL_HEIGHT - 1), glyph);
            }
            f.glyphs[i] = glyph;
        }
        destroy_image(strip);
    }
    // Later occurrences of a byte never win: the first one is its glyph.
    for (int32_t i = n - 1; i >= 0; --i) {
        if (f.glyphs[i]) f.slot_of_byte[static_cast<unsigned char>(charset[i])] = i;
    }

    f.backing = create_image(BACKING_TILE_SIZE, BACKING_TILE_SIZE, 0, 0, IMAGE_DEFAULT_FILL);
    if (f.backing) {
        for (int32_t r = 0; r < BACKING_TILE_SIZE; ++r) {
            const uint32_t colour = static_cast<uint32_t>(backing_tile_alpha(r)) << 24 | 0xFFFFFFu;
            draw_line(f.backing, 0.0f, static_cast<float>(r), BACKING_TILE_SIZE - 1.0f,
                      static_cast<float>(r), colour, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE);
        }
    }
    return result;
}

// The pen runs in 64 bits: starting positions near the 32-bit limits and long texts move it
// beyond them. Cells off the screen are clipped by put_image.
void draw_text(const std::string& text, int32_t x, int32_t y, int32_t alpha, int32_t with_backing) {
    const Font& f = font();
    const int32_t screen_width = game_screen().width;
    const int32_t screen_height = game_screen().height;
    const int32_t glyph_alpha = std::clamp(alpha, 0, 255);
    const int64_t start_x = x == CENTRE_X ? centred_x(text.size(), screen_width) : x;
    int64_t pen_x = start_x;
    int64_t pen_y = y;

    for (unsigned char c : text) {
        // The wrap looks at the pen before the character: a cell ending exactly at the
        // right edge stays on the line, and a backslash after a wrap moves down twice.
        if (pen_x + FONT_CELL_WIDTH > screen_width) {
            pen_x = 0;
            pen_y += FONT_LINE_HEIGHT;
        }
        if (c == '\\') {
            pen_x = start_x;
            pen_y += FONT_LINE_HEIGHT;
            continue;
        }
        // The pen only ever moves down: once below the screen nothing more can show, so a
        // huge text (a name read from a hostile file) costs no more than a screenful.
        if (screen_height > 0 && pen_y >= screen_height) break;
        // A cell wholly left of or above the screen draws nothing; skip the two blits.
        if (pen_x + FONT_CELL_WIDTH <= 0 || pen_y + FONT_CELL_HEIGHT <= 0) {
            pen_x += FONT_CELL_WIDTH;
            continue;
        }
        const float px = static_cast<float>(pen_x);
        const float py = static_cast<float>(pen_y);
        if (with_backing != 0 && f.backing) put_image(nullptr, px, py, f.backing, blit_mode::alpha, -1);
        const int32_t slot = f.slot_of_byte[upper_case(c)];
        if (slot != NOT_IN_SET) put_image(nullptr, px, py, f.glyphs[slot], blit_mode::blend, glyph_alpha);
        pen_x += FONT_CELL_WIDTH;
    }
}

void free_font() {
    Font& f = font();
    for (Image& glyph : f.glyphs) {
        destroy_image(glyph);
        glyph = nullptr;
    }
    destroy_image(f.backing);
    f.backing = nullptr;
    f.charset.clear();
    std::fill(std::begin(f.slot_of_byte), std::end(f.slot_of_byte), NOT_IN_SET);
}
