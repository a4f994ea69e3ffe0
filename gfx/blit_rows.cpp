// The plain row routines (the reference for the vector forms) and the choice of the form
// that put_image uses.
#include "gfx/blit_rows.h"

#include <cstring>

#include "gfx/blit_pixels.h"

namespace blit_pixels {

void copy_rows_4(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t) {
    const size_t row_bytes = static_cast<size_t>(w) * 4;
    if (src_pitch == dst_pitch && row_bytes == static_cast<size_t>(src_pitch)) {
        // Rows without padding between them: one block.
        std::memcpy(dst, src, row_bytes * static_cast<size_t>(h));
        return;
    }
    for (int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch)
        std::memcpy(dst, src, row_bytes);
}

// Pictures of 1 and 2 bytes per pixel hold palette indices or packed colours whose layout
// the image buffer does not record, so there is nothing to mix or key on: every mode
// copies them unchanged.
void copy_rows_1(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t) {
    for (int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch)
        std::memcpy(dst, src, static_cast<size_t>(w));
}

void copy_rows_2(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                 int32_t dst_pitch, int32_t) {
    for (int32_t y = 0; y < h; ++y, src += src_pitch, dst += dst_pitch)
        std::memcpy(dst, src, static_cast<size_t>(w) * 2);
}

}  // namespace blit_pixels

namespace {

using namespace blit_pixels;

void transparent_rows_4(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                        int32_t dst_pitch, int32_t) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch))
        for (int32_t x = 0; x < w; ++x) transparent_pixel(s[x], &d[x]);
}

void alpha_rows_4(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                  int32_t dst_pitch, int32_t) {
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch))
        for (int32_t x = 0; x < w; ++x) alpha_pixel(s[x], &d[x]);
}

void blend_rows_4(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, int32_t src_pitch,
                  int32_t dst_pitch, int32_t alpha) {
    const uint32_t k = blend_weight(alpha);
    const auto* s = reinterpret_cast<const uint32_t*>(src);
    auto* d = reinterpret_cast<uint32_t*>(dst);
    for (int32_t y = 0; y < h; ++y, s = next_row(s, src_pitch), d = next_row(d, dst_pitch))
        for (int32_t x = 0; x < w; ++x) blend_pixel(s[x], &d[x], k);
}

constexpr RowTable PLAIN_TABLE =
    make_row_table(copy_rows_4, transparent_rows_4, alpha_rows_4, blend_rows_4);

bool processor_runs(row_form form) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    switch (form) {
    case row_form::plain: return true;
    case row_form::sse2: return __builtin_cpu_supports("sse2");
    case row_form::avx2: return __builtin_cpu_supports("avx2");
    case row_form::avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    }
    return false;
#else
    return form == row_form::plain;
#endif
}

const RowTable* built_table(row_form form) {
    switch (form) {
    case row_form::plain: return &PLAIN_TABLE;
    case row_form::sse2: return sse2_row_table();
    case row_form::avx2: return avx2_row_table();
    case row_form::avx512: return avx512_row_table();
    }
    return nullptr;
}

// The forms each mode tries, best first; put_image uses the first one this processor runs.
// Widest first, except the per-pixel alpha: the game uses it on 16-pixel text tiles only,
// where one unaligned 64-byte AVX-512 step per row (across two cache lines) measured 5 to 10%
// slower than two 32-byte AVX2 steps on Zen 4 (tools/bench.sh, rows_alpha_tile16_*).
constexpr row_form PREFERRED_FORMS[BLIT_MODE_COUNT][ROW_FORM_COUNT] = {
    // copy: the same memcpy in every form
    {row_form::avx512, row_form::avx2, row_form::sse2, row_form::plain},
    // transparent
    {row_form::avx512, row_form::avx2, row_form::sse2, row_form::plain},
    // alpha
    {row_form::avx2, row_form::avx512, row_form::sse2, row_form::plain},
    // blend
    {row_form::avx512, row_form::avx2, row_form::sse2, row_form::plain},
};

struct Choice {
    row_form form[BLIT_MODE_COUNT];
    RowTable table;  // each mode's row from the table of its form
};

// Picked on first use, before any blit.
const Choice& choice() {
    static const Choice chosen = [] {
        Choice c{};
        for (int m = 0; m < BLIT_MODE_COUNT; ++m) {
            c.form[m] = row_form::plain;
            for (row_form form : PREFERRED_FORMS[m]) {
                if (row_table_of(form) != nullptr) {
                    c.form[m] = form;
                    break;
                }
            }
            for (int bytes = 0; bytes <= MAX_BYTES_PER_PIXEL; ++bytes)
                c.table.routine[m][bytes] = row_table_of(c.form[m])->routine[m][bytes];
        }
        return c;
    }();
    return chosen;
}

}  // namespace

const RowTable* row_table_of(row_form form) {
    const RowTable* table = built_table(form);
    return table && processor_runs(form) ? table : nullptr;
}

RowRoutine find_row_routine(blit_mode mode, int32_t bytes_per_pixel) {
    const int m = static_cast<int>(mode);
    if (m < 0 || m >= BLIT_MODE_COUNT || bytes_per_pixel < 1 ||
        bytes_per_pixel > MAX_BYTES_PER_PIXEL)
        return nullptr;
    return choice().table.routine[m][bytes_per_pixel];
}

row_form row_form_of(blit_mode mode) {
    const int m = static_cast<int>(mode);
    return m >= 0 && m < BLIT_MODE_COUNT ? choice().form[m] : row_form::plain;
}

const char* row_form_name(row_form form) {
    switch (form) {
    case row_form::plain: return "plain";
    case row_form::sse2: return "sse2";
    case row_form::avx2: return "avx2";
    case row_form::avx512: return "avx512";
    }
    return "?";
}
