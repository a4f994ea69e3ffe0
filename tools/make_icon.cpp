// Draws the desktop icon of Murkwing Diver at one size and writes it as a PAM picture
// (RGBA, 8 bits per channel), or as C++ source for the window's own icon: a bending black
// passage between rock of streaked warm grey pebbles with a magenta glow at its walls, and
// the white craft with its fading trail of discs.
//
//   make_icon SIZE OUT.pam      e.g. make_icon 48 murkwingdiver-48.pam
//   make_icon SIZE OUT.pam maskable   the picture to the edges, without the rounded square
//                               and its rim: a web app icon that the system crops to its
//                               own shape (the craft stays inside the middle 80% circle)
//   make_icon SIZE OUT.inc      GAME_ICON_SIZE and GAME_ICON_RGBA (red, green, blue, alpha
//                               bytes of each pixel, rows top first) for platform/sdl/icon.cpp
//
// Deterministic: the same size always gives the same bytes. tools/make_icons.sh runs it
// for every hicolor size and turns the results into the PNG files under dist/icons/; the
// build runs it for the window icon.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int SUBSAMPLES = 4;        // per axis: 16 samples per pixel for smooth edges
constexpr double CORNER = 0.14;      // corner radius of the rounded square, icon units
constexpr double MARGIN = 0.03;      // empty border around the rounded square, icon units
constexpr int PEBBLES = 300;         // backdrop pebbles drawn into the rock

struct Rgba {
    double r, g, b, a;               // 0..1, straight (not premultiplied) alpha
};

// Lays colour c with coverage a over base (both straight alpha; base may be transparent).
Rgba blend_over(Rgba base, Rgba c, double a)
{
    double out_a = a + base.a * (1.0 - a);
    if (out_a <= 0.0)
        return {0, 0, 0, 0};
    auto mix = [&](double top, double bottom) {
        return (top * a + bottom * base.a * (1.0 - a)) / out_a;
    };
    return {mix(c.r, base.r), mix(c.g, base.g), mix(c.b, base.b), out_a};
}

// Upper edge of the passage at x (icon units, y grows downwards): straight runs joined at
// bends, as the game's cave is built from columns of constant slope.
double passage_top(double x)
{
    static const double XS[] = {0.0, 0.30, 0.62, 1.0};
    static const double YS[] = {0.40, 0.22, 0.34, 0.20};
    for (int i = 0; i < 3; ++i)
        if (x <= XS[i + 1]) {
            double t = (x - XS[i]) / (XS[i + 1] - XS[i]);
            return YS[i] + t * (YS[i + 1] - YS[i]);
        }
    return YS[3];
}

// Height of the passage at x: it narrows from left to right, as the cave does with every bend.
double passage_height(double x) { return 0.52 - 0.14 * x; }

// Vertical centre of the craft's path at x, a smooth line through the passage.
double path_y(double x) { return passage_top(x) + 0.5 * passage_height(x) + 0.04 * std::sin(9.0 * x); }

// Whether the picture fills the whole icon (make_icon's "maskable" argument).
bool full_bleed = false;

// Distance from (x, y) to the rounded square that holds the picture; <= 0 inside. A full
// bleed icon has no square: everything is deep inside.
double rounded_square_distance(double x, double y)
{
    if (full_bleed)
        return -1.0;
    double half = 0.5 - MARGIN;
    double qx = std::fabs(x - 0.5) - (half - CORNER);
    double qy = std::fabs(y - 0.5) - (half - CORNER);
    double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - CORNER;
}

// Colour of the cave (rock or passage) at one sample point inside the square.
Rgba cave_colour(double x, double y)
{
    double top = passage_top(x);
    double bottom = top + passage_height(x);
    if (y > top && y < bottom) {
        // The passage: near black with a faint violet tint that deepens towards the middle.
        double depth = std::min(y - top, bottom - y) / (0.5 * passage_height(x));
        double v = 0.05 - 0.03 * depth;
        return {v * 1.2, v * 0.6, v * 1.6, 1.0};
    }
    // Rock: what the game shows of it, the warm grey pebbles of the backdrop smeared to the
    // right by the frame blend, on dark ground, with a thin magenta glow (the rock colour of
    // the cave image) along the passage wall.
    double into = y <= top ? top - y : y - bottom;
    Rgba rock{0.07, 0.055, 0.045, 1.0};
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    for (int i = 0; i < PEBBLES; ++i) {
        double shade = (std::floor(next() * 150) + 30) / 255.0;
        double radius = 0.02 + 0.025 * next();
        double cx = next() * 1.1 - 0.05;
        double cy = next();
        double dx = x - cx;
        double stretch = dx > 0 ? 3.0 : 1.0;           // the streak trails to the right
        double d = std::hypot(dx / stretch, y - cy);
        if (d < radius) {
            double fade = dx > 0 ? std::exp(-dx / 0.12) : 1.0;
            Rgba pebble{shade + 32 / 255.0, shade + 16 / 255.0, shade, 1.0};
            rock = blend_over(rock, pebble, 0.85 * fade);
        }
    }
    double glow = std::exp(-into / 0.018);
    return blend_over(rock, {1.0, 0.0, 1.0, 1.0}, 0.85 * glow);
}

struct Disc {
    double x, y, radius, alpha;
};

// The craft and its trail, oldest first. Small icons get fewer, bigger discs so that
// each still shows.
std::vector<Disc> trail_discs(int size)
{
    int count = size <= 16 ? 3 : size <= 32 ? 5 : 8;
    double radius = size <= 16 ? 0.13 : size <= 32 ? 0.10 : 0.075;
    double head_x = 0.66;
    double step = (head_x - 0.14) / count;
    std::vector<Disc> discs;
    for (int i = count; i >= 0; --i) {
        double x = head_x - step * i;
        double fade = 1.0 - static_cast<double>(i) / (count + 1);
        discs.push_back({x, path_y(x), radius, 0.10 + 0.55 * fade * fade});
    }
    discs.back().alpha = 1.0;
    return discs;
}

// Colour of the finished icon at one sample point.
Rgba icon_colour(double x, double y, const std::vector<Disc>& discs, double pixel)
{
    double edge = rounded_square_distance(x, y);
    if (edge > 0.0)
        return {0, 0, 0, 0};
    Rgba c = cave_colour(x, y);
    const Disc& craft = discs.back();
    // Halo around the craft: white light falling off with distance.
    double d = std::hypot(x - craft.x, y - craft.y);
    double halo = std::exp(-std::max(d - craft.radius, 0.0) / 0.07) * 0.55;
    c = blend_over(c, {1.0, 0.92, 1.0, 1.0}, halo);
    for (const Disc& disc : discs) {
        if (std::hypot(x - disc.x, y - disc.y) <= disc.radius)
            c = blend_over(c, {1.0, 1.0, 1.0, 1.0}, disc.alpha);
    }
    // A thin darker rim keeps the square readable on light panels.
    if (edge > -1.2 * pixel)
        c = blend_over(c, {0.10, 0.02, 0.12, 1.0}, 0.8);
    return c;
}

std::vector<unsigned char> render(int size)
{
    std::vector<Disc> discs = trail_discs(size);
    std::vector<unsigned char> rgba(static_cast<size_t>(size) * size * 4);
    double pixel = 1.0 / size;
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            // Average premultiplied samples so that transparent edges do not darken.
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < SUBSAMPLES; ++sy)
                for (int sx = 0; sx < SUBSAMPLES; ++sx) {
                    double x = (px + (sx + 0.5) / SUBSAMPLES) * pixel;
                    double y = (py + (sy + 0.5) / SUBSAMPLES) * pixel;
                    Rgba c = icon_colour(x, y, discs, pixel);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            size_t at = (static_cast<size_t>(py) * size + px) * 4;
            auto byte = [](double v) {
                return static_cast<unsigned char>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
            };
            rgba[at + 0] = byte(a > 0 ? r / a : 0);
            rgba[at + 1] = byte(a > 0 ? g / a : 0);
            rgba[at + 2] = byte(a > 0 ? b / a : 0);
            rgba[at + 3] = byte(a / (SUBSAMPLES * SUBSAMPLES));
        }
    return rgba;
}

// Writes the picture as a PAM file; false on a write error.
bool write_pam(FILE* out, int size, const std::vector<unsigned char>& rgba)
{
    std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                 size, size);
    return std::fwrite(rgba.data(), 1, rgba.size(), out) == rgba.size();
}

// Writes the picture as C++ definitions to be included by one source file.
bool write_array(FILE* out, int size, const std::vector<unsigned char>& rgba)
{
    std::fprintf(out, "// Drawn by tools/make_icon.cpp; do not edit.\n"
                      "constexpr int GAME_ICON_SIZE = %d;\n"
                      "constexpr unsigned char GAME_ICON_RGBA[%zu] = {",
                 size, rgba.size());
    for (size_t i = 0; i < rgba.size(); ++i)
        std::fprintf(out, "%s%u,", i % 16 == 0 ? "\n   " : " ", rgba[i]);
    return std::fprintf(out, "\n};\n") > 0;
}

bool ends_with(const char* text, const char* end)
{
    size_t n = std::strlen(text), m = std::strlen(end);
    return n >= m && std::strcmp(text + n - m, end) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    full_bleed = argc == 4 && std::strcmp(argv[3], "maskable") == 0;
    if (argc != 3 && !full_bleed) {
        std::fprintf(stderr, "usage: make_icon SIZE OUT.pam|OUT.inc [maskable]\n");
        return 2;
    }
    int size = std::atoi(argv[1]);
    if (size < 8 || size > 1024) {
        std::fprintf(stderr, "make_icon: size must be 8..1024\n");
        return 2;
    }
    std::vector<unsigned char> rgba = render(size);
    FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    bool ok = ends_with(argv[2], ".inc") ? write_array(out, size, rgba) : write_pam(out, size, rgba);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
