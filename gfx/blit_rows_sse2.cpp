// Row routines of the 4-byte blits in SSE2 (every x86-64 processor): four pixels per step,
// same results as the plain form to the byte. Laid out like the AVX2 form.
#include "gfx/blit_pixels.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 4;
// Rows at least this wide are walked with aligned destination steps; aligning costs more
// than it saves on shorter ones.
constexpr int32_t ALIGNED_WIDTH = 64;
constexpr uintptr_t VECTOR_BYTES = 16;

inline __m128i splat(uint32_t v) { return _mm_set1_epi32(static_cast<int>(v)); }
inline __m128i load(const uint32_t* p) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i loadu(const uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store(uint32_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }
inline void storeu(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// mix() on four pixels; see mix8 of the AVX2 form.
inline __m128i mix4(__m128i s, __m128i d, __m128i k, __m128i keep) {
    const __m128i even = splat(EVEN_BYTES);
    const __m128i br = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(s, even), k),
                                     _mm_mullo_epi16(_mm_and_si128(d, even), keep));
    const __m128i ga = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(s, 8), k),
                                     _mm_mullo_epi16(_mm_srli_epi16(d, 8), keep));
    return _mm_or_si128(_mm_srli_epi16(br, 8), _mm_and_si128(ga, splat(ODD_BYTES)));
}

inline __m128i key_lanes(__m128i s) {
    return _mm_cmpeq_epi32(_mm_and_si128(s, splat(RGB_BYTES)), splat(KEY_COLOR_RGB));
}

// where ? a : b, bitwise (SSE2 has no blend instruction).
inline __m128i select(__m128i where, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

struct Transparent {
    __m128i result(__m128i s, __m128i d) const {
        return select(key_lanes(s), d, _mm_and_si128(s, splat(RGB_BYTES)));
    }
    void step(const uint32_t* s, uint32_t* d) const {
        const __m128i sv = loadu(s);
        const __m128i key = key_lanes(sv);
        const __m128i colour = _mm_and_si128(sv, splat(RGB_BYTES));
        const int keys = _mm_movemask_epi8(key);
        if (keys == 0)
            store(d, colour);
        else if (keys != 0xFFFF)
            store(d, select(key, load(d), colour));
    }
    void one(uint32_t s, uint32_t* d) const { transparent_pixel(s, d); }
};

struct Alpha {
    __m128i result(__m128i s, __m128i d) const {
        const __m128i a = _mm_srli_epi32(s, 24);  // the alpha byte into both 16-bit lanes
        const __m128i k = _mm_or_si128(a, _mm_slli_epi32(a, 16));
        return mix4(s, d, k, _mm_sub_epi16(_mm_set1_epi16(256), k));
    }
    void step(const uint32_t* s, uint32_t* d) const { store(d, result(loadu(s), load(d))); }
    void one(uint32_t s, uint32_t* d) const { alpha_pixel(s, d); }
};

struct Blend {
    uint32_t weight;  // alpha + 1
    __m128i k, keep;
    explicit Blend(int32_t alpha)
        : weight(blend_weight(alpha)),
          k(_mm_set1_epi16(static_cast<short>(weight))),
          keep(_mm_set1_epi16(static_cast<short>(256 - weight))) {}
    __m128i result(__m128i s, __m128i d) const {
        return select(key_lanes(s), d, mix4(s, d, k, keep));
    }
    void step(const uint32_t* s, uint32_t* d) const { store(d, result(loadu(s), load(d))); }
    void one(uint32_t s, uint32_t* d) const { blend_pixel(s, d, weight); }
};

// Aligned steps in the middle of each row, the first and last four pixels computed from the
// untouched row and stored last; see walk of the AVX2 form.
template <typename Kernel>
void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
          int32_t dst_pitch, const Kernel& kernel) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    if (w < LANES) {
        for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch))
            for (int32_t x = 0; x < w; ++x) kernel.one(s[x], &d[x]);
        return;
    }
    const int32_t last = w - LANES;  // the last step's first pixel
    if (w < ALIGNED_WIDTH) {
        for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
            const __m128i tail = kernel.result(loadu(s + last), loadu(d + last));
            for (int32_t x = 0; x < last; x += LANES)
                storeu(d + x, kernel.result(loadu(s + x), loadu(d + x)));
            storeu(d + last, tail);
        }
        return;
    }
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        const auto misalign = reinterpret_cast<uintptr_t>(d) & (VECTOR_BYTES - 1);
        const auto first =
            static_cast<int32_t>(((VECTOR_BYTES - misalign) & (VECTOR_BYTES - 1)) / 4);
        const int32_t end = first + (w - first) / LANES * LANES;
        const __m128i head = first > 0 ? kernel.result(loadu(s), loadu(d)) : _mm_setzero_si128();
        const __m128i tail =
            end < w ? kernel.result(loadu(s + last), loadu(d + last)) : _mm_setzero_si128();
        for (int32_t x = first; x < end; x += LANES) kernel.step(s + x, d + x);
        if (first > 0) storeu(d, head);
        if (end < w) storeu(d + last, tail);
    }
}

void transparent_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, int32_t) {
    walk(src, dst, w, h, src_pitch, dst_pitch, Transparent{});
}

void alpha_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t) {
    walk(src, dst, w, h, src_pitch, dst_pitch, Alpha{});
}

void blend_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t alpha) {
    walk(src, dst, w, h, src_pitch, dst_pitch, Blend(alpha));
}

constexpr RowTable SSE2_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* sse2_row_table() { return &SSE2_TABLE; }

#else

const RowTable* sse2_row_table() { return nullptr; }

#endif
