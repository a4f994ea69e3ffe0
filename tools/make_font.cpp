// Writes font.bmp from the text art of the glyphs:
//   make_font tools/font_glyphs.txt data/font.bmp
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/font_maker.h"
#include "ui/font.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_font GLYPHS.txt OUT.bmp\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "make_font: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const font_maker::Result font = font_maker::make_font(text.str(), GAME_CHARSET);
    if (font.bmp.empty()) {
        std::fprintf(stderr, "make_font: %s: %s\n", argv[1], font.error.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(font.bmp.data()), static_cast<std::streamsize>(font.bmp.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_font: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
