// One-pixel forms of the 4-byte blits, shared by the row routines of every form (the plain
// form's loops, the vector forms' rows narrower than a vector), and the hooks of the vector
// forms.
// The helpers are static: each file compiles its own copy with its own instruction set, so
// the linker can never hand plain code a copy built for a vector unit.
#pragma once

#include <cstdint>

#include "gfx/blit_rows.h"

namespace blit_pixels {

constexpr uint32_t EVEN_BYTES = 0x00FF00FFu;  // blue and red
constexpr uint32_t ODD_BYTES = 0xFF00FF00u;   // green and alpha
constexpr uint32_t RGB_BYTES = 0x00FFFFFFu;

// Each byte becomes d + floor((s - d) * k / 256), k in 0..256. Written as
// (d * (256 - k) + s * k) >> 8, which is the same number (d * 256 + (s - d) * k is never
// negative, so the shift is the floor) and stays within 0..255 * 256 per byte: two bytes
// share a 32-bit word (masks 0x00FF00FF, 0xFF00FF00) without a carry between them.
static inline uint32_t mix(uint32_t s, uint32_t d, uint32_t k) {
    const uint32_t keep = 256 - k;
    const uint32_t br = ((d & EVEN_BYTES) * keep + (s & EVEN_BYTES) * k) >> 8;
    const uint32_t ga = ((d >> 8) & EVEN_BYTES) * keep + ((s >> 8) & EVEN_BYTES) * k;
    return (br & EVEN_BYTES) | (ga & ODD_BYTES);
}

// Weight of blit_mode::blend: alpha + 1, alpha clamped to 0..255.
static inline uint32_t blend_weight(int32_t alpha) {
    return static_cast<uint32_t>(alpha < 0 ? 0 : alpha > 255 ? 255 : alpha) + 1;
}

// blit_mode::blend for the byte-pair multiply of the vector forms (unsigned bytes times
// signed bytes, adjacent products summed: pmaddubsw), whose weights must stay within -128..127
// while k runs to 256. Each byte is computed as base + floor(t / 2^shift) with
// t = (s - d) * weight from the pair (s, d) and the weights (weight, -weight):
// - k < 128: base d, weight k, shift 8: the formula itself.
// - k = 128: base d, weight 64, shift 7: the same quotient.
// - k > 128: base s, weight k - 256 (-127..-1; 0 for k = 256), shift 8:
//   s + floor((s - d) * (k - 256) / 256) = d + floor((s - d) * k / 256), as the two floors'
//   arguments differ by the whole number s - d.
// |t| <= 255 * 128 fits in 16 bits, and floor(t / 2^shift) lies in -128..127, a signed byte,
// which added to the base byte wraps to the result.
struct BlendPairs {
    bool base_is_source;
    int32_t weight;  // -127..127
    int32_t shift;   // 7 or 8
};

static inline BlendPairs blend_pairs(uint32_t k) {
    if (k < 128) return {false, static_cast<int32_t>(k), 8};
    if (k == 128) return {false, 64, 7};
    return {true, static_cast<int32_t>(k) - 256, 8};
}

// The 16-bit lane of the weights (weight for the source byte, low; -weight, high).
static inline int16_t pair_weights(int32_t weight) {
    return static_cast<int16_t>(static_cast<uint16_t>((-weight & 0xFF) << 8 | (weight & 0xFF)));
}

static inline void transparent_pixel(uint32_t s, uint32_t* d) {
    if ((s & RGB_BYTES) != KEY_COLOR_RGB) *d = s & RGB_BYTES;
}

static inline void alpha_pixel(uint32_t s, uint32_t* d) { *d = mix(s, *d, s >> 24); }

static inline void blend_pixel(uint32_t s, uint32_t* d, uint32_t k) {
    if ((s & RGB_BYTES) != KEY_COLOR_RGB) *d = mix(s, *d, k);
}

// Row steppers for the rectangle walks.
static inline const uint32_t* next_row(const uint32_t* row, int32_t pitch) {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(row) + pitch);
}
static inline uint32_t* next_row(uint32_t* row, int32_t pitch) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(row) + pitch);
}

// The 4-byte copy, shared by every form: memcpy is already as wide as the machine.
void copy_rows_4(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t alpha);

// Every mode of the 1- and 2-byte pictures: a plain copy.
void copy_rows_1(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t alpha);
void copy_rows_2(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t alpha);

// A table with the 1- and 2-byte copies and the given 4-byte routines.
static constexpr RowTable make_row_table(RowRoutine copy, RowRoutine transparent, RowRoutine alpha,
                                         RowRoutine blend) {
    return RowTable{{
        {nullptr, copy_rows_1, copy_rows_2, nullptr, copy},
        {nullptr, copy_rows_1, copy_rows_2, nullptr, transparent},
        {nullptr, copy_rows_1, copy_rows_2, nullptr, alpha},
        {nullptr, copy_rows_1, copy_rows_2, nullptr, blend},
    }};
}

}  // namespace blit_pixels

// Tables of the vector forms, null when the build has no such form (another processor, or
// the file compiled without the unit's flags). Whether the processor runs them is tested
// by the caller.
const RowTable* sse2_row_table();
const RowTable* avx2_row_table();
const RowTable* avx512_row_table();
