// The window on screens of other sizes and at other scales: this program again, in a child
// with a private Xvfb screen of the size under test and MURKWING_WINDOW_TEST_SCALE set,
// running the WindowScaled tests, which check whatever window they got: each page pixel a
// uniform whole block, the pointer in page pixels, a resized window's picture centred on
// black. The parent checks the size the window opened at.
#include <signal.h>
#include <unistd.h>

#include <string>

#include "tests/window_support.h"

using namespace window_test;

namespace {

// Page pixel (x, y) of the test picture: every channel differs from the neighbours'.
uint32_t pattern(int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>(x & 0xFF) << 16 |
           static_cast<uint32_t>((y * 3 + (x >> 8)) & 0xFF) << 8 | static_cast<uint32_t>((x * 7 + y * 13) & 0xFF);
}

// The client area's size from xdotool.
void window_size(int& width, int& height) {
    CommandResult info = run("xdotool getwindowgeometry --shell " + screen().window);
    width = geometry_field(info.out, "\nWIDTH=");
    height = geometry_field(info.out, "\nHEIGHT=");
}

// Counts the window pixels that differ from the test picture laid out at `scale` from
// (origin_x, origin_y), black around it.
int count_wrong_pixels(int scale, int origin_x, int origin_y, std::string& first) {
    Capture shot = capture("-id " + screen().window);
    if (!shot.ok) {
        first = "xwd could not read the window";
        return -1;
    }
    int wrong = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const int page_x = (x - origin_x) / scale, page_y = (y - origin_y) / scale;
            const bool on_page = x >= origin_x && y >= origin_y && page_x < WIDTH && page_y < HEIGHT;
            const uint32_t want = on_page ? pattern(page_x, page_y) & 0xFFFFFFu : 0;
            if (shot.pixel(x, y) != want && wrong++ == 0) {
                first = "(" + std::to_string(x) + "," + std::to_string(y) + ") shows " +
                        std::to_string(shot.pixel(x, y)) + ", want " + std::to_string(want);
            }
        }
    }
    return wrong;
}

// Moves the pointer to window pixel (x, y) and expects read_mouse to give page pixel
// (page_x, page_y), or to fail when page_x is -1. (No --sync: it waits long for a move to
// where the pointer already is.)
void expect_pointer(int x, int y, int page_x, int page_y) {
    ASSERT_TRUE(xdo("mousemove " + std::to_string(screen().x + x) + " " + std::to_string(screen().y + y)));
    int32_t mx = 0, my = 0, wheel = 0, buttons = 0;
    const int want = page_x < 0 ? 1 : 0;
    EXPECT_TRUE(wait_until([&] {
        return read_mouse(mx, my, wheel, buttons) == want && (want == 1 || (mx == page_x && my == page_y));
    })) << "window (" << x << "," << y << ") gave (" << mx << "," << my << ")";
}

class WindowScaled : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv(SCALE_VARIABLE)) GTEST_SKIP() << "run by WindowScale.* on a screen of its own";
        REQUIRE_WINDOW();
    }
};

TEST_F(WindowScaled, EveryPagePixelIsAUniformBlockAndThePointerReadsPagePixels) {
    int width = 0, height = 0;
    window_size(width, height);
    std::printf("[ figures  ] window %dx%d\n", width, height);
    const int k = width / WIDTH;
    ASSERT_TRUE(k >= 1 && width == k * WIDTH && height == k * HEIGHT) << width << "x" << height;
    fill_page(pattern);
    sleep_ms(60);  // a few refresh ticks
    std::string first;
    EXPECT_EQ(count_wrong_pixels(k, 0, 0, first), 0) << first;
    expect_pointer(0, 0, 0, 0);
    expect_pointer(k - 1, k - 1, 0, 0);
    expect_pointer(k, 2 * k + k - 1, 1, 2);
    expect_pointer(width - 1, height - 1, WIDTH - 1, HEIGHT - 1);
}

TEST_F(WindowScaled, AResizedWindowShowsTheLargestWholeFactorCentredOnBlack) {
    const std::string root = run("xdotool getdisplaygeometry").out;
    if (std::atoi(root.c_str()) < 1000) GTEST_SKIP() << "screen " << trim(root) << " is narrower than 1000";
    ASSERT_TRUE(xdo("windowsize --sync " + screen().window + " 1000 700"));
    int width = 0, height = 0;
    EXPECT_TRUE(wait_until([&] {
        window_size(width, height);
        return width == 1000 && height == 700;
    }));
    sleep_ms(60);
    fill_page(pattern);
    sleep_ms(60);
    std::string first;  // 960 x 640 at (20, 30)
    EXPECT_EQ(count_wrong_pixels(2, 20, 30, first), 0) << first;
    expect_pointer(20, 30, 0, 0);
    expect_pointer(979, 669, WIDTH - 1, HEIGHT - 1);
    expect_pointer(10, 300, -1, -1);  // on the black border
}

struct ScreenCase {
    int screen_width, screen_height, scale;
    const char* opens;  // the window's client area
};

// Starts a private Xvfb of the given size; returns its display (":N") and pid, or "".
std::string start_xvfb(int width, int height, pid_t& pid) {
    char fd_file[] = "/tmp/murkwing-xvfb-XXXXXX";
    close(mkstemp(fd_file));
    CommandResult started = run("Xvfb -displayfd 3 -screen 0 " + std::to_string(width) + "x" + std::to_string(height) +
                                "x24 -nolisten tcp 3>" + fd_file + " >/dev/null 2>&1 & echo $!");
    pid = static_cast<pid_t>(std::atoi(started.out.c_str()));
    std::string display;
    wait_until([&] {
        display = trim(run(std::string("head -n 1 ") + fd_file).out);
        return !display.empty();
    }, 10.0);
    unlink(fd_file);
    return display.empty() ? "" : ":" + display;
}

TEST(WindowScale, OpensAtItsSizeOnSmallAndLargeScreens) {
    if (std::getenv(SCALE_VARIABLE)) GTEST_SKIP() << "already in a child";
    if (run("command -v Xvfb").status != 0) GTEST_SKIP() << "needs Xvfb";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    // --scale 2 does not fit on 800 x 600, which keeps the largest factor that does: 1.
    const ScreenCase cases[] = {{800, 600, 1, "480x320"}, {800, 600, 2, "480x320"},
                                {3840, 2160, 1, "480x320"}, {3840, 2160, 2, "960x640"}};
    for (const ScreenCase& c : cases) {
        const std::string shown = std::to_string(c.screen_width) + "x" + std::to_string(c.screen_height) +
                                  " --scale " + std::to_string(c.scale);
        pid_t xvfb = 0;
        const std::string display = start_xvfb(c.screen_width, c.screen_height, xvfb);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start for " << shown;
        CommandResult child = run("DISPLAY=" + display + " " + SCALE_VARIABLE + "=" + std::to_string(c.scale) + " " +
                                  self + " --gtest_filter='WindowScaled.*' 2>&1");
        kill(xvfb, SIGTERM);
        const size_t at = child.out.find("[ figures  ] window ");
        const std::string opened =
            at == std::string::npos ? "(none)" : child.out.substr(at + 20, child.out.find('\n', at) - at - 20);
        EXPECT_EQ(child.status, 0) << shown << ":\n" << child.out;
        EXPECT_EQ(opened, c.opens) << shown;
        std::printf("[ figures  ] screen %s: window opens %s\n", shown.c_str(), opened.c_str());
    }
}

}  // namespace
