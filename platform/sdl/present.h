// Where the screen page sits in the SDL window and how its rows are scaled into it: the
// largest whole factor that fits the window (or the display in full screen), centred on
// black, nearest neighbour. Plain ints and pixels only, so that it can be tested without a
// display.
#pragma once

#include <cstdint>

struct PageLayout {
    int scale = 1;                   // window pixels per page pixel, at least 1
    int origin_x = 0, origin_y = 0;  // window position of the page's top left pixel; negative
                                     // when the window is smaller than the page
};

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The largest whole number of pixels per page pixel at which the page fits in an area of
// area_width x area_height pixels; 1 when not even 1 fits.
int largest_fitting_scale(int area_width, int area_height, int page_width, int page_height);

// The layout in a window area of area_width x area_height pixels.
PageLayout lay_out_page(int area_width, int area_height, int page_width, int page_height);

// The window pixel under a pointer position given in window units, for a window that is
// `units` wide (or high) in window units and `pixels` wide in real pixels: the two differ
// where the desktop scales windows (HiDPI), pointer events being in units and the window's
// surface in pixels. Rounds toward minus infinity; `units` <= 0 leaves the value as it is.
int unit_to_pixel(int value, int units, int pixels);

// The page pixel under window pixel (x, y); outside the page gives coordinates below 0 or
// at least the page's size.
void window_to_page(const PageLayout& layout, int x, int y, int& page_x, int& page_y);

// The window rectangle that page rows first..last cover, cut to the area; width or height 0
// when none of it is visible.
WindowRect band_rect(const PageLayout& layout, int page_width, int first, int last, int area_width,
                     int area_height);

// Fills `out` with window pixels x0..x0+count-1 of window row y, which must lie inside the
// page's picture: the page pixel under each, made opaque (the window never shows alpha).
void scale_row(const uint32_t* page, int page_width, const PageLayout& layout, int y, int x0, int count,
               uint32_t* out);
