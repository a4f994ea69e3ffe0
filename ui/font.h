// The bitmap font: 16 x 18 cells cut from one picture, drawn over soft backing tiles.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t CENTRE_X = 10001;  // x that centres a text on the screen
constexpr const char* GAME_CHARSET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[]!?";
constexpr int FONT_CELL_WIDTH = 16;
constexpr int FONT_CELL_HEIGHT = 18;
constexpr int FONT_LINE_HEIGHT = 20;
constexpr int FONT_MAX_GLYPHS = 51;
constexpr int BACKING_TILE_SIZE = 16;  // the tile covers rows 0..15 of a cell

// Once at start-up, after the screen is open: cuts the picture into one glyph per
// character of `charset` and builds the backing tile. Only the first 51 characters get a
// glyph; any further ones draw as blank cells. A second call replaces the first font.
// Returns load_bitmap's result for the picture (0 loaded; see gfx/draw.h), 0 for an empty
// set. Whatever it returns, the font is usable: what was not loaded draws as blank cells.
int load_font(const std::string& file_name, const std::string& charset);

// Draws text onto the screen with its top-left cell at (x, y); x == CENTRE_X centres it.
// Letters show as capitals; "\" breaks the line; alpha is the glyph blend (0..255, values
// outside are clamped); with_backing nonzero puts the backing tile under every cell. Any
// bytes and any position are safe: what falls off the screen is clipped.
void draw_text(const std::string& text, int32_t x, int32_t y, int32_t alpha, int32_t with_backing);

// Once at shut-down: frees the glyphs and the backing tile.
void free_font();

// The alpha byte of row r (0..15) of the backing tile: 50, 100, then 150 towards the middle.
int32_t backing_tile_alpha(int32_t row);
