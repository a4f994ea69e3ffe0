// Row routines of the 4-byte blits in AVX-512 (F and BW): sixteen pixels per step, with
// masked loads and stores for the ragged ends of a row; same results as the plain form.
#include "gfx/blit_pixels.h"

#if defined(__AVX512F__) && defined(__AVX512BW__)

#include <immintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 16;
constexpr uintptr_t VECTOR_BYTES = 64;
constexpr __mmask16 ALL_LANES = 0xFFFF;

// Pixels before d reaches a 64-byte boundary, at most w.
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

// Rows at least this wide start with a masked step up to a 64-byte boundary of the
// destination, so that the full steps after it are aligned; on shorter rows (the text tiles)
// that head would only add a step.
constexpr int32_t ALIGNED_WIDTH = 64;

// Per row: full steps of sixteen pixels, then one masked step for the rest; on rows of
// ALIGNED_WIDTH or more, first one masked step up to a 64-byte boundary of the destination
// (image rows and the screen page's start on one, so it is usually empty). Masked-off lanes
// are neither read nor written.
template <typename Step>
inline void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, Step step) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        int32_t x = w < ALIGNED_WIDTH ? 0 : head_pixels(d, w);
        if (x > 0) step.template operator()<false>(s, d, first_lanes(x));
        for (; x + LANES <= w; x += LANES) step.template operator()<true>(s + x, d + x, ALL_LANES);
        if (x < w) step.template operator()<false>(s + x, d + x, first_lanes(w - x));
    }
}

// Loads of the lanes in `lanes` (all of them when FULL).
template <bool FULL>
inline __m512i load_lanes(const uint32_t* p, __mmask16 lanes) {
    return FULL ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi32(lanes, p);
}

// Stores the lanes in `written`: a plain store when that is all of them, which is the rule
// (a masked store costs several times as much on Zen 4), nothing when it is none.
inline void store_lanes(uint32_t* d, __mmask16 written, __m512i v) {
    if (written == ALL_LANES)
        _mm512_storeu_si512(d, v);
    else if (written != 0)
        _mm512_mask_storeu_epi32(d, written, v);
}

void transparent_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, int32_t) {
    walk(src, dst, w, h, src_pitch, dst_pitch,
         []<bool FULL>(const uint32_t* s, uint32_t* d, __mmask16 lanes) {
             const __m512i sv = load_lanes<FULL>(s, lanes);
             const __m512i colour =
                 _mm512_and_si512(sv, _mm512_set1_epi32(static_cast<int>(RGB_BYTES)));
             store_lanes(d, static_cast<__mmask16>(lanes & ~key_lanes(sv)), colour);
         });
}

void alpha_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t) {
    walk(src, dst, w, h, src_pitch, dst_pitch,
         []<bool FULL>(const uint32_t* s, uint32_t* d, __mmask16 lanes) {
             // The alpha byte (3 of each pixel) into both 16-bit lanes of its pixel.
             const __m512i spread =
                 _mm512_set4_epi32(static_cast<int>(0x800F800Fu), static_cast<int>(0x800B800Bu),
                                   static_cast<int>(0x80078007u), static_cast<int>(0x80038003u));
             const __m512i sv = load_lanes<FULL>(s, lanes);
             const __m512i k = _mm512_shuffle_epi8(sv, spread);
             const __m512i mixed = mix16(sv, load_lanes<FULL>(d, lanes), k,
                                         _mm512_sub_epi16(_mm512_set1_epi16(256), k));
             store_lanes(d, lanes, mixed);
         });
}

// blend by byte pairs, as in the AVX2 form (see BlendPairs); key pixels are left out of the
// store.
template <bool BASE_IS_SOURCE>
void blend_pairs_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, const BlendPairs& pairs) {
    const __m512i pair_weight = _mm512_set1_epi16(pair_weights(pairs.weight));
    const __m128i shift = _mm_cvtsi32_si128(pairs.shift);
    walk(src, dst, w, h, src_pitch, dst_pitch,
         [pair_weight, shift]<bool FULL>(const uint32_t* s, uint32_t* d, __mmask16 lanes) {
             const __m512i sv = load_lanes<FULL>(s, lanes);
             const __m512i dv = load_lanes<FULL>(d, lanes);
             const __m512i lo = _mm512_maddubs_epi16(_mm512_unpacklo_epi8(sv, dv), pair_weight);
             const __m512i hi = _mm512_maddubs_epi16(_mm512_unpackhi_epi8(sv, dv), pair_weight);
             const __m512i delta =
                 _mm512_packs_epi16(_mm512_sra_epi16(lo, shift), _mm512_sra_epi16(hi, shift));
             const __m512i mixed = _mm512_add_epi8(BASE_IS_SOURCE ? sv : dv, delta);
             store_lanes(d, static_cast<__mmask16>(lanes & ~key_lanes(sv)), mixed);
         });
}

void blend_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t alpha) {
    const BlendPairs pairs = blend_pairs(blend_weight(alpha));
    if (pairs.base_is_source)
        blend_pairs_rows<true>(src, dst, w, h, src_pitch, dst_pitch, pairs);
    else
        blend_pairs_rows<false>(src, dst, w, h, src_pitch, dst_pitch, pairs);
}

constexpr RowTable AVX512_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* avx512_row_table() { return &AVX512_TABLE; }

#else

const RowTable* avx512_row_table() { return nullptr; }

#endif
