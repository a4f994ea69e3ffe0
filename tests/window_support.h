// Helpers of the real-window tests: the test program's window, opened once per process and
// found with xdotool; xdotool and xwd run as child processes; polling with a deadline; and
// the screen captured as the X server holds it. The tests need DISPLAY (tools/test.sh starts
// a private Xvfb) and skip without one.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core.h"
#include "platform/platform.h"
#include "platform/screen.h"

namespace window_test {

constexpr const char* TITLE = "Murkwing Diver";  // every game window's title
constexpr int WIDTH = 480;
constexpr int HEIGHT = 320;
// The window's --scale, set where window_scale_test.cpp runs this program on a screen of its own.
constexpr const char* SCALE_VARIABLE = "MURKWING_WINDOW_TEST_SCALE";

inline double now_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

inline void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct CommandResult {
    int status = -1;  // exit status, -1 when the command could not run
    std::string out;  // its standard output
};

inline CommandResult run(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.out.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

inline bool have_display() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

// Runs xdotool with these arguments; true when it succeeded.
inline bool xdo(const std::string& arguments) {
    return run("xdotool " + arguments + " 2>&1").status == 0;
}

// Polls `done` every 2 ms until it holds or `seconds` have passed; returns whether it held.
// The deadline is generous: on a loaded machine the refresh thread and the X server run late.
template <class Predicate>
bool wait_until(Predicate done, double seconds = 10.0) {
    const double deadline = now_seconds() + seconds;
    while (!done()) {
        if (now_seconds() > deadline) return false;
        sleep_ms(2);
    }
    return true;
}

struct Screen {
    bool open = false;
    std::string window;  // X window id, decimal
    int x = 0, y = 0;    // client area's top left on the root window
    std::string error;
};

// The number after `label` in a tool's output, -1 when missing.
inline int geometry_field(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + label.size());
}

// The root-window position of the window's client area (xdotool reports the frame's when a
// window manager decorates the window). Xlib is loaded at run time.
inline bool client_origin(unsigned long window, int& x, int& y) {
    void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!xlib) return false;
    auto open_display = reinterpret_cast<void* (*)(const char*)>(dlsym(xlib, "XOpenDisplay"));
    auto close_display = reinterpret_cast<int (*)(void*)>(dlsym(xlib, "XCloseDisplay"));
    auto root_of = reinterpret_cast<unsigned long (*)(void*)>(dlsym(xlib, "XDefaultRootWindow"));
    auto translate = reinterpret_cast<int (*)(void*, unsigned long, unsigned long, int, int, int*, int*,
                                              unsigned long*)>(dlsym(xlib, "XTranslateCoordinates"));
    bool ok = false;
    if (open_display && close_display && root_of && translate) {
        if (void* display = open_display(nullptr)) {
            unsigned long child = 0;
            ok = translate(display, window, root_of(display), 0, 0, &x, &y, &child) != 0;
            close_display(display);
        }
    }
    dlclose(xlib);
    return ok;
}

// Waits until no other test process has a window on this display, and keeps it so until
// this process ends: keyboard focus is one per display, so window tests started in
// parallel (ctest -j) take turns.
inline void take_display_for_this_process() {
    static bool taken = false;  // a second lock of the same file would wait for ourselves
    if (taken) return;
    taken = true;
    std::string name = std::getenv("DISPLAY");
    for (char& c : name) {
        if (c == ':' || c == '/' || c == '.') c = '_';
    }
    int fd = open(("/tmp/murkwing-window-test" + name + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) flock(fd, LOCK_EX);  // released by the system when the process ends
}

inline Screen open_window_once() {
    Screen s;
    take_display_for_this_process();
    if (const char* scale = std::getenv(SCALE_VARIABLE)) set_window_options(WindowOptions{std::atoi(scale), false});
    if (open_screen(WIDTH, HEIGHT, 32, 0, 0, 0) != 0) {
        s.error = "open_screen failed: " + open_screen_error();
        return s;
    }
    const std::string pid = std::to_string(getpid());
    CommandResult found = run("timeout 10 xdotool search --sync --all --pid " + pid + " --name '^" +
                              std::string(TITLE) + "$' 2>/dev/null | head -n 1");
    s.window = trim(found.out);
    if (s.window.empty()) {
        s.error = "no window titled " + std::string(TITLE) + " found with xdotool";
        return s;
    }
    if (!client_origin(std::stoul(s.window), s.x, s.y)) {
        s.error = "cannot read the window's position from the X server";
        return s;
    }
    s.open = true;
    return s;
}

// The window of this process, opened at the first call.
inline const Screen& screen() {
    static Screen s = open_window_once();
    return s;
}

// Whether the X window still exists.
inline bool window_exists(const std::string& window) {
    return run("xdotool getwindowname " + window + " >/dev/null 2>&1").status == 0;
}

// The key string of an extended key.
inline std::string extended(int code_byte) {
    return std::string{static_cast<char>(255), static_cast<char>(code_byte)};
}

// Presses F9 as a marker and reads the key queue until the marker arrives; returns the keys
// read before it, so every key sent earlier has been queued (the X server keeps their
// order), or an empty list with `marked` false when no marker came within the deadline.
inline std::vector<std::string> keys_before_marker(bool* marked = nullptr) {
    const std::string marker = extended(67);
    std::vector<std::string> keys;
    bool found = xdo("key F9") && wait_until([&] {
        for (std::string k = read_key(); !k.empty(); k = read_key()) {
            if (k == marker) return true;
            keys.push_back(k);
        }
        return false;
    });
    if (marked) *marked = found;
    return keys;
}

// Empties the key queue, including keys still on their way.
inline void drain_keys() { keys_before_marker(); }

// Gives the window the keyboard focus and waits until the refresh thread has seen it (SDL
// reports a focus change a moment late) and the keys typed into it arrive.
inline bool focus_window() {
    bool marked = false;
    if (!xdo("windowfocus --sync " + screen().window)) return false;
    if (!wait_until([] {
            std::lock_guard<std::mutex> lock(core::screen_mutex());
            return core::active();
        })) {
        return false;
    }
    keys_before_marker(&marked);
    return marked;
}

// Reads keys until `count` have arrived or `seconds` have passed.
inline std::vector<std::string> collect_keys(size_t count, double seconds = 10.0) {
    std::vector<std::string> keys;
    wait_until([&] {
        for (std::string k = read_key(); !k.empty(); k = read_key()) keys.push_back(k);
        return keys.size() >= count;
    }, seconds);
    return keys;
}

// Fills the whole page under the screen lock with `pixel(x, y)` and marks every row.
template <class PixelAt>
void fill_page(PixelAt pixel) {
    lock_screen();
    ScreenPage page = screen_page();
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) page.pixels[y * page.width + x] = pixel(x, y);
    }
    unlock_screen(-1, -1);
}

// A screen or window picture read with xwd, as the X server holds it.
struct Capture {
    bool ok = false;
    int width = 0, height = 0;
    int bytes_per_pixel = 0, bytes_per_line = 0;
    bool lsb_first = true;
    uint32_t red_mask = 0, green_mask = 0, blue_mask = 0;
    int visual_class = -1;  // 4 TrueColor, 5 DirectColor
    std::vector<uint8_t> file;
    size_t image_offset = 0;

    // The pixel's value with only its colour bits, 0xRRGGBB for the usual masks.
    uint32_t pixel(int x, int y) const {
        const uint8_t* p = &file[image_offset + static_cast<size_t>(y) * bytes_per_line +
                                 static_cast<size_t>(x) * bytes_per_pixel];
        uint32_t v = 0;
        for (int i = 0; i < bytes_per_pixel; ++i) {
            int shift = lsb_first ? 8 * i : 8 * (bytes_per_pixel - 1 - i);
            v |= static_cast<uint32_t>(p[i]) << shift;
        }
        return v & (red_mask | green_mask | blue_mask);
    }
};

inline uint32_t read_be32(const std::vector<uint8_t>& f, size_t at) {
    return (uint32_t(f[at]) << 24) | (uint32_t(f[at + 1]) << 16) | (uint32_t(f[at + 2]) << 8) | f[at + 3];
}

// Captures the root window ("-root") or one window ("-id N") with xwd.
inline Capture capture(const std::string& what) {
    Capture c;
    CommandResult r = run("xwd -silent " + what);
    if (r.status != 0 || r.out.size() < 100) return c;
    c.file.assign(r.out.begin(), r.out.end());
    // The header: 25 big-endian 32-bit fields, then the window name, then the colours.
    uint32_t header_size = read_be32(c.file, 0);
    c.width = static_cast<int>(read_be32(c.file, 16));
    c.height = static_cast<int>(read_be32(c.file, 20));
    c.lsb_first = read_be32(c.file, 28) == 0;
    c.bytes_per_pixel = static_cast<int>(read_be32(c.file, 44)) / 8;
    c.bytes_per_line = static_cast<int>(read_be32(c.file, 48));
    c.visual_class = static_cast<int>(read_be32(c.file, 52));
    c.red_mask = read_be32(c.file, 56);
    c.green_mask = read_be32(c.file, 60);
    c.blue_mask = read_be32(c.file, 64);
    uint32_t colours = read_be32(c.file, 76);
    c.image_offset = header_size + static_cast<size_t>(colours) * 12;
    size_t needed = c.image_offset + static_cast<size_t>(c.bytes_per_line) * c.height;
    c.ok = c.bytes_per_pixel >= 3 && c.bytes_per_pixel <= 4 && c.file.size() >= needed &&
           c.bytes_per_line >= c.width * c.bytes_per_pixel;
    return c;
}

}  // namespace window_test

// Skips the test without a display; fails it when the window could not be opened.
#define REQUIRE_WINDOW()                                                                      \
    do {                                                                                      \
        if (!window_test::have_display()) GTEST_SKIP() << "needs DISPLAY (tools/test.sh)";    \
        ASSERT_TRUE(window_test::screen().open) << window_test::screen().error;               \
    } while (0)
