// The window at other sizes: this program runs again on a private Xvfb screen with
// MURKWING_WINDOW_TEST_SCALE as its --scale, where WindowScaled checks the window it got
// (page pixels as uniform blocks, centred on black once resized, the pointer in page pixels).
#include "tests/window_support.h"

using namespace window_test;

namespace {

// Page pixel (x, y) of the test picture: neighbours differ in blue at least.
uint32_t pattern(int x, int y) { return 0xFF000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x * 7 + y * 13) & 0xFF); }

// The window's pixels unlike the test picture at `scale` from (origin_x, origin_y) on black.
int count_wrong_pixels(int scale, int origin_x, int origin_y) {
    Capture shot = capture("-id " + screen().window);
    int wrong = shot.ok ? 0 : -1;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const int page_x = (x - origin_x) / scale, page_y = (y - origin_y) / scale;
            const bool on_page = x >= origin_x && y >= origin_y && page_x < WIDTH && page_y < HEIGHT;
            wrong += shot.pixel(x, y) != (on_page ? pattern(page_x, page_y) & 0xFFFFFFu : 0u);
        }
    }
    return wrong;
}

// Captures the window until it shows the test picture as count_wrong_pixels describes, or
// 10 s have passed (a resize reaches the picture a few refresh ticks later); returns the
// wrong pixels of the last capture.
int wait_for_picture(int scale, int origin_x, int origin_y) {
    int wrong = -1;
    wait_until([&] { return (wrong = count_wrong_pixels(scale, origin_x, origin_y)) == 0; });
    return wrong;
}

// Whether read_mouse soon gives (page_x, page_y) (-1, -1: fails) for window pixel (x, y).
bool pointer_reads(int x, int y, int page_x, int page_y) {
    xdo("mousemove " + std::to_string(screen().x + x) + " " + std::to_string(screen().y + y));
    int32_t mx = 0, my = 0, wheel = 0, buttons = 0;
    return wait_until([&] {
        read_mouse(mx, my, wheel, buttons);  // all -1 when the query fails
        return mx == page_x && my == page_y;
    });
}

TEST(WindowScaled, PagePixelsAreWholeBlocksCentredOnBlackAndThePointerReadsPagePixels) {
    if (!std::getenv(SCALE_VARIABLE)) GTEST_SKIP() << "run by WindowScale.* on a screen of its own";
    REQUIRE_WINDOW();
    CommandResult info = run("xdotool getwindowgeometry --shell " + screen().window);
    const int width = geometry_field(info.out, "\nWIDTH="), height = geometry_field(info.out, "\nHEIGHT=");
    std::printf("[ figures  ] window %dx%d\n", width, height);
    const int k = width / WIDTH;
    ASSERT_TRUE(k >= 1 && width == k * WIDTH && height == k * HEIGHT);
    fill_page(pattern);
    EXPECT_EQ(wait_for_picture(k, 0, 0), 0);
    EXPECT_TRUE(pointer_reads(k, 3 * k - 1, 1, 2));
    EXPECT_TRUE(pointer_reads(width - 1, height - 1, WIDTH - 1, HEIGHT - 1));
    if (std::atoi(run("xdotool getdisplaygeometry").out.c_str()) < 1000) return;  // too narrow to resize
    ASSERT_TRUE(xdo("windowsize --sync " + screen().window + " 1000 700"));
    EXPECT_EQ(wait_for_picture(2, 20, 30), 0);  // 960 x 640 at (20, 30)
    EXPECT_TRUE(pointer_reads(979, 669, WIDTH - 1, HEIGHT - 1));
    EXPECT_TRUE(pointer_reads(10, 300, -1, -1));  // on the black border
}

TEST(WindowScale, OpensAtItsSizeOnSmallAndLargeScreens) {
    if (std::getenv(SCALE_VARIABLE)) GTEST_SKIP() << "already on a screen of its own";
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    // Screen, --scale, window; 960 x 640 does not fit on 800 x 600, which keeps factor 1.
    const std::string cases[][3] = {{"800x600", "1", "480x320"}, {"800x600", "2", "480x320"},
                                    {"3840x2160", "1", "480x320"}, {"3840x2160", "2", "960x640"}};
    for (const auto& c : cases) {
        CommandResult child = run("f=$(mktemp); Xvfb -displayfd 3 -screen 0 " + c[0] + "x24 -nolisten tcp 3>$f " +
                                  ">/dev/null 2>&1 & x=$!; for i in $(seq 100); do [ -s $f ] && break; sleep 0.1; " +
                                  "done; DISPLAY=:$(head -n 1 $f) " + SCALE_VARIABLE + "=" + c[1] + " " + self +
                                  " --gtest_filter=WindowScaled.* 2>&1; s=$?; kill $x; rm -f $f; exit $s");
        const bool opened = child.out.find("] window " + c[2] + "\n") != std::string::npos;
        EXPECT_TRUE(child.status == 0 && opened) << c[0] << " --scale " << c[1] << ":\n" << child.out;
        std::printf("[ figures  ] screen %s, --scale %s: window %s\n", c[0].c_str(), c[1].c_str(), c[2].c_str());
    }
}

}  // namespace
