// Row routines of the 4-byte blits in AVX2: eight pixels per step, same results as the plain
// form to the byte.
#include "gfx/blit_pixels.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace {

using namespace blit_pixels;

constexpr int32_t LANES = 8;
// Rows at least this wide are walked with aligned destination steps; aligning costs more
// than it saves on shorter ones.
constexpr int32_t ALIGNED_WIDTH = 64;
constexpr uintptr_t VECTOR_BYTES = 32;

inline __m256i splat(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
inline __m256i load(const uint32_t* p) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}
inline __m256i loadu(const uint32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void store(uint32_t* p, __m256i v) { _mm256_store_si256(reinterpret_cast<__m256i*>(p), v); }
inline void storeu(uint32_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// mix() on eight pixels: per 16-bit lane s * k + d * keep (keep = 256 - k), which is at
// most 255 * 256 and so exact in 16 bits, then the high byte. Blue and red are the low bytes
// of the lanes (masked), green and alpha the high bytes (shifted down); the results are the
// high bytes, shifted down for blue and red, in place for green and alpha. Serves the
// per-pixel alpha, whose weight changes from pixel to pixel; the constant-alpha blend uses
// the shorter byte-pair form below.
inline __m256i mix8(__m256i s, __m256i d, __m256i k, __m256i keep) {
    const __m256i even = splat(EVEN_BYTES);
    const __m256i br = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(s, even), k),
                                        _mm256_mullo_epi16(_mm256_and_si256(d, even), keep));
    const __m256i ga = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(s, 8), k),
                                        _mm256_mullo_epi16(_mm256_srli_epi16(d, 8), keep));
    return _mm256_blendv_epi8(_mm256_srli_epi16(br, 8), ga, splat(ODD_BYTES));
}

// All bits set in the 32-bit lanes whose pixel is in the key colour.
inline __m256i key_lanes(__m256i s) {
    return _mm256_cmpeq_epi32(_mm256_and_si256(s, splat(RGB_BYTES)), splat(KEY_COLOR_RGB));
}

// A mode as three operations: `result`, eight new pixels from eight source and eight
// destination pixels; `step`, the same in place at an aligned destination (free to skip
// work that changes nothing); `one`, a single pixel.
struct Transparent {
    __m256i result(__m256i s, __m256i d) const {
        return _mm256_blendv_epi8(_mm256_and_si256(s, splat(RGB_BYTES)), d, key_lanes(s));
    }
    void step(const uint32_t* s, uint32_t* d) const {
        const __m256i sv = loadu(s);
        const __m256i key = key_lanes(sv);
        const __m256i colour = _mm256_and_si256(sv, splat(RGB_BYTES));
        // Runs of key and of non-key pixels are the rule (the cave image): neither needs the
        // destination read.
        const int keys = _mm256_movemask_epi8(key);
        if (keys == 0)
            store(d, colour);
        else if (keys != -1)
            store(d, _mm256_blendv_epi8(colour, load(d), key));
    }
    void one(uint32_t s, uint32_t* d) const { transparent_pixel(s, d); }
};

struct Alpha {
    __m256i result(__m256i s, __m256i d) const {
        // The alpha byte (byte 3 of each pixel) into both 16-bit lanes of its pixel.
        const __m256i spread =
            _mm256_setr_epi8(3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1, 3, -1, 3,
                             -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1);
        const __m256i k = _mm256_shuffle_epi8(s, spread);
        return mix8(s, d, k, _mm256_sub_epi16(_mm256_set1_epi16(256), k));
    }
    void step(const uint32_t* s, uint32_t* d) const { store(d, result(loadu(s), load(d))); }
    void one(uint32_t s, uint32_t* d) const { alpha_pixel(s, d); }
};

// blend by byte pairs (see BlendPairs): per byte base + floor((s - d) * weight / 2^shift),
// the pairs (s, d) interleaved by unpacking, multiplied and summed by pmaddubsw, the 16-bit
// quotients packed back to bytes in pixel order. Fewer operations than mix8 (two multiplies
// instead of four, no masks), and the operations are what bound this blend: a bare pass that
// reads two 480 x 320 images and writes one takes about as long as memcpy.
template <bool BASE_IS_SOURCE>
struct Blend {
    uint32_t weight;  // alpha + 1, for `one`
    __m256i pair_weight;
    __m128i shift;
    explicit Blend(int32_t alpha)
        : weight(blend_weight(alpha)),
          pair_weight(_mm256_set1_epi16(pair_weights(blend_pairs(weight).weight))),
          shift(_mm_cvtsi32_si128(blend_pairs(weight).shift)) {}
    __m256i result(__m256i s, __m256i d) const {
        const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(s, d), pair_weight);
        const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(s, d), pair_weight);
        const __m256i delta =
            _mm256_packs_epi16(_mm256_sra_epi16(lo, shift), _mm256_sra_epi16(hi, shift));
        const __m256i mixed = _mm256_add_epi8(BASE_IS_SOURCE ? s : d, delta);
        return _mm256_blendv_epi8(mixed, d, key_lanes(s));
    }
    void step(const uint32_t* s, uint32_t* d) const { store(d, result(loadu(s), load(d))); }
    void one(uint32_t s, uint32_t* d) const { blend_pixel(s, d, weight); }
};

// Per row: aligned steps over the destination's 32-byte blocks; the first and the last eight
// pixels, where the steps leave them out, computed from the untouched row before the steps
// and stored after them (where they overlap the steps they store the same values: every
// store is the formula on the original pixels, and source and destination never overlap).
// A masked tail (vpmaskmovd) came out about 3% slower for the cave's pair of transparent
// blits over all its seams on Zen 4. Rows under ALIGNED_WIDTH pixels skip the alignment and
// end with an overlapping step in the same way; rows under eight pixels go pixel by pixel.
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
        // Short rows (text tiles): plain unaligned steps, the last one overlapping.
        for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch)) {
            const __m256i tail = kernel.result(loadu(s + last), loadu(d + last));
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
        const __m256i none = _mm256_setzero_si256();
        const __m256i head = first > 0 ? kernel.result(loadu(s), loadu(d)) : none;
        const __m256i tail = end < w ? kernel.result(loadu(s + last), loadu(d + last)) : none;
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
    if (blend_pairs(blend_weight(alpha)).base_is_source)
        walk(src, dst, w, h, src_pitch, dst_pitch, Blend<true>(alpha));
    else
        walk(src, dst, w, h, src_pitch, dst_pitch, Blend<false>(alpha));
}

constexpr RowTable AVX2_TABLE =
    make_row_table(copy_rows_4, transparent_rows, alpha_rows, blend_rows);

}  // namespace

const RowTable* avx2_row_table() { return &AVX2_TABLE; }

#else

const RowTable* avx2_row_table() { return nullptr; }

#endif
