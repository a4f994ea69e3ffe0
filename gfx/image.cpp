// Image buffers and the blit: create_image, destroy_image, put_image in four modes and
// copy_region, over image buffers and the screen page.
#include "gfx/image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gfx/blit_rows.h"
#include "platform/screen.h"

namespace {

constexpr int64_t HEADER_BYTES = sizeof(ImageHeader);  // 32
constexpr int64_t PITCH_ALIGNMENT = 16;                // row starts, in bytes
// Row 0 of every image starts on a cache line (64 bytes), like the screen page, so the
// widest vector steps need no ragged head: rows are 64-byte aligned whenever the pitch is a
// multiple of 64 (width 480: 1920), and 16-byte aligned always.
constexpr int64_t ROW_ALIGNMENT = 64;

// What create_image keeps just before the header, in the 32 bytes that put row 0 on a
// cache line: the size of the block as it was made, so that copy_region can tell how much a
// destination holds whatever its header says now. Not part of the block the caller sees.
struct BlockPrefix {
    int64_t block_bytes;  // header plus height * pitch, from create_image
    uint8_t unused[24];
};
static_assert(sizeof(BlockPrefix) + sizeof(ImageHeader) == ROW_ALIGNMENT,
              "prefix and header together fill one cache line");

BlockPrefix* prefix_of(Image image) { return reinterpret_cast<BlockPrefix*>(image) - 1; }
// round_coord's answer for NaN and for values beyond it: outside every picture of 4-byte
// pixels (a row is at most INT32_MAX bytes, under 2^29 pixels) and small enough that a
// caller adding a 32-bit size to it in 64 bits, or a picture size in 32 bits, cannot
// overflow.
constexpr int32_t FAR_OUTSIDE = 1 << 30;

// A drawing target as the blits see it: the first pixel of row 0 and the clip rectangle
// (columns 0..width-1, rows 0..height-1).
struct Target {
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    int32_t bytes_per_pixel = 0;
    bool is_screen = false;
};

Target target_of(Image image) {
    Target t;
    if (image == nullptr) {
        const ScreenPage page = screen_page();
        t.pixels = reinterpret_cast<uint8_t*>(page.pixels);
        t.width = page.width;
        t.height = page.height;
        t.pitch = page.pitch;
        t.bytes_per_pixel = page.bytes_per_pixel;
        t.is_screen = true;
    } else {
        t.pixels = reinterpret_cast<uint8_t*>(image + 1);
        t.width = image->width;
        t.height = image->height;
        t.pitch = image->pitch;
        t.bytes_per_pixel = image->bytes_per_pixel;
    }
    return t;
}

int64_t round_up_pitch(int64_t row_bytes) {
    return (row_bytes + PITCH_ALIGNMENT - 1) / PITCH_ALIGNMENT * PITCH_ALIGNMENT;
}

// Fills `bytes` bytes with the low bytes_per_pixel bytes of fill, pixel after pixel.
void fill_pixels(uint8_t* pixels, int64_t bytes, int32_t bytes_per_pixel, uint32_t fill) {
    const auto count = static_cast<size_t>(bytes / bytes_per_pixel);
    switch (bytes_per_pixel) {
    case 4: std::fill_n(reinterpret_cast<uint32_t*>(pixels), count, fill); break;
    case 2:
        std::fill_n(reinterpret_cast<uint16_t*>(pixels), count, static_cast<uint16_t>(fill));
        break;
    default: std::memset(pixels, static_cast<uint8_t>(fill), count); break;
    }
}

}  // namespace

int32_t round_coord(float v) {
    // In double, v +- 0.5 is exact for every float this can return (|v| < 2^30), so
    // 0.49999997 stays below 1 and 8388609 stays odd.
    const double d = v;
    if (std::isnan(d)) return -FAR_OUTSIDE;
    const double shifted = d > 0 ? d + 0.5 : d - 0.5;
    if (shifted >= FAR_OUTSIDE) return FAR_OUTSIDE;
    if (shifted <= -FAR_OUTSIDE) return -FAR_OUTSIDE;
    return static_cast<int32_t>(shifted);  // truncates toward zero
}

Image create_image(int32_t width, int32_t height, uint32_t fill, int32_t depth, int32_t flags) {
    if (!screen_is_open() || width <= 0 || height <= 0) return nullptr;

    // (depth + 7) / 8 in 64 bits: depth near INT32_MAX must not overflow.
    const int64_t bytes_per_pixel =
        depth <= 0 ? screen_page().bytes_per_pixel : (static_cast<int64_t>(depth) + 7) / 8;
    if (bytes_per_pixel != 1 && bytes_per_pixel != 2 && bytes_per_pixel != 4) return nullptr;

    const int64_t pitch = round_up_pitch(width * bytes_per_pixel);
    if (pitch > INT32_MAX) return nullptr;
    // height * pitch < 2^62: no overflow; the block must also fit the address space.
    const int64_t pixel_bytes = height * pitch;
    const int64_t block_bytes = HEADER_BYTES + pixel_bytes;
    // The allocation: prefix, block, rounded up to whole cache lines for aligned_alloc.
    const int64_t allocated_bytes =
        (static_cast<int64_t>(sizeof(BlockPrefix)) + block_bytes + ROW_ALIGNMENT - 1) /
        ROW_ALIGNMENT * ROW_ALIGNMENT;
    if (static_cast<uint64_t>(allocated_bytes) > static_cast<uint64_t>(PTRDIFF_MAX)) return nullptr;

    auto* prefix = static_cast<BlockPrefix*>(
        std::aligned_alloc(ROW_ALIGNMENT, static_cast<size_t>(allocated_bytes)));
    if (prefix == nullptr) return nullptr;
    std::memset(prefix, 0, sizeof(BlockPrefix));
    prefix->block_bytes = block_bytes;

    auto* image = reinterpret_cast<ImageHeader*>(prefix + 1);
    std::memset(image, 0, sizeof(ImageHeader));
    image->type = IMAGE_TYPE;
    image->bytes_per_pixel = static_cast<int32_t>(bytes_per_pixel);
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int32_t>(pitch);

    // The default fill is flag bit 31; the fill argument is otherwise taken as it is, alpha
    // byte included. Padding pixels are filled too.
    const uint32_t value = (flags & IMAGE_DEFAULT_FILL) != 0 ? DEFAULT_IMAGE_COLOR : fill;
    fill_pixels(reinterpret_cast<uint8_t*>(image + 1), pixel_bytes, image->bytes_per_pixel, value);
    return image;
}

void destroy_image(Image image) {
    if (image != nullptr) std::free(prefix_of(image));
}

int put_image(Image target, float x, float y, Image source, blit_mode mode, int32_t alpha) {
    if (!screen_is_open() || source == nullptr) return 1;
    // A picture blitted onto itself would read pixels it has already written (memcpy of
    // overlapping rows is undefined); the game never asks for it, so it is refused.
    if (source == target) return 1;

    int64_t px = round_coord(x);
    int64_t py = round_coord(y);
    const Target t = target_of(target);
    int64_t w = source->width;
    int64_t h = source->height;
    const int32_t src_pitch = source->pitch;
    if (source->bytes_per_pixel != t.bytes_per_pixel) return 1;
    const RowRoutine routine = find_row_routine(mode, t.bytes_per_pixel);
    if (routine == nullptr) return 1;  // a mode or pixel size without a routine

    // Clip once, in 64 bits: px + w cannot overflow whatever the coordinates and sizes.
    if (w <= 0 || h <= 0 || px + w <= 0 || px >= t.width || py + h <= 0 || py >= t.height) return 0;
    int64_t skip_rows = 0;
    int64_t skip_columns = 0;
    if (py < 0) {
        skip_rows = -py;
        h -= skip_rows;
        py = 0;
    }
    h = std::min(h, t.height - py);
    if (px < 0) {
        skip_columns = -px;
        w -= skip_columns;
        px = 0;
    }
    w = std::min(w, t.width - px);

    const uint8_t* first_source = reinterpret_cast<const uint8_t*>(source + 1) +
                                  skip_rows * src_pitch + skip_columns * t.bytes_per_pixel;
    uint8_t* first_target = t.pixels + py * t.pitch + px * t.bytes_per_pixel;

    CallLock guard;  // taken for the call unless the caller holds the lock, whatever the target
    routine(first_source, first_target, static_cast<int32_t>(w), static_cast<int32_t>(h), src_pitch,
            t.pitch, alpha);
    if (t.is_screen) mark_rows_changed(static_cast<int>(py), static_cast<int>(py + h - 1));
    return 0;
}

int copy_region(Image source, float x1, float y1, float x2, float y2, Image destination) {
    if (!screen_is_open() || destination == nullptr) return 1;

    int64_t left = round_coord(x1);
    int64_t top = round_coord(y1);
    int64_t right = round_coord(x2);
    int64_t bottom = round_coord(y2);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);

    const Target s = target_of(source);
    if (left < 0 || top < 0 || right >= s.width || bottom >= s.height) return 1;

    const int64_t w = right - left + 1;
    const int64_t h = bottom - top + 1;
    const int64_t row_bytes = w * s.bytes_per_pixel;
    const int64_t pitch = round_up_pitch(row_bytes);
    // The block holds what create_image made it for, whatever its header says now (an
    // earlier copy may have shrunk it); a rectangle that needs more would write past the
    // block, so it is refused like one outside the source.
    if (HEADER_BYTES + h * pitch > prefix_of(destination)->block_bytes) return 1;

    CallLock guard;  // taken for the call unless the caller holds the lock, whatever the source
    destination->type = IMAGE_TYPE;
    destination->bytes_per_pixel = s.bytes_per_pixel;
    destination->width = static_cast<int32_t>(w);
    destination->height = static_cast<int32_t>(h);
    destination->pitch = static_cast<int32_t>(pitch);

    // memmove: a picture copied into itself has its rows moved up and left, each row's new
    // place lying before its old one, so rows taken in order never overwrite unread ones.
    const uint8_t* from = s.pixels + top * s.pitch + left * s.bytes_per_pixel;
    auto* to = reinterpret_cast<uint8_t*>(destination + 1);
    for (int64_t row = 0; row < h; ++row, from += s.pitch, to += pitch)
        std::memmove(to, from, static_cast<size_t>(row_bytes));
    return 0;
}
