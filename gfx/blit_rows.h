// The blits' row routines: one per blit mode and pixel size, in a plain form and in vector
// forms (SSE2, AVX2, AVX-512) chosen once per mode by a processor feature test.
#pragma once

#include <cstdint>

#include "gfx/gfx.h"

// Walks a rectangle of w x h pixels (w, h > 0) starting at the given first source and
// destination pixels; pitches are in bytes. alpha is used by blit_mode::blend only and is
// taken as 0..255 (values outside are clamped). Touches nothing outside the rectangle.
using RowRoutine = void (*)(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h,
                            int32_t src_pitch, int32_t dst_pitch, int32_t alpha);

constexpr int BLIT_MODE_COUNT = 4;
constexpr int MAX_BYTES_PER_PIXEL = 4;

// Indexed [mode][bytes per pixel]; only 1, 2 and 4 bytes per pixel have routines, the
// other entries are null.
struct RowTable {
    RowRoutine routine[BLIT_MODE_COUNT][MAX_BYTES_PER_PIXEL + 1];
};

enum class row_form { plain, sse2, avx2, avx512 };
constexpr int ROW_FORM_COUNT = 4;

// The routine put_image calls for a mode and pixel size, from the form picked for the mode
// on first use; null for a mode or size without one.
RowRoutine find_row_routine(blit_mode mode, int32_t bytes_per_pixel);

// The form picked for a mode on this processor: the first it runs of the mode's preferred
// forms (widest first, but for the per-pixel alpha of the text tiles AVX2 before AVX-512).
row_form row_form_of(blit_mode mode);

// The table of one form, or null when this build or this processor cannot run it. For
// tests and benchmarks that compare the forms.
const RowTable* row_table_of(row_form form);

// "plain", "sse2", "avx2", "avx512".
const char* row_form_name(row_form form);
