// The window on a Wayland desktop scaled by 1 and 2: WindowWayland nests weston in this test's
// X server (its headless backend has no seat, on which SDL 2.26 crashes) and runs this program
// as its client, where WindowOnWayland reads weston's output: whole blocks of real pixels.
#include "tests/window_support.h"

using namespace window_test;

namespace {

constexpr const char* WAYLAND_VARIABLE = "MURKWING_WINDOW_TEST_WAYLAND";  // "<weston's X window> <scale>"

// Page pixel (x, y) of the test picture: no two alike, none black.
uint32_t pattern(int x, int y) { return 0x000080u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | (x >> 8) << 1 | (y >> 8); }

// Moves the pointer to (x, y) from outside weston's window: weston takes it as it is only on entry.
void enter_at(int x, int y) { xdo("mousemove 1279 1023") && xdo("mousemove " + std::to_string(x) + " " + std::to_string(y)); }

// The output's pixels unlike the picture at k pixels per page pixel from (left, top).
int count_wrong(const Capture& shot, int k, int left, int top) {
    int wrong = 0;
    for (int y = top; y < top + HEIGHT * k; ++y) {
        for (int x = left; x < left + WIDTH * k; ++x) {
            wrong += x >= shot.width || y >= shot.height || shot.pixel(x, y) != pattern((x - left) / k, (y - top) / k);
        }
    }
    return wrong;
}

TEST(WindowOnWayland, PagePixelsAreWholeBlocksOfRealPixelsAndThePointerReadsPagePixels) {
    unsigned long window = 0;
    int k = 0, x0 = 0, y0 = 0, left = -1, top = -1, wrong = -1;
    const char* setting = std::getenv(WAYLAND_VARIABLE);
    if (!setting) GTEST_SKIP() << "run by WindowWayland.* as weston's client";
    ASSERT_TRUE(std::sscanf(setting, "%lu %d", &window, &k) == 2 && client_origin(window, x0, y0)) << setting;
    const std::string id = "-id " + std::to_string(window);
    ASSERT_TRUE(wait_until([&] {  // the shell's panel and background are up: windows go below the panel
        const Capture c = capture(id);
        return c.ok && c.pixel(0, 0) != 0 && c.pixel(0, c.height - 1) != 0;
    }));
    ASSERT_EQ(open_screen(WIDTH, HEIGHT, 32, 0, 0, 0), 0) << open_screen_error();
    enter_at(x0 + 2, y0 + 2);  // weston draws the pointer: on its panel, off the picture
    fill_page(pattern);
    wait_until([&] {  // refresh ticks, then weston's repaint
        const Capture shot = capture(id);
        left = -1;
        for (int i = 0; i < shot.width * shot.height && left < 0; ++i) {  // page pixel (0, 0)'s colour is its own
            if (shot.pixel(i % shot.width, i / shot.width) == pattern(0, 0)) left = i % shot.width, top = i / shot.width;
        }
        return left >= 0 && (wrong = count_wrong(shot, k, left, top)) == 0;
    });
    std::printf("[ figures  ] output scale %d: picture %dx%d at (%d, %d), %d wrong\n", k, WIDTH * k, HEIGHT * k, left, top, wrong);
    ASSERT_EQ(wrong, 0) << "no whole picture in weston's output (a window on X11?) at scale " << k;
    // The pointer, in window units, reads page pixels: the middle of pixel (1, 2), the last one.
    const int points[][4] = {{k + k / 2, 2 * k + k / 2, 1, 2}, {WIDTH * k - 1, HEIGHT * k - 1, WIDTH - 1, HEIGHT - 1}};
    for (const auto& p : points) {
        enter_at(x0 + left + p[0], y0 + top + p[1]);
        int32_t mx = 0, my = 0, wheel = 0, buttons = 0;
        EXPECT_TRUE(wait_until([&] { return read_mouse(mx, my, wheel, buttons), mx == p[2] && my == p[3]; }))
            << "page pixel (" << p[2] << ", " << p[3] << ") read as (" << mx << ", " << my << ")";
    }
}

TEST(WindowWayland, PagePixelsAreWholeBlocksOfRealPixelsAtScalesOneAndTwo) {
    if (std::getenv(WAYLAND_VARIABLE)) GTEST_SKIP() << "already weston's client";
    if (!have_display() || run("command -v weston").status != 0) GTEST_SKIP() << "needs DISPLAY and weston (tools/test.sh)";
    take_display_for_this_process();  // the pointer is one per display
    for (const char* k : {"1", "2"}) {
        // An output of 640 x 400 units, shown at once (no fading in); weston's log names its window.
        // Mesa's llvmpipe draws without threads of its own, whose locks ThreadSanitizer cannot see;
        // libdecor finds no plugin in the empty folder and draws no title bar, so that the cairo
        // plugin's pango does not start its font thread (fontconfig's locks are not seen either).
        CommandResult child = run(std::string("export XDG_RUNTIME_DIR=$(mktemp -d); d=$XDG_RUNTIME_DIR; printf '[shell]") +
                                  "\\nstartup-animation=none\\nanimation=none\\n' >$d/i; weston --backend=x11-backend.so " +
                                  "--use-pixman --width=640 --height=400 --scale=" + k + " --socket=w -c $d/i >$d/l 2>&1 & " +
                                  "p=$!; for i in $(seq 100); do x=$(sed -n 's/.*window id \\([0-9]*\\).*/\\1/p' $d/l); " +
                                  "[ -S $d/w ] && [ -n \"$x\" ] && break; sleep 0.05; done; LIBDECOR_PLUGIN_DIR=$d LP_NUM_THREADS=0 WAYLAND_DISPLAY=w " + WAYLAND_VARIABLE +
                                  "=\"$x " + k + "\" /proc/" + std::to_string(getpid()) + "/exe --gtest_filter=WindowOnWayland.* " +
                                  "2>&1; s=$?; kill $p; wait $p; rm -rf $d; exit $s");
        EXPECT_EQ(child.status, 0) << "output scale " << k << ":\n" << child.out;
        const size_t at = child.out.find("[ figures  ]");
        if (at != std::string::npos) std::printf("%s", child.out.substr(at, child.out.find('\n', at) - at + 1).c_str());
    }
}

}  // namespace
