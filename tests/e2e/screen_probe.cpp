// Reads screenshots of the game's window for the end-to-end tests: single pixels, counts
// of a colour in a rectangle, backing tiles, and text, recognised cell by cell against the
// glyphs of the font picture (a text cell is 16 x 18 pixels; a glyph drawn at alpha 255
// copies every pixel that is not the magenta key colour exactly, so a cell shows glyph g
// when all of g's non-key pixels are there unchanged).
//
//   screen_probe pixel SHOT.ppm X Y                     -> RRGGBB
//   screen_probe count SHOT.ppm X0 Y0 X1 Y1 RRGGBB      -> pixels of that colour, corners included
//   screen_probe tile SHOT.ppm X Y                      -> exit 0 when a backing tile is at X, Y
//   screen_probe text SHOT.ppm FONT.ppm CHARSET X Y N   -> the N cells from X, Y as text
//   screen_probe bright SHOT.ppm X0 Y0 X1 Y1 MIN        -> mean y and count of the pixels whose
//                                                          channels are all >= MIN (-1 0: none)
//
// Pictures are binary PPM files (P6, maxval 255), as `convert x.xwd y.ppm` writes them.
// Cells without a recognised glyph read as spaces.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int CELL_WIDTH = 16;
constexpr int CELL_HEIGHT = 18;
constexpr int TILE_SIZE = 16;
constexpr uint32_t KEY_COLOUR = 0xFF00FF;   // transparent in glyphs
// A backing tile row of alpha 150 mixes at least 150/256 of white into every channel,
// whatever lay below: rows 2..13 of a tile are never darker than this in any channel.
constexpr int TILE_FLOOR = 149;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;   // 0xRRGGBB, row-major

    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    bool holds(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Reads one PPM header token, skipping white space and comments.
bool read_token(FILE* in, std::string& token)
{
    token.clear();
    int c = std::fgetc(in);
    while (c != EOF && (std::isspace(c) || c == '#')) {
        if (c == '#')
            while (c != EOF && c != '\n')
                c = std::fgetc(in);
        c = std::fgetc(in);
    }
    while (c != EOF && !std::isspace(c)) {
        token += static_cast<char>(c);
        c = std::fgetc(in);
    }
    return !token.empty();
}

bool load_ppm(const char* path, Picture& picture)
{
    FILE* in = std::fopen(path, "rb");
    if (!in) {
        std::perror(path);
        return false;
    }
    std::string magic, w, h, maxval;
    bool ok = read_token(in, magic) && magic == "P6" && read_token(in, w) && read_token(in, h) &&
              read_token(in, maxval) && maxval == "255";
    if (ok) {
        picture.width = std::atoi(w.c_str());
        picture.height = std::atoi(h.c_str());
        ok = picture.width > 0 && picture.height > 0 && picture.width <= 16384 &&
             picture.height <= 16384;
    }
    if (ok) {
        size_t count = static_cast<size_t>(picture.width) * picture.height;
        std::vector<unsigned char> bytes(count * 3);
        ok = std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
        picture.rgb.resize(count);
        for (size_t i = 0; ok && i < count; ++i)
            picture.rgb[i] = bytes[3 * i] << 16 | bytes[3 * i + 1] << 8 | bytes[3 * i + 2];
    }
    std::fclose(in);
    if (!ok)
        std::fprintf(stderr, "%s: not a binary PPM with maxval 255\n", path);
    return ok;
}

// Number of the glyph's non-key pixels, or -1 when one of them is not in the shot
// unchanged at cell (x, y).
int glyph_match(const Picture& shot, const Picture& font, int glyph, int x, int y)
{
    int opaque = 0;
    for (int row = 0; row < CELL_HEIGHT && row < font.height; ++row)
        for (int col = 0; col < CELL_WIDTH; ++col) {
            int fx = glyph * CELL_WIDTH + col;
            if (fx >= font.width)
                return -1;
            uint32_t colour = font.at(fx, row);
            if (colour == KEY_COLOUR)
                continue;
            if (!shot.holds(x + col, y + row) || shot.at(x + col, y + row) != colour)
                return -1;
            ++opaque;
        }
    return opaque;
}

// The character whose glyph the cell shows, or a space. Of several glyphs that fit (one
// glyph's pixels may be a subset of another's), the one with the most pixels wins.
char read_cell(const Picture& shot, const Picture& font, const std::string& charset, int x, int y)
{
    char best = ' ';
    int best_count = 0;
    for (size_t g = 0; g < charset.size(); ++g) {
        int count = glyph_match(shot, font, static_cast<int>(g), x, y);
        if (count > best_count) {
            best_count = count;
            best = charset[g];
        }
    }
    return best;
}

bool is_tile(const Picture& shot, int x, int y)
{
    for (int row = 2; row <= 13; ++row)
        for (int col = 0; col < TILE_SIZE; ++col) {
            if (!shot.holds(x + col, y + row))
                return false;
            uint32_t c = shot.at(x + col, y + row);
            if ((c >> 16 & 0xFF) < TILE_FLOOR || (c >> 8 & 0xFF) < TILE_FLOOR || (c & 0xFF) < TILE_FLOOR)
                return false;
        }
    return true;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: screen_probe pixel SHOT X Y | count SHOT X0 Y0 X1 Y1 RRGGBB |\n"
                 "       tile SHOT X Y | text SHOT FONT CHARSET X Y N |\n"
                 "       bright SHOT X0 Y0 X1 Y1 MIN\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    std::string command = argv[1];
    Picture shot;
    if (!load_ppm(argv[2], shot))
        return 2;
    if (command == "pixel" && argc == 5) {
        int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
        if (!shot.holds(x, y))
            return 2;
        std::printf("%06X\n", shot.at(x, y));
        return 0;
    }
    if (command == "count" && argc == 8) {
        int x0 = std::atoi(argv[3]), y0 = std::atoi(argv[4]);
        int x1 = std::atoi(argv[5]), y1 = std::atoi(argv[6]);
        uint32_t colour = static_cast<uint32_t>(std::strtoul(argv[7], nullptr, 16));
        long count = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                count += shot.holds(x, y) && shot.at(x, y) == colour;
        std::printf("%ld\n", count);
        return 0;
    }
    if (command == "bright" && argc == 8) {
        int x0 = std::atoi(argv[3]), y0 = std::atoi(argv[4]);
        int x1 = std::atoi(argv[5]), y1 = std::atoi(argv[6]);
        uint32_t least = static_cast<uint32_t>(std::atoi(argv[7]));
        long count = 0;
        double sum_y = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                if (!shot.holds(x, y))
                    continue;
                uint32_t c = shot.at(x, y);
                if ((c >> 16 & 0xFF) >= least && (c >> 8 & 0xFF) >= least && (c & 0xFF) >= least) {
                    sum_y += y;
                    ++count;
                }
            }
        std::printf("%ld %ld\n", count ? std::lround(sum_y / count) : -1L, count);
        return 0;
    }
    if (command == "tile" && argc == 5)
        return is_tile(shot, std::atoi(argv[3]), std::atoi(argv[4])) ? 0 : 1;
    if (command == "text" && argc == 8) {
        Picture font;
        if (!load_ppm(argv[3], font))
            return 2;
        std::string charset = argv[4];
        int x = std::atoi(argv[5]), y = std::atoi(argv[6]), n = std::atoi(argv[7]);
        std::string text;
        for (int i = 0; i < n; ++i)
            text += read_cell(shot, font, charset, x + CELL_WIDTH * i, y);
        std::printf("%s\n", text.c_str());
        return 0;
    }
    return usage();
}
