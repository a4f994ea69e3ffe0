// Row routines of the 4-byte blits in SSE2 (every x86-64 processor): four pixels per step,
// same results as the plain form to the byte.
#include "gfx/blit_pixels.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 4;
constexpr uintptr_t VECTOR_BYTES = 16;

// Pixels to take one at a time before d reaches a 16-byte boundary, at most w.
inline int32_t head_pixels(const uint32_t* d, int32_t w) {
    const auto n = static_cast<int32_t>(
        ((VECTOR_BYTES - (reinterpret_cast<uintptr_t>(d) & (VECTOR_BYTES - 1))) &
         (VECTOR_BYTES - 1)) /
        4);
    return n < w ? n : w;
}

// mix() on four pixels, k holding the weight in every 16-bit lane; see the AVX2 form for
// why the wrapping 16-bit arithmetic is exact.
inline __m128i mix4(__m128i s, __m128i d, __m128i k) {
    const __m128i even = _mm_set1_epi32(static_cast<int>(EVEN_BYTES));
    __m128i lo = _mm_sub_epi16(_mm_and_si128(s, even), _mm_and_si128(d, even));
    lo = _mm_add_epi16(_mm_mullo_epi16(lo, k), _mm_slli_epi16(d, 8));
    __m128i hi = _mm_sub_epi16(_mm_srli_epi16(s, 8), _mm_srli_epi16(d, 8));
    hi = _mm_add_epi16(_mm_mullo_epi16(hi, k), _mm_andnot_si128(even, d));
    return _mm_or_si128(_mm_srli_epi16(lo, 8), _mm_andnot_si128(even, hi));
}

inline __m128i key_lanes(__m128i s) {
    return _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(static_cast<int>(RGB_BYTES))),
                           _mm_set1_epi32(static_cast<int>(KEY_COLOR_RGB)));
}

template <typename Four, typename One>
inline void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, Four four, One one) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        int32_t x = 0;
        for (const int32_t head = head_pixels(d, w); x < head; ++x) one(s[x], &d[x]);
        for (; x + LANES <= w; x += LANES) four(s + x, d + x);
        for (; x < w; ++x) one(s[x], &d[x]);
    }
}

void transparent_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, int32_t) {
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [](const uint32_t* s, uint32_t* d) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i key = key_lanes(sv);
            const __m128i colour = _mm_and_si128(sv, _mm_set1_epi32(static_cast<int>(RGB_BYTES)));
            auto* dv = reinterpret_cast<__m128i*>(d);
            const int keys = _mm_movemask_epi8(key);
            if (keys == 0) {
                _mm_store_si128(dv, colour);
            } else if (keys != 0xFFFF) {
                const __m128i kept = _mm_and_si128(key, _mm_load_si128(dv));
                _mm_store_si128(dv, _mm_or_si128(kept, _mm_andnot_si128(key, colour)));
            }
        },
        transparent_pixel);
}

void alpha_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t) {
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [](const uint32_t* s, uint32_t* d) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            const __m128i a = _mm_srli_epi32(sv, 24);  // the alpha byte into both 16-bit lanes
            auto* dv = reinterpret_cast<__m128i*>(d);
            _mm_store_si128(dv,
                            mix4(sv, _mm_load_si128(dv), _mm_or_si128(a, _mm_slli_epi32(a, 16))));
        },
        alpha_pixel);
}

void blend_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t alpha) {
    const uint32_t k = blend_weight(alpha);
    const __m128i weight = _mm_set1_epi16(static_cast<short>(k));
    walk(
        src, dst, w, h, src_pitch, dst_pitch,
        [weight](const uint32_t* s, uint32_t* d) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            auto* dv = reinterpret_cast<__m128i*>(d);
            // Weight 0 for key pixels leaves them as they were.
            const __m128i kv = _mm_andnot_si128(key_lanes(sv), weight);
            _mm_store_si128(dv, mix4(sv, _mm_load_si128(dv), kv));
        },
        [k](uint32_t s, uint32_t* d) { blend_pixel(s, d, k); });
}

constexpr RowTable SSE2_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* sse2_row_table() { return &SSE2_TABLE; }

#else

const RowTable* sse2_row_table() { return nullptr; }

#endif
