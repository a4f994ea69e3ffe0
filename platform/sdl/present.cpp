// The page's place in the SDL window and the nearest-neighbour scaling of its rows.
#include "platform/sdl/present.h"

#include <algorithm>

namespace {

// Division rounding toward minus infinity, so that window pixels left of or above the
// page map to negative page coordinates.
int floor_div(int64_t a, int64_t b) { return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b)); }

}  // namespace

int largest_fitting_scale(int area_width, int area_height, int page_width, int page_height) {
    if (page_width <= 0 || page_height <= 0) return 1;
    return std::max(1, std::min(area_width / page_width, area_height / page_height));
}

PageLayout lay_out_page(int area_width, int area_height, int page_width, int page_height) {
    PageLayout layout;
    layout.scale = largest_fitting_scale(area_width, area_height, page_width, page_height);
    layout.origin_x = (area_width - page_width * layout.scale) / 2;
    layout.origin_y = (area_height - page_height * layout.scale) / 2;
    return layout;
}

int unit_to_pixel(int value, int units, int pixels) {
    if (units <= 0) return value;
    return floor_div(static_cast<int64_t>(value) * pixels, units);
}

void window_to_page(const PageLayout& layout, int x, int y, int& page_x, int& page_y) {
    page_x = floor_div(x - layout.origin_x, layout.scale);
    page_y = floor_div(y - layout.origin_y, layout.scale);
}

WindowRect band_rect(const PageLayout& layout, int page_width, int first, int last, int area_width,
                     int area_height) {
    WindowRect r;
    const int x0 = std::max(0, layout.origin_x);
    const int x1 = std::min(area_width, layout.origin_x + page_width * layout.scale);
    const int y0 = std::max(0, layout.origin_y + first * layout.scale);
    const int y1 = std::min(area_height, layout.origin_y + (last + 1) * layout.scale);
    if (x0 >= x1 || y0 >= y1) return r;
    r.x = x0;
    r.y = y0;
    r.width = x1 - x0;
    r.height = y1 - y0;
    return r;
}

void scale_row(const uint32_t* page, int page_width, const PageLayout& layout, int y, int x0, int count,
               uint32_t* out) {
    int page_x = 0, page_y = 0;
    window_to_page(layout, x0, y, page_x, page_y);
    const uint32_t* src = page + static_cast<size_t>(page_y) * page_width;
    const int k = layout.scale;
    int phase = (x0 - layout.origin_x) - page_x * k;  // 0..k-1: position inside the page pixel
    for (int i = 0; i < count; ++i) {
        out[i] = src[page_x] | 0xFF000000u;
        if (++phase == k) {
            phase = 0;
            ++page_x;
        }
    }
}
