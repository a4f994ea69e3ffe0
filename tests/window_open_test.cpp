// Opening the real window: failure without a display (checked in a fresh child process of
// this program, started with DISPLAY removed), bad arguments, and a second open.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/window_support.h"

extern char** environ;

using namespace window_test;

namespace {

constexpr const char* CHILD_VARIABLE = "MURKWING_WINDOW_TEST_CHILD";

// In a child started by the tests below, before GoogleTest runs: do the child's part and
// end. "open-without-display" opens the screen without a display and prints what came of
// it; "exit-after-drawing" and "exit-holding-lock" open the window, draw, and end the
// process through exit(), which must stop the refresh thread and close the window
// cleanly, even when the game still holds the screen lock.
bool run_child_if_asked() {
    const char* role = std::getenv(CHILD_VARIABLE);
    if (!role) return false;
    if (std::strcmp(role, "open-without-display") == 0) {
        int retrace_before = wait_for_retrace();
        int result = open_screen(480, 320, 32, 0, 0, 0);
        std::printf("result %d\nerror %s\nopen %d\nretrace %d %d\n", result, open_screen_error().c_str(),
                    screen_is_open() ? 1 : 0, retrace_before, wait_for_retrace());
        std::fflush(stdout);
        std::_Exit(0);
    }
    int result = open_screen(480, 320, 32, 0, 0, 0);
    std::printf("result %d\n", result);
    std::fflush(stdout);
    fill_page([](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * y); });
    pause_ms(50);
    if (std::strcmp(role, "exit-holding-lock") == 0) {
        lock_screen();
        sleep_ms(50);  // the refresh thread now waits for the lock
    }
    std::exit(0);
}

const bool CHILD_DONE = run_child_if_asked();

struct ChildRun {
    int status = -1;
    std::string out;
};

// Runs this test program again in the given child role, with DISPLAY, WAYLAND_DISPLAY and
// SDL_VIDEODRIVER removed unless `keep_display`; its standard output and error both go to
// `out`.
ChildRun run_child(const std::string& role, bool keep_display) {
    std::vector<std::string> kept;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool display = entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                       entry.rfind("SDL_VIDEODRIVER=", 0) == 0;
        if ((display && !keep_display) || entry.rfind(CHILD_VARIABLE, 0) == 0) continue;
        kept.push_back(entry);
    }
    kept.push_back(std::string(CHILD_VARIABLE) + "=" + role);
    std::vector<char*> env;
    for (std::string& entry : kept) env.push_back(entry.data());
    env.push_back(nullptr);

    ChildRun run;
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    char program[] = "/proc/self/exe";
    char* argv[] = {program, nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    if (spawned == 0) {
        char buffer[1024];
        ssize_t n;
        while ((n = read(pipe_ends[0], buffer, sizeof(buffer))) > 0) run.out.append(buffer, static_cast<size_t>(n));
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    close(pipe_ends[0]);
    return run;
}

std::string line_after(const std::string& text, const std::string& label) {
    size_t at = text.find(label);
    if (at == std::string::npos) return "(missing)";
    size_t end = text.find('\n', at);
    return text.substr(at + label.size(), end == std::string::npos ? std::string::npos : end - at - label.size());
}

TEST(WindowOpen, WithoutADisplayOpenScreenFailsAndNamesTheCause) {
    ChildRun child = run_child("open-without-display", false);
    ASSERT_EQ(child.status, 0) << child.out;
    EXPECT_EQ(line_after(child.out, "result "), "1");
    EXPECT_EQ(line_after(child.out, "open "), "0") << "a screen counts as open after the failure";
    EXPECT_EQ(line_after(child.out, "retrace "), "1 1") << "wait_for_retrace without a screen";
    std::string error = line_after(child.out, "error ");
    // SDL's invisible drivers would "succeed"; the cause names what the real ones said.
    EXPECT_EQ(error.rfind("no display (", 0), 0u) << error;
    EXPECT_NE(error.find("x11 not available"), std::string::npos) << error;
    // Nothing else on either stream: the game prints the cause as its only line.
    EXPECT_EQ(std::count(child.out.begin(), child.out.end(), '\n'), 4) << child.out;
    std::printf("[ figures  ] open_screen without a display: \"%s\"\n", error.c_str());
}

TEST(WindowOpen, ExitStopsTheRefreshThreadAndClosesTheWindow) {
    if (!have_display()) GTEST_SKIP() << "needs DISPLAY (tools/test.sh)";
    take_display_for_this_process();  // the child's window takes the keyboard focus
    double start = now_seconds();
    ChildRun child = run_child("exit-after-drawing", true);
    double took = now_seconds() - start;
    EXPECT_EQ(child.status, 0) << child.out;  // a crash or abort at exit gives no status 0
    EXPECT_EQ(line_after(child.out, "result "), "0") << child.out;
    std::printf("[ figures  ] start, draw and exit of a window program: %.0f ms\n", took * 1e3);
}

TEST(WindowOpen, ExitWithTheScreenLockHeldStillEnds) {
    if (!have_display()) GTEST_SKIP() << "needs DISPLAY (tools/test.sh)";
    take_display_for_this_process();  // the child's window takes the keyboard focus
    double start = now_seconds();
    ChildRun child = run_child("exit-holding-lock", true);
    double took = now_seconds() - start;
    EXPECT_EQ(child.status, 0) << child.out;
    EXPECT_EQ(line_after(child.out, "result "), "0") << child.out;
    EXPECT_LT(took, 10.0) << "the exit waited for the lock";
    std::printf("[ figures  ] exit with the screen lock held: %.0f ms\n", took * 1e3);
}

struct BadArguments {
    int width, height, depth;
};

TEST(WindowOpen, BadSizesAndDepthsOpenNothing) {
    const BadArguments cases[] = {{0, 320, 32}, {480, 0, 32}, {-480, 320, 32}, {480, -1, 32},
                                  {480, 320, 0}, {480, 320, 12}, {480, 320, 33}, {100000, 320, 32}};
    for (const BadArguments& c : cases) {
        EXPECT_EQ(open_screen(c.width, c.height, c.depth, 0, 0, 0), 1) << c.width << "x" << c.height << "x" << c.depth;
        EXPECT_EQ(open_screen_error(), "bad screen size or colour depth");
    }
}

TEST(WindowOpen, ASecondOpenLeavesTheFirstScreenAlone) {
    REQUIRE_WINDOW();
    fill_page([](int, int) { return 0xFF123456u; });
    EXPECT_EQ(open_screen(480, 320, 32, 0, 0, 0), 1);
    EXPECT_EQ(open_screen_error(), "the screen is already open");
    ScreenPage page = screen_page();
    EXPECT_EQ(page.width, WIDTH);
    EXPECT_EQ(page.height, HEIGHT);
    EXPECT_EQ(page.pixels[0], 0xFF123456u);
}

TEST(WindowOpen, ClockCountsFromTheSystemsStart) {
    // /proc/uptime gives the seconds since boot; CLOCK_MONOTONIC may lag it by the time
    // the machine spent suspended.
    double clock = clock_seconds();
    double uptime = 0;
    FILE* f = std::fopen("/proc/uptime", "r");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fscanf(f, "%lf", &uptime), 1);
    std::fclose(f);
    EXPECT_GT(clock, 0.0);
    EXPECT_LE(clock, uptime + 1.0);
    double later = clock_seconds();
    EXPECT_GE(later, clock);
}

}  // namespace
