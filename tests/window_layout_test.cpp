// The page's place in the SDL window, without a display: the largest whole factor that fits,
// centred on black, nearest neighbour.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/sdl/present.h"

namespace {

struct LayoutCase {
    int area_width, area_height;
    int scale, origin_x, origin_y;
};

TEST(WindowLayout, TheLargestWholeFactorThatFitsCentred) {
    const LayoutCase cases[] = {
        {480, 320, 1, 0, 0},      // the window as it opens
        {960, 640, 2, 0, 0},      // --scale 2
        {1000, 700, 2, 20, 30},   // resized
        {3840, 2160, 6, 480, 120},
        {959, 2000, 1, 239, 840},  // one pixel short of 2x across
        {400, 300, 1, -40, -10},   // a display smaller than the page: 1x, cut
    };
    for (const LayoutCase& c : cases) {
        PageLayout layout = lay_out_page(c.area_width, c.area_height, 480, 320);
        EXPECT_EQ(layout.scale, c.scale) << c.area_width << "x" << c.area_height;
        EXPECT_EQ(layout.origin_x, c.origin_x) << c.area_width << "x" << c.area_height;
        EXPECT_EQ(layout.origin_y, c.origin_y) << c.area_width << "x" << c.area_height;
    }
}

TEST(WindowLayout, WindowPixelsMapBackToPagePixels) {
    PageLayout layout = lay_out_page(1280, 1024, 480, 320);  // 2x at (160, 192)
    struct Point {
        int x, y, page_x, page_y;
    };
    const Point points[] = {{160, 192, 0, 0},    {161, 193, 0, 0},     {162, 192, 1, 0},
                            {159, 191, -1, -1},  {0, 0, -80, -96},     {1119, 831, 479, 319},
                            {1120, 832, 480, 320}, {640, 512, 240, 160}};
    for (const Point& p : points) {
        int x = 0, y = 0;
        window_to_page(layout, p.x, p.y, x, y);
        EXPECT_EQ(x, p.page_x) << p.x << "," << p.y;
        EXPECT_EQ(y, p.page_y) << p.x << "," << p.y;
    }
}

TEST(WindowLayout, BandOfRowsCoversTheScaledRowsCutToTheWindow) {
    PageLayout full = lay_out_page(1280, 1024, 480, 320);
    WindowRect r = band_rect(full, 480, 0, 0, 1280, 1024);
    EXPECT_EQ(r.x, 160);
    EXPECT_EQ(r.y, 192);
    EXPECT_EQ(r.width, 960);
    EXPECT_EQ(r.height, 2);
    r = band_rect(full, 480, 10, 319, 1280, 1024);
    EXPECT_EQ(r.y, 212);
    EXPECT_EQ(r.height, 620);
    PageLayout small = lay_out_page(400, 300, 480, 320);  // origin (-40, -10)
    r = band_rect(small, 480, 0, 319, 400, 300);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 400);
    EXPECT_EQ(r.height, 300);
    r = band_rect(small, 480, 0, 4, 400, 300);  // rows 0..4 lie above the visible part
    EXPECT_EQ(r.height, 0);
}

TEST(WindowLayout, RowsScaleByNearestNeighbourAndComeOutOpaque) {
    const uint32_t page[] = {0x00112233u, 0x80445566u, 0xFF778899u,
                             0x01AABBCCu, 0x02DDEEFFu, 0x03010203u};  // 3 x 2 pixels
    PageLayout layout{3, 1, 1};
    std::vector<uint32_t> row(9);
    scale_row(page, 3, layout, 4, 1, 9, row.data());  // window row 4 is page row 1
    const std::vector<uint32_t> expected = {0xFFAABBCCu, 0xFFAABBCCu, 0xFFAABBCCu, 0xFFDDEEFFu, 0xFFDDEEFFu,
                                            0xFFDDEEFFu, 0xFF010203u, 0xFF010203u, 0xFF010203u};
    EXPECT_EQ(row, expected);
    // Starting inside a page pixel (window x 3 is the last third of page pixel 0).
    std::vector<uint32_t> part(4);
    scale_row(page, 3, layout, 1, 3, 4, part.data());
    const std::vector<uint32_t> expected_part = {0xFF112233u, 0xFF445566u, 0xFF445566u, 0xFF445566u};
    EXPECT_EQ(part, expected_part);
}

}  // namespace
