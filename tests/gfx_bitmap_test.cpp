// The BMP loader: every depth, pictures smaller and larger than the target, the results
// 0..3, and damaged files of every kind (bad headers, cut short at every byte, mutated).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t KEY = 0xFFFF00FFu;  // the target's fill

void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A BMP file with a 40-byte information header. `palette` holds 0x00RRGGBB entries;
// `pixel(x, y)` gives the palette index (1, 4, 8 bits) or the 0xAARRGGBB value (24, 32
// bits; 24 drops the alpha byte) of picture row y, which the file stores bottom row first.
Bytes make_bmp(int width, int height, int bits, const std::vector<uint32_t>& palette,
               const std::function<uint32_t(int, int)>& pixel) {
    const size_t row = ((size_t(width) * bits + 31) / 32) * 4;
    const size_t offset = 54 + 4 * palette.size();
    Bytes b(offset + row * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(b.size()));
    put32(b, 10, uint32_t(offset));
    put32(b, 14, 40);
    put32(b, 18, uint32_t(width));
    put32(b, 22, uint32_t(height));
    put16(b, 26, 1);
    put16(b, 28, uint32_t(bits));
    put32(b, 34, uint32_t(row * height));
    put32(b, 46, uint32_t(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) put32(b, 54 + 4 * i, palette[i]);
    for (int y = 0; y < height; ++y) {
        uint8_t* r = b.data() + offset + row * size_t(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = pixel(x, y);
            switch (bits) {
            case 1: r[x / 8] |= uint8_t((v & 1) << (7 - x % 8)); break;
            case 4: r[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
            case 8: r[x] = uint8_t(v); break;
            case 24: r[3 * x] = uint8_t(v); r[3 * x + 1] = uint8_t(v >> 8); r[3 * x + 2] = uint8_t(v >> 16); break;
            default: for (int i = 0; i < 4; ++i) r[4 * x + i] = uint8_t(v >> (8 * i)); break;
            }
        }
    }
    return b;
}

// A 24-bit picture whose pixel (x, y) is 0x00yyxx plus a red byte of 0x40.
Bytes make_gradient(int width, int height) {
    return make_bmp(width, height, 24, {}, [](int x, int y) { return 0x400000u | uint32_t(y) << 8 | uint32_t(x); });
}

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
        img = create_image(8, 4, 0, 0, IMAGE_DEFAULT_FILL);
        ASSERT_NE(img, nullptr);
    }
    void TearDown() override { destroy_image(img); }

    uint32_t at(int x, int y) const { return image_row(img, y)[x]; }
    bool untouched() const {
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x)
                if (at(x, y) != KEY) return false;
        return true;
    }
    void refill() {
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x) image_row(img, y)[x] = KEY;
    }
    // Loads from an exactly sized heap copy, so that a read past the end is caught by the
    // address sanitizer.
    int load(const Bytes& b, size_t size) {
        Bytes copy(b.begin(), b.begin() + std::ptrdiff_t(size));
        return load_bitmap_bytes(copy.empty() ? nullptr : copy.data(), copy.size(), img);
    }
    int load(const Bytes& b) { return load(b, b.size()); }

    Image img = nullptr;
};

// ---- every depth ----

struct DepthCase {
    const char* what;
    Bytes file;
    std::vector<std::vector<uint32_t>> rows;  // expected target rows 0.., columns 0..
};

std::vector<DepthCase> depth_cases() {
    return {
        {"1 bit, 10 wide",
         make_bmp(10, 2, 1, {0x000000, 0xFF8000}, [](int x, int y) { return uint32_t((x + y) % 3 == 0); }),
         {{0xFFFF8000, 0xFF000000, 0xFF000000, 0xFFFF8000, 0xFF000000, 0xFF000000, 0xFFFF8000, 0xFF000000},
          {0xFF000000, 0xFF000000, 0xFFFF8000, 0xFF000000, 0xFF000000, 0xFFFF8000, 0xFF000000, 0xFF000000}}},
        {"4 bit, 5 wide, index past the palette",
         make_bmp(5, 2, 4, {0x112233, 0x445566, 0x778899},
                  [](int x, int y) { return y == 0 ? uint32_t(x) : uint32_t(15 - x); }),
         {{0xFF112233, 0xFF445566, 0xFF778899, 0xFF000000, 0xFF000000, KEY, KEY, KEY},
          {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, KEY, KEY, KEY}}},
        {"8 bit, 3 wide",
         make_bmp(3, 3, 8, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000},
                  [](int x, int y) { return uint32_t((x + y) % 4); }),
         {{0xFF000000, 0xFF0000FF, 0xFF00FF00, KEY, KEY, KEY, KEY, KEY},
          {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, KEY, KEY, KEY, KEY, KEY},
          {0xFF00FF00, 0xFFFF0000, 0xFF000000, KEY, KEY, KEY, KEY, KEY},
          {KEY, KEY, KEY, KEY, KEY, KEY, KEY, KEY}}},
        {"24 bit, 3 wide, magenta stays the key colour",
         make_bmp(3, 2, 24, {}, [](int x, int y) { return x == 1 ? 0xFF00FFu : 0x123456u + uint32_t(y); }),
         {{0xFF123456, 0xFFFF00FF, 0xFF123456, KEY},
          {0xFF123457, 0xFFFF00FF, 0xFF123457, KEY}}},
        {"32 bit, fourth byte is alpha",
         make_bmp(2, 2, 32, {}, [](int x, int y) { return x == 0 ? 0x00ABCDEFu : 0x80000000u + uint32_t(y); }),
         {{0x00ABCDEF, 0x80000000, KEY}, {0x00ABCDEF, 0x80000001, KEY}}},
    };
}

TEST_F(BitmapTest, EveryDepthLoadsIntoTheTopLeft) {
    for (const DepthCase& c : depth_cases()) {
        refill();
        EXPECT_EQ(load(c.file), 0) << c.what;
        for (size_t y = 0; y < c.rows.size(); ++y)
            for (size_t x = 0; x < c.rows[y].size(); ++x)
                EXPECT_EQ(at(int(x), int(y)), c.rows[y][x]) << c.what << " at " << x << "," << y;
    }
}

TEST_F(BitmapTest, LargerPictureIsCutToTheTarget) {
    EXPECT_EQ(load(make_gradient(11, 7)), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(at(x, y), 0xFF400000u | uint32_t(y) << 8 | uint32_t(x)) << x << "," << y;
    EXPECT_EQ(img->width, 8);
    EXPECT_EQ(img->height, 4);
    EXPECT_EQ(img->pitch, 32);
}

TEST_F(BitmapTest, SmallerPictureLeavesTheRestAlone) {
    EXPECT_EQ(load(make_gradient(2, 3)), 0);
    EXPECT_EQ(at(0, 0), 0xFF400000u);
    EXPECT_EQ(at(1, 2), 0xFF400201u);
    EXPECT_EQ(at(2, 0), KEY);
    EXPECT_EQ(at(0, 3), KEY);
}

TEST_F(BitmapTest, FontSizedPictureIsOpaqueAndKeepsMagenta) {
    Image font = create_image(640, 18, 0, 0, IMAGE_DEFAULT_FILL);
    ASSERT_NE(font, nullptr);
    Bytes file = make_bmp(640, 18, 24, {}, [](int x, int y) { return (x + y) % 5 == 0 ? 0xFF00FFu : 0x000000u; });
    EXPECT_EQ(load_bitmap_bytes(file.data(), file.size(), font), 0);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 640; ++x)
            ASSERT_EQ(image_row(font, y)[x], (x + y) % 5 == 0 ? 0xFFFF00FFu : 0xFF000000u) << x << "," << y;
    destroy_image(font);
}

TEST_F(BitmapTest, TrailingBytesAreIgnored) {
    Bytes file = make_gradient(3, 2);
    file.resize(file.size() + 100, 0xEE);
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(at(2, 1), 0xFF400102u);
}

// ---- files ----

class BitmapFileTest : public BitmapTest {
protected:
    void SetUp() override {
        BitmapTest::SetUp();
        // A folder of its own: ctest runs the cases of this suite in parallel processes.
        std::string pattern = ::testing::TempDir() + "murkwing_bitmap_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        std::filesystem::create_directories(dir / "sub");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        BitmapTest::TearDown();
    }
    std::string write(const std::string& name, const Bytes& b) {
        const std::string path = (dir / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            std::fwrite(b.data(), 1, b.size(), f);
            std::fclose(f);
        }
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(BitmapFileTest, LoadsAFileInASubdirectory) {
    const std::string path = write("sub/pic.bmp", make_gradient(3, 2));
    EXPECT_EQ(load_bitmap(path, img), 0);
    EXPECT_EQ(at(2, 1), 0xFF400102u);
    EXPECT_EQ(at(3, 1), KEY);
}

// Anything but a regular file is refused at once: a FIFO with no writer would block an
// ordinary open for ever (the test would hang), a device never ends.
TEST_F(BitmapFileTest, MissingFileDirectoryFifoOrDeviceCannotBeOpened) {
    EXPECT_EQ(load_bitmap((dir / "missing.bmp").string(), img), 2);
    EXPECT_EQ(load_bitmap("", img), 2);
    EXPECT_EQ(load_bitmap((dir / "sub").string(), img), 2);
    ASSERT_EQ(::mkfifo((dir / "fifo.bmp").c_str(), 0600), 0);
    EXPECT_EQ(load_bitmap((dir / "fifo.bmp").string(), img), 2);
    EXPECT_EQ(load_bitmap("/dev/zero", img), 2);
    EXPECT_TRUE(untouched());
}

TEST_F(BitmapFileTest, FileCutShortLoadsItsWholeRows) {
    Bytes file = make_gradient(3, 4);  // rows of 12 bytes, stored y = 3, 2, 1, 0
    file.resize(54 + 12 * 2 + 5);
    EXPECT_EQ(load_bitmap(write("cut.bmp", file), img), 3);
    EXPECT_EQ(at(0, 3), 0xFF400300u);
    EXPECT_EQ(at(2, 2), 0xFF400202u);
    EXPECT_EQ(at(0, 1), KEY);
    EXPECT_EQ(at(0, 0), KEY);
}

TEST_F(BitmapFileTest, HeaderClaimingHugeSizesReadsOnlyTheFile) {
    Bytes file = make_gradient(3, 2);
    put32(file, 22, 0x7FFFFFFF);  // height
    EXPECT_EQ(load_bitmap(write("tall.bmp", file), img), 3);
    EXPECT_TRUE(untouched());  // the rows present are picture rows far below the target
    file = make_gradient(3, 2);
    put32(file, 18, 0x7FFFFFFF);  // width
    put16(file, 28, 32);
    EXPECT_EQ(load_bitmap(write("wide.bmp", file), img), 3);
    EXPECT_TRUE(untouched());
}

// ---- results other than 0 ----

TEST_F(BitmapTest, RefusalsAndNonBitmaps) {
    Bytes good = make_gradient(3, 2);
    auto with = [&](size_t at, uint32_t v, int width) {
        Bytes b = good;
        if (width == 1) b[at] = uint8_t(v);
        else if (width == 2) put16(b, at, v);
        else put32(b, at, v);
        return b;
    };
    struct Case { const char* what; Bytes file; int result; } cases[] = {
        {"empty", {}, 3},
        {"one byte B", {'B'}, 3},
        {"53 bytes", Bytes(good.begin(), good.begin() + 53), 3},
        {"not B", with(0, 'P', 1), 3},
        {"raw image FD", with(0, 0xFD, 1), 3},
        {"raw image FE", with(0, 0xFE, 1), 3},
        {"BA", with(1, 'A', 1), 3},
        {"OS/2 header", with(14, 12, 4), 3},
        {"V5 header", with(14, 124, 4), 3},
        {"15 bit", with(28, 15, 2), 1},
        {"16 bit", with(28, 16, 2), 1},
        {"0 bit", with(28, 0, 2), 3},
        {"2 bit", with(28, 2, 2), 3},
        {"12 bit", with(28, 12, 2), 3},
        {"48 bit", with(28, 48, 2), 3},
        {"64 bit", with(28, 64, 2), 3},
        {"RLE8", with(30, 1, 4), 3},
        {"bit fields", with(30, 3, 4), 3},
        {"negative width", with(18, uint32_t(-3), 4), 3},
        {"top-down", with(22, uint32_t(-2), 4), 3},
        {"offset inside the headers", with(10, 20, 4), 3},
        {"offset beyond the file", with(10, 1000, 4), 3},
        {"offset near 4 GiB", with(10, 0xFFFFFFF0u, 4), 3},
        {"huge width", with(18, 0x7FFFFFFF, 4), 3},
        {"huge height", with(22, 0x7FFFFFFF, 4), 3},
        {"zero width", with(18, 0, 4), 0},
        {"zero height", with(22, 0, 4), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.file), c.result) << c.what;
        EXPECT_TRUE(untouched()) << c.what;
    }
}

TEST_F(BitmapTest, NoScreenRefusesBitmapsOnly) {
    Bytes good = make_gradient(3, 2);
    Bytes other = good;
    other[0] = 'X';
    headless_reset();
    EXPECT_EQ(load(good), 1);
    EXPECT_EQ(load(other), 3);
    EXPECT_TRUE(untouched());
}

TEST_F(BitmapTest, TargetOfAnotherPixelSizeIsRefused) {
    alignas(ImageHeader) uint8_t block[32 + 4 * 16] = {};
    Image two = reinterpret_cast<Image>(block);
    *two = ImageHeader{IMAGE_TYPE, 2, 8, 4, 16, {}};
    Bytes file = make_gradient(3, 2);
    EXPECT_EQ(load_bitmap_bytes(file.data(), file.size(), two), 1);
    for (size_t i = 32; i < sizeof block; ++i) EXPECT_EQ(block[i], 0) << i;
}

TEST_F(BitmapTest, PaletteLongerThan256EntriesIsCut) {
    std::vector<uint32_t> palette(300, 0);
    palette[255] = 0x00C0FFEE;
    palette[256] = 0x00BAD000;
    Bytes file = make_bmp(2, 1, 8, palette, [](int x, int) { return x == 0 ? 255u : 1u; });
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(at(0, 0), 0xFFC0FFEEu);
    EXPECT_EQ(at(1, 0), 0xFF000000u);
}

TEST_F(BitmapTest, ShortPaletteLeavesIndicesBlack) {
    Bytes file = make_bmp(3, 1, 8, {0xFFFFFF}, [](int x, int) { return uint32_t(x * 100); });
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(at(1, 0), 0xFF000000u);
    EXPECT_EQ(at(2, 0), 0xFF000000u);
}

// ---- cut short and mutated ----

TEST_F(BitmapTest, CutAtEveryByte) {
    // 8-bit, 5 x 3 with 2 palette entries: headers 54, palette 8, rows of 8 bytes at 62,
    // 70 and 78 (picture rows 2, 1, 0), 86 bytes in all.
    const Bytes file = make_bmp(5, 3, 8, {0x0000FF, 0x00FF00}, [](int x, int y) { return uint32_t((x + y) % 2); });
    ASSERT_EQ(file.size(), 86u);
    for (size_t n = 0; n <= file.size(); ++n) {
        refill();
        const int result = load(file, n);
        EXPECT_EQ(result, n == file.size() ? 0 : 3) << n;
        // Rows whole in the file are loaded, bottom row first; nothing else is touched.
        const int whole_rows = n < 62 ? 0 : int((n - 62) / 8);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool loaded = x < 5 && y < 3 && 2 - y < whole_rows;
                const uint32_t want = !loaded ? KEY : (x + y) % 2 ? 0xFF00FF00u : 0xFF0000FFu;
                ASSERT_EQ(at(x, y), want) << "cut at " << n << ", pixel " << x << "," << y;
            }
    }
}

TEST_F(BitmapTest, MutatedFilesNeverCrash) {
    const Bytes seeds[] = {
        make_bmp(9, 5, 1, {0x0, 0xFFFFFF}, [](int x, int y) { return uint32_t(x ^ y); }),
        make_bmp(7, 3, 4, {0x1, 0x2, 0x3}, [](int x, int) { return uint32_t(x); }),
        make_bmp(5, 4, 8, {0x10, 0x20}, [](int x, int y) { return uint32_t(x + y); }),
        make_gradient(6, 5),
        make_bmp(3, 3, 32, {}, [](int x, int y) { return uint32_t(x * y); }),
    };
    std::mt19937 rng(12345);
    const uint32_t nasty[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 54, 40, 16, 24};
    for (int round = 0; round < 4000; ++round) {
        Bytes b = seeds[round % 5];
        const int changes = 1 + int(rng() % 4);
        for (int i = 0; i < changes; ++i) {
            const size_t at = rng() % std::min<size_t>(b.size(), 64);  // mostly the headers
            if (rng() % 2 && at + 4 <= b.size()) put32(b, at, nasty[rng() % 9]);
            else b[at] = uint8_t(rng());
        }
        const size_t size = rng() % 3 == 0 ? rng() % (b.size() + 1) : b.size();
        const int result = load(b, size);
        ASSERT_TRUE(result == 0 || result == 1 || result == 3) << "round " << round << " gave " << result;
    }
}

// ---- the screen ----

TEST_F(BitmapTest, NullTargetLoadsOntoTheScreenAndMarksRows) {
    headless_clear_row_flags();
    const Bytes file = make_gradient(3, 2);
    EXPECT_EQ(load_bitmap_bytes(file.data(), file.size(), nullptr), 0);
    EXPECT_EQ(headless_pixel(2, 1), 0xFF400102u);
    EXPECT_EQ(headless_pixel(3, 1), 0xFF000000u);
    EXPECT_TRUE(headless_row_changed(0));
    EXPECT_TRUE(headless_row_changed(1));
    EXPECT_FALSE(headless_row_changed(2));
    EXPECT_FALSE(headless_lock_held());
}

}  // namespace
