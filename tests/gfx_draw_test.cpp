// Lines, boxes, circles and pixel reads: worked shapes, clipping, rounding, rows marked on
// the screen, and coordinates far outside the int range.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t BG = 0xFF000000u;   // image background
constexpr uint32_t INK = 0xFFFFFFFFu;  // drawing colour
const float FULL = std::bit_cast<float>(0x40C90FDCu);
const float NAN_F = std::numeric_limits<float>::quiet_NaN();
const float INF_F = std::numeric_limits<float>::infinity();

using Pixels = std::set<std::pair<int, int>>;  // (x, y)

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
        img = create_image(480, 320, BG, 0, 0);
        ASSERT_NE(img, nullptr);
    }
    void TearDown() override { destroy_image(img); }

    uint32_t at(int x, int y) const { return image_row(img, y)[x]; }

    // Every pixel that is not the background.
    Pixels inked() const {
        Pixels out;
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x)
                if (at(x, y) != BG) out.insert({x, y});
        return out;
    }
    size_t count_inked() const {
        size_t n = 0;
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x) n += at(x, y) != BG;
        return n;
    }

    // The pixels of a filled shape given as half-widths per row offset 0, 1, 2, ...
    static Pixels shape(int cx, int cy, const std::vector<int>& half_widths) {
        Pixels out;
        for (size_t dy = 0; dy < half_widths.size(); ++dy) {
            const int w = half_widths[dy];
            for (int x = cx - w; x <= cx + w; ++x) {
                out.insert({x, cy + static_cast<int>(dy)});
                out.insert({x, cy - static_cast<int>(dy)});
            }
        }
        return out;
    }

    void line(float x1, float y1, float x2, float y2, int32_t kind = LINE_SEGMENT, int32_t mode = COORDS_ABSOLUTE,
              uint32_t pattern = LINE_SOLID) {
        draw_line(img, x1, y1, x2, y2, INK, kind, pattern, mode);
    }
    void circle(float x, float y, float r, float aspect = 1.0f, int32_t fill = -1) {
        draw_circle(img, x, y, r, INK, aspect, 0.0f, FULL, fill);
    }

    Image img = nullptr;
};

// ---- circles ----

struct CircleCase {
    float radius;
    float aspect;
    std::vector<int> half_widths;  // rows 0, +-1, +-2, ...
    size_t pixels;
};

const CircleCase CIRCLES[] = {
    {1, 1, {1, 0}, 5},
    {2, 1, {2, 1, 0}, 13},
    {3, 1, {3, 3, 2, 1}, 37},
    {4, 1, {4, 4, 3, 2, 1}, 57},
    {8, 1, {8, 8, 8, 7, 7, 6, 5, 4, 2}, 221},
    {8, -1, {8, 8, 8, 7, 7, 6, 5, 4, 2}, 221},  // only b * b counts
    {8, 0, {8, 8, 8, 7, 6, 5, 4, 2}, 191},
    {4, 0, {4, 4, 3, 2}, 51},
};

TEST_F(DrawTest, FilledCirclesHaveTheWorkedHalfWidths) {
    for (const CircleCase& c : CIRCLES) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        circle(120, 100, c.radius, c.aspect);
        EXPECT_EQ(inked(), shape(120, 100, c.half_widths)) << "radius " << c.radius << " aspect " << c.aspect;
        EXPECT_EQ(count_inked(), c.pixels) << "radius " << c.radius << " aspect " << c.aspect;
    }
}

TEST_F(DrawTest, CircleIsCutAtTheLeftEdge) {
    circle(3, 100, 8);
    Pixels expected;
    for (auto [x, y] : shape(3, 100, {8, 8, 8, 7, 7, 6, 5, 4, 2}))
        if (x >= 0) expected.insert({x, y});
    EXPECT_EQ(inked(), expected);
    EXPECT_EQ(at(0, 100), INK);
    EXPECT_EQ(at(11, 100), INK);
    EXPECT_EQ(at(12, 100), BG);
}

TEST_F(DrawTest, CircleAboveTheImageShowsOnlyItsBottomSpan) {
    circle(120, -8, 8);
    EXPECT_EQ(inked(), (Pixels{{118, 0}, {119, 0}, {120, 0}, {121, 0}, {122, 0}}));
}

TEST_F(DrawTest, CircleOnTheBottomAndRightEdges) {
    circle(479, 319, 2);
    EXPECT_EQ(inked(), (Pixels{{477, 319}, {478, 319}, {479, 319}, {478, 318}, {479, 318}, {479, 317}}));
}

TEST_F(DrawTest, OnlyTheFullTurnAngleDrawsACircle) {
    struct Case { float start, end; bool draws; } cases[] = {
        {0.0f, FULL, true},
        {0.0f, std::bit_cast<float>(0x40C90FDBu), false},  // 2 pi rounded to nearest
        {0.0f, 6.2831855f, false},
        {0.5f, FULL, false},
        {-0.0f, FULL, true},
        {0.0f, 0.0f, false},
    };
    for (const Case& c : cases) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        draw_circle(img, 100, 100, 8, INK, 1.0f, c.start, c.end, -1);
        EXPECT_EQ(count_inked(), c.draws ? 221u : 0u) << c.start << " " << c.end;
    }
}

TEST_F(DrawTest, DefaultAspectMakesTheEllipseEightNinthsAsHighAsWide) {
    circle(100, 100, 9, 0.0f);  // a = 9, b = 9 * 0.8888889 = 8
    Pixels got = inked();
    int top = 1000, bottom = -1, left = 1000, right = -1;
    for (auto [x, y] : got) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        left = std::min(left, x);
        right = std::max(right, x);
    }
    EXPECT_EQ(right - left + 1, 19);
    EXPECT_EQ(bottom - top + 1, 17);
}

TEST_F(DrawTest, OutlineCirclePlotsTheEndsOfEachSpan) {
    circle(100, 100, 8, 1.0f, 0);
    Pixels got = inked();
    Pixels filled = shape(100, 100, {8, 8, 8, 7, 7, 6, 5, 4, 2});
    for (auto p : got) EXPECT_TRUE(filled.count(p)) << p.first << "," << p.second;
    // The widest span's ends on every row, and nothing in the middle of the wide rows.
    const int half[] = {8, 8, 8, 7, 7, 6, 5, 4, 2};
    for (int dy = 0; dy <= 8; ++dy) {
        EXPECT_EQ(at(100 - half[dy], 100 + dy), INK) << dy;
        EXPECT_EQ(at(100 + half[dy], 100 - dy), INK) << dy;
    }
    EXPECT_EQ(at(100, 100), BG);
    EXPECT_EQ(at(100, 103), BG);
}

TEST_F(DrawTest, FlatOutlineTracesItsWholeRow) {
    circle(50, 50, 6, 0.05f, 0);  // b = 0.3: stepping never leaves row 50
    EXPECT_EQ(count_inked(), 13u);
}

TEST_F(DrawTest, WideAspectSwapsTheRadii) {
    circle(100, 100, 8, 2.0f);  // a = 4, b = 8
    Pixels got = inked();
    EXPECT_TRUE(got.count({100, 92}));
    EXPECT_FALSE(got.count({100, 91}));
    EXPECT_TRUE(got.count({96, 100}));
    EXPECT_FALSE(got.count({95, 100}));
}

TEST_F(DrawTest, UnusableCirclesDrawNothing) {
    const float cases[][3] = {  // x, y, radius
        {100, 100, NAN_F}, {NAN_F, 100, 8}, {100, NAN_F, 8}, {1e30f, 100, 8},
        {100, -1e30f, 8},  {100, 100, -5},  {-INF_F, 100, 8},
    };
    for (const auto& c : cases) {
        circle(c[0], c[1], c[2]);
        circle(c[0], c[1], c[2], 1.0f, 0);
    }
    draw_circle(img, 100, 100, 8, INK, NAN_F, 0.0f, FULL, -1);
    EXPECT_EQ(count_inked(), 0u);
}

TEST_F(DrawTest, HugeCirclesCoverWhatTheyReach) {
    const float radii[] = {1e6f, 1e7f, 1e30f, INF_F};
    for (float r : radii) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        circle(240, 160, r);
        EXPECT_EQ(count_inked(), 480u * 320u) << r;
    }
    // A circle whose top is row 160: rows above stay clear, the bottom row is full.
    const float far_radii[] = {1e6f, 1e7f};
    for (float r : far_radii) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        circle(240, 160 + r, r);
        for (int x = 0; x < 480; ++x) EXPECT_EQ(at(x, 159), BG) << r << " column " << x;
        EXPECT_EQ(at(240, 160), INK) << r;
        EXPECT_EQ(at(0, 319), INK) << r;
        EXPECT_EQ(at(479, 319), INK) << r;
    }
    // Outlines of huge circles stay inside the picture and do not fill it.
    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    circle(240, 160, 1e30f, 1.0f, 0);
    EXPECT_EQ(at(240, 160), BG);
}

// The stepping as described, with a row-filled table of one byte per row, on a 64 x 48
// picture; draw_circle must give the same pixels without the table.
Pixels reference_ellipse(int cx, int cy, float a, float b, bool fill) {
    const int W = 64, H = 48;
    Pixels out;
    std::vector<uint8_t> row_filled(H, 0);
    auto span = [&](long long y, long long x1, long long x2) {
        if (y < 0 || y >= H) return;
        if (fill) {
            if (x2 < 0 || x1 >= W || row_filled[y]) return;
            row_filled[y] = 1;
            for (long long x = std::max(x1, 0LL); x <= std::min(x2, W - 1LL); ++x) out.insert({int(x), int(y)});
        } else {
            if (x1 >= 0 && x1 < W) out.insert({int(x1), int(y)});
            if (x2 >= 0 && x2 < W) out.insert({int(x2), int(y)});
        }
    };
    long long xl = static_cast<long long>(std::trunc(cx - static_cast<double>(a)));
    long long xr = static_cast<long long>(std::trunc(cx + static_cast<double>(a)));
    if (b == 0) {
        fill = true;
        span(cy, xl, xr);
        return out;
    }
    span(cy, xl, xr);
    long long A2 = static_cast<long long>(double(a) * a), B2 = static_cast<long long>(double(b) * b);
    long long e = static_cast<long long>(B2 * double(a)), px = 2 * e, py = 0, n = static_cast<long long>(a);
    long long yd = cy, yu = cy;
    while (n > 0) {
        if (e > 0) {
            ++yd;
            --yu;
            py += 2 * A2;
            e -= py;
        }
        if (e <= 0) {
            --n;
            ++xl;
            --xr;
            px -= 2 * B2;
            e += px;
        }
        span(yd, xl, xr);
        span(yu, xl, xr);
    }
    return out;
}

TEST_F(DrawTest, CirclesMatchTheSteppingWithARowTable) {
    Image small = create_image(64, 48, BG, 0, 0);
    ASSERT_NE(small, nullptr);
    // Negative aspects are never wide: a = r, b = r * aspect, of which only b * b counts.
    const float aspects[] = {1.0f, 0.5f, 0.75f, 1.25f, 3.0f, -0.5f, -1.0f, -3.0f};
    const int centres[][2] = {{32, 24}, {2, 3}, {62, 46}, {-5, 20}, {30, -6}};
    int cases = 0;
    for (int quarter = 0; quarter <= 96; quarter += 3)
        for (float aspect : aspects)
            for (const auto& c : centres)
                for (int fill = 0; fill <= 1; ++fill) {
                    const float r = quarter / 4.0f;
                    draw_line(small, 0, 0, 63, 47, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
                    draw_circle(small, float(c[0]), float(c[1]), r, INK, aspect, 0.0f, FULL, fill);
                    Pixels got;
                    for (int y = 0; y < 48; ++y)
                        for (int x = 0; x < 64; ++x)
                            if (image_row(small, y)[x] != BG) got.insert({x, y});
                    const float a = aspect > 1 ? r / aspect : r, b = aspect > 1 ? r : r * aspect;
                    ASSERT_EQ(got, reference_ellipse(c[0], c[1], a, b, fill != 0))
                        << "r " << r << " aspect " << aspect << " at " << c[0] << "," << c[1] << " fill " << fill;
                    ++cases;
                }
    EXPECT_EQ(cases, 33 * 8 * 5 * 2);
    destroy_image(small);
}

// ---- lines ----

TEST_F(DrawTest, CaveLineInOffsetModeCoversTheColumn) {
    const float offsets[] = {319.0f, 320.0f, 1000.0f};
    for (float dy : offsets) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        line(200, 0, 0, dy, LINE_SEGMENT, COORDS_RELATIVE);
        Pixels expected;
        for (int y = 0; y < 320; ++y) expected.insert({200, y});
        EXPECT_EQ(inked(), expected) << dy;
    }
}

TEST_F(DrawTest, ReversedStraightLinesDrawTheSamePixels) {
    line(200, 319, 0, -319, LINE_SEGMENT, COORDS_RELATIVE);
    Pixels up = inked();
    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    line(200, 0, 0, 319, LINE_SEGMENT, COORDS_RELATIVE);
    EXPECT_EQ(inked(), up);
    EXPECT_EQ(up.size(), 320u);

    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    line(300, 7, -250, 0, LINE_SEGMENT, COORDS_RELATIVE);
    Pixels left = inked();
    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    line(50, 7, 300, 7);
    EXPECT_EQ(inked(), left);
    EXPECT_EQ(left.size(), 251u);
}

TEST_F(DrawTest, OffsetIsAddedInSinglePrecisionThenRounded) {
    line(5.3f, 10, 2.4f, 0, LINE_SEGMENT, COORDS_RELATIVE);  // x2 = 7.7 -> 8, x1 -> 5
    EXPECT_EQ(inked(), (Pixels{{5, 10}, {6, 10}, {7, 10}, {8, 10}}));
}

TEST_F(DrawTest, CoordinatesRoundHalvesAwayFromZero) {
    line(2.5f, 1.49f, 2.5f, 3.5f);  // column 3, rows 1..4
    line(-0.4f, 10, -0.4f, 10);     // column 0
    line(-0.5f, 11, -0.5f, 11);     // column -1: nothing
    EXPECT_EQ(inked(), (Pixels{{3, 1}, {3, 2}, {3, 3}, {3, 4}, {0, 10}}));
}

struct SegmentCase {
    const char* what;
    int x1, y1, x2, y2;
    Pixels pixels;
};

const SegmentCase SEGMENTS[] = {
    {"diagonal", 0, 0, 5, 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
    {"steep", 0, 0, 2, 5, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}},
    {"shallow", 0, 0, 5, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
    {"shallow forward", 0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}},
    {"shallow reversed", 4, 1, 0, 0, {{4, 1}, {3, 1}, {2, 0}, {1, 0}, {0, 0}}},
    {"single pixel", 7, 9, 7, 9, {{7, 9}}},
    {"crosses left", -10, 0, 10, 5,
     {{0, 2}, {1, 2}, {2, 3}, {3, 3}, {4, 3}, {5, 4}, {6, 4}, {7, 4}, {8, 4}, {9, 5}, {10, 5}}},
    {"crosses right", 470, 100, 500, 130,
     {{479, 109}, {478, 108}, {477, 107}, {476, 106}, {475, 105}, {474, 104}, {473, 103}, {472, 102}, {471, 101},
      {470, 100}}},
    {"crosses top", 100, -10, 110, 10,
     {{105, 0}, {106, 1}, {106, 2}, {107, 3}, {107, 4}, {108, 5}, {108, 6}, {109, 7}, {109, 8}, {110, 9}, {110, 10}}},
    {"crosses bottom", 200, 310, 210, 330,
     {{204, 319}, {204, 318}, {203, 317}, {203, 316}, {202, 315}, {202, 314}, {201, 313}, {201, 312}, {200, 311},
      {200, 310}}},
    {"crosses a corner", -10, -10, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
    {"crosses left and bottom", -7, 300, 30, 340,
     {{10, 319}, {9, 318}, {8, 317}, {7, 316}, {7, 315}, {6, 314}, {5, 313}, {4, 312}, {3, 311}, {2, 310}, {2, 309},
      {1, 308}, {0, 307}}},
    {"clipped at top and right", 475, -3, 490, 9, {{479, 0}, {478, 0}}},
    {"misses above", -10, -1, 500, -1, {}},
    {"misses on the left", -1, 0, -1, 319, {}},
    {"passes by a corner", -10, 5, 5, -10, {}},
};

TEST_F(DrawTest, SegmentsAreClippedAndStepped) {
    for (const SegmentCase& c : SEGMENTS) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        line(float(c.x1), float(c.y1), float(c.x2), float(c.y2));
        EXPECT_EQ(inked(), c.pixels) << c.what;
    }
}

TEST_F(DrawTest, FarAwayEndsAreClippedWithoutOverflow) {
    line(-1e30f, 5, 1e30f, 5);
    EXPECT_EQ(count_inked(), 480u);
    EXPECT_EQ(at(0, 5), INK);
    EXPECT_EQ(at(479, 5), INK);

    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    line(7, -INF_F, 7, INF_F);
    EXPECT_EQ(count_inked(), 320u);

    draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    line(-3e9f, -2e9f, 3e9f, 2e9f);  // steep enough to cross the picture somewhere
    line(1e30f, 1e30f, 0, 1e30f, LINE_SEGMENT, COORDS_RELATIVE);
    line(NAN_F, NAN_F, NAN_F, NAN_F);
    line(NAN_F, 0, 0, NAN_F, LINE_BOX);
    for (auto [x, y] : inked()) EXPECT_TRUE(x >= 0 && x < 480 && y >= 0 && y < 320);
}

TEST_F(DrawTest, ColourIsStoredWithItsAlphaByte) {
    draw_line(img, 0, 3, 15, 3, 0x96FFFFFFu, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE);
    EXPECT_EQ(at(0, 3), 0x96FFFFFFu);
    EXPECT_EQ(at(15, 3), 0x96FFFFFFu);
    EXPECT_EQ(at(16, 3), BG);
}

// ---- boxes ----

TEST_F(DrawTest, FilledBoxBeyondTheCornerFillsTheImage) {
    line(0, 0, 480, 320, LINE_FILLED_BOX);
    EXPECT_EQ(count_inked(), 480u * 320u);
}

TEST_F(DrawTest, FilledBoxCornersInAnyOrder) {
    line(12, 9, 10, 7, LINE_FILLED_BOX);
    EXPECT_EQ(inked(), (Pixels{{10, 7}, {11, 7}, {12, 7}, {10, 8}, {11, 8}, {12, 8}, {10, 9}, {11, 9}, {12, 9}}));
}

TEST_F(DrawTest, BoxOutlineShowsOnlyItsInsideEdges) {
    line(-5, 10, 479, 30, LINE_BOX);
    Pixels expected;
    for (int x = 0; x <= 479; ++x) {
        expected.insert({x, 10});
        expected.insert({x, 30});
    }
    for (int y = 10; y <= 30; ++y) expected.insert({479, y});
    EXPECT_EQ(inked(), expected);
}

TEST_F(DrawTest, BoxOutlineCases) {
    struct Case { const char* what; int x1, y1, x2, y2; size_t pixels; } cases[] = {
        {"inside", 10, 10, 19, 14, 10 * 2 + 3 * 2},
        {"one pixel", 5, 5, 5, 5, 1},
        {"one row", 5, 5, 9, 5, 5},
        {"covers the picture", -1, -1, 480, 320, 0},
        {"top edge outside", 10, -3, 20, 5, 11 + 5 * 2},
        {"wholly outside", 500, 10, 600, 20, 0},
        {"left of the picture", -20, 10, -1, 20, 0},
    };
    for (const Case& c : cases) {
        draw_line(img, 0, 0, 479, 319, BG, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        line(float(c.x1), float(c.y1), float(c.x2), float(c.y2), LINE_BOX);
        EXPECT_EQ(count_inked(), c.pixels) << c.what;
    }
}

// ---- patterns ----

TEST_F(DrawTest, PatternsDashFromTheFirstEnd) {
    line(0, 0, 15, 0, LINE_SEGMENT, COORDS_ABSOLUTE, 0xF0F0);
    line(15, 1, 0, 1, LINE_SEGMENT, COORDS_ABSOLUTE, 0xF0F0);
    line(-4, 2, 11, 2, LINE_SEGMENT, COORDS_ABSOLUTE, 0xF0F0);  // clipping keeps the phase
    line(0, 3, 15, 3, LINE_SEGMENT, COORDS_ABSOLUTE, 0x10000);  // only the low 16 bits count
    line(0, 4, 3, 7, LINE_SEGMENT, COORDS_ABSOLUTE, 0xA000);    // diagonal: on, off, on, off
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(at(x, 0), (x / 4) % 2 == 0 ? INK : BG) << x;
        EXPECT_EQ(at(x, 1), ((15 - x) / 4) % 2 == 0 ? INK : BG) << x;
        EXPECT_EQ(at(x, 2), x <= 11 && ((x + 4) / 4) % 2 == 0 ? INK : BG) << x;
        EXPECT_EQ(at(x, 3), BG) << x;
    }
    EXPECT_EQ(at(0, 4), INK);
    EXPECT_EQ(at(1, 5), BG);
    EXPECT_EQ(at(2, 6), INK);
    EXPECT_EQ(at(3, 7), BG);
}

TEST_F(DrawTest, FilledBoxIgnoresThePattern) {
    line(0, 0, 9, 9, LINE_FILLED_BOX, COORDS_ABSOLUTE, 0x8888);
    EXPECT_EQ(count_inked(), 100u);
}

// ---- read_pixel ----

TEST_F(DrawTest, ReadPixelRoundsAndRefusesOutside) {
    image_row(img, 0)[0] = 0x12345678u;
    image_row(img, 319)[479] = 0xFFFF00FFu;
    struct Case { float x, y; uint32_t value; } cases[] = {
        {0, 0, 0x12345678u},      {-0.4f, -0.4f, 0x12345678u}, {0, -0.5f, 0xFFFFFFFFu},
        {-0.5f, 0, 0xFFFFFFFFu},  {479, 319.5f, 0xFFFFFFFFu},  {479.4f, 319.4f, 0xFFFF00FFu},
        {479.5f, 319, 0xFFFFFFFFu}, {1e30f, 0, 0xFFFFFFFFu},   {NAN_F, 0, 0xFFFFFFFFu},
        {0, -INF_F, 0xFFFFFFFFu}, {1, 1, BG},
    };
    for (const Case& c : cases) EXPECT_EQ(read_pixel(img, c.x, c.y), c.value) << c.x << "," << c.y;
}

TEST_F(DrawTest, ReadPixelOnTheScreen) {
    draw_line(nullptr, 10, 10, 10, 10, 0x00ABCDEFu, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE);
    EXPECT_EQ(read_pixel(nullptr, 10, 10), 0x00ABCDEFu);
    EXPECT_EQ(read_pixel(nullptr, 11, 10), 0xFF000000u);
    EXPECT_EQ(read_pixel(nullptr, 480, 10), 0xFFFFFFFFu);
}

// ---- screen rows, lock, no screen ----

TEST_F(DrawTest, ScreenRowsAreMarkedWhereDrawn) {
    struct Case {
        const char* what;
        int first, last;  // rows expected marked
        void (*draw)();
    } cases[] = {
        {"line", 5, 9, [] { draw_line(nullptr, 10, 5, 20, 9, INK, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"line up", 5, 9, [] { draw_line(nullptr, 10, 9, 20, 5, INK, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"clipped line", 0, 3, [] { draw_line(nullptr, 10, -50, 10, 3, INK, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"outline", 20, 40, [] { draw_line(nullptr, 10, 20, 30, 40, INK, LINE_BOX, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"box", 300, 319, [] { draw_line(nullptr, 10, 300, 30, 400, INK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"circle", 92, 108, [] { draw_circle(nullptr, 100, 100, 8, INK, 1.0f, 0.0f, FULL, -1); }},
        {"ellipse", 92, 107, [] { draw_circle(nullptr, 100, 100, 8, INK, 0.0f, 0.0f, FULL, -1); }},
        {"cut circle", 0, 5, [] { draw_circle(nullptr, 100, -3, 8, INK, 1.0f, 0.0f, FULL, -1); }},
        {"circle off the side", 92, 108, [] { draw_circle(nullptr, -100, 100, 8, INK, 1.0f, 0.0f, FULL, -1); }},
        {"nothing", -1, -2, [] { draw_line(nullptr, 10, -50, 10, -3, INK, LINE_SEGMENT, LINE_SOLID, COORDS_ABSOLUTE); }},
        {"arc", -1, -2, [] { draw_circle(nullptr, 100, 100, 8, INK, 1.0f, 1.0f, FULL, -1); }},
    };
    for (const Case& c : cases) {
        headless_clear_row_flags();
        c.draw();
        for (int y = 0; y < 320; ++y)
            EXPECT_EQ(headless_row_changed(y), y >= c.first && y <= c.last) << c.what << " row " << y;
    }
}

TEST_F(DrawTest, DrawingOnAnImageMarksNoScreenRow) {
    headless_clear_row_flags();
    line(0, 0, 479, 319, LINE_FILLED_BOX);
    circle(100, 100, 8);
    for (int y = 0; y < 320; ++y) EXPECT_FALSE(headless_row_changed(y));
}

TEST_F(DrawTest, LockIsTakenForTheCallOnlyWhenTheCallerHasNone) {
    line(0, 0, 10, 10);
    EXPECT_FALSE(headless_lock_held());
    lock_screen();
    line(0, 0, 10, 10);
    circle(50, 50, 4);
    read_pixel(img, 1, 1);
    EXPECT_TRUE(headless_lock_held());
    unlock_screen(0, 0);
    EXPECT_FALSE(headless_lock_held());
}

TEST_F(DrawTest, NothingHappensWithoutAScreen) {
    headless_reset();  // closes the screen; the image stays ours
    line(0, 0, 479, 319, LINE_FILLED_BOX);
    line(0, 0, 479, 319);
    circle(100, 100, 8);
    EXPECT_EQ(count_inked(), 0u);
    EXPECT_EQ(read_pixel(img, 1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(read_pixel(nullptr, 1, 1), 0xFFFFFFFFu);
}

}  // namespace
