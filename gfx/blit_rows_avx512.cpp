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

// Per row: one masked step up to a 64-byte boundary of the destination, full aligned steps,
// one masked step for the rest. Masked-off lanes are neither read nor written.
template <typename Step>
inline void walk(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, Step step) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
        int32_t x = head_pixels(d, w);
        if (x > 0) step.template operator()<false>(s, d, first_lanes(x));
        for (; x + LANES <= w; x += LANES) step.template operator()<true>(s + x, d + x, ALL_LANES);
        if (x < w) step.template operator()<false>(s + x, d + x, first_lanes(w - x));
    }
}

// Loads of the lanes in `lanes` (all of them, aligned for the destination, when FULL).
template <bool FULL>
inline __m512i load_source(const uint32_t* s, __mmask16 lanes) {
    return FULL ? _mm512_loadu_si512(s) : _mm512_maskz_loadu_epi32(lanes, s);
}
template <bool FULL>
inline __m512i load_destination(const uint32_t* d, __mmask16 lanes) {
    return FULL ? _mm512_load_si512(d) : _mm512_maskz_loadu_epi32(lanes, d);
}

void transparent_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                      int32_t dst_pitch, int32_t) {
    walk(src, dst, w, h, src_pitch, dst_pitch,
         []<bool FULL>(const uint32_t* s, uint32_t* d, __mmask16 lanes) {
             const __m512i sv = load_source<FULL>(s, lanes);
             const __m512i colour =
                 _mm512_and_si512(sv, _mm512_set1_epi32(static_cast<int>(RGB_BYTES)));
             _mm512_mask_storeu_epi32(d, static_cast<__mmask16>(lanes & ~key_lanes(sv)), colour);
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
             const __m512i sv = load_source<FULL>(s, lanes);
             const __m512i k = _mm512_shuffle_epi8(sv, spread);
             const __m512i mixed = mix16(sv, load_destination<FULL>(d, lanes), k,
                                         _mm512_sub_epi16(_mm512_set1_epi16(256), k));
             if (FULL)
                 _mm512_store_si512(d, mixed);
             else
                 _mm512_mask_storeu_epi32(d, lanes, mixed);
         });
}

void blend_rows(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                int32_t dst_pitch, int32_t alpha) {
    const uint32_t weight = blend_weight(alpha);
    const __m512i k = _mm512_set1_epi16(static_cast<short>(weight));
    const __m512i keep = _mm512_set1_epi16(static_cast<short>(256 - weight));
    walk(src, dst, w, h, src_pitch, dst_pitch,
         [k, keep]<bool FULL>(const uint32_t* s, uint32_t* d, __mmask16 lanes) {
             const __m512i sv = load_source<FULL>(s, lanes);
             const auto written = static_cast<__mmask16>(lanes & ~key_lanes(sv));
             if (written == 0) return;  // all key pixels
             const __m512i mixed = mix16(sv, load_destination<FULL>(d, lanes), k, keep);
             _mm512_mask_storeu_epi32(d, written, mixed);
         });
}

constexpr RowTable AVX512_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* avx512_row_table() { return &AVX512_TABLE; }

#else

const RowTable* avx512_row_table() { return nullptr; }

#endif
