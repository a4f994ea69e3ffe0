// Row routines of the 4-byte blits in AVX-512 (F and BW): sixteen pixels per step, laid out
// like the SSE2 form; same results as the plain form.
#include "gfx/blit_pixels.h"

#if defined(__AVX512F__) && defined(__AVX512BW__)

#include <immintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 16;
constexpr uintptr_t VECTOR_BYTES = 64;

// Pixels before d reaches a 64-byte boundary (0 to 15), at most w.
inline int32_t head_pixels(const uint32_t* d, int32_t w) {
    const auto n = static_cast<int32_t>(
        ((VECTOR_BYTES - (reinterpret_cast<uintptr_t>(d) & (VECTOR_BYTES - 1))) &
         (VECTOR_BYTES - 1)) /
        4);
    return n < w ? n : w;
}

inline __mmask16 first_lanes(int32_t n) { return static_cast<__mmask16>((1u << n) - 1); }

// mix() on sixteen pixels; see mix8 of the AVX2 form. The last step takes the odd bytes of
// ga and the rest of br >> 8 in one ternary-logic operation.
inline __m512i mix16(__m512i s, __m512i d, __m512i k, __m512i keep) {
    const __m512i even = _mm512_set1_epi32(static_cast<int>(EVEN_BYTES));
    const __m512i odd = _mm512_set1_epi32(static_cast<int>(ODD_BYTES));
    const __m512i br = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_and_si512(s, even), k),
                                        _mm512_mullo_epi16(_mm512_and_si512(d, even), keep));
    const __m512i ga = _mm512_add_epi16(_mm512_mullo_epi16(_mm512_srli_epi16(s, 8), k),
                                        _mm512_mullo_epi16(_mm512_srli_epi16(d, 8), keep));
    // Truth table 0xD8: bitwise c ? b : a for (a, b, c) = (br >> 8, ga, odd).
    return _mm512_ternarylogic_epi32(_mm512_srli_epi16(br, 8), ga, odd, 0xD8);
}

inline __mmask16 key_lanes(__m512i s) {
    return _mm512_cmpeq_epi32_mask(
        _mm512_and_si512(s, _mm512_set1_epi32(static_cast<int>(RGB_BYTES))),
        _mm512_set1_epi32(static_cast<int>(KEY_COLOR_RGB)));
}

inline __m512i loadu(const uint32_t* p) { return _mm512_loadu_si512(p); }
inline void storeu(uint32_t* p, __m512i v) { _mm512_storeu_si512(p, v); }

// A mode as `result`: sixteen new pixels from sixteen source and sixteen destination pixels,
// always whole (key pixels keep the destination's value), so that every step ends in a plain
// store. Masked stores cost several times as much on Zen 4, and a walk that picks between
// plain, masked and no store per step mispredicts on the game's changing pictures: together
// they took the frame's blend from 17 to over 40 us there.
struct Transparent {
    __m512i result(__m512i s, __m512i d) const {
        const __m512i colour =
            _mm512_and_si512(s, _mm512_set1_epi32(static_cast<int>(RGB_BYTES)));
        return _mm512_mask_blend_epi32(key_lanes(s), colour, d);
    }
};

struct Alpha {
    __m512i result(__m512i s, __m512i d) const {
        // The alpha byte (3 of each pixel) into both 16-bit lanes of its pixel.
        const __m512i spread =
            _mm512_set4_epi32(static_cast<int>(0x800F800Fu), static_cast<int>(0x800B800Bu),
                              static_cast<int>(0x80078007u), static_cast<int>(0x80038003u));
        const __m512i k = _mm512_shuffle_epi8(s, spread);
        return mix16(s, d, k, _mm512_sub_epi16(_mm512_set1_epi16(256), k));
    }
};

// blend by byte pairs, as in the AVX2 form (see BlendPairs).
template <bool BASE_IS_SOURCE>
struct Blend {
    __m512i pair_weight;
    __m128i shift;
    explicit Blend(const BlendPairs& pairs)
        : pair_weight(_mm512_set1_epi16(pair_weights(pairs.weight))),
          shift(_mm_cvtsi32_si128(pairs.shift)) {}
    __m512i result(__m512i s, __m512i d) const {
        const __m512i lo = _mm512_maddubs_epi16(_mm512_unpacklo_epi8(s, d), pair_weight);
        const __m512i hi = _mm512_maddubs_epi16(_mm512_unpackhi_epi8(s, d), pair_weight);
        const __m512i delta =
            _mm512_packs_epi16(_mm512_sra_epi16(lo, shift), _mm512_sra_epi16(hi, shift));
        const __m512i mixed = _mm512_add_epi8(BASE_IS_SOURCE ? s : d, delta);
        return _mm512_mask_blend_epi32(key_lanes(s), mixed, d);
    }
};

// Rows at least this wide step from a 64-byte boundary of the destination; on shorter rows
// (the text tiles) aligning would only add a step.
constexpr int32_t ALIGNED_WIDTH = 64;

// Per row: full steps of sixteen pixels, from the first 64-byte boundary of the destination
// on rows of ALIGNED_WIDTH or more (image rows and the screen page's start on one), else from
// the first pixel. The first and the last sixteen pixels, where the steps leave them out, are
// computed before the steps from the untouched row and stored after them: where they overlap
// a step they store the same values, as every store is the formula on the original pixels
// (source and destination never overlap). Rows under sixteen pixels take one masked step;
// masked-off lanes are neither read nor written.
template <typename Kernel>
void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
          int32_t dst_pitch, const Kernel& kernel) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    if (w < LANES) {
        const __mmask16 lanes = first_lanes(w);
        for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
            const __m512i mixed = kernel.result(_mm512_maskz_loadu_epi32(lanes, s),
                                                _mm512_maskz_loadu_epi32(lanes, d));
            _mm512_mask_storeu_epi32(d, lanes, mixed);
        }
        return;
    }
    const int32_t last = w - LANES;  // the last step's first pixel
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        const int32_t first = w < ALIGNED_WIDTH ? 0 : head_pixels(d, w);
        const bool ragged = (w - first) % LANES != 0;
        const __m512i none = _mm512_setzero_si512();
        const __m512i head = first > 0 ? kernel.result(loadu(s), loadu(d)) : none;
        const __m512i tail = ragged ? kernel.result(loadu(s + last), loadu(d + last)) : none;
        for (int32_t x = first; x <= last; x += LANES)
            storeu(d + x, kernel.result(loadu(s + x), loadu(d + x)));
        if (first > 0) storeu(d, head);
        if (ragged) storeu(d + last, tail);
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
    const BlendPairs pairs = blend_pairs(blend_weight(alpha));
    if (pairs.base_is_source)
        walk(src, dst, w, h, src_pitch, dst_pitch, Blend<true>(pairs));
    else
        walk(src, dst, w, h, src_pitch, dst_pitch, Blend<false>(pairs));
}

constexpr RowTable AVX512_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* avx512_row_table() { return &AVX512_TABLE; }

#else

const RowTable* avx512_row_table() { return nullptr; }

#endif
