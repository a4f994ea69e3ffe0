// The browser's test build: the seed and hold URL parameters (see test_hooks.h). Linked
// only into the test build that tools/web.sh test makes, never into the game's.
#include "platform/web/test_hooks.h"

#include <emscripten.h>

namespace {

struct TestParameters {
    double seed = -1.0;                // ?seed=S: clock_seconds starts at S
    double clock_start_ms = -1.0;
    long hold_frame = 0;               // ?hold=N,...: the next frame to stop after
};

TestParameters& parameters() {
    static TestParameters p;
    return p;
}

EM_JS(double, web_url_seed, (), {
    const value = new URLSearchParams(location.search).get('seed');
    return value === null ? -1 : Number(value);
});

// The first hold frame after `frame`, 0 when none.
EM_JS(int, web_next_hold, (int frame), {
    const list = (new URLSearchParams(location.search).get('hold') || "").split(',').map(Number);
    const later = list.filter(function(n) { return n > frame; });
    return later.length ? Math.min.apply(null, later) : 0;
});

EM_JS(void, web_set_held, (int held), { Module.murkwing.held = !!held; });
EM_JS(void, web_count_yield, (), { Module.murkwing.yields = (Module.murkwing.yields || 0) + 1; });
EM_JS(int, web_held, (), { return Module.murkwing.held ? 1 : 0; });

}  // namespace

void web_test::screen_opened() {
    TestParameters& p = parameters();
    p.seed = web_url_seed();
    p.hold_frame = web_next_hold(0);
}

void web_test::frame_presented(long presented_frames) {
    TestParameters& p = parameters();
    web_count_yield();
    if (p.hold_frame <= 0 || presented_frames != p.hold_frame) return;
    p.hold_frame = web_next_hold(static_cast<int>(p.hold_frame));
    web_set_held(1);
    while (web_held()) emscripten_sleep(20);
}

bool web_test::seeded_clock(double& seconds) {
    TestParameters& p = parameters();
    if (p.seed < 0) return false;
    if (p.clock_start_ms < 0) p.clock_start_ms = emscripten_get_now();
    seconds = p.seed + (emscripten_get_now() - p.clock_start_ms) / 1000.0;
    return true;
}
