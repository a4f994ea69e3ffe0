// The seam through which the browser tests steer the page (tests/web). The game's build
// links no_test_hooks.cpp, which changes nothing; the test build (tools/web.sh test, CMake
// option MURKWING_WEB_TEST) links test_hooks.cpp instead, which reads two URL parameters:
// seed=S starts clock_seconds at S, so the game's seed (the clock at start-up) is S;
// hold=N1,N2,... stops the game in the pause after frame N1 (then N2, ...) has been shown,
// until the page sets Module.murkwing.held back to false. Module.murkwing.yields counts the
// yields to the browser (a dialog's passes go on while it presents nothing).
#pragma once

namespace web_test {

// Called by open_screen once the canvas is set up, before the first frame.
void screen_opened();

// Called at every yield once the changed rows are on the canvas, with the number of frames
// whose picture reached it; may keep the game in this yield.
void frame_presented(long presented_frames);

// Sets `seconds` and returns true when the clock is seeded; false for the real clock.
bool seeded_clock(double& seconds);

}  // namespace web_test
