// The rules of the screen lock, the key queue, the key states, the mouse query and the
// pauses, common to every backend.
#include "platform/core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/pad.h"
#include "platform/platform.h"
#include "platform/screen.h"

namespace {

constexpr size_t PAGE_ALIGNMENT = 64;  // a cache line: lets the vector blits use aligned rows

struct FreeDeleter {
    void operator()(uint32_t* p) const { std::free(p); }
};

struct Core {
    std::mutex mutex;
    bool open = false;
    int width = 0, height = 0, rate = 0;
    std::unique_ptr<uint32_t[], FreeDeleter> page;  // width * height pixels, 0xAARRGGBB
    std::vector<uint8_t> row_changed;  // one flag per row
    // What was presented last of each row, where row_shown says the window still has it.
    std::vector<uint32_t> shown;
    std::vector<uint8_t> row_shown;
    long presented_rows = 0;
    // Lock bits, touched by the game's thread only.
    bool held_by_caller = false;
    bool held_for_call = false;
    // Key queue: read == write means empty, so it holds at most KEY_QUEUE_SLOTS - 1 keys.
    int queue[KEY_QUEUE_SLOTS] = {};
    int read_index = 0, write_index = 0;
    bool key_hit = false;
    uint8_t key_state[KEY_STATE_COUNT] = {};
    int32_t pointer_x = 0, pointer_y = 0, wheel = 0, buttons = 0;
    bool active = true, pointer_inside = true;
    bool focus_lost = false;      // the window lost activation since take_focus_loss last asked
    WindowOptions window;         // from the command line, for the backend's window
    void (*files_keeper)() = nullptr;  // keep_saved_files's work, set by the backend
    void (*text_entry_handler)(bool) = nullptr;  // set_text_entry's work, likewise
};

Core& state() {
    static Core c;
    return c;
}

// Reads and clears the key-hit flag under the lock.
bool take_key_hit() {
    CallLock guard;
    Core& c = state();
    bool hit = c.key_hit;
    c.key_hit = false;
    return hit;
}

}  // namespace

namespace core {

std::mutex& screen_mutex() { return state().mutex; }

bool open_page(int width, int height, int rate) {
    Core& c = state();
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return false;
    const size_t pixels = static_cast<size_t>(width) * height;
    const size_t bytes = (pixels * 4 + PAGE_ALIGNMENT - 1) / PAGE_ALIGNMENT * PAGE_ALIGNMENT;
    std::lock_guard<std::mutex> guard(c.mutex);
    c.page.reset(static_cast<uint32_t*>(std::aligned_alloc(PAGE_ALIGNMENT, bytes)));
    if (!c.page) return false;
    std::fill(c.page.get(), c.page.get() + pixels, 0xFF000000u);
    c.row_changed.assign(height, 1);
    c.shown.assign(pixels, 0);
    c.row_shown.assign(height, 0);
    c.presented_rows = 0;
    c.width = width;
    c.height = height;
    c.rate = rate;
    c.open = true;
    return true;
}

// Whether the open page was opened by open_offscreen_page (and may be closed by it).
bool& offscreen_page() {
    static bool opened = false;
    return opened;
}

void close_page() {
    Core& c = state();
    std::lock_guard<std::mutex> guard(c.mutex);
    c.open = false;
    c.page.reset();
    c.row_changed.clear();
    c.shown.clear();
    c.row_shown.clear();
    c.width = c.height = c.rate = 0;
    c.held_by_caller = c.held_for_call = false;
    offscreen_page() = false;
}

int refresh_rate() { return state().rate; }

void post_key(int code) {
    Core& c = state();
    c.queue[c.write_index] = code;
    c.write_index = (c.write_index + 1) % KEY_QUEUE_SLOTS;
    if (c.write_index == c.read_index) c.read_index = (c.read_index + 1) % KEY_QUEUE_SLOTS;
    c.key_hit = true;
}

void set_key_state(int scancode, bool held) {
    if (scancode >= 0 && scancode < KEY_STATE_COUNT) state().key_state[scancode] = held ? 1 : 0;
}

void clear_key_states() { std::fill(std::begin(state().key_state), std::end(state().key_state), 0); }

void set_pointer(int x, int y) {
    state().pointer_x = static_cast<uint16_t>(x);
    state().pointer_y = static_cast<uint16_t>(y);
}

void set_button(int bit, bool held) {
    if (held) state().buttons |= bit;
    else state().buttons &= ~bit;
}

void set_buttons(int bits) { state().buttons = bits; }
void turn_wheel(int steps) { state().wheel += steps; }

void set_active(bool active) {
    if (state().active && !active) state().focus_lost = true;
    state().active = active;
    clear_key_states();
    mark_all_rows();
}

void set_pointer_inside(bool inside) { state().pointer_inside = inside; }
bool active() { return state().active; }

bool take_rows_to_present(std::vector<RowRun>& runs) {
    Core& c = state();
    runs.clear();
    const size_t row_bytes = static_cast<size_t>(c.width) * 4;
    for (int y = 0; y < c.height; ++y) {
        if (!c.row_changed[y]) continue;
        c.row_changed[y] = 0;
        const uint32_t* row = c.page.get() + static_cast<size_t>(y) * c.width;
        uint32_t* shown = c.shown.data() + static_cast<size_t>(y) * c.width;
        if (c.row_shown[y] && std::memcmp(row, shown, row_bytes) == 0) continue;
        std::memcpy(shown, row, row_bytes);
        c.row_shown[y] = 1;
        ++c.presented_rows;
        if (!runs.empty() && runs.back().last == y - 1) runs.back().last = y;
        else runs.push_back(RowRun{y, y});
    }
    return !runs.empty();
}

long presented_row_count() { return state().presented_rows; }

void mark_all_rows() {
    std::fill(state().row_changed.begin(), state().row_changed.end(), 1);
    std::fill(state().row_shown.begin(), state().row_shown.end(), 0);
}

const uint32_t* page_pixels() { return state().page.get(); }
bool row_changed(int y) { return y >= 0 && y < state().height && state().row_changed[y]; }
void clear_row_flags() { std::fill(state().row_changed.begin(), state().row_changed.end(), 0); }

void reset_input() {
    Core& c = state();
    c.read_index = c.write_index = 0;
    c.key_hit = false;
    clear_key_states();
    c.pointer_x = c.pointer_y = c.wheel = c.buttons = 0;
    c.active = c.pointer_inside = true;
    c.focus_lost = false;
    pad::reset();
}

void set_files_keeper(void (*keeper)()) { state().files_keeper = keeper; }

void set_text_entry_handler(void (*handler)(bool open)) { state().text_entry_handler = handler; }

int64_t retrace_wait_ns(int rate, int64_t origin_ns, int64_t now_ns) {
    constexpr int64_t UNKNOWN_RATE_WAIT_NS = 16000000;
    constexpr int64_t SECOND_NS = 1000000000;
    constexpr int64_t TIMELINE_HZ = 60;
    if (rate <= 0) return UNKNOWN_RATE_WAIT_NS;
    if (now_ns < origin_ns) return origin_ns - now_ns;
    // Tick k of the timeline lies at origin + ceil(k / 60 s), so ticks never drift apart.
    const int64_t elapsed = now_ns - origin_ns;
    const int64_t next_tick = elapsed / SECOND_NS * TIMELINE_HZ + (elapsed % SECOND_NS) * TIMELINE_HZ / SECOND_NS + 1;
    const int64_t tick_ns = next_tick / TIMELINE_HZ * SECOND_NS + ((next_tick % TIMELINE_HZ) * SECOND_NS + TIMELINE_HZ - 1) / TIMELINE_HZ;
    return tick_ns - elapsed;
}

}  // namespace core

bool screen_is_open() { return state().open; }

ScreenPage screen_page() {
    Core& c = state();
    ScreenPage p;
    if (!c.open) return p;
    p.pixels = c.page.get();
    p.width = c.width;
    p.height = c.height;
    p.pitch = c.width * 4;
    p.bytes_per_pixel = 4;
    return p;
}

void mark_rows_changed(int first, int last) {
    Core& c = state();
    first = std::max(first, 0);
    last = std::min(last, c.height - 1);
    for (int y = first; y <= last; ++y) c.row_changed[y] = 1;
}

bool begin_call_lock() {
    Core& c = state();
    if (c.held_by_caller || c.held_for_call) return false;
    c.mutex.lock();
    c.held_for_call = true;
    return true;
}

void end_call_lock(bool taken) {
    if (!taken) return;
    Core& c = state();
    c.held_for_call = false;
    c.mutex.unlock();
}

void lock_screen() {
    Core& c = state();
    if (!c.open || c.held_by_caller) return;
    if (c.held_for_call) {  // only reachable from inside a drawing call; keep one owner
        c.held_for_call = false;
        c.held_by_caller = true;
        return;
    }
    c.mutex.lock();
    c.held_by_caller = true;
}

void unlock_screen(int first_row, int last_row) {
    Core& c = state();
    if (!c.open) return;
    first_row = std::max(first_row, 0);
    if (last_row < 0) last_row = c.height - 1;
    {
        // Without the caller's lock the flags are still marked, under a lock of their own so
        // the refresh thread never sees a half-written flag array.
        CallLock guard;
        if (first_row <= last_row && last_row < c.height) mark_rows_changed(first_row, last_row);
    }
    if (c.held_by_caller) {
        c.held_by_caller = false;
        c.held_for_call = false;
        c.mutex.unlock();
    }
}

std::string read_key() {
    int code = 0;
    {
        CallLock guard;
        Core& c = state();
        if (c.read_index != c.write_index) {
            code = c.queue[c.read_index];
            c.read_index = (c.read_index + 1) % KEY_QUEUE_SLOTS;
        }
        c.key_hit = false;
    }
    if (code <= 0) return std::string();
    if (code <= 255) return std::string(1, static_cast<char>(code));
    return std::string{static_cast<char>(255), static_cast<char>((code >> 8) & 0xFF)};
}

int32_t is_key_down(int scancode) {
    if (scancode < 0 || scancode >= KEY_STATE_COUNT) return 0;
    CallLock guard;
    const Core& c = state();
    if (c.key_state[scancode]) return -1;
    // The other devices' buttons that climb.
    const bool climb = scancode == SCANCODE_SPACE && (pad::climb_held() || (c.buttons & MOUSE_LEFT) != 0);
    return climb ? -1 : 0;
}

bool take_focus_loss() {
    CallLock guard;
    Core& c = state();
    const bool lost = c.focus_lost;
    c.focus_lost = false;
    return lost;
}

void keep_saved_files() {
    if (state().files_keeper) state().files_keeper();
}

void set_text_entry(bool open) {
    if (state().text_entry_handler) state().text_entry_handler(open);
}

void set_window_options(const WindowOptions& options) { state().window = options; }
WindowOptions window_options() { return state().window; }

namespace {
std::string& title_suffix() {
    static std::string suffix;
    return suffix;
}
}  // namespace

void set_window_title_suffix(const std::string& suffix) { title_suffix() = suffix; }
std::string window_title_suffix() { return title_suffix(); }

int read_mouse(int32_t& x, int32_t& y, int32_t& wheel, int32_t& buttons) {
    CallLock guard;
    Core& c = state();
    if (c.open && c.active && c.pointer_inside) {
        x = c.pointer_x;
        y = c.pointer_y;
        wheel = c.wheel;
        buttons = c.buttons;
        return 0;
    }
    x = y = wheel = buttons = -1;
    return 1;
}

void pause_ms(int ms) {
    backend_pause_started(ms);
    if (ms == -1) {
        while (!take_key_hit()) backend_sleep_ms(50);
        return;
    }
    if (ms > 99) {
        while (ms > 50) {
            if (take_key_hit()) return;
            backend_sleep_ms(50);
            ms -= 50;
        }
    }
    if (ms > 0) backend_sleep_ms(ms);
}

int open_offscreen_page(int width, int height) {
    if (screen_is_open() || !core::open_page(width, height, 0)) return 1;
    core::offscreen_page() = true;
    return 0;
}

void close_offscreen_page() {
    if (!core::offscreen_page()) return;
    core::offscreen_page() = false;
    core::close_page();
}
