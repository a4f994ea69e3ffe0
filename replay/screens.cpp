// A coded page is a sequence of (count varint, pixel 4 bytes little-endian) covering the
// 480 x 320 pixels row by row exactly. The sidecar file: "MWRS", version 1, a varint count
// of pictures, then per picture its frame (varint) and its coded page (varint length and
// bytes), and a CRC-32 of all before it.
#include "replay/screens.h"

#include <algorithm>

#include "game/play.h"
#include "gfx/image.h"
#include "replay/replay_file.h"

namespace {

constexpr size_t PAGE_PIXELS = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT;
constexpr size_t MAX_PICTURES = 10000;

void put_varint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool get_varint(const std::string& in, size_t& at, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 63 && at < in.size(); shift += 7) {
        const auto b = static_cast<uint8_t>(in[at++]);
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) return true;
    }
    return false;
}

void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t get_u32(const std::string& in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return v;
}

// The page's pixels decoded, or false when the coding does not give exactly one page.
bool decode_page(const std::string& coded, std::vector<uint32_t>& page) {
    page.clear();
    page.reserve(PAGE_PIXELS);
    size_t at = 0;
    while (at < coded.size()) {
        uint64_t count = 0;
        if (!get_varint(coded, at, count) || count == 0 || count > PAGE_PIXELS - page.size() ||
            coded.size() - at < 4) {
            return false;
        }
        page.insert(page.end(), static_cast<size_t>(count), get_u32(coded, at));
        at += 4;
    }
    return page.size() == PAGE_PIXELS;
}

}  // namespace

std::string capture_screen() {
    const Image copy = create_image(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 0);
    if (copy == nullptr) return {};
    std::string out;
    if (copy_region(nullptr, 0.0f, 0.0f, SCREEN_WIDTH - 1.0f, SCREEN_HEIGHT - 1.0f, copy) == 0) {
        uint32_t current = image_row(copy, 0)[0];
        uint64_t count = 0;
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            const uint32_t* row = image_row(copy, y);
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                if (row[x] != current) {
                    put_varint(out, count);
                    put_u32(out, current);
                    current = row[x];
                    count = 0;
                }
                ++count;
            }
        }
        put_varint(out, count);
        put_u32(out, current);
    }
    destroy_image(copy);
    return out;
}

bool show_screen(const std::string& coded) {
    std::vector<uint32_t> page;
    if (!decode_page(coded, page)) return false;
    const Image picture = create_image(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 0);
    if (picture == nullptr) return false;
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        std::copy_n(page.begin() + static_cast<ptrdiff_t>(y) * SCREEN_WIDTH, SCREEN_WIDTH, image_row(picture, y));
    }
    const bool shown = put_image(nullptr, 0.0f, 0.0f, picture, blit_mode::copy, -1) == 0;
    destroy_image(picture);
    return shown;
}

std::string encode_screens(const ScreenPictures& pictures) {
    std::string out = "MWRS";
    out.push_back(1);
    put_varint(out, pictures.size());
    for (const ScreenPicture& p : pictures) {
        put_varint(out, static_cast<uint64_t>(p.frame));
        put_varint(out, p.pixels.size());
        out += p.pixels;
    }
    put_u32(out, replay_crc32(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
    return out;
}

bool decode_screens(const std::string& bytes, ScreenPictures& pictures) {
    if (bytes.size() < 9 || bytes.compare(0, 4, "MWRS") != 0 || bytes[4] != 1) return false;
    const size_t end = bytes.size() - 4;
    if (replay_crc32(reinterpret_cast<const uint8_t*>(bytes.data()), end) != get_u32(bytes, end)) return false;
    const std::string body = bytes.substr(0, end);
    size_t at = 5;
    uint64_t count = 0;
    if (!get_varint(body, at, count) || count > MAX_PICTURES) return false;
    ScreenPictures read;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t frame = 0, length = 0;
        if (!get_varint(body, at, frame) || frame > static_cast<uint64_t>(REPLAY_MAX_FRAMES) ||
            !get_varint(body, at, length) || length > body.size() - at) {
            return false;
        }
        read.push_back({static_cast<int32_t>(frame), body.substr(at, static_cast<size_t>(length))});
        at += static_cast<size_t>(length);
    }
    if (at != body.size()) return false;
    pictures = std::move(read);
    return true;
}
