// Reads BMP pictures (uncompressed, bottom-up, 1, 4, 8, 24 or 32 bits per pixel) into an
// existing image buffer, cut to its size. Trusts nothing in the file: every offset and
// size is checked against the bytes that are really there before it is used.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gfx/draw.h"
#include "platform/screen.h"

namespace {

constexpr size_t HEADERS_SIZE = 54;     // 14-byte file header + 40-byte information header
constexpr int32_t INFO_HEADER_SIZE = 40;
constexpr size_t MAX_PALETTE = 256;     // entries beyond these are ignored
constexpr uint32_t MISSING_PALETTE_COLOUR = 0xFF000000u;  // index past the supplied entries
constexpr size_t READ_CHUNK = 1 << 16;  // bytes read from a file at a time

// Results of the loader.
constexpr int LOADED = 0;
constexpr int REFUSED = 1;      // no screen, a 15/16-bit file, a target it cannot fill
constexpr int CANNOT_OPEN = 2;
constexpr int DAMAGED = 3;      // not a BMP, a header it cannot read, or cut short

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
int32_t get_i32(const uint8_t* p) { return static_cast<int32_t>(get_u32(p)); }

// The fields of the two headers the loader uses.
struct BmpInfo {
    uint32_t pixel_offset = 0;  // bytes from the start of the file to the bottom row
    int32_t width = 0;          // pixels per row
    int32_t height = 0;         // rows, stored bottom row first
    uint16_t bits = 0;          // bits per pixel
    uint32_t compression = 0;   // 0: none
};

// LOADED when the headers describe a picture the loader can read into `info`; otherwise
// the result to give. Expects at least HEADERS_SIZE bytes.
int read_headers(const uint8_t* data, BmpInfo& info) {
    if (data[0] != 'B' || data[1] != 'M' || get_i32(data + 14) != INFO_HEADER_SIZE) return DAMAGED;
    info.pixel_offset = get_u32(data + 10);
    info.width = get_i32(data + 18);
    info.height = get_i32(data + 22);
    info.bits = get_u16(data + 28);
    info.compression = get_u32(data + 30);
    if (info.bits == 15 || info.bits == 16) return REFUSED;
    if (info.bits != 1 && info.bits != 4 && info.bits != 8 && info.bits != 24 && info.bits != 32) return DAMAGED;
    // Compressed and bit-field files are not supported; a top-down file (negative height)
    // is not read; the pixels cannot start inside the headers.
    if (info.compression != 0 || info.width < 0 || info.height < 0 || info.pixel_offset < HEADERS_SIZE)
        return DAMAGED;
    return LOADED;
}

// Bytes per stored row: whole bytes, padded to a multiple of 4. At most 2^33 + 3.
uint64_t row_bytes(const BmpInfo& info) {
    return (static_cast<uint64_t>(info.width) * info.bits + 31) / 32 * 4;
}

// How much of a file the loader can use: the headers, palette and every row. Saturates
// instead of overflowing, for headers that claim more than any file holds.
uint64_t bytes_used(const uint8_t* headers, size_t size) {
    BmpInfo info;
    if (size < HEADERS_SIZE || read_headers(headers, info) != LOADED) return HEADERS_SIZE;
    const uint64_t per_row = row_bytes(info);
    const uint64_t rows = static_cast<uint64_t>(info.height);
    if (per_row != 0 && rows > (UINT64_MAX - info.pixel_offset) / per_row) return UINT64_MAX;
    return info.pixel_offset + rows * per_row;
}

// The palette between the headers and the pixels, at most MAX_PALETTE entries of blue,
// green, red, reserved; every index it does not supply reads as MISSING_PALETTE_COLOUR.
void read_palette(const uint8_t* data, size_t size, const BmpInfo& info, uint32_t (&palette)[MAX_PALETTE]) {
    std::fill(std::begin(palette), std::end(palette), MISSING_PALETTE_COLOUR);
    const size_t end = std::min<size_t>(info.pixel_offset, size);  // pixel_offset >= HEADERS_SIZE
    const size_t entries = std::min((end - HEADERS_SIZE) / 4, MAX_PALETTE);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* e = data + HEADERS_SIZE + 4 * i;
        palette[i] = 0xFF000000u | static_cast<uint32_t>(e[2]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[0];
    }
}

// Converts the first `count` pixels of one stored row into 32-bit pixels.
void convert_row(const uint8_t* src, int bits, int64_t count, const uint32_t (&palette)[MAX_PALETTE],
                 uint32_t* dst) {
    switch (bits) {
    case 1:  // most significant bit first
        for (int64_t x = 0; x < count; ++x) dst[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:  // high nibble first
        for (int64_t x = 0; x < count; ++x) dst[x] = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
        break;
    case 8:
        for (int64_t x = 0; x < count; ++x) dst[x] = palette[src[x]];
        break;
    case 24:  // blue, green, red
        for (int64_t x = 0; x < count; ++x) {
            const uint8_t* p = src + 3 * x;
            dst[x] = 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
        }
        break;
    default:  // 32: blue, green, red and the fourth byte as alpha, as stored
        for (int64_t x = 0; x < count; ++x) dst[x] = get_u32(src + 4 * x);
        break;
    }
}

// Rows of the target as the loader writes them; false for a target it cannot fill.
struct TargetRows {
    uint8_t* pixels = nullptr;
    int64_t pitch = 0;
    int64_t width = 0;
    int64_t height = 0;
    bool is_screen = false;
};

bool get_target_rows(Image target, TargetRows& t) {
    if (target == nullptr) {
        const ScreenPage page = screen_page();
        if (page.pixels == nullptr || page.bytes_per_pixel != 4) return false;
        t = {reinterpret_cast<uint8_t*>(page.pixels), page.pitch, page.width, page.height, true};
    } else {
        if (target->bytes_per_pixel != 4) return false;
        t = {reinterpret_cast<uint8_t*>(target + 1), target->pitch, target->width, target->height, false};
    }
    return true;
}

// Reads the file, or as much of it as the loader can use; false when it cannot be read.
bool read_file(std::FILE* file, std::vector<uint8_t>& data) {
    data.resize(HEADERS_SIZE);
    size_t have = std::fread(data.data(), 1, HEADERS_SIZE, file);
    if (std::ferror(file)) return false;  // a directory, for one
    const uint64_t wanted = bytes_used(data.data(), have);
    while (have == data.size() && have < wanted) {
        // Grow by what has arrived (and at most READ_CHUNK), so memory follows the file's
        // real length whatever its headers claim.
        const size_t step = static_cast<size_t>(std::min<uint64_t>(READ_CHUNK, wanted - have));
        data.resize(have + step);
        have += std::fread(data.data() + have, 1, step, file);
        if (std::ferror(file)) return false;
    }
    data.resize(have);
    return true;
}

}  // namespace

int load_bitmap_bytes(const uint8_t* data, size_t size, Image target) {
    // The raw memory-image kinds (first byte 0xFD or 0xFE) are not supported either.
    if (size == 0 || data[0] != 'B') return DAMAGED;
    if (!screen_is_open()) return REFUSED;
    if (size < HEADERS_SIZE) return DAMAGED;
    BmpInfo info;
    const int header_result = read_headers(data, info);
    if (header_result != LOADED) return header_result;

    CallLock guard;
    TargetRows t;
    if (!get_target_rows(target, t)) return REFUSED;
    if (info.width == 0 || info.height == 0) return LOADED;  // an empty picture

    uint32_t palette[MAX_PALETTE];
    read_palette(data, size, info, palette);

    // Stored row r holds picture row height - 1 - r; rows at or below the target's bottom
    // are dropped, and only the rows the file holds whole are read.
    const uint64_t per_row = row_bytes(info);
    const uint64_t rows_in_file = size > info.pixel_offset ? (size - info.pixel_offset) / per_row : 0;
    const int64_t height = info.height;
    const int64_t rows_read = static_cast<int64_t>(std::min<uint64_t>(rows_in_file, static_cast<uint64_t>(height)));
    const int64_t columns = std::min<int64_t>(info.width, t.width);
    const int64_t first_row = std::max<int64_t>(height - t.height, 0);
    if (columns > 0) {
        for (int64_t r = first_row; r < rows_read; ++r) {
            const int64_t y = height - 1 - r;
            const uint8_t* src = data + info.pixel_offset + static_cast<uint64_t>(r) * per_row;
            convert_row(src, info.bits, columns, palette, reinterpret_cast<uint32_t*>(t.pixels + y * t.pitch));
        }
        if (t.is_screen && first_row < rows_read)
            mark_rows_changed(static_cast<int>(height - rows_read), static_cast<int>(height - 1 - first_row));
    }
    return rows_in_file >= static_cast<uint64_t>(height) ? LOADED : DAMAGED;
}

int load_bitmap(const std::string& file_name, Image target) {
    // Opened without blocking and read only when it is a regular file: a FIFO or a device of
    // that name must not hold the start-up for ever.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return CANNOT_OPEN;
    struct stat st;
    std::FILE* file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        return CANNOT_OPEN;
    }
    std::vector<uint8_t> data;
    const bool read = read_file(file, data);
    std::fclose(file);
    if (!read) return CANNOT_OPEN;
    return load_bitmap_bytes(data.data(), data.size(), target);
}
