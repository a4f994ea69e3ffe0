// Turns the font's text art (tools/font_glyphs.txt) into the bytes of font.bmp: a 24-bit
// BMP strip of 16 x 18 cells in character-set order on the transparent key colour. Used by
// tools/make_font and by the test that checks the committed picture.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace font_maker {

constexpr int CELL_WIDTH = 16;
constexpr int CELL_HEIGHT = 18;
constexpr uint32_t KEY_RGB = 0xFF00FF;   // '.' transparent
constexpr uint32_t BODY_RGB = 0x141C38;  // '#' dark ink
constexpr uint32_t RIM_RGB = 0x28BEF0;   // 'o' the coloured outline

struct Result {
    std::vector<uint8_t> bmp;  // the whole file; empty on failure
    std::string error;         // why it failed, with the line number
};

inline bool pixel_rgb(char c, uint32_t& rgb) {
    switch (c) {
        case '.': rgb = KEY_RGB; return true;
        case '#': rgb = BODY_RGB; return true;
        case 'o': rgb = RIM_RGB; return true;
        default: return false;
    }
}

// Parses the text art: lines starting with '#' and empty lines between blocks are
// comments; each block is "glyph C" and 18 rows of 16 pixel characters. The blocks must
// name the characters of `charset`, in order. Returns the rows of the strip, top first,
// as 0xRRGGBB values.
inline bool parse_glyphs(const std::string& text, const std::string& charset,
                         std::vector<uint32_t>& strip, std::string& error) {
    const int width = CELL_WIDTH * static_cast<int>(charset.size());
    strip.assign(static_cast<size_t>(width) * CELL_HEIGHT, KEY_RGB);
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    size_t cell = 0;
    int row = -1;  // -1: between blocks, else the next row of the current cell
    auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(line_number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (row < 0) {
            if (line.empty() || line[0] == '#') continue;
            if (line.size() != 7 || line.compare(0, 6, "glyph ") != 0) return fail("expected \"glyph C\"");
            if (cell >= charset.size()) return fail("more glyphs than characters");
            if (line[6] != charset[cell]) return fail(std::string("expected glyph ") + charset[cell]);
            row = 0;
            continue;
        }
        if (static_cast<int>(line.size()) != CELL_WIDTH) return fail("a row has 16 pixels");
        for (int x = 0; x < CELL_WIDTH; ++x) {
            uint32_t rgb = 0;
            if (!pixel_rgb(line[x], rgb)) return fail("unknown pixel character");
            strip[static_cast<size_t>(row) * width + cell * CELL_WIDTH + x] = rgb;
        }
        if (++row == CELL_HEIGHT) {
            row = -1;
            ++cell;
        }
    }
    if (row >= 0) return fail("the last glyph has fewer than 18 rows");
    if (cell != charset.size()) return fail("fewer glyphs than characters");
    return true;
}

// A 24-bit bottom-up BMP of the strip (width x 18 pixels).
inline std::vector<uint8_t> encode_bmp(const std::vector<uint32_t>& strip, int width, int height) {
    const int row_bytes = (width * 3 + 3) & ~3;
    const uint32_t data_size = static_cast<uint32_t>(row_bytes) * height;
    std::vector<uint8_t> file(54 + data_size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, 54 + data_size);
    put32(10, 54);                // pixel data right after the two headers
    put32(14, 40);                // information header size
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;                 // planes
    file[28] = 24;                // bits per pixel
    put32(34, data_size);
    put32(38, 2835);              // 72 dpi, both ways
    put32(42, 2835);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = &file[54 + static_cast<size_t>(height - 1 - y) * row_bytes];
        for (int x = 0; x < width; ++x) {
            const uint32_t rgb = strip[static_cast<size_t>(y) * width + x];
            out[3 * x] = rgb & 0xFF;
            out[3 * x + 1] = (rgb >> 8) & 0xFF;
            out[3 * x + 2] = (rgb >> 16) & 0xFF;
        }
    }
    return file;
}

inline Result make_font(const std::string& glyph_text, const std::string& charset) {
    Result result;
    std::vector<uint32_t> strip;
    if (!parse_glyphs(glyph_text, charset, strip, result.error)) return result;
    result.bmp = encode_bmp(strip, CELL_WIDTH * static_cast<int>(charset.size()), CELL_HEIGHT);
    return result;
}

}  // namespace font_maker
