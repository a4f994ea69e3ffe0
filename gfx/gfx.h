// Chief header of the drawing services: the image buffer layout, the blit modes and the
// colours the game draws with.
#pragma once

#include <cstdint>

// An image buffer is one block: this 32-byte header, then `height` rows of `pitch` bytes.
// A null ImageHeader* names the screen page as a drawing target.
struct ImageHeader {
    uint32_t type;            // always IMAGE_TYPE
    int32_t bytes_per_pixel;  // 4 for every image of the game
    int32_t width;            // pixels per row
    int32_t height;           // rows
    int32_t pitch;            // bytes per row: width * bytes_per_pixel rounded up to 16
    uint8_t reserved[12];     // never read
};
static_assert(sizeof(ImageHeader) == 32, "the image header is 32 bytes");

using Image = ImageHeader*;

constexpr uint32_t IMAGE_TYPE = 7;
constexpr int32_t IMAGE_DEFAULT_FILL = INT32_MIN;  // create_image flag 0x80000000

// First pixel of row y of an image buffer.
inline uint32_t* image_row(Image img, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(img + 1) + static_cast<intptr_t>(y) * img->pitch);
}

enum class blit_mode : int32_t {
    copy = 0,         // d = s
    transparent = 1,  // d = s & 0x00FFFFFF, key-coloured sources skipped
    alpha = 2,        // each byte d + floor((s - d) * A / 256), A the source alpha byte
    blend = 3,        // each byte d + floor((s - d) * (alpha + 1) / 256), key skipped
};

// Colours, 0xAARRGGBB.
constexpr uint32_t COLOR_BLACK = 0xFF000000u;
constexpr uint32_t COLOR_WHITE = 0xFFFFFFFFu;
constexpr uint32_t COLOR_ROCK = 0xFFFF00FFu;           // rock: the key colour, opaque
constexpr uint32_t DEFAULT_IMAGE_COLOR = 0xFFFF00FFu;  // fill of IMAGE_DEFAULT_FILL
constexpr uint32_t KEY_COLOR_RGB = 0x00FF00FFu;        // low 24 bits of the key colour

inline bool is_key_color(uint32_t pixel) { return (pixel & 0x00FFFFFFu) == KEY_COLOR_RGB; }

// Line kinds and coordinate modes of draw_line.
constexpr int32_t LINE_SEGMENT = 0;
constexpr int32_t LINE_BOX = 1;
constexpr int32_t LINE_FILLED_BOX = 2;
constexpr uint32_t LINE_SOLID = 0xFFFF;
constexpr int32_t COORDS_ABSOLUTE = 0;
constexpr int32_t COORDS_RELATIVE = 1;  // the second point is an offset from the first
