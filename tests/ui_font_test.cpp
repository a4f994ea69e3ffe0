// The bitmap font on the headless twin: where draw_text puts each cell (centring, wrapping,
// backslash line breaks), the backing tile's rows, glyph blending, upper-casing, odd
// character sets and arbitrary input; and the committed font.bmp against its text art.
#include <fstream>
#include <iterator>
#include <random>

#include "tests/ui_test_support.h"
#include "tools/font_maker.h"

namespace {

using test_support::glyph_colour;
using test_support::read_cell;
using test_support::read_text;

class FontTest : public test_support::ScreenTest {
protected:
    // The page as 480 x 320 values, to compare whole screens.
    static std::vector<uint32_t> page() {
        std::vector<uint32_t> p;
        p.reserve(480 * 320);
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 480; ++x) p.push_back(headless_pixel(x, y));
        return p;
    }
    // Black page again (the state of a freshly opened screen).
    static void blacken_screen() {
        Image black = create_image(480, 320, 0xFF000000u, 0, 0);
        put_image(nullptr, 0, 0, black, blit_mode::copy, -1);
        destroy_image(black);
    }
};

const std::string DIGITS_AND_LETTERS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

struct CentringCase {
    size_t length;
    int32_t first_x;
};

class CentringTest : public FontTest, public ::testing::WithParamInterface<CentringCase> {};

// x = (480 - 16 L) / 2, that is 240 - 8 L.
TEST_P(CentringTest, StartsAtHalfTheFreeWidth) {
    const std::string text = DIGITS_AND_LETTERS.substr(0, GetParam().length);
    draw_text(text, CENTRE_X, 100, 255, 0);
    const int32_t x = GetParam().first_x;
    const size_t on_line = std::min<size_t>(text.size(), 30);
    EXPECT_EQ(read_text(x, 100, static_cast<int>(on_line)), text.substr(0, on_line));
    if (x > 0) {
        EXPECT_EQ(read_cell(x - 16, 100), ' ');
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, CentringTest,
                         ::testing::Values(CentringCase{1, 232}, CentringCase{7, 184},
                                           CentringCase{20, 80}, CentringCase{30, 0},
                                           CentringCase{31, -8}));

// 31 cells centred start at x = -8: the first is cut by the left edge and the 31st wraps to
// x = 0 on the next line.
TEST_F(FontTest, ThirtyOneCharactersStartAtMinus8AndWrapTheLast) {
    const std::string text = DIGITS_AND_LETTERS.substr(0, 31);
    draw_text(text, CENTRE_X, 100, 255, 0);
    EXPECT_EQ(headless_pixel(0, 109), glyph_colour(0));
    EXPECT_EQ(headless_pixel(7, 109), glyph_colour(0));
    EXPECT_EQ(headless_pixel(8, 109), glyph_colour(1));
    EXPECT_EQ(read_cell(-8 + 16 * 29, 100), text[29]);  // x 456
    EXPECT_EQ(read_cell(0, 120), text[30]);
    EXPECT_EQ(read_cell(16, 120), ' ');
}

// From x 10 the 29th cell is at 458; the 30th would reach 490 and goes to x 0, 20 lower.
TEST_F(FontTest, WrapsFromX10AtTheThirtiethCharacter) {
    const std::string text = DIGITS_AND_LETTERS.substr(0, 31);
    draw_text(text, 10, 50, 255, 0);
    EXPECT_EQ(read_text(10, 50, 29), text.substr(0, 29));
    EXPECT_EQ(read_cell(458, 50), text[28]);
    EXPECT_EQ(read_cell(0, 70), text[29]);
    EXPECT_EQ(read_cell(16, 70), text[30]);
}

// The test looks at the pen before each character: a cell that ends exactly at the right
// edge (x 464) stays on its line.
TEST_F(FontTest, ACellEndingAtTheRightEdgeStaysOnTheLine) {
    draw_text("AB", 464, 50, 255, 0);
    EXPECT_EQ(read_cell(464, 50), 'A');
    EXPECT_EQ(read_cell(0, 70), 'B');
}

TEST_F(FontTest, BackslashReturnsToTheStartingX) {
    draw_text("AB\\CD", 100, 50, 255, 0);
    EXPECT_EQ(read_text(100, 50, 3), "AB ");
    EXPECT_EQ(read_text(100, 70, 2), "CD");
}

TEST_F(FontTest, BackslashReturnsToTheCentredX) {
    draw_text("AB\\CD", CENTRE_X, 50, 255, 0);  // 5 bytes: x = 200
    EXPECT_EQ(read_text(200, 50, 2), "AB");
    EXPECT_EQ(read_text(200, 70, 2), "CD");
}

TEST_F(FontTest, ABackslashAtTheEndOnlyMovesThePen) {
    draw_text("AB", 100, 50, 255, -1);
    const std::vector<uint32_t> without = page();
    blacken_screen();
    draw_text("AB\\", 100, 50, 255, -1);
    EXPECT_EQ(page(), without);
}

// Past the right edge a backslash wraps first, then breaks the line: 40 pixels down.
TEST_F(FontTest, ABackslashPastTheRightEdgeMovesDownTwice) {
    draw_text("A\\B", 464, 50, 255, 0);
    EXPECT_EQ(read_cell(464, 50), 'A');
    EXPECT_EQ(read_cell(0, 70), ' ');
    EXPECT_EQ(read_cell(464, 70), ' ');
    EXPECT_EQ(read_cell(464, 90), 'B');
}

TEST_F(FontTest, AnEmptyTextDrawsNothing) {
    const std::vector<uint32_t> before = page();
    draw_text("", CENTRE_X, 100, 255, -1);
    draw_text("", 0, 0, 255, -1);
    EXPECT_EQ(page(), before);
}

TEST_F(FontTest, LowerCaseIsDrawnInCapitals) {
    draw_text("abc xyz", 0, 0, 255, -1);
    const std::vector<uint32_t> lower = page();
    blacken_screen();
    draw_text("ABC XYZ", 0, 0, 255, -1);
    EXPECT_EQ(page(), lower);
    EXPECT_EQ(read_text(0, 0, 7), "ABC XYZ");
}

// Bytes outside the set (":", ".", "-", a space, bytes above 127, NUL) leave a backed cell
// without a glyph and still advance 16.
TEST_F(FontTest, CharactersOutsideTheSetLeaveBlankBackedCells) {
    const std::string text = std::string("A:.- ") + char(200) + char(0) + "B";
    draw_text(text, 0, 0, 255, -1);
    EXPECT_EQ(read_cell(0, 0), 'A');
    for (int cell = 1; cell <= 6; ++cell) {
        EXPECT_EQ(headless_pixel(16 * cell + 8, 8), 0xC1959595u) << cell;  // tile over black
    }
    EXPECT_EQ(read_cell(112, 0), 'B');
}

// " Quit? ": seven backed cells, five glyphs (Q, U, I, T, ?).
TEST_F(FontTest, QuitWithItsSpacesIsSevenTilesAndFiveGlyphs) {
    draw_text(" Quit? ", CENTRE_X, 36, 255, -1);  // x 184
    EXPECT_EQ(read_text(184, 36, 7), " QUIT? ");
    EXPECT_EQ(headless_pixel(184 + 8, 36 + 8), 0xC1959595u);
    EXPECT_EQ(headless_pixel(184 + 6 * 16 + 8, 36 + 8), 0xC1959595u);
    EXPECT_EQ(headless_pixel(184 - 1, 36 + 8), 0xFF000000u);
    EXPECT_EQ(headless_pixel(184 + 7 * 16, 36 + 8), 0xFF000000u);
}

struct TileRow {
    int row;
    uint32_t over_black;  // white with the row's alpha A mixed into 0xFF000000
};

class BackingTileTest : public FontTest, public ::testing::WithParamInterface<TileRow> {};

// Each byte becomes d + floor((s - d) * A / 256): colour 255 * A / 256 over black, alpha
// 255 + floor((A - 255) * A / 256). Rows 16 and 17 of a cell get no backing.
TEST_P(BackingTileTest, MixesEachRowWithItsAlpha) {
    draw_text(" ", 100, 100, 255, -1);
    EXPECT_EQ(headless_pixel(100, 100 + GetParam().row), GetParam().over_black);
    EXPECT_EQ(headless_pixel(115, 100 + GetParam().row), GetParam().over_black);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BackingTileTest,
    ::testing::Values(TileRow{0, 0xD6313131u}, TileRow{1, 0xC2636363u}, TileRow{2, 0xC1959595u},
                      TileRow{7, 0xC1959595u}, TileRow{8, 0xC1959595u}, TileRow{13, 0xC1959595u},
                      TileRow{14, 0xC2636363u}, TileRow{15, 0xD6313131u},
                      TileRow{16, 0xFF000000u}, TileRow{17, 0xFF000000u}));

TEST(BackingTileAlpha, Is50Then100Then150) {
    const int32_t expected[16] = {50, 100, 150, 150, 150, 150, 150, 150,
                                  150, 150, 150, 150, 150, 150, 100, 50};
    for (int r = 0; r < 16; ++r) EXPECT_EQ(backing_tile_alpha(r), expected[r]) << r;
}

TEST_F(FontTest, WithoutBackingOnlyGlyphsAreDrawn) {
    draw_text("A B", 0, 0, 255, 0);
    EXPECT_EQ(headless_pixel(24, 8), 0xFF000000u);
    EXPECT_EQ(headless_pixel(8, 8), glyph_colour(10));  // 'A' is character 10 of the set
}

// With alpha 255 a glyph pixel is copied exactly; smaller alphas mix it in; values outside
// 0..255 are clamped.
TEST_F(FontTest, GlyphsBlendWithTheGivenAlpha) {
    draw_text("0", 0, 0, 255, 0);
    EXPECT_EQ(headless_pixel(8, 8), 0xFF102001u);
    draw_text("0", 16, 0, 127, 0);  // each byte d + floor((s - d) * 128 / 256) over black
    EXPECT_EQ(headless_pixel(24, 8), 0xFF081000u);
    draw_text("0", 32, 0, 300, 0);
    EXPECT_EQ(headless_pixel(40, 8), 0xFF102001u);
    draw_text("0", 48, 0, -7, 0);  // alpha 0: k = 1 moves no byte of this glyph
    EXPECT_EQ(headless_pixel(56, 8), 0xFF000000u);
}

TEST_F(FontTest, TheFirstOccurrenceInTheSetIsTheGlyph) {
    load_font(font_dir.file("font.bmp"), "ABA");
    draw_text("A", 0, 0, 255, 0);
    EXPECT_EQ(headless_pixel(8, 8), glyph_colour(0));
    draw_text("B", 16, 0, 255, 0);
    EXPECT_EQ(headless_pixel(24, 8), glyph_colour(1));
}

// The glyph table has 51 slots: a longer set is cut there, and its further characters
// draw as blank backed cells.
TEST_F(FontTest, ASetLongerThan51CharactersIsCutAt51) {
    std::string charset = GAME_CHARSET;
    for (int i = 0; i < 30; ++i) charset += static_cast<char>(0x80 + i);  // 70 characters
    load_font(font_dir.file("font.bmp"), charset);
    draw_text(std::string("0Z") + char(0x80 + 29), 0, 0, 255, -1);
    EXPECT_EQ(read_text(0, 0, 2), "0Z");
    EXPECT_EQ(headless_pixel(40, 8), 0xC1959595u);
    free_font();
}

TEST_F(FontTest, AnEmptySetDrawsOnlyTiles) {
    load_font(font_dir.file("font.bmp"), "");
    draw_text("AB", 0, 0, 255, -1);
    EXPECT_EQ(headless_pixel(8, 8), 0xC1959595u);
    EXPECT_EQ(headless_pixel(24, 8), 0xC1959595u);
}

TEST_F(FontTest, AMissingFontFileShowsTilesWithoutCharacters) {
    load_font(font_dir.file("no-such-font.bmp"), GAME_CHARSET);
    draw_text("AB", 0, 0, 255, -1);
    EXPECT_EQ(headless_pixel(8, 8), 0xC1959595u);
    EXPECT_EQ(headless_pixel(24, 8), 0xC1959595u);
}

TEST_F(FontTest, WithoutAFontNothingIsDrawn) {
    free_font();
    const std::vector<uint32_t> before = page();
    draw_text("ABC", 0, 0, 255, -1);
    EXPECT_EQ(page(), before);
}

// Any bytes at any position, any alpha: the pen runs in 64 bits and whatever falls off the
// screen is clipped. Run under the sanitizers this is the fuzzing of draw_text.
TEST_F(FontTest, ArbitraryTextAndPositionsAreSafe) {
    std::mt19937 random(12345);
    const int32_t positions[] = {INT32_MIN, INT32_MIN + 1, -100000, -480, -17, -16, -1, 0,
                                 1, 463, 464, 465, 479, 480, 10000, CENTRE_X, 10002,
                                 INT32_MAX - 16, INT32_MAX};
    for (int i = 0; i < 3000; ++i) {
        std::string text(random() % 80, '\0');
        for (char& c : text) c = static_cast<char>(random() % 4 == 0 ? '\\' : random() % 256);
        const int32_t x = positions[random() % std::size(positions)];
        const int32_t y = positions[random() % std::size(positions)];
        const int32_t alpha = static_cast<int32_t>(random());  // any 32-bit value
        draw_text(text, x, y, alpha, static_cast<int32_t>(random() % 3) - 1);
    }
    draw_text(std::string(100000, 'W'), CENTRE_X, 0, 255, -1);  // starts 800000 left
    draw_text(std::string(5000, '\\') + "A", 0, INT32_MAX, 255, -1);
    SUCCEED();
}

// Text below the bottom of the screen never shows: a text of any length draws exactly what
// its first screenful draws (30 cells a line, 16 lines from y 0).
TEST_F(FontTest, AHugeTextDrawsExactlyItsFirstScreenful) {
    std::string huge;
    for (int i = 0; i < 200000; ++i) huge += DIGITS_AND_LETTERS[i % DIGITS_AND_LETTERS.size()];
    draw_text(huge.substr(0, 30 * 16), 0, 0, 255, -1);
    const std::vector<uint32_t> screenful = page();
    blacken_screen();
    draw_text(huge, 0, 0, 255, -1);
    EXPECT_EQ(page(), screenful);
}

// Centred, a text far wider than the screen starts far to the left; what shows is the
// same as for the text cut to the cells that reach the screen. 1000 characters start at
// x = 240 - 8000 = -7760; the 486th (index 485) is the first at x 0.
TEST_F(FontTest, ACentredHugeTextShowsTheSameAsItsVisiblePart) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += DIGITS_AND_LETTERS[i % DIGITS_AND_LETTERS.size()];
    draw_text(text.substr(485, 30 * 16), 0, 0, 255, -1);
    const std::vector<uint32_t> visible = page();
    blacken_screen();
    draw_text(text, CENTRE_X, 0, 255, -1);
    EXPECT_EQ(page(), visible);
}

// The committed picture is what the generator makes of the text art.
TEST(FontPicture, EqualsTheGeneratorOutput) {
    std::ifstream glyphs(std::string(MURKWING_SOURCE_DIR) + "/tools/font_glyphs.txt", std::ios::binary);
    ASSERT_TRUE(glyphs);
    const std::string art((std::istreambuf_iterator<char>(glyphs)), std::istreambuf_iterator<char>());
    const font_maker::Result made = font_maker::make_font(art, GAME_CHARSET);
    ASSERT_TRUE(made.error.empty()) << made.error;

    std::ifstream committed(std::string(MURKWING_SOURCE_DIR) + "/data/font.bmp", std::ios::binary);
    ASSERT_TRUE(committed);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(committed)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size(), 54u + 640u * 3u * 18u);
    EXPECT_TRUE(bytes == made.bmp) << "run: make_font tools/font_glyphs.txt data/font.bmp";
}

// The design rules of the glyphs: every glyph inside its cell with a clear border, on the
// backing tile (rows 0..15), the dark body resting on row 13 (one baseline), ringed by its
// coloured rim.
TEST(FontPicture, GlyphsShareOneBaselineAndStayOnTheTile) {
    std::ifstream glyphs(std::string(MURKWING_SOURCE_DIR) + "/tools/font_glyphs.txt", std::ios::binary);
    const std::string art((std::istreambuf_iterator<char>(glyphs)), std::istreambuf_iterator<char>());
    std::vector<uint32_t> strip;
    std::string error;
    ASSERT_TRUE(font_maker::parse_glyphs(art, GAME_CHARSET, strip, error)) << error;
    const int width = 640;
    for (int cell = 0; cell < 40; ++cell) {
        int lowest_body = -1, rim = 0;
        for (int y = 0; y < 18; ++y) {
            for (int x = 0; x < 16; ++x) {
                const uint32_t p = strip[static_cast<size_t>(y) * width + 16 * cell + x];
                const bool border = x == 0 || x == 15 || y == 0 || y >= 15;
                if (border) {
                    EXPECT_EQ(p, font_maker::KEY_RGB) << GAME_CHARSET[cell] << " " << x << "," << y;
                }
                if (p == font_maker::BODY_RGB) lowest_body = y;
                if (p == font_maker::RIM_RGB) ++rim;
            }
        }
        EXPECT_EQ(lowest_body, 13) << GAME_CHARSET[cell];
        EXPECT_GT(rim, 20) << GAME_CHARSET[cell];
    }
}

TEST(FontMaker, RejectsArtThatDoesNotMatchTheSet) {
    const std::string row16(16, '.');
    std::string block = "glyph A\n";
    for (int r = 0; r < 18; ++r) block += row16 + "\n";
    EXPECT_TRUE(font_maker::make_font(block, "A").error.empty());
    EXPECT_FALSE(font_maker::make_font(block, "B").error.empty());       // wrong character
    EXPECT_FALSE(font_maker::make_font(block, "AB").error.empty());      // a glyph missing
    EXPECT_FALSE(font_maker::make_font(block + block, "A").error.empty());  // one too many
    std::string bad = block;
    bad[8] = 'x';
    EXPECT_FALSE(font_maker::make_font(bad, "A").error.empty());         // unknown pixel
    EXPECT_FALSE(font_maker::make_font("glyph A\n" + row16 + "\n", "A").error.empty());  // short
}

}  // namespace
