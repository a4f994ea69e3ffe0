// The game's browser build: no test steers it (see test_hooks.h).
#include "platform/web/test_hooks.h"

void web_test::screen_opened() {}

void web_test::frame_presented(long /*presented_frames*/) {}

bool web_test::seeded_clock(double& /*seconds*/) { return false; }
