// Every form of the row routines that this processor runs, against the per-byte formulas:
// random pictures with odd widths, unaligned starts and padded rows, and every byte pair of
// the two mixing modes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "gfx/blit_rows.h"

namespace {

// d + floor((s - d) * k / 256) for each of the four bytes, in floating point.
uint32_t mix_reference(uint32_t s, uint32_t d, int k) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int sb = static_cast<int>((s >> shift) & 0xFF);
        const int db = static_cast<int>((d >> shift) & 0xFF);
        const int b = db + static_cast<int>(std::floor((sb - db) * k / 256.0));
        out |= static_cast<uint32_t>(b) << shift;
    }
    return out;
}

bool is_key(uint32_t p) { return (p & 0x00FFFFFFu) == 0x00FF00FFu; }

// The new destination pixel; blend's alpha is clamped to 0..255 first.
uint32_t reference(blit_mode mode, uint32_t s, uint32_t d, int alpha) {
    switch (mode) {
    case blit_mode::copy: return s;
    case blit_mode::transparent: return is_key(s) ? d : s & 0x00FFFFFFu;
    case blit_mode::alpha: return mix_reference(s, d, static_cast<int>(s >> 24));
    case blit_mode::blend: {
        const int a = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
        return is_key(s) ? d : mix_reference(s, d, a + 1);
    }
    }
    return 0;
}

const blit_mode MODES[] = {blit_mode::copy, blit_mode::transparent, blit_mode::alpha,
                           blit_mode::blend};

class RowFormTest : public ::testing::TestWithParam<row_form> {
protected:
    void SetUp() override {
        table_ = row_table_of(GetParam());
        if (table_ == nullptr)
            GTEST_SKIP() << "this processor or build has no " << row_form_name(GetParam());
    }
    RowRoutine routine(blit_mode mode) const { return table_->routine[static_cast<int>(mode)][4]; }
    const RowTable* table_ = nullptr;
};

// Pixels in runs (so that whole vectors of key and of non-key pixels occur as well as
// mixed ones): key pixels with any alpha byte, extreme bytes, random values.
std::vector<uint32_t> random_pixels(std::mt19937& rng, size_t count) {
    std::vector<uint32_t> pixels(count);
    const uint8_t extremes[] = {0, 1, 2, 127, 128, 129, 254, 255};
    size_t i = 0;
    while (i < count) {
        const size_t run = std::uniform_int_distribution<size_t>(1, 24)(rng);
        const int kind = static_cast<int>(rng() % 4);
        for (size_t j = 0; j < run && i < count; ++j, ++i) {
            uint32_t p = rng();
            if (kind == 0) {
                p = (p & 0xFF000000u) | 0x00FF00FFu;
            } else if (kind == 1) {
                p = 0;
                for (int b = 0; b < 4; ++b)
                    p |= static_cast<uint32_t>(extremes[rng() % 8]) << (8 * b);
            }
            pixels[i] = p;
        }
    }
    return pixels;
}

TEST_P(RowFormTest, MatchesTheFormulasOnRandomRectangles) {
    std::mt19937 rng(20240601u + static_cast<unsigned>(GetParam()));
    const int alphas[] = {0, 1, 2, 49, 50, 51, 60, 127, 128, 200, 254, 255, -1, 256, 100000};
    for (int trial = 0; trial < 600; ++trial) {
        const blit_mode mode = MODES[trial % 4];
        const int alpha = alphas[rng() % std::size(alphas)];
        const int w = 1 + static_cast<int>(rng() % 150);
        const int h = 1 + static_cast<int>(rng() % 4);
        const int src_x = static_cast<int>(rng() % 17);
        const int dst_x = static_cast<int>(rng() % 17);
        // Pitches in pixels, with a few spare pixels beyond the rectangle on every row.
        const int src_pitch = src_x + w + static_cast<int>(rng() % 9);
        const int dst_pitch = dst_x + w + 1 + static_cast<int>(rng() % 9);
        const int dst_y = 1;

        const std::vector<uint32_t> src = random_pixels(rng, static_cast<size_t>(src_pitch) * h);
        std::vector<uint32_t> dst = random_pixels(rng, static_cast<size_t>(dst_pitch) * (h + 2));
        std::vector<uint32_t> expected = dst;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t& d = expected[static_cast<size_t>(y + dst_y) * dst_pitch + dst_x + x];
                d = reference(mode, src[static_cast<size_t>(y) * src_pitch + src_x + x], d, alpha);
            }

        routine(mode)(reinterpret_cast<const uint8_t*>(src.data() + src_x),
                      reinterpret_cast<uint8_t*>(dst.data() + dst_y * dst_pitch + dst_x), w, h,
                      src_pitch * 4, dst_pitch * 4, alpha);
        for (size_t i = 0; i < dst.size(); ++i) {
            ASSERT_EQ(dst[i], expected[i])
                << row_form_name(GetParam()) << " mode " << static_cast<int>(mode) << " alpha "
                << alpha << " w " << w << " h " << h << " src_x " << src_x << " dst_x " << dst_x
                << " pixel " << i % dst_pitch << "," << i / dst_pitch;
        }
    }
}

// One row of 65536 pixels holds every (source byte, destination byte) pair, the same byte in
// all four places of a pixel; run at every alpha.
TEST_P(RowFormTest, BlendIsExactForEveryBytePairAndAlpha) {
    std::vector<uint32_t> src(65536), dst(65536);
    for (uint32_t i = 0; i < 65536; ++i) src[i] = (i >> 8) * 0x01010101u;
    for (int alpha = 0; alpha <= 255; ++alpha) {
        for (uint32_t i = 0; i < 65536; ++i) dst[i] = (i & 0xFF) * 0x01010101u;
        routine(blit_mode::blend)(reinterpret_cast<const uint8_t*>(src.data()),
                                  reinterpret_cast<uint8_t*>(dst.data()), 65536, 1, 65536 * 4,
                                  65536 * 4, alpha);
        for (uint32_t i = 0; i < 65536; ++i) {
            const int s = static_cast<int>(i >> 8), d = static_cast<int>(i & 0xFF);
            const uint32_t b = static_cast<uint32_t>(
                d + static_cast<int>(std::floor((s - d) * (alpha + 1) / 256.0)));
            ASSERT_EQ(dst[i], b * 0x01010101u) << "s " << s << " d " << d << " alpha " << alpha;
        }
    }
}

// Every (source colour byte, destination byte) pair at every source alpha byte.
TEST_P(RowFormTest, AlphaIsExactForEveryBytePairAndSourceAlpha) {
    std::vector<uint32_t> src(65536), dst(65536);
    for (uint32_t a = 0; a <= 255; ++a) {
        for (uint32_t i = 0; i < 65536; ++i) {
            src[i] = (a << 24) | (i >> 8) * 0x010101u;
            dst[i] = (i & 0xFF) * 0x01010101u;
        }
        routine(blit_mode::alpha)(reinterpret_cast<const uint8_t*>(src.data()),
                                  reinterpret_cast<uint8_t*>(dst.data()), 65536, 1, 65536 * 4,
                                  65536 * 4, -1);
        for (uint32_t i = 0; i < 65536; ++i)
            ASSERT_EQ(dst[i], mix_reference(src[i], (i & 0xFF) * 0x01010101u, static_cast<int>(a)))
                << "source " << std::hex << src[i] << " destination " << (i & 0xFF);
    }
}

TEST_P(RowFormTest, SmallPixelsAreCopiedInEveryMode) {
    for (int bytes : {1, 2}) {
        for (blit_mode mode : MODES) {
            const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            uint8_t dst[8] = {9, 9, 9, 9, 9, 9, 9, 9};
            table_->routine[static_cast<int>(mode)][bytes](src, dst, 2, 2, 4, 4, 50);
            const uint8_t want1[8] = {1, 2, 9, 9, 5, 6, 9, 9};
            const uint8_t want2[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(dst[i], bytes == 1 ? want1[i] : want2[i]) << bytes << " " << i;
        }
    }
    EXPECT_EQ(table_->routine[0][3], nullptr);
    EXPECT_EQ(table_->routine[0][0], nullptr);
}

INSTANTIATE_TEST_SUITE_P(Forms, RowFormTest,
                         ::testing::Values(row_form::plain, row_form::sse2, row_form::avx2,
                                           row_form::avx512),
                         [](const ::testing::TestParamInfo<row_form>& info) {
                             return std::string(row_form_name(info.param));
                         });

// Each mode runs the first form of its preference that the processor runs: the widest, but
// AVX2 before AVX-512 for the per-pixel alpha. A processor with AVX-512 must have it built in,
// so that the AVX-512 cases above run there rather than skip.
TEST(RowForms, EachModePicksItsPreferredFormOfThoseTheProcessorRuns) {
    const bool avx512 = row_table_of(row_form::avx512) != nullptr;
    const bool avx2 = row_table_of(row_form::avx2) != nullptr;
    const row_form widest = avx512 ? row_form::avx512
                            : avx2 ? row_form::avx2
                            : row_table_of(row_form::sse2) ? row_form::sse2
                                                           : row_form::plain;
    for (blit_mode mode : MODES) {
        const row_form want = mode == blit_mode::alpha && avx2 ? row_form::avx2 : widest;
        EXPECT_EQ(row_form_of(mode), want) << static_cast<int>(mode);
        const int m = static_cast<int>(mode);
        EXPECT_EQ(find_row_routine(mode, 4), row_table_of(want)->routine[m][4]);
    }
    EXPECT_NE(row_table_of(row_form::plain), nullptr);
    EXPECT_EQ(find_row_routine(blit_mode::blend, 3), nullptr);
    EXPECT_EQ(find_row_routine(static_cast<blit_mode>(4), 4), nullptr);
#if defined(__x86_64__)
    __builtin_cpu_init();
    EXPECT_EQ(avx512, __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"));
    EXPECT_EQ(avx2, __builtin_cpu_supports("avx2") != 0);
#endif
}

}  // namespace
