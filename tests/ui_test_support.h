// Test support for the dialogs, the name entry and the table screen: a font whose cells are
// solid, one colour per character, so that text on the headless page can be read back cell
// by cell; the screen set-up those modules need; and pass-numbered scripting.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/screen_globals.h"

namespace test_support {

// Cell i of the test font is filled with 0xFF1020xx, xx = i + 1.
constexpr uint32_t GLYPH_COLOUR_BASE = 0xFF102000u;

inline uint32_t glyph_colour(int index) { return GLYPH_COLOUR_BASE + static_cast<uint32_t>(index + 1); }

// Writes the test font as a 24-bit BMP of 16 * 40 by 18 pixels.
inline void write_test_font(const std::string& path) {
    const std::string charset = GAME_CHARSET;
    const int width = 16 * static_cast<int>(charset.size()), height = 18;
    const int row_bytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file(54 + static_cast<size_t>(row_bytes) * height, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = glyph_colour(x / 16);
            uint8_t* p = &file[54 + static_cast<size_t>(y) * row_bytes + 3 * x];
            p[0] = c & 0xFF;
            p[1] = (c >> 8) & 0xFF;
            p[2] = (c >> 16) & 0xFF;
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
}

// The character whose glyph fills the cell at (x, y), or ' ' when no glyph is there.
inline char read_cell(int x, int y) {
    const uint32_t p = headless_pixel(x + 8, y + 9);
    if ((p & 0xFFFFFF00u) != GLYPH_COLOUR_BASE) return ' ';
    const int index = static_cast<int>(p & 0xFF) - 1;
    const std::string charset = GAME_CHARSET;
    return index >= 0 && index < static_cast<int>(charset.size()) ? charset[index] : '?';
}

// `cells` characters read from the row of cells starting at (x, y).
inline std::string read_text(int x, int y, int cells) {
    std::string text;
    for (int i = 0; i < cells; ++i) text += read_cell(x + 16 * i, y);
    return text;
}

// Pixel (x, y) of the overlay image.
inline uint32_t overlay_pixel(int x, int y) { return image_row(game_screen().overlay, y)[x]; }

// A whole file's bytes; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Everything that can still be read from a descriptor (a child's stderr pipe), which is
// then closed.
inline std::string read_all_and_close(int fd) {
    std::string bytes;
    char buffer[512];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return bytes;
}

// What a child process left: its exit status (-1 when it did not exit normally) and all it
// wrote on stderr.
struct ChildResult {
    int status;
    std::string err;
};

// Runs `body` in a child process, as the user `uid` (and group `uid`) when the test runs as
// root (so that file permissions apply), and returns the status `body` gave and the child's
// stderr.
inline ChildResult run_as(uid_t uid, const std::function<int()>& body) {
    int err_pipe[2];
    if (::pipe(err_pipe) != 0) return {-1, "pipe failed"};
    const pid_t pid = ::fork();
    if (pid < 0) return {-1, "fork failed"};
    if (pid == 0) {
        ::dup2(err_pipe[1], 2);
        if (::geteuid() == 0 && uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(3);
        const int status = body();
        std::fflush(stderr);
        ::_exit(status);
    }
    ::close(err_pipe[1]);
    ChildResult result{-1, read_all_and_close(err_pipe[0])};
    int wait_status = 0;
    if (::waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    return result;
}

inline ChildResult run_as_nobody(const std::function<int()>& body) { return run_as(65534, body); }

// A fresh directory under the test temp dir, removed with the object.
struct TempDir {
    std::string path;
    TempDir() {
        std::string tmpl = ::testing::TempDir() + "murkwing_XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
        path = buf.data();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// The headless screen as start-up leaves it for the dialogs: 480 x 320, the overlay image,
// the test font. A dialog that is never answered fails the test after 5000 pauses.
class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_reset();
        reset_input_state();
        ASSERT_EQ(open_screen(480, 320, 32, 0, 0, 0), 0);
        GameScreen& screen = game_screen();
        screen.width = 480;
        screen.height = 320;
        screen.overlay = create_image(480, 320, 0xFFFFFFFFu, 0, 0);
        ASSERT_NE(screen.overlay, nullptr);
        const std::string font = font_dir.file("font.bmp");
        write_test_font(font);
        load_font(font, GAME_CHARSET);
        headless_set_pause_limit(5000, [] { throw std::runtime_error("pause limit: nothing answered"); });
    }
    void TearDown() override {
        free_font();
        destroy_image(game_screen().overlay);
        game_screen() = GameScreen{};
        headless_reset();
    }

    // Runs `action` just before the pause of pass `pass` of a dialog that starts next and
    // finds nothing pending (its wait for release takes one pause): a key queued there is
    // read at the end of that pass, a mouse change is sampled at the start of the next.
    void at_pass(int pass, std::function<void()> action) {
        headless_at_pause(headless_pause_count() + 1 + pass, std::move(action));
    }

    TempDir font_dir;
};

}  // namespace test_support
