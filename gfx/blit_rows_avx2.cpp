// Row routines of the 4-byte blits in AVX2: eight pixels per step, same results as the plain
// form to the byte.
#include "gfx/blit_pixels.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 8;
constexpr uintptr_t VECTOR_BYTES = 32;

// Pixels to take one at a time before d reaches a 32-byte boundary, at most w.
inline int32_t head_pixels(const uint32_t* d, int32_t w) {
    const auto n = static_cast<int32_t>(
        ((VECTOR_BYTES - (reinterpret_cast<uintptr_t>(d) & (VECTOR_BYTES - 1))) &
         (VECTOR_BYTES - 1)) /
        4);
    return n < w ? n : w;
}

// mix() on eight pixels, k holding the weight in every 16-bit lane. Per 16-bit lane the true
// value d * 256 + (s - d) * k lies in 0..65280, so computing it modulo 2^16 (a wrapping
// difference times k, plus d * 256) and shifting right by 8 gives the exact floor. The even
// bytes sit in the low half of each lane (d * 256 is d shifted left 8); the odd bytes are
// shifted down first and their d * 256 is d masked to 0xFF00.
inline __m256i mix8(__m256i s, __m256i d, __m256i k) {
    const __m256i even = _mm256_set1_epi32(static_cast<int>(EVEN_BYTES));
    __m256i lo = _mm256_sub_epi16(_mm256_and_si256(s, even), _mm256_and_si256(d, even));
    lo = _mm256_add_epi16(_mm256_mullo_epi16(lo, k), _mm256_slli_epi16(d, 8));
    __m256i hi = _mm256_sub_epi16(_mm256_srli_epi16(s, 8), _mm256_srli_epi16(d, 8));
    hi = _mm256_add_epi16(_mm256_mullo_epi16(hi, k), _mm256_andnot_si256(even, d));
    return _mm256_or_si256(_mm256_srli_epi16(lo, 8), _mm256_andnot_si256(even, hi));
}

// All bits set in the 32-bit lanes whose pixel is in the key colour.
inline __m256i key_lanes(__m256i s) {
    return _mm256_cmpeq_epi32(_mm256_and_si256(s, _mm256_set1_epi32(static_cast<int>(RGB_BYTES))),
                              _mm256_set1_epi32(static_cast<int>(KEY_COLOR_RGB)));
}

// Per row: single pixels up to a 32-byte boundary of the destination, then eight at a time
// (aligned destination loads and stores), then the last single pixels.
template <typename Eight, typename One>
inline void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, Eight eight, One one) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        int32_t x = 0;
        for (const int32_t head = head_pixels(d, w); x < head; ++x) one(s[x], &d[x]);
        for (; x + LANES <= w; x += LANES) eight(s + x, d + x);
        for (; x < w; ++x) one(s[x], &d[x]);
    }
}

void transparent_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, int32_t) {
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [](const uint32_t* s, uint32_t* d) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            const __m256i key = key_lanes(sv);
            const __m256i colour =
                _mm256_and_si256(sv, _mm256_set1_epi32(static_cast<int>(RGB_BYTES)));
            auto* dv = reinterpret_cast<__m256i*>(d);
            // Runs of key or non-key pixels are the rule (the cave image): neither needs
            // the destination read.
            const int keys = _mm256_movemask_epi8(key);
            if (keys == 0)
                _mm256_store_si256(dv, colour);
            else if (keys != -1)
                _mm256_store_si256(dv, _mm256_blendv_epi8(colour, _mm256_load_si256(dv), key));
        },
        transparent_pixel);
}

void alpha_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t) {
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [](const uint32_t* s, uint32_t* d) {
            // The alpha byte (3 of each pixel) into both 16-bit lanes of its pixel.
            const __m256i spread =
                _mm256_setr_epi8(3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1, 3, -1,
                                 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1);
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            auto* dv = reinterpret_cast<__m256i*>(d);
            _mm256_store_si256(dv,
                               mix8(sv, _mm256_load_si256(dv), _mm256_shuffle_epi8(sv, spread)));
        },
        alpha_pixel);
}

void blend_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t alpha) {
    const uint32_t k = blend_weight(alpha);
    const __m256i weight = _mm256_set1_epi16(static_cast<short>(k));
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [weight](const uint32_t* s, uint32_t* d) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
            auto* dv = reinterpret_cast<__m256i*>(d);
            // Weight 0 for key pixels: d * 256 >> 8 leaves them as they were.
            const __m256i kv = _mm256_andnot_si256(key_lanes(sv), weight);
            _mm256_store_si256(dv, mix8(sv, _mm256_load_si256(dv), kv));
        },
        [k](uint32_t s, uint32_t* d) { blend_pixel(s, d, k); });
}

constexpr RowTable AVX2_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* avx2_row_table() { return &AVX2_TABLE; }

#else

const RowTable* avx2_row_table() { return nullptr; }

#endif
