// Lines, box outlines, filled boxes, filled and outlined ellipses and pixel reads, drawn
// into an image buffer or (null target) the screen page under the screen lock.
#include "gfx/draw.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/image.h"
#include "platform/screen.h"

const float FULL_TURN_ANGLE = std::bit_cast<float>(0x40C90FDCu);

namespace {

// Pixel rows of a drawing target. Its clip rectangle is columns 0..width-1 and rows
// 0..height-1 (neither the screen page nor an image buffer is ever narrowed).
struct Surface {
    uint8_t* pixels = nullptr;  // first byte of row 0
    int64_t pitch = 0;          // bytes from one row to the next
    int64_t width = 0;
    int64_t height = 0;
    bool is_screen = false;
};

// The colour and the 16-bit dash pattern a line or an outline is drawn with. Pixel number
// k along a stroke, counted from the stroke's origin, is drawn when bit 15 - (k mod 16) of
// the pattern is set, so 0xFFFF is solid and 0xF0F0 draws 4 on, 4 off, starting with on.
struct Pen {
    uint32_t colour;
    uint32_t pattern;  // low 16 bits
    bool solid() const { return pattern == 0xFFFF; }
    bool draws(int64_t k) const { return ((pattern >> (15 - (k & 15))) & 1u) != 0; }
};

// A coordinate far outside any picture but small enough that sums and differences of a
// few of them stay exact in both int64_t and double.
constexpr int64_t FAR_COORD = int64_t{1} << 40;

// Radii (in pixels) up to which the integer ellipse stepping runs; beyond it the 64-bit
// terms 2 * a^2 * b would overflow. 2^20 is far beyond any picture the game makes, and
// 2 * (2^20)^3 = 2^61 leaves room.
constexpr float STEPPED_RADIUS_LIMIT = 1048576.0f;

// Fills s with the target's rows; false when it cannot be drawn on (not 4 bytes per
// pixel, or no rows). The caller holds the screen lock.
bool get_surface(Image target, Surface& s) {
    if (target == nullptr) {
        ScreenPage page = screen_page();
        if (page.pixels == nullptr || page.bytes_per_pixel != 4) return false;
        s.pixels = reinterpret_cast<uint8_t*>(page.pixels);
        s.pitch = page.pitch;
        s.width = page.width;
        s.height = page.height;
        s.is_screen = true;
    } else {
        if (target->bytes_per_pixel != 4) return false;
        s.pixels = reinterpret_cast<uint8_t*>(target + 1);
        s.pitch = target->pitch;
        s.width = target->width;
        s.height = target->height;
        s.is_screen = false;
    }
    return s.width > 0 && s.height > 0;
}

uint32_t* row_of(const Surface& s, int64_t y) {
    return reinterpret_cast<uint32_t*>(s.pixels + y * s.pitch);
}

// Marks rows first..last (already inside the surface) for the refresh thread.
void mark_rows(const Surface& s, int64_t first, int64_t last) {
    if (s.is_screen && first <= last) mark_rows_changed(static_cast<int>(first), static_cast<int>(last));
}

// Writes n pixels of colour c from p on. Runs are mostly short (circle spans of a few to
// a few dozen pixels), so whole 16-byte stores are used, the last one overlapping.
void fill_run(uint32_t* p, int64_t n, uint32_t c) {
#if defined(__SSE2__)
    if (n >= 4) {
        const __m128i v = _mm_set1_epi32(static_cast<int>(c));
        uint32_t* const last = p + n - 4;
        for (; p < last; p += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(last), v);
        return;
    }
#endif
    std::fill(p, p + n, c);
}

// One run of columns x0..x1 (inside the surface, x0 <= x1) on row y; a pattern counts
// from column `origin`.
void draw_run(const Surface& s, int64_t y, int64_t x0, int64_t x1, const Pen& pen, int64_t origin) {
    uint32_t* row = row_of(s, y);
    if (pen.solid()) {
        fill_run(row + x0, x1 - x0 + 1, pen.colour);
        return;
    }
    for (int64_t x = x0; x <= x1; ++x)
        if (pen.draws(std::llabs(x - origin))) row[x] = pen.colour;
}

// One column x, rows y0..y1 (inside the surface, y0 <= y1); a pattern counts from row
// `origin`.
void draw_column(const Surface& s, int64_t x, int64_t y0, int64_t y1, const Pen& pen, int64_t origin) {
    for (int64_t y = y0; y <= y1; ++y)
        if (pen.draws(std::llabs(y - origin))) row_of(s, y)[x] = pen.colour;
}

// Outside code of Cohen and Sutherland: 1 left, 2 right, 8 above, 4 below.
int outside_code(const Surface& s, int64_t x, int64_t y) {
    int code = 0;
    if (x < 0) code |= 1;
    else if (x >= s.width) code |= 2;
    if (y < 0) code |= 8;
    else if (y >= s.height) code |= 4;
    return code;
}

// v truncated toward zero, pinned to +-FAR_COORD (NaN counts as far away).
int64_t truncate_far(double v) {
    if (!(v > -static_cast<double>(FAR_COORD))) return v < 0 ? -FAR_COORD : FAR_COORD;
    if (v > static_cast<double>(FAR_COORD)) return FAR_COORD;
    return static_cast<int64_t>(v);
}

// Cuts the segment to the surface; false when nothing of it is left. Each clip step moves
// the first endpoint onto an edge, truncating the computed coordinate toward zero.
bool clip_segment(const Surface& s, int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2) {
    // Every step moves a point onto an edge line between the two ends, so a handful of
    // steps settle any segment; the cap only guards against a cycle of truncations.
    for (int step = 0; step < 16; ++step) {
        int code1 = outside_code(s, x1, y1);
        int code2 = outside_code(s, x2, y2);
        if ((code1 | code2) == 0) return true;
        if ((code1 & code2) != 0) return false;
        if (code1 == 0) {
            std::swap(x1, x2);
            std::swap(y1, y2);
            std::swap(code1, code2);
        }
        double m = x1 == x2 ? 1.0 : static_cast<double>(y2 - y1) / static_cast<double>(x2 - x1);
        if (code1 & 1) {
            y1 = truncate_far(static_cast<double>(y1) + m * static_cast<double>(0 - x1));
            x1 = 0;
        } else if (code1 & 2) {
            y1 = truncate_far(static_cast<double>(y1) + m * static_cast<double>(s.width - 1 - x1));
            x1 = s.width - 1;
        } else if (code1 & 8) {
            if (x1 != x2) x1 = truncate_far(static_cast<double>(x1) + static_cast<double>(0 - y1) / m);
            y1 = 0;
        } else {
            if (x1 != x2)
                x1 = truncate_far(static_cast<double>(x1) + static_cast<double>(s.height - 1 - y1) / m);
            y1 = s.height - 1;
        }
    }
    return false;
}

// A line from (x1, y1) to (x2, y2), both ends included. A pattern counts along the
// longer axis from the first end as given, so clipping does not shift the dashes.
void draw_segment(const Surface& s, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen) {
    const bool counts_x = std::llabs(x2 - x1) >= std::llabs(y2 - y1);
    const int64_t origin = counts_x ? x1 : y1;
    if (!clip_segment(s, x1, y1, x2, y2)) return;
    auto plot = [&](int64_t x, int64_t y) {
        if (pen.draws(std::llabs((counts_x ? x : y) - origin))) row_of(s, y)[x] = pen.colour;
    };

    if (x1 == x2 && (pen.solid() || !counts_x)) {
        draw_column(s, x1, std::min(y1, y2), std::max(y1, y2), pen, origin);
    } else if (y1 == y2 && (pen.solid() || counts_x)) {
        draw_run(s, y1, std::min(x1, x2), std::max(x1, x2), pen, origin);
    } else {
        // Bresenham's method (also a straight remnant whose dashes count along the other
        // axis); dx and dy are at most the surface size after clipping.
        const int64_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
        const int64_t dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
        int64_t x = x1, y = y1;
        if (dx >= dy) {
            int64_t e = 2 * dy - dx;
            for (int64_t i = 0; i <= dx; ++i) {
                plot(x, y);
                if (e >= 0) {
                    y += sy;
                    e -= 2 * dx;
                }
                x += sx;
                e += 2 * dy;
            }
        } else {
            int64_t e = 2 * dx - dy;
            for (int64_t i = 0; i <= dy; ++i) {
                plot(x, y);
                if (e >= 0) {
                    x += sx;
                    e -= 2 * dy;
                }
                y += sy;
                e += 2 * dx;
            }
        }
    }
    mark_rows(s, std::min(y1, y2), std::max(y1, y2));
}

// A box with ordered corners. A filled box ignores the pattern; an outline draws each
// edge only when the edge's own row or column lies on the surface.
void draw_box(const Surface& s, int64_t x1, int64_t y1, int64_t x2, int64_t y2, const Pen& pen, bool filled) {
    if (x2 < 0 || y2 < 0 || x1 >= s.width || y1 >= s.height) return;
    const int64_t left = std::max<int64_t>(x1, 0), right = std::min(x2, s.width - 1);
    const int64_t top = std::max<int64_t>(y1, 0), bottom = std::min(y2, s.height - 1);
    if (filled) {
        const Pen solid{pen.colour, 0xFFFF};
        for (int64_t y = top; y <= bottom; ++y) draw_run(s, y, left, right, solid, left);
    } else {
        if (y2 < s.height) draw_run(s, y2, left, right, pen, x1);
        if (y1 >= 0) draw_run(s, y1, left, right, pen, x1);
        if (x2 < s.width) draw_column(s, x2, top, bottom, pen, y1);
        if (x1 >= 0) draw_column(s, x1, top, bottom, pen, y1);
    }
    mark_rows(s, top, bottom);
}

// ---- ellipses ----

// (c - r) truncated toward zero, exactly, for |c| <= 2^31 and r >= 0 (r may be huge or
// infinite); pinned to -FAR_COORD.
int64_t truncate_difference(int64_t c, double r) {
    if (!(r <= static_cast<double>(FAR_COORD))) return -FAR_COORD;
    const auto whole = static_cast<int64_t>(r);
    const bool integral = static_cast<double>(whole) == r;
    // c - r >= 0 truncates down to c - ceil(r); below 0 it truncates up to c - floor(r).
    if (static_cast<double>(c) >= r) return c - whole - (integral ? 0 : 1);
    return std::max(c - whole, -FAR_COORD);
}

// (c + r) truncated toward zero, exactly, for an integer c and r >= 0; pinned likewise.
int64_t truncate_sum(int64_t c, double r) { return -truncate_difference(-c, r); }

// trunc(k * a) without rounding, for 0 <= k < 2^41 and 1 <= a <= STEPPED_RADIUS_LIMIT.
// With a = m / 2^q (m < 2^24 from the float's bits, 3 <= q <= 23) and k = kh * 2^q + kl,
// the product is kh * m + kl * m / 2^q, and neither part can overflow.
int64_t truncate_product(int64_t k, float a) {
    const uint32_t bits = std::bit_cast<uint32_t>(a);
    const int64_t m = (bits & 0x7FFFFF) | 0x800000;           // a is normal: a >= 1
    const int q = 127 + 23 - static_cast<int>(bits >> 23);    // sign bit clear
    return (k >> q) * m + (((k & ((int64_t{1} << q) - 1)) * m) >> q);
}

// Draws one span of the ellipse: filled, every column of x1..x2 on the surface; else
// only the two ends.
void draw_span(const Surface& s, int64_t y, int64_t x1, int64_t x2, uint32_t colour, bool filled) {
    if (y < 0 || y >= s.height) return;
    uint32_t* row = row_of(s, y);
    if (filled) {
        if (x2 < 0 || x1 >= s.width) return;
        const int64_t left = std::max<int64_t>(x1, 0);
        fill_run(row + left, std::min(x2, s.width - 1) - left + 1, colour);
        return;
    }
    if (x1 >= 0 && x1 < s.width) row[x1] = colour;
    if (x2 >= 0 && x2 < s.width) row[x2] = colour;
}

// The ellipse by integer stepping from the centre row outward. A filled row is drawn only
// by the first span that reaches it, which is the widest one: the span drawn in the pass
// that stepped onto that row (later passes on the same row only narrow it). That is what
// a row-filled table of one byte per row would record, without a table.
void step_ellipse(const Surface& s, int64_t cx, int64_t cy, float a, float b, uint32_t colour, bool filled) {
    int64_t xl = truncate_difference(cx, a);
    int64_t xr = truncate_sum(cx, a);
    if (b == 0.0f) {
        draw_span(s, cy, xl, xr, colour, true);
        return;
    }
    draw_span(s, cy, xl, xr, colour, filled);
    // Spans only narrow from here, so one that misses the surface sideways means they all do.
    if (xr < 0 || xl >= s.width) return;

    auto n = static_cast<int64_t>(a);
    if (n == 0) return;  // a < 1: the centre span is all there is
    const auto a2 = static_cast<int64_t>(static_cast<double>(a) * a);  // exact: 48-bit product
    const auto b2 = static_cast<int64_t>(static_cast<double>(b) * b);
    int64_t e = truncate_product(b2, a);
    int64_t px = 2 * e, py = 0;
    int64_t yd = cy, yu = cy;
    while (n > 0) {
        bool new_row = false;
        if (e > 0) {
            ++yd;
            --yu;
            py += 2 * a2;
            e -= py;
            new_row = true;
        }
        if (e <= 0) {
            --n;
            ++xl;
            --xr;
            px -= 2 * b2;
            e += px;
        }
        if (new_row || !filled) {
            draw_span(s, yd, xl, xr, colour, filled);
            draw_span(s, yu, xl, xr, colour, filled);
        }
        // Rows only move outward: once both are off the surface nothing more is drawn.
        if (yd >= s.height && yu < 0) break;
    }
}

// Ellipses too large for the stepping (radii beyond STEPPED_RADIUS_LIMIT, which no picture
// can show whole): each row of the surface they reach gets the span of the ellipse's
// equation, so a huge circle still covers what it covers.
void solve_ellipse(const Surface& s, int64_t cx, int64_t cy, float a, float b, uint32_t colour, bool filled) {
    const int64_t top = std::max<int64_t>(truncate_difference(cy, b), 0);
    const int64_t bottom = std::min<int64_t>(truncate_sum(cy, b), s.height - 1);
    for (int64_t y = top; y <= bottom; ++y) {
        const double t = static_cast<double>(y - cy) / b;  // b > 0 here
        const double rest = 1.0 - t * t;
        const double w = rest > 0.0 ? static_cast<double>(a) * std::sqrt(rest) : 0.0;
        draw_span(s, y, truncate_difference(cx, w), truncate_sum(cx, w), colour, filled);
    }
}

}  // namespace

void draw_line(Image target, float x1, float y1, float x2, float y2, uint32_t colour, int32_t kind,
               uint32_t pattern, int32_t coord_mode) {
    if (!screen_is_open()) return;
    if (coord_mode == COORDS_RELATIVE) {
        x2 = x1 + x2;  // single-precision sums
        y2 = y1 + y2;
    }
    int64_t ix1 = round_coord(x1), iy1 = round_coord(y1);
    int64_t ix2 = round_coord(x2), iy2 = round_coord(y2);
    const Pen pen{colour, pattern & 0xFFFFu};

    CallLock guard;
    Surface s;
    if (!get_surface(target, s)) return;
    if (kind == LINE_BOX || kind == LINE_FILLED_BOX) {
        if (ix1 > ix2) std::swap(ix1, ix2);
        if (iy1 > iy2) std::swap(iy1, iy2);
        draw_box(s, ix1, iy1, ix2, iy2, pen, kind == LINE_FILLED_BOX);
    } else if (kind == LINE_SEGMENT) {
        draw_segment(s, ix1, iy1, ix2, iy2, pen);
    }
}

void draw_circle(Image target, float x, float y, float radius, uint32_t colour, float aspect,
                 float start_angle, float end_angle, int32_t fill) {
    if (!screen_is_open()) return;
    // Only full circles are drawn; arcs and pie slices are not supported.
    if (!(start_angle == 0.0f && end_angle == FULL_TURN_ANGLE)) return;

    CallLock guard;
    Surface s;
    if (!get_surface(target, s)) return;
    if (aspect == 0.0f) {
        const ScreenPage page = screen_page();
        aspect = static_cast<float>(static_cast<double>(page.height) / page.width * 4.0 / 3.0);
    }
    float a, b;  // horizontal and vertical radius
    if (aspect > 1.0f) {
        a = radius / aspect;
        b = radius;
    } else {
        a = radius;
        b = radius * aspect;
    }
    // The stepping uses b only as b * b, so a negative aspect (never wide) draws the ellipse
    // of a = radius, b = radius * |aspect|; |b| is also the half-height of the rows marked.
    b = std::fabs(b);
    // Negative or undefined radii (a negative radius, NaN) draw nothing.
    if (!(a >= 0.0f) || !(b >= 0.0f)) return;

    const int64_t cx = round_coord(x), cy = round_coord(y);
    if (a <= STEPPED_RADIUS_LIMIT && b <= STEPPED_RADIUS_LIMIT)
        step_ellipse(s, cx, cy, a, b, colour, fill != 0);
    else
        solve_ellipse(s, cx, cy, a, b, colour, fill != 0);

    mark_rows(s, std::max<int64_t>(truncate_difference(cy, b), 0),
              std::min<int64_t>(truncate_sum(cy, b), s.height - 1));
}

uint32_t read_pixel(Image target, float x, float y) {
    if (!screen_is_open()) return 0xFFFFFFFFu;
    const int64_t px = round_coord(x), py = round_coord(y);
    CallLock guard;
    Surface s;
    if (!get_surface(target, s)) return 0xFFFFFFFFu;
    if (px < 0 || py < 0 || px >= s.width || py >= s.height) return 0xFFFFFFFFu;
    return row_of(s, py)[px];
}
