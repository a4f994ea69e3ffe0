// The window on a Wayland desktop scaled by 1 and 2: WindowWayland nests weston in this test's
// X server (its headless backend has no seat, on which SDL 2.26 crashes) and runs this program
// as its client, where WindowOnWayland reads weston's output: whole blocks of real pixels.
#include "tests/window_support.h"

using namespace window_test;

namespace {

constexpr const char* WAYLAND_VARIABLE = "MURKWING_WINDOW_TEST_WAYLAND";  // "<weston's X window> <scale>"

// Page pixel (x, y) of the test picture: no two alike, none black.
uint32_t pattern(int x, int y) { return 0x000080u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | (x >> 8) << 1 | (y >> 8); }

// Moves the pointer to (x, y) from outside weston's window: its x11 backend takes the position
// as it is only where the pointer enters, then moves it by differences.
void enter_at(int x, int y) { xdo("mousemove 1279 1023") && xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

// The output's pixels unlike the picture at k pixels per page pixel from (left, top), and
// where `black_around`, unlike black above and left of it.
int count_wrong(const Capture& shot, int k, int left, int top, bool black_around) {
    int wrong = 0;
    for (int y = black_around ? 0 : top; y < top + HEIGHT * k; ++y) {
        for (int x = black_around ? 0 : left; x < left + WIDTH * k; ++x) {
            const uint32_t want = x >= left && y >= top ? pattern((x - left) / k, (y - top) / k) : 0u;  // or black
            wrong += x >= shot.width || y >= shot.height || shot.pixel(x, y) != want;
        }
    }
    return wrong;
}

TEST(WindowOnWayland, PagePixelsAreWholeBlocksOfRealPixelsAndThePointerReadsPagePixels) {
    unsigned long window = 0;
    int k = 0, x0 = 0, y0 = 0, left = -1, top = -1;
    const char* setting = std::getenv(WAYLAND_VARIABLE);
    if (!setting) GTEST_SKIP() << "run by WindowWayland.* as weston's client";
    ASSERT_TRUE(std::sscanf(setting, "%lu %d", &window, &k) == 2 && client_origin(window, x0, y0)) << setting;
    // The keyboard stays with weston's window, wherever the pointer goes (no window manager).
    ASSERT_TRUE(xdo("windowfocus --sync " + std::to_string(window)));
    const std::string id = "-id " + std::to_string(window);
    ASSERT_TRUE(wait_until([&] {  // the shell's panel and background are up: windows go below the panel
        Capture c = capture(id);
        return c.ok && c.pixel(0, 0) != 0 && c.pixel(0, c.height - 1) != 0;
    }));
    ASSERT_EQ(open_screen(WIDTH, HEIGHT, 32, 0, 0, 0), 0) << open_screen_error();
    enter_at(x0 + 2, y0 + 2);  // weston draws the pointer: on its panel, off the picture
    fill_page(pattern);
    int wrong = -1;
    wait_until([&] {  // refresh ticks, then weston's repaint
        const Capture shot = capture(id);
        left = -1;
        for (int i = 0; i < shot.width * shot.height && left < 0; ++i) {  // page pixel (0, 0)'s colour is its own
            if (shot.pixel(i % shot.width, i / shot.width) == pattern(0, 0)) left = i % shot.width, top = i / shot.width;
        }
        return left >= 0 && (wrong = count_wrong(shot, k, left, top, false)) == 0;
    });
    ASSERT_GE(left, 0) << "the picture (a window on X11?) is not in weston's output at scale " << k;
    EXPECT_EQ(wrong, 0) << "scale " << k;
    std::printf("[ figures  ] output scale %d: picture %dx%d at (%d, %d), %d wrong", k, WIDTH * k, HEIGHT * k, left, top, wrong);
    // The pointer, in window units, reads page pixels: the middle of pixel (1, 2), the last one.
    const int points[][4] = {{k + k / 2, 2 * k + k / 2, 1, 2}, {WIDTH * k - 1, HEIGHT * k - 1, WIDTH - 1, HEIGHT - 1}};
    for (const auto& p : points) {
        enter_at(x0 + left + p[0], y0 + top + p[1]);
        int32_t mx = 0, my = 0, wheel = 0, buttons = 0;
        EXPECT_TRUE(wait_until([&] { return read_mouse(mx, my, wheel, buttons), mx == p[2] && my == p[3]; }))
            << "page pixel (" << p[2] << ", " << p[3] << ") read as (" << mx << ", " << my << ")";
    }
    // Full screen on the 640 x 400 unit output: the largest whole factor of real pixels, centred
    // on black (weston's pointer left in the bottom right corner).
    enter_at(x0 + 640 * k - 1, y0 + 400 * k - 1);
    ASSERT_TRUE(xdo("key alt+Return"));
    const int f = std::min(640 * k / WIDTH, 400 * k / HEIGHT);
    left = (640 * k - WIDTH * f) / 2, top = (400 * k - HEIGHT * f) / 2;
    EXPECT_TRUE(wait_until([&] { return (wrong = count_wrong(capture(id), f, left, top, true)) == 0; }));
    std::printf("; full screen: %dx%d at (%d, %d), %d wrong\n", WIDTH * f, HEIGHT * f, left, top, wrong);
}

TEST(WindowWayland, PagePixelsAreWholeBlocksOfRealPixelsAtScalesOneAndTwo) {
    if (std::getenv(WAYLAND_VARIABLE)) GTEST_SKIP() << "already weston's client";
    if (!have_display() || run("command -v weston").status != 0) GTEST_SKIP() << "needs DISPLAY and weston (tools/test.sh)";
    take_display_for_this_process();  // the pointer is one per display
    for (const char* k : {"1", "2"}) {
        // An output of 640 x 400 units, shown at once (no fading in); weston's log names its window.
        CommandResult child = run(std::string("export XDG_RUNTIME_DIR=$(mktemp -d); d=$XDG_RUNTIME_DIR; printf '[shell]") +
                                  "\\nstartup-animation=none\\nanimation=none\\n' >$d/i; weston --backend=x11-backend.so " +
                                  "--use-pixman --width=640 --height=400 --scale=" + k + " --socket=w -c $d/i >$d/l 2>&1 & " +
                                  "p=$!; for i in $(seq 100); do x=$(sed -n 's/.*window id \\([0-9]*\\).*/\\1/p' $d/l); " +
                                  "[ -S $d/w ] && [ -n \"$x\" ] && break; sleep 0.05; done; WAYLAND_DISPLAY=w " + WAYLAND_VARIABLE +
                                  "=\"$x " + k + "\" /proc/" + std::to_string(getpid()) + "/exe --gtest_filter=WindowOnWayland.* " +
                                  "2>&1; s=$?; kill $p; wait $p; rm -rf $d; exit $s");
        EXPECT_EQ(child.status, 0) << "output scale " << k << ":\n" << child.out;
        const size_t at = child.out.find("[ figures  ]");
        if (at != std::string::npos) std::printf("%s", child.out.substr(at, child.out.find('\n', at) - at + 1).c_str());
    }
}

}  // namespace
