// What the real window shows: its title and size, and the screen page's colours pixel for
// pixel, read back from the X server with xwd; a frame drawn under the lock shows only
// after unlock_screen; a dialog at rest presents nothing and is still shown as it is.
#include <string>
#include <thread>

#include "gfx/image.h"
#include "tests/window_support.h"
#include "tests/window_x11.h"
#include "ui/dialog.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/screen_globals.h"

using namespace window_test;

namespace {

class WindowPresent : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_WINDOW(); }
};

// A page pixel that differs in every colour channel from its neighbours and carries an
// alpha byte that must not show.
uint32_t pattern(int x, int y) {
    uint32_t alpha = static_cast<uint32_t>((x * 37 + y * 11) & 0xFF) << 24;
    uint32_t red = static_cast<uint32_t>(x & 0xFF) << 16;
    uint32_t green = static_cast<uint32_t>((y * 3 + (x >> 8)) & 0xFF) << 8;
    uint32_t blue = static_cast<uint32_t>((x * 7 + y * 13) & 0xFF);
    return alpha | red | green | blue;
}

// Counts the window pixels on the root window whose colour differs from `expected(x, y)`'s
// red, green and blue bytes, and describes the first.
template <class PixelAt>
int count_wrong_pixels(const Capture& root, PixelAt expected, std::string& first) {
    int wrong = 0;
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            uint32_t shown = root.pixel(screen().x + x, screen().y + y);
            uint32_t want = expected(x, y) & 0xFFFFFFu;
            if (shown != want && wrong++ == 0) {
                char text[96];
                std::snprintf(text, sizeof(text), "(%d,%d) shows %06X, page has %06X", x, y, shown, want);
                first = text;
            }
        }
    }
    return wrong;
}

Capture capture_root() {
    Capture root = capture("-root");
    EXPECT_TRUE(root.ok) << "xwd could not read the screen";
    EXPECT_EQ(root.red_mask, 0xFF0000u);
    EXPECT_EQ(root.green_mask, 0xFF00u);
    EXPECT_EQ(root.blue_mask, 0xFFu);
    return root;
}

// Captures the screen until the window shows `expected(x, y)` or 10 s have passed; returns
// the wrong pixels of the last capture (-1: none could be taken) and describes the first.
template <class PixelAt>
int wait_for_picture(PixelAt expected, std::string& first) {
    int wrong = -1;
    wait_until([&] {
        Capture root = capture("-root");
        wrong = root.ok ? count_wrong_pixels(root, expected, first) : -1;
        return wrong == 0;
    });
    return wrong;
}

TEST_F(WindowPresent, TitleIsTheProgramNameAndTheClientAreaIs480By320) {
    EXPECT_EQ(trim(run("xdotool getwindowname " + screen().window).out), TITLE);
    CommandResult info = run("xdotool getwindowgeometry --shell " + screen().window);
    EXPECT_EQ(geometry_field(info.out, "\nWIDTH="), WIDTH);
    EXPECT_EQ(geometry_field(info.out, "\nHEIGHT="), HEIGHT);
    std::string visible = run(std::string("xdotool search --onlyvisible --name '^") + TITLE + "$'").out;
    EXPECT_NE(visible.find(screen().window), std::string::npos) << "the window is not shown";
}

TEST_F(WindowPresent, ClassIsTheAppIdAndTheIconIsTheDesktopIconsDrawing) {
    const std::string id = MURKWING_APP_ID, window = screen().window;
    EXPECT_EQ(trim(run("xprop -id " + window + " WM_CLASS").out), "WM_CLASS(STRING) = \"" + id + "\", \"" + id + "\"");
    // The icon (width, height, 0xAARRGGBB pixels) beside make_icon's RGBA bytes, in decimal.
    const std::string shown = run("xprop -id " + window + " -notype -f _NET_WM_ICON 32c '=$0+' _NET_WM_ICON" +
                                  " | sed 's/^[^=]*=//; s/, */ /g'").out;
    const std::string pam = "/tmp/murkwing-icon-" + std::to_string(getpid()) + ".pam";
    const std::string drawn = run(MURKWING_BINARY_DIR "/tools/make_icon 64 " + pam + " && tail -c 16384 " + pam +
                                  " | od -An -v -tu1 -w4 | awk '{printf \" %.0f\", $4*2^24 + $1*2^16 + $2*256 + $3}'" +
                                  "; rm -f " + pam).out;
    EXPECT_EQ(trim(shown), "64 64" + drawn) << "the window's icon is not make_icon's drawing";
}

TEST_F(WindowPresent, WindowUsesATrueColourVisual) {
    // A DirectColor window would show its pixels through a colormap that may never be
    // installed; TrueColor shows the values as they are.
    Capture window = capture("-id " + screen().window);
    ASSERT_TRUE(window.ok);
    EXPECT_EQ(window.visual_class, 4) << "not TrueColor";
}

TEST_F(WindowPresent, EveryWindowPixelShowsThePagePixelsColour) {
    fill_page(pattern);
    capture_root();  // the colour masks
    std::string first;
    EXPECT_EQ(wait_for_picture(pattern, first), 0) << first;
}

TEST_F(WindowPresent, ABandOfChangedRowsReachesTheWindow) {
    fill_page(pattern);
    std::string first;
    ASSERT_EQ(wait_for_picture(pattern, first), 0) << first;
    // Change rows 100..139 only, as a drawing call does: under the lock for the call,
    // marking just those rows.
    auto banded = [](int x, int y) { return (y >= 100 && y < 140) ? 0xFF00FF00u ^ pattern(x, y) : pattern(x, y); };
    {
        CallLock guard;
        ScreenPage page = screen_page();
        for (int y = 100; y < 140; ++y) {
            for (int x = 0; x < page.width; ++x) page.pixels[y * page.width + x] = banded(x, y);
        }
        mark_rows_changed(100, 139);
    }
    EXPECT_EQ(wait_for_picture(banded, first), 0) << first;
}

TEST_F(WindowPresent, AFrameDrawnUnderTheLockShowsOnlyAfterUnlock) {
    fill_page(pattern);
    std::string first;
    ASSERT_EQ(wait_for_picture(pattern, first), 0) << first;
    auto red = [](int, int) { return 0xFFFF0000u; };
    lock_screen();
    ScreenPage page = screen_page();
    for (int i = 0; i < page.width * page.height; ++i) page.pixels[i] = red(0, 0);
    sleep_ms(60);  // refresh ticks come and wait for the lock: the pause is what is tested
    Capture during = capture_root();
    unlock_screen(-1, -1);
    ASSERT_TRUE(during.ok);
    EXPECT_EQ(count_wrong_pixels(during, pattern, first), 0) << "shown before unlock: " << first;
    EXPECT_EQ(wait_for_picture(red, first), 0) << first;
}

TEST_F(WindowPresent, APaintRequestRepaintsWhatAnotherWindowCovered) {
    fill_page(pattern);
    std::string first;
    ASSERT_EQ(wait_for_picture(pattern, first), 0) << first;
    XConnection x;
    ASSERT_TRUE(x.ok()) << "libX11 or libXtst missing";
    // A black window over the middle of ours, then gone: only a paint request (an Expose
    // event) brings the covered part back; nothing on the page changed.
    unsigned long cover = x.cover(screen().x + 100, screen().y + 80, 200, 120);
    EXPECT_TRUE(wait_until([] {
        Capture covered = capture("-root");
        return covered.ok && covered.pixel(screen().x + 150, screen().y + 100) == 0u;
    })) << "the cover did not show";
    x.destroy(cover);
    EXPECT_EQ(wait_for_picture(pattern, first), 0) << first;
}

long presented_rows() {
    std::lock_guard<std::mutex> lock(core::screen_mutex());
    return core::presented_row_count();
}

TEST_F(WindowPresent, ADialogAtRestPresentsNothingYetTheWindowShowsItsPage) {
    fill_page(pattern);
    xdo("mousemove 1279 1023");  // off the window: the pointer picks no option
    GameScreen& game = game_screen();
    game = GameScreen{WIDTH, HEIGHT, create_image(WIDTH, HEIGHT, 0xFFFFFFFFu, 0, 0)};
    ASSERT_EQ(load_font(MURKWING_SOURCE_DIR "/data/font.bmp", GAME_CHARSET), 0);
    reset_input_state();
    const long start = presented_rows();
    int32_t answer = 0;
    std::thread player([&] { answer = choice_dialog("Quit?", "No:::Yes", 0, 0); });
    // Every pass redraws the whole dialog. Once the dimming (every row) has been shown and
    // has settled, a whole second of passes presents no row. (A refresh tick that falls
    // between a pass's unlock and its highlight box presents those rows twice, rarely.)
    long count = start;
    double unchanged_since = now_seconds();
    EXPECT_TRUE(wait_until([&] {
        if (presented_rows() != count) {
            count = presented_rows();
            unchanged_since = now_seconds();
        }
        return count >= start + HEIGHT && now_seconds() - unchanged_since >= 1.0;
    }, 60)) << "the dialog kept presenting rows, or never showed";
    // The window shows the page as it stands, though its last passes presented nothing.
    std::vector<uint32_t> page(WIDTH * HEIGHT);
    int wrong = -1;
    std::string first;
    wait_until([&] {
        {
            std::lock_guard<std::mutex> lock(core::screen_mutex());
            std::copy_n(screen_page().pixels, page.size(), page.begin());
        }
        Capture root = capture("-root");
        wrong = root.ok ? count_wrong_pixels(root, [&](int x, int y) { return page[y * WIDTH + x]; }, first) : -1;
        return wrong == 0;
    });
    EXPECT_EQ(wrong, 0) << first;
    {
        std::lock_guard<std::mutex> lock(core::screen_mutex());
        core::post_key(KEY_ENTER);
    }
    player.join();
    EXPECT_EQ(answer, 1);
    free_font();
    destroy_image(game.overlay);
    game = GameScreen{};
}

}  // namespace
