// Image buffers and the blit: create_image's layout and rules, coordinate rounding,
// clipping, the four modes' worked values, copy_region, row flags and the screen lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

#include "gfx/image.h"
#include "platform/core.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "platform/screen.h"

namespace {

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
    }
    void TearDown() override {
        for (Image image : images_) destroy_image(image);
    }
    // An image freed at the end of the test.
    Image make(int32_t w, int32_t h, uint32_t fill = 0xFF000000u) {
        Image image = create_image(w, h, fill, 0, 0);
        EXPECT_NE(image, nullptr);
        images_.push_back(image);
        return image;
    }
    std::vector<Image> images_;
};

uint32_t pixel(Image image, int x, int y) { return image_row(image, y)[x]; }
void set_pixel(Image image, int x, int y, uint32_t v) { image_row(image, y)[x] = v; }

// The whole block of an image buffer, header and every row with its padding.
std::vector<uint8_t> block_of(Image image) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(image);
    return {bytes, bytes + sizeof(ImageHeader) + static_cast<size_t>(image->height) * image->pitch};
}

// ---- create_image ----

TEST_F(ImageTest, PitchIsRowBytesRoundedUpTo16) {
    const struct {
        int32_t width, pitch;
    } cases[] = {{480, 1920}, {16, 64}, {640, 2560}, {1, 16}, {5, 32}, {4, 16}, {3, 16}};
    for (const auto& c : cases) {
        Image image = make(c.width, 2);
        EXPECT_EQ(image->pitch, c.pitch) << "width " << c.width;
    }
}

TEST_F(ImageTest, DefaultFillCoversEveryPixelAndThePadding) {
    Image image = create_image(16, 18, 0, 0, static_cast<int32_t>(0x80000000u));
    ASSERT_NE(image, nullptr);
    images_.push_back(image);
    EXPECT_EQ(image->type, 7u);
    EXPECT_EQ(image->bytes_per_pixel, 4);
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->height, 18);
    EXPECT_EQ(image->pitch, 64);
    // 32 + 18 * 64 bytes: the rows follow the 32-byte header.
    const auto* pixels =
        reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(image) + 32);
    for (int i = 0; i < 18 * 64 / 4; ++i) ASSERT_EQ(pixels[i], 0xFFFF00FFu) << "value " << i;

    Image padded = create_image(5, 3, 0x12345678u, 0, static_cast<int32_t>(0x80000000u));
    images_.push_back(padded);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(pixel(padded, x, y), 0xFFFF00FFu);  // 3 padding pixels
}

TEST_F(ImageTest, FillColourIsTakenWithItsAlphaByte) {
    EXPECT_EQ(pixel(make(3, 2, 0xFFFFFFFFu), 2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(make(3, 2, 0u), 0, 0), 0x00000000u);
    EXPECT_EQ(pixel(make(3, 2, 0x00FF00FFu), 3, 1), 0x00FF00FFu);  // padding too
}

// Row 0 on a cache line, like the screen page, so the widest vector steps start aligned;
// every row when the pitch is a multiple of 64 (width 480), and on 16 bytes always.
TEST_F(ImageTest, RowsAreSixteenByteAlignedAndRowZeroOnACacheLine) {
    for (int32_t w : {1, 5, 16, 480}) {
        Image image = make(w, 3);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image_row(image, 0)) % 64, 0u) << w;
        const uintptr_t alignment = w % 16 == 0 ? 64 : 16;
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(reinterpret_cast<uintptr_t>(image_row(image, y)) % alignment, 0u);
    }
}

TEST_F(ImageTest, RefusesEmptyAndImpossibleSizes) {
    EXPECT_EQ(create_image(0, 18, 0, 0, 0), nullptr);
    EXPECT_EQ(create_image(16, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(create_image(-16, 18, 0, 0, 0), nullptr);
    EXPECT_EQ(create_image(16, -1, 0, 0, 0), nullptr);
    // Pitches beyond 32 bits, and blocks beyond any address space: null, no overflow.
    EXPECT_EQ(create_image(std::numeric_limits<int32_t>::max(), 1, 0, 0, 0), nullptr);
    EXPECT_EQ(create_image(1 << 29, 1, 0, 0, 0), nullptr);
    EXPECT_EQ(create_image(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                           0, 0, 0),
              nullptr);
}

TEST_F(ImageTest, DepthPicksBytesPerPixel) {
    const struct {
        int32_t depth, bytes;  // 0: refused
    } cases[] = {{0, 4},  {-8, 4}, {1, 1},  {8, 1},
                 {9, 2},  {16, 2}, {15, 2}, {32, 4},
                 {24, 0}, {17, 0}, {64, 0}, {std::numeric_limits<int32_t>::max(), 0}};
    for (const auto& c : cases) {
        Image image = create_image(5, 2, 0xA1B2C3D4u, c.depth, 0);
        if (c.bytes == 0) {
            EXPECT_EQ(image, nullptr) << "depth " << c.depth;
            continue;
        }
        ASSERT_NE(image, nullptr) << "depth " << c.depth;
        images_.push_back(image);
        EXPECT_EQ(image->bytes_per_pixel, c.bytes) << "depth " << c.depth;
        EXPECT_EQ(image->pitch, 16 * ((5 * c.bytes + 15) / 16));
        // Small pixels hold the low bytes of the fill; the block is not overrun.
        const auto* first = reinterpret_cast<const uint8_t*>(image + 1);
        EXPECT_EQ(first[0], 0xD4);
        if (c.bytes >= 2) {
            EXPECT_EQ(first[1], 0xC3);
        }
    }
}

TEST(ImageNoScreen, NothingWorksBeforeTheScreenOpens) {
    headless_reset();
    EXPECT_EQ(create_image(16, 18, 0, 0, static_cast<int32_t>(0x80000000u)), nullptr);
    ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
    Image a = create_image(4, 4, 0xFF000000u, 0, 0);
    Image b = create_image(4, 4, 0xFFFFFFFFu, 0, 0);
    headless_reset();  // closes the screen; the images stay ours
    EXPECT_EQ(put_image(a, 0, 0, b, blit_mode::copy, -1), 1);
    EXPECT_EQ(copy_region(b, 0, 0, 1, 1, a), 1);
    EXPECT_EQ(pixel(a, 0, 0), 0xFF000000u);
    EXPECT_EQ(a->width, 4);
    destroy_image(a);
    destroy_image(b);
    destroy_image(nullptr);
}

// ---- round_coord ----

TEST(RoundCoord, HalvesGoAwayFromZero) {
    const struct {
        float v;
        int32_t expected;
    } cases[] = {{2.5f, 3},
                 {-2.5f, -3},
                 {0.49f, 0},
                 {-0.5f, -1},
                 {-0.4f, 0},
                 {0.5f, 1},
                 {0.0f, 0},
                 {-0.0f, 0},
                 {1.5f, 2},
                 {-1.49f, -1},
                 {319.5f, 320},
                 {0.49999997f, 0},
                 {-0.49999997f, 0},
                 {8388609.0f, 8388609},
                 {-8388609.0f, -8388609},
                 {1e9f, 1000000000}};
    for (const auto& c : cases) EXPECT_EQ(round_coord(c.v), c.expected) << c.v;
}

TEST(RoundCoord, OutOfRangeAndNanLandFarOutside) {
    const int32_t far = 1 << 30;
    EXPECT_GE(round_coord(1e30f), far);
    EXPECT_GE(round_coord(std::numeric_limits<float>::infinity()), far);
    EXPECT_GE(round_coord(3e9f), far);
    EXPECT_LE(round_coord(-1e30f), -far);
    EXPECT_LE(round_coord(-std::numeric_limits<float>::infinity()), -far);
    EXPECT_LE(round_coord(-3e9f), -far);
    const int32_t nan = round_coord(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(nan >= far || nan <= -far) << nan;
}

// ---- put_image: the four modes' worked values ----

struct ModeCase {
    const char* what;
    blit_mode mode;
    int32_t alpha;
    uint32_t source, destination, expected;
};

const ModeCase MODE_CASES[] = {
    {"blend white over black, alpha 50", blit_mode::blend, 50, 0xFFFFFFFFu, 0xFF000000u,
     0xFF323232u},
    {"blend transparent black over white, alpha 50", blit_mode::blend, 50, 0x00000000u, 0xFFFFFFFFu,
     0xCCCCCCCCu},
    {"blend alpha 255 copies a non-key pixel", blit_mode::blend, 255, 0x12345678u, 0xFFABCDEFu,
     0x12345678u},
    {"blend alpha 255 skips the opaque key", blit_mode::blend, 255, 0xFFFF00FFu, 0xFF102030u,
     0xFF102030u},
    {"blend skips the key with alpha 0", blit_mode::blend, 50, 0x00FF00FFu, 0xFF102030u,
     0xFF102030u},
    {"blend skips the key with another alpha", blit_mode::blend, 50, 0x7FFF00FFu, 0x00000000u,
     0x00000000u},
    {"blend near-key is mixed", blit_mode::blend, 255, 0xFFFF00FEu, 0u, 0xFFFF00FEu},
    {"alpha backing tile over black", blit_mode::alpha, -1, 0x96FFFFFFu, 0xFF000000u, 0xC1959595u},
    {"alpha 255 white over black", blit_mode::alpha, -1, 0xFFFFFFFFu, 0xFF000000u, 0xFFFEFEFEu},
    {"alpha 255 black over white", blit_mode::alpha, -1, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u},
    {"alpha 0 changes nothing", blit_mode::alpha, -1, 0x00FFFFFFu, 0x80402010u, 0x80402010u},
    {"alpha mixes the key colour too", blit_mode::alpha, -1, 0xFFFF00FFu, 0xFF000000u, 0xFFFE00FEu},
    {"transparent skips 0x00FF00FF", blit_mode::transparent, -1, 0x00FF00FFu, 0xFF123456u,
     0xFF123456u},
    {"transparent skips 0xFFFF00FF", blit_mode::transparent, -1, 0xFFFF00FFu, 0xFF123456u,
     0xFF123456u},
    {"transparent clears the alpha byte", blit_mode::transparent, -1, 0xFFFF00FEu, 0xFF123456u,
     0x00FF00FEu},
    {"transparent writes black as 0", blit_mode::transparent, -1, 0xFF000000u, 0xFF123456u,
     0x00000000u},
    {"copy takes all 32 bits, key too", blit_mode::copy, -1, 0xFFFF00FFu, 0xFF123456u, 0xFFFF00FFu},
    {"copy takes a zero alpha byte", blit_mode::copy, -1, 0x00ABCDEFu, 0xFF123456u, 0x00ABCDEFu},
};

class ModeTest : public ImageTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeTest, OnePixelOntoAnImageAndTheScreen) {
    const ModeCase& c = GetParam();
    Image source = make(1, 1, c.source);
    Image target = make(1, 1, c.destination);
    EXPECT_EQ(put_image(target, 0, 0, source, c.mode, c.alpha), 0);
    EXPECT_EQ(pixel(target, 0, 0), c.expected);

    Image page_pixel = make(1, 1, c.destination);
    EXPECT_EQ(put_image(nullptr, 7, 9, page_pixel, blit_mode::copy, -1), 0);
    EXPECT_EQ(put_image(nullptr, 7, 9, source, c.mode, c.alpha), 0);
    EXPECT_EQ(headless_pixel(7, 9), c.expected);
}

INSTANTIATE_TEST_SUITE_P(WorkedValues, ModeTest, ::testing::ValuesIn(MODE_CASES));

// ---- put_image: placement and clipping ----

TEST_F(ImageTest, HalfCoordinatesPlaceTheImageAwayFromZero) {
    Image source = make(3, 1, 0xFFFFFFFFu);
    set_pixel(source, 0, 0, 0xFF000001u);
    const struct {
        float x;
        int first_column;
    } cases[] = {{0.5f, 1}, {-0.5f, -1}, {-0.4f, 0}, {1.49f, 1}, {1.5f, 2}};
    for (const auto& c : cases) {
        Image target = make(6, 1, 0xFF000000u);
        ASSERT_EQ(put_image(target, c.x, 0, source, blit_mode::copy, -1), 0);
        for (int x = 0; x < 6; ++x) {
            const int sx = x - c.first_column;
            const uint32_t expected = sx < 0 || sx >= 3 ? 0xFF000000u : pixel(source, sx, 0);
            EXPECT_EQ(pixel(target, x, 0), expected) << "x " << c.x << " column " << x;
        }
    }
}

TEST_F(ImageTest, ScrollingPairCoversEveryColumnOnce) {
    // The backdrop's two blits: source columns s + 1..479 at 0..478 - s, then 0..s at
    // 479 - s..479. Each is checked alone against an untouched marker, so together they
    // cover each column exactly once.
    const uint32_t UNTOUCHED = 0x01020304u;
    Image source = make(480, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 480; ++x)
            set_pixel(source, x, y, 0xFF000000u + static_cast<uint32_t>(y * 1000 + x));
    Image first = make(480, 2, UNTOUCHED);
    Image second = make(480, 2, UNTOUCHED);
    for (int s = 0; s < 480; ++s) {
        for (Image t : {first, second})
            for (int y = 0; y < 2; ++y) std::fill_n(image_row(t, y), 480, UNTOUCHED);
        ASSERT_EQ(put_image(first, static_cast<float>(-1 - s), 0, source, blit_mode::copy, -1), 0);
        ASSERT_EQ(put_image(second, static_cast<float>(479 - s), 0, source, blit_mode::copy, -1),
                  0);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 480; ++x) {
                const bool from_first = x <= 478 - s;
                const uint32_t a = pixel(first, x, y);
                const uint32_t b = pixel(second, x, y);
                const uint32_t want_first = from_first ? pixel(source, x + s + 1, y) : UNTOUCHED;
                const uint32_t want_second =
                    from_first ? UNTOUCHED : pixel(source, x - (479 - s), y);
                if (a != want_first || b != want_second) {
                    FAIL() << "s " << s << " column " << x << " row " << y;
                }
            }
        }
    }
}

TEST_F(ImageTest, BlitsWhollyOutsideDrawNothing) {
    Image source = make(480, 320, 0xFFFFFFFFu);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float x, y;
    } cases[] = {{-480, 0},      {480, 0},           {-1000, 0},         {0, -320},   {0, 320},
                 {479.5f, 0},    {-479.5f, 0},       {1e30f, 0},         {-1e30f, 0}, {0, 1e30f},
                 {0, -1e30f},    {nan, 0},           {0, nan},           {inf, -inf}, {3e9f, 3e9f},
                 {-3e9f, -3e9f}, {2147483520.0f, 0}, {-2147483648.0f, 0}};
    for (const auto& c : cases) {
        headless_clear_row_flags();
        for (blit_mode mode :
             {blit_mode::copy, blit_mode::transparent, blit_mode::alpha, blit_mode::blend})
            EXPECT_EQ(put_image(nullptr, c.x, c.y, source, mode, 50), 0) << c.x << ", " << c.y;
        for (int y = 0; y < 320; ++y) ASSERT_FALSE(headless_row_changed(y)) << c.x << ", " << c.y;
        for (int y = 0; y < 320; y += 53)
            for (int x = 0; x < 480; x += 47) ASSERT_EQ(headless_pixel(x, y), 0xFF000000u);
    }
}

TEST_F(ImageTest, ClippingOnEverySideKeepsSourceAndTargetInStep) {
    const struct {
        float x, y;
    } cases[] = {{-2, -3}, {5, 6}, {-2, 5}, {5, -3}, {-9, 1}, {2, -9}, {-3, -3}, {1, 2}};
    for (const auto& c : cases) {
        Image source = make(7, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 7; ++x)
                set_pixel(source, x, y, 0xFF000000u + static_cast<uint32_t>(y * 16 + x + 1));
        // Target 9 wide: pitch 48, so 3 padding pixels per row that no blit may touch.
        Image target = make(9, 8, 0xAAAAAAAAu);
        const int px = static_cast<int>(c.x), py = static_cast<int>(c.y);
        EXPECT_EQ(put_image(target, c.x, c.y, source, blit_mode::copy, -1), 0);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 12; ++x) {
                const int sx = x - px, sy = y - py;
                const bool inside = x < 9 && sx >= 0 && sx < 7 && sy >= 0 && sy < 6;
                const uint32_t want =
                    inside ? 0xFF000000u + static_cast<uint32_t>(sy * 16 + sx + 1) : 0xAAAAAAAAu;
                EXPECT_EQ(pixel(target, x, y), want)
                    << "at " << c.x << "," << c.y << " pixel " << x << "," << y;
            }
        }
    }
}

TEST_F(ImageTest, RefusesMismatchedPixelSizesAndSelfBlits) {
    Image small = create_image(4, 4, 0x11u, 8, 0);
    ASSERT_NE(small, nullptr);
    images_.push_back(small);
    Image target = make(4, 4, 0xFF000000u);
    EXPECT_EQ(put_image(target, 0, 0, small, blit_mode::copy, -1), 1);
    EXPECT_EQ(put_image(small, 0, 0, target, blit_mode::copy, -1), 1);
    EXPECT_EQ(put_image(nullptr, 0, 0, small, blit_mode::copy, -1), 1);
    EXPECT_EQ(pixel(target, 0, 0), 0xFF000000u);
    EXPECT_EQ(put_image(target, 1, 1, target, blit_mode::copy, -1), 1);
    EXPECT_EQ(put_image(target, 0, 0, nullptr, blit_mode::copy, -1), 1);
    EXPECT_EQ(put_image(target, 0, 0, target, static_cast<blit_mode>(7), -1), 1);
    // Same-sized small pixels are copied in every mode.
    Image small_target = create_image(4, 4, 0x22u, 8, 0);
    images_.push_back(small_target);
    EXPECT_EQ(put_image(small_target, 1, 0, small, blit_mode::blend, 50), 0);
    const auto* row = reinterpret_cast<const uint8_t*>(small_target + 1);
    EXPECT_EQ(row[0], 0x22);
    EXPECT_EQ(row[1], 0x11);
    EXPECT_EQ(row[3], 0x11);
    EXPECT_EQ(row[4], 0x22);  // padding
}

TEST_F(ImageTest, ScreenBlitsMarkTheirRowsOnly) {
    Image source = make(4, 3, 0xFFFFFFFFu);
    headless_clear_row_flags();
    EXPECT_EQ(put_image(nullptr, 10, 100.4f, source, blit_mode::copy, -1), 0);
    for (int y = 0; y < 320; ++y) EXPECT_EQ(headless_row_changed(y), y >= 100 && y <= 102) << y;

    headless_clear_row_flags();
    EXPECT_EQ(put_image(nullptr, 10, 318, source, blit_mode::blend, 50), 0);  // cut at the bottom
    for (int y = 0; y < 320; ++y) EXPECT_EQ(headless_row_changed(y), y >= 318) << y;

    headless_clear_row_flags();
    EXPECT_EQ(put_image(nullptr, 10, -2, source, blit_mode::alpha, -1), 0);  // cut at the top
    for (int y = 0; y < 320; ++y) EXPECT_EQ(headless_row_changed(y), y == 0) << y;

    headless_clear_row_flags();
    Image target = make(8, 8);
    EXPECT_EQ(put_image(target, 0, 0, source, blit_mode::copy, -1), 0);
    for (int y = 0; y < 320; ++y) EXPECT_FALSE(headless_row_changed(y)) << y;
}

// ---- the screen lock ----

// Runs `operation` on a helper thread while this thread holds the screen mutex directly:
// it must wait for the mutex even though only image buffers are involved. True when it did.
bool waits_for_the_screen_lock(const std::function<void()>& operation) {
    std::atomic<bool> done{false};
    std::thread helper;
    bool waited = false;
    {
        std::lock_guard<std::mutex> hold(core::screen_mutex());
        helper = std::thread([&] {
            operation();
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        waited = !done.load();
    }
    helper.join();
    return waited && done.load();
}

TEST_F(ImageTest, BlitAndCopyBetweenImagesTakeTheScreenLock) {
    Image source = make(8, 8, 0xFFFFFFFFu);
    Image target = make(8, 8, 0xFF000000u);
    EXPECT_TRUE(
        waits_for_the_screen_lock([&] { put_image(target, 0, 0, source, blit_mode::copy, -1); }));
    EXPECT_EQ(pixel(target, 7, 7), 0xFFFFFFFFu);
    EXPECT_TRUE(waits_for_the_screen_lock([&] { copy_region(source, 0, 0, 3, 3, target); }));
    EXPECT_EQ(target->width, 4);
    EXPECT_FALSE(headless_lock_held());
}

TEST_F(ImageTest, CallersLockIsUsedAndLeftHeld) {
    Image source = make(8, 8, 0xFFFFFFFFu);
    lock_screen();
    EXPECT_EQ(put_image(nullptr, 0, 0, source, blit_mode::copy, -1), 0);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 3, 3, source), 0);
    EXPECT_TRUE(headless_lock_held());
    unlock_screen(-1, -1);
    EXPECT_FALSE(headless_lock_held());
    EXPECT_EQ(put_image(nullptr, 0, 0, source, blit_mode::copy, -1), 0);
    EXPECT_FALSE(headless_lock_held());
}

// ---- copy_region ----

TEST_F(ImageTest, CopyRegionRewritesTheHeaderAndCopiesTheRows) {
    Image picture = make(480, 320);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 480; ++x)
            set_pixel(picture, x, y, 0xFF000000u + static_cast<uint32_t>(y * 480 + x));
    ASSERT_EQ(put_image(nullptr, 0, 0, picture, blit_mode::copy, -1), 0);
    Image destination = make(16, 18, 0xDEADBEEFu);
    std::memset(destination->reserved, 0x5A, sizeof destination->reserved);
    // Corners given the other way round; 2.6 rounds to 3, 9.4 to 9.
    EXPECT_EQ(copy_region(nullptr, 9.4f, 7, 2.6f, 2, destination), 0);
    EXPECT_EQ(destination->type, 7u);
    EXPECT_EQ(destination->bytes_per_pixel, 4);
    EXPECT_EQ(destination->width, 7);
    EXPECT_EQ(destination->height, 6);
    EXPECT_EQ(destination->pitch, 32);
    for (uint8_t b : destination->reserved) EXPECT_EQ(b, 0x5A);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(pixel(destination, x, y), headless_pixel(3 + x, 2 + y)) << x << "," << y;

    // The whole screen into a screen-sized image.
    Image overlay = make(480, 320, 0xFFFFFFFFu);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 479, 319, overlay), 0);
    EXPECT_EQ(overlay->pitch, 1920);
    EXPECT_EQ(pixel(overlay, 479, 319), headless_pixel(479, 319));
    EXPECT_EQ(pixel(overlay, 7, 0), headless_pixel(7, 0));
}

TEST_F(ImageTest, CopyRegionFromAnImage) {
    Image source = make(20, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) set_pixel(source, x, y, static_cast<uint32_t>(y * 100 + x));
    Image glyph = make(16, 18);
    EXPECT_EQ(copy_region(source, 4, 2, 19, 19, glyph), 0);
    EXPECT_EQ(glyph->width, 16);
    EXPECT_EQ(glyph->height, 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(pixel(glyph, x, y), static_cast<uint32_t>((y + 2) * 100 + x + 4));
    // Into itself: the top-left corner moves up and left.
    EXPECT_EQ(copy_region(source, 1, 1, 5, 3, source), 0);
    EXPECT_EQ(source->width, 5);
    EXPECT_EQ(source->pitch, 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(pixel(source, x, y), static_cast<uint32_t>((y + 1) * 100 + x + 1));
}

TEST_F(ImageTest, CopyRegionRefusesCornersOutsideTheSource) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float x1, y1, x2, y2;
    } cases[] = {{-1, 0, 15, 17},    {0, -1, 15, 17},   {0, 0, 480, 17},  {0, 0, 15, 320},
                 {-0.5f, 0, 15, 17}, {0, 0, 479.5f, 3}, {480, 0, 470, 3}, {nan, 0, 15, 17},
                 {0, 0, 1e30f, 3},   {-1e30f, 0, 3, 3}};
    Image destination = make(16, 18, 0xDEADBEEFu);
    const std::vector<uint8_t> before = block_of(destination);
    for (const auto& c : cases) {
        EXPECT_EQ(copy_region(nullptr, c.x1, c.y1, c.x2, c.y2, destination), 1)
            << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        EXPECT_EQ(block_of(destination), before);
    }
    // -0.4 rounds to 0: inside.
    EXPECT_EQ(copy_region(nullptr, -0.4f, 0, 15, 17, destination), 0);
}

TEST_F(ImageTest, CopyRegionRefusesWhatTheDestinationCannotHold) {
    // A 100 x 1 buffer holds 400 bytes of pixels; a 10 x 10 rectangle needs 10 * 48.
    Image destination = make(100, 1, 0xDEADBEEFu);
    const std::vector<uint8_t> before = block_of(destination);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 9, 9, destination), 1);
    EXPECT_EQ(block_of(destination), before);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 99, 0, destination), 0);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 5, 3, destination), 0);  // 6 x 4: 4 rows of 32 bytes fit
    EXPECT_EQ(copy_region(nullptr, 0, 0, 5, 3, nullptr), 1);
    // The header now says 6 x 4 (128 bytes), but the block still holds 400: the size it was
    // made with counts, not the header.
    EXPECT_EQ(copy_region(nullptr, 0, 0, 99, 0, destination), 0);
    EXPECT_EQ(destination->width, 100);
    EXPECT_EQ(copy_region(nullptr, 0, 0, 9, 9, destination), 1);
}

}  // namespace
