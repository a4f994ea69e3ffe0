// The headless twin of the window: an in-memory screen page, a virtual clock that pauses
// and retrace waits advance, and keys, key states and mouse values set by the tests.
#include "platform/headless/headless.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/core.h"
#include "platform/pad.h"
#include "platform/platform.h"
#include "platform/random_internal.h"
#include "platform/screen.h"

namespace {

constexpr double START_TIME = 1000.0;  // seconds on the virtual clock after a reset

struct TimedAction {
    double time;
    std::function<void()> action;
};

struct Twin {
    double now = START_TIME;
    SoundSource sound = nullptr;    // what open_sound got
    double sound_opened_at = START_TIME;
    bool fail_sound = false;
    bool recording = false;
    int64_t sound_frames = 0;       // frames pulled since open_sound
    std::vector<float> samples;     // what they held, when recording
    int kept_mute = -1;             // keep_mute_choice's last value, -1 none
    double opened_at = START_TIME;  // virtual time of the last open_screen: the pace's origin
    int rate = 0;
    bool fail_open = false;
    long pauses = 0;
    long pause_limit = 0;
    std::function<void()> on_limit;
    std::multimap<double, std::function<void()>> timed;
    std::multimap<long, std::function<void()>> at_pause;
};

Twin& twin() {
    static Twin t;
    return t;
}

// Pulls the sound source for the virtual time up to `time`, as a device would have played it.
void pull_sound_until(double time) {
    Twin& t = twin();
    if (!t.sound || !t.recording) return;
    const int64_t target = std::llround((time - t.sound_opened_at) * SOUND_RATE);
    if (target <= t.sound_frames) return;
    const size_t frames = static_cast<size_t>(target - t.sound_frames);
    t.samples.resize(t.samples.size() + 2 * frames);
    t.sound(t.samples.data() + t.samples.size() - 2 * frames, static_cast<int>(frames));
    t.sound_frames = target;
}

// Runs the timed actions due at or before `until`, each with the clock set to its time,
// then sets the clock to `until`. Sound is pulled up to each action, so that what the
// action raises sounds at its own time.
void advance_to(double until) {
    Twin& t = twin();
    while (!t.timed.empty() && t.timed.begin()->first <= until) {
        auto it = t.timed.begin();
        pull_sound_until(it->first);
        if (it->first > t.now) t.now = it->first;
        std::function<void()> action = std::move(it->second);
        t.timed.erase(it);
        action();
    }
    pull_sound_until(until);
    if (until > t.now) t.now = until;
    CallLock guard;
    pad::repeat(std::llround(t.now * 1000.0));  // a held pad direction repeats on this clock
}

int64_t now_ms() { return std::llround(twin().now * 1000.0); }

}  // namespace

std::string open_screen_error() { return twin().fail_open ? "no display (headless)" : ""; }

int open_screen(int width, int height, int depth, int /*pages*/, int /*flags*/, int refresh_rate) {
    if (width <= 0 || height <= 0) return 1;
    switch (depth) {
        case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: break;
        default: return 1;
    }
    if (twin().fail_open) return 1;
    int rate = refresh_rate > 0 ? refresh_rate : twin().rate;
    twin().opened_at = twin().now;
    return core::open_page(width, height, rate) ? 0 : 1;
}

int wait_for_retrace() {
    if (!screen_is_open()) return 1;
    Twin& t = twin();
    auto ns = [](double seconds) { return static_cast<int64_t>(std::llround(seconds * 1e9)); };
    const int64_t wait = core::retrace_wait_ns(core::refresh_rate(), ns(t.opened_at), ns(t.now));
    advance_to(t.now + wait / 1e9);
    return 0;
}

double clock_seconds() { return twin().now; }

void backend_pause_started(int /*ms*/) {
    Twin& t = twin();
    ++t.pauses;
    auto range = t.at_pause.equal_range(t.pauses);
    std::vector<std::function<void()>> due;
    for (auto it = range.first; it != range.second; ++it) due.push_back(std::move(it->second));
    t.at_pause.erase(range.first, range.second);
    for (auto& action : due) action();
    if (t.pause_limit > 0 && t.pauses > t.pause_limit) {
        t.pause_limit = 0;
        if (t.on_limit) {
            t.on_limit();
        } else {
            std::fprintf(stderr, "headless: pause limit reached, nothing answered the game\n");
            std::abort();
        }
    }
}

void backend_sleep_ms(int ms) { advance_to(twin().now + ms / 1000.0); }

void headless_reset() {
    core::close_page();
    {
        std::lock_guard<std::mutex> guard(core::screen_mutex());
        core::reset_input();
    }
    reset_random();
    twin() = Twin{};
}

std::string open_sound(SoundSource source, SoundQuiet /*quiet*/) {  // pulled all the time
    Twin& t = twin();
    if (t.fail_sound) return "no audio device (headless)";
    t.sound = source;
    t.sound_opened_at = t.now;
    t.sound_frames = 0;
    return "";
}

bool kept_mute_choice(bool fallback) { return twin().kept_mute < 0 ? fallback : twin().kept_mute != 0; }
void keep_mute_choice(bool muted) { twin().kept_mute = muted ? 1 : 0; }

void headless_fail_sound(bool fail) { twin().fail_sound = fail; }
void headless_record_sound(bool on) { twin().recording = on; }
const std::vector<float>& headless_sound() { return twin().samples; }
int64_t headless_sound_frame(double seconds) {
    return std::llround((seconds - twin().sound_opened_at) * SOUND_RATE);
}
int headless_kept_mute() { return twin().kept_mute; }

void headless_set_time(double seconds) { twin().now = seconds; }
double headless_time() { return twin().now; }
void headless_set_refresh_rate(int hz) { twin().rate = hz; }
void headless_fail_open(bool fail) { twin().fail_open = fail; }

void headless_queue_key(int code) {
    CallLock guard;
    core::post_key(code);
}

void headless_type(const std::string& text) {
    for (unsigned char c : text) headless_queue_key(c);
}

void headless_set_key_down(int scancode, bool down) {
    CallLock guard;
    core::set_key_state(scancode, down);
}

void headless_set_mouse(int x, int y, int buttons) {
    CallLock guard;
    core::set_pointer(x, y);
    core::set_buttons(buttons);
}

void headless_set_pointer_inside(bool inside) {
    CallLock guard;
    core::set_pointer_inside(inside);
}

void headless_set_active(bool active) {
    CallLock guard;
    core::set_active(active);
}

void headless_pad_button(int pad_id, int button, bool down) {
    CallLock guard;
    pad::press(pad_id, button, down, now_ms());
}

void headless_pad_axis(int pad_id, int axis, int value) {
    CallLock guard;
    pad::move_axis(pad_id, axis, value, now_ms());
}

void headless_pad_unplug(int pad_id) {
    CallLock guard;
    pad::remove(pad_id);
}

void headless_turn_wheel(int steps) {
    CallLock guard;
    core::turn_wheel(steps);
}

void headless_at_time(double seconds, std::function<void()> action) {
    twin().timed.emplace(seconds, std::move(action));
}

void headless_at_pause(long pause_number, std::function<void()> action) {
    twin().at_pause.emplace(pause_number, std::move(action));
}

long headless_pause_count() { return twin().pauses; }

void headless_set_pause_limit(long max_pauses, std::function<void()> on_limit) {
    twin().pause_limit = max_pauses;
    twin().on_limit = std::move(on_limit);
}

uint32_t headless_pixel(int x, int y) {
    ScreenPage p = screen_page();
    if (!p.pixels || x < 0 || y < 0 || x >= p.width || y >= p.height) return 0;
    return p.pixels[static_cast<size_t>(y) * p.width + x];
}

bool headless_row_changed(int y) { return core::row_changed(y); }
void headless_clear_row_flags() { core::clear_row_flags(); }

bool headless_lock_held() {
    std::mutex& m = core::screen_mutex();
    if (!m.try_lock()) return true;
    m.unlock();
    return false;
}

bool headless_save_page_bmp(const std::string& path) {
    ScreenPage p = screen_page();
    if (!p.pixels) return false;
    const int row_bytes = (p.width * 3 + 3) & ~3;
    const uint32_t data_size = static_cast<uint32_t>(row_bytes) * p.height;
    std::vector<uint8_t> file(54 + data_size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, 54 + data_size);
    put32(10, 54);
    put32(14, 40);
    put32(18, p.width);
    put32(22, p.height);
    file[26] = 1;
    file[28] = 24;
    put32(34, data_size);
    for (int y = 0; y < p.height; ++y) {
        uint8_t* out = &file[54 + static_cast<size_t>(p.height - 1 - y) * row_bytes];
        for (int x = 0; x < p.width; ++x) {
            uint32_t v = p.pixels[static_cast<size_t>(y) * p.width + x];
            out[3 * x] = v & 0xFF;
            out[3 * x + 1] = (v >> 8) & 0xFF;
            out[3 * x + 2] = (v >> 16) & 0xFF;
        }
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}
