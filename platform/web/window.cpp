// The browser's window: the screen page on the canvas "#screen", the document's keyboard,
// mouse, touch, focus and visibility events, the clock, the retrace wait and the pauses.
// There is no refresh thread. The game's thread is the browser's only thread, and its
// blocking loops give the browser its turn inside the pauses and the retrace waits
// (ASYNCIFY's emscripten_sleep). What the desktop's refresh thread does per tick happens
// here at those yields (presenting changed rows) and in the event handlers (keys, mouse,
// activation), which the browser runs only while the game sits in a yield: never inside a
// drawing call. A yield taken under the caller's screen lock (the frame's retrace wait)
// presents nothing, so a frame drawn under the lock is shown whole at the first yield after
// unlock_screen.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core.h"
#include "platform/key_translation.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "platform/web/audio.h"
#include "platform/web/keys.h"
#include "platform/web/phone_keyboard.h"
#include "platform/web/storage.h"
#include "platform/web/test_hooks.h"

namespace {

// The browser tells no display rate; the frames keep the desktop's 60 Hz timeline.
constexpr int TIMELINE_RATE = 60;
constexpr int MAX_SIDE = 16384;

struct Browser {
    int width = 0, height = 0;
    double origin_ms = 0.0;            // emscripten_get_now at open_screen: the timeline's origin
    std::vector<uint32_t> band;        // rows being presented, in the canvas's R, G, B, A order
    std::vector<core::RowRun> runs;    // the rows to present at this yield
    bool held[HID_USAGE_COUNT] = {};   // keys held now, by HID usage
    bool has_focus = true, hidden = false;
    // Touch: a finger down holds the left button and the climb key. The game samples input
    // once after each yield, so a tap released before the game resumed once is released at
    // the following yield instead: every tap is seen.
    bool touching = false;
    bool release_pending = false;
    long resumes = 0;                  // yields ended so far
    long resumes_at_touch = 0;
    long frames = 0;                   // retrace waits so far: the frames drawn
    long presented_frames = 0;         // frames whose picture reached the canvas
};

Browser& browser() {
    static Browser b;
    return b;
}

// --- The page in the browser ------------------------------------------------------------

EM_JS(int, web_open_canvas, (int width, int height), {
    const canvas = document.getElementById('screen');
    const context = canvas && canvas.getContext('2d', {alpha: false});
    if (!context) return 0;
    canvas.width = width;
    canvas.height = height;
    Module.murkwingScreen = {context: context, image: context.createImageData(width, height)};
    Module.murkwing = {frames: 0, firstFrameAt: -1, lastFrameAt: -1, periods: 0, periodSum: 0,
                       periodSquares: 0, held: false, presentedRows: 0};
    // A canvas whose context the browser dropped comes back blank: every row again.
    canvas.addEventListener('contextrestored', function() { Module._murkwing_canvas_restored(); });
    if (Module.fitCanvas) Module.fitCanvas();
    return 1;
});

// Copies `count` rows of canvas-ordered bytes at `rgba` to canvas rows first.. ; counts
// them in Module.murkwing.presentedRows.
EM_JS(void, web_put_rows, (const uint32_t* rgba, int width, int first, int count), {
    const screen = Module.murkwingScreen;
    const bytes = HEAPU8.subarray(rgba, rgba + width * count * 4);
    screen.image.data.set(bytes, first * width * 4);
    screen.context.putImageData(screen.image, 0, 0, 0, first, width, count);
    Module.murkwing.presentedRows += count;
});

// Frame figures for the page: how many frames were shown, when the first and the last
// were (milliseconds since navigation), and the count, sum and sum of squares of the
// periods between frames shown in a row (gaps over 100 ms, a dialog or the table, are
// left out).
EM_JS(void, web_note_frame, (int frames), {
    const now = performance.now();
    const figures = Module.murkwing;
    if (figures.firstFrameAt < 0) figures.firstFrameAt = now;
    const period = now - figures.lastFrameAt;
    if (figures.lastFrameAt >= 0 && frames == figures.frames + 1 && period < 100) {
        figures.periods += 1;
        figures.periodSum += period;
        figures.periodSquares += period * period;
    }
    figures.lastFrameAt = now;
    figures.frames = frames;
});

// The page's title gains the window title's suffix (" - replay of ...").
EM_JS(void, web_add_to_title, (const char* suffix), { document.title += UTF8ToString(suffix); });

EM_JS(int, web_document_has_focus, (), { return document.hasFocus() ? 1 : 0; });
EM_JS(int, web_document_hidden, (), { return document.hidden ? 1 : 0; });

// The page pixel under a point of the viewport (CSS pixels), written to out[0], out[1].
EM_JS(void, web_page_point, (double client_x, double client_y, int* out), {
    const canvas = document.getElementById('screen');
    const rect = canvas.getBoundingClientRect();
    HEAP32[out >> 2] = Math.floor((client_x - rect.left) * canvas.width / rect.width);
    HEAP32[(out >> 2) + 1] = Math.floor((client_y - rect.top) * canvas.height / rect.height);
});

// Converts rows first..last of the page to the canvas's byte order (0xAARRGGBB in memory is
// B, G, R, A; the canvas wants R, G, B, A) and puts them on the canvas, opaque.
void present_rows(int first, int last) {
    Browser& b = browser();
    const uint32_t* page = core::page_pixels();
    const size_t count = static_cast<size_t>(last - first + 1) * b.width;
    b.band.resize(count);
    const uint32_t* src = page + static_cast<size_t>(first) * b.width;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = src[i];
        b.band[i] = 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
    }
    web_put_rows(b.band.data(), b.width, first, last - first + 1);
}

// Presents the changed rows that differ from what the canvas shows, unless the caller
// holds the screen lock: a dialog at rest puts nothing on the canvas, so the browser has
// nothing to paint.
void present_changed_rows() {
    if (!screen_is_open()) return;
    CallLock guard;
    if (!guard.taken) return;  // the caller's lock: the frame is not finished
    Browser& b = browser();
    if (core::take_rows_to_present(b.runs)) {
        for (const core::RowRun& run : b.runs) present_rows(run.first, run.last);
    }
    if (b.presented_frames != b.frames) {
        b.presented_frames = b.frames;
        web_note_frame(static_cast<int>(b.frames));
    }
}

// --- Input ------------------------------------------------------------------------------

// Sets the key-state entry of one PC make code from every source that holds it: the keys
// held now (twins such as the two Ctrl keys share an entry) and, for the climb key, a
// finger on the screen.
void refresh_key_state(int make_code) {
    if (make_code <= 0 || make_code >= KEY_STATE_COUNT) return;
    Browser& b = browser();
    bool held = make_code == SCANCODE_SPACE && b.touching;
    for (int usage = 0; usage < HID_USAGE_COUNT && !held; ++usage) {
        held = b.held[usage] && pc_make_code(usage) == make_code;
    }
    core::set_key_state(make_code, held);
}

// The page is active while the document has the focus and is shown; losing that during a
// run opens "Quit?" (core::set_active latches it). Keys held when it goes are released.
void refresh_activation() {
    Browser& b = browser();
    const bool active = b.has_focus && !b.hidden;
    if (active == core::active()) return;
    if (!active) {
        std::memset(b.held, 0, sizeof(b.held));
        b.touching = b.release_pending = false;
        core::set_buttons(0);
    }
    core::set_active(active);
}

// Alt+Enter, as on the desktop: the page in full screen or back (the canvas follows the
// viewport's size, see fitCanvas in index.html).
EM_JS(void, web_toggle_full_screen, (), {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (document.documentElement.requestFullscreen) document.documentElement.requestFullscreen();
});

// Whether a UTF-8 string holds exactly one character.
bool is_one_character(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    if (!p[0]) return false;
    int length = p[0] < 0x80 ? 1 : p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : 2;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return false;
    }
    return p[length] == 0;
}

int modifiers_of(const EmscriptenKeyboardEvent& e) {
    const Browser& b = browser();
    int mods = 0;
    if (e.shiftKey) mods |= MOD_SHIFT;
    if (e.ctrlKey) mods |= MOD_CTRL;
    if (b.held[HID_RIGHT_ALT]) mods |= MOD_RIGHT_ALT;
    if (e.altKey && !b.held[HID_RIGHT_ALT]) mods |= MOD_LEFT_ALT;
    // The browser tells Num Lock only through the keypad's key names: a keypad key typing
    // its digit means Num Lock on, unless Shift turned it round.
    if (std::strncmp(e.code, "Numpad", 6) == 0 && is_one_character(e.key) != (e.shiftKey != 0)) {
        mods |= MOD_NUM_LOCK;
    }
    return mods;
}

// The HID usage of a key event. Phone keyboards often leave the key's code empty; their
// Enter and Backspace are then known by the key's name, which is the same word.
int usage_of_key(const EmscriptenKeyboardEvent& e) {
    const int usage = hid_usage_of_code(e.code);
    return usage > 0 || e.code[0] != '\0' ? usage : hid_usage_of_code(e.key);
}

// A key press: its key-state entry, then what it queues: a key code from the translation
// (extended keys, Enter, Escape, Ctrl letters) or the character it types. The browser's own
// handling is kept for Ctrl, Meta and function keys (its shortcuts), and for a phone
// keyboard's keys without a name (keyCode 229), whose text reaches the name entry's field
// (phone_keyboard.h); for every other key it is prevented, so space and the arrows never
// scroll the page, and a key typed into that field is not typed twice.
EM_BOOL on_key_down(int, const EmscriptenKeyboardEvent* e, void*) {
    CallLock guard;
    Browser& b = browser();
    const bool composed = e->keyCode == 229 || (e->code[0] == '\0' && std::strcmp(e->key, "Unidentified") == 0);
    if (composed) return EM_FALSE;
    const int usage = usage_of_key(*e);
    if (usage > 0) {
        b.held[usage] = true;
        refresh_key_state(pc_make_code(usage));
    }
    const int mods = modifiers_of(*e);
    if (is_full_screen_toggle(usage, mods)) {
        if (!e->repeat) web_toggle_full_screen();
        return EM_TRUE;
    }
    int keycode = 0;
    if (e->key[0] >= 'a' && e->key[0] <= 'z' && e->key[1] == '\0') keycode = e->key[0];
    if (e->key[0] >= 'A' && e->key[0] <= 'Z' && e->key[1] == '\0') keycode = e->key[0] - 'A' + 'a';
    const KeyTranslation t = translate_key_press(usage, keycode, mods);
    if (t.code == KEY_CLOSE) {
        // Alt+F4 closes the browser's window or nothing; the game has no close key here.
    } else if (t.code != 0) {
        core::post_key(t.code);
    } else if (!t.drops_text && is_one_character(e->key) && !e->metaKey && !(e->ctrlKey && !e->altKey)) {
        for (char c : cp437_from_utf8(e->key)) core::post_key(static_cast<unsigned char>(c));
    }
    const bool function_key = e->code[0] == 'F' && e->code[1] >= '1' && e->code[1] <= '9';
    return !(e->ctrlKey || e->metaKey || function_key);
}

EM_BOOL on_key_up(int, const EmscriptenKeyboardEvent* e, void*) {
    CallLock guard;
    const int usage = usage_of_key(*e);
    if (usage > 0) {
        browser().held[usage] = false;
        refresh_key_state(pc_make_code(usage));
    }
    return EM_FALSE;
}

// The pointer's page pixel and whether it lies on the page.
void move_pointer(double client_x, double client_y) {
    const Browser& b = browser();
    int point[2] = {0, 0};
    web_page_point(client_x, client_y, point);
    core::set_pointer(point[0], point[1]);
    core::set_pointer_inside(point[0] >= 0 && point[1] >= 0 && point[0] < b.width && point[1] < b.height);
}

int button_bit(unsigned short button) {
    switch (button) {
        case 0: return MOUSE_LEFT;
        case 1: return MOUSE_MIDDLE;
        case 2: return MOUSE_RIGHT;
        default: return 0;
    }
}

EM_BOOL on_mouse(int type, const EmscriptenMouseEvent* e, void*) {
    CallLock guard;
    move_pointer(e->clientX, e->clientY);
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN || type == EMSCRIPTEN_EVENT_MOUSEUP) {
        if (int bit = button_bit(e->button)) core::set_button(bit, type == EMSCRIPTEN_EVENT_MOUSEDOWN);
        return e->button == 1;  // no scrolling by the middle button
    }
    return EM_FALSE;
}

// The pointer left an element. A move follows at once when it entered another one of the
// page; when it left the browser's window, nothing does and it stays outside.
EM_BOOL on_mouse_out(int, const EmscriptenMouseEvent*, void*) {
    CallLock guard;
    core::set_pointer_inside(false);
    return EM_FALSE;
}

EM_BOOL on_wheel(int, const EmscriptenWheelEvent* e, void*) {
    CallLock guard;
    if (e->deltaY < 0) core::turn_wheel(1);        // away from the user
    else if (e->deltaY > 0) core::turn_wheel(-1);  // toward the user
    return EM_TRUE;
}

void release_touch() {
    Browser& b = browser();
    b.touching = b.release_pending = false;
    core::set_button(MOUSE_LEFT, false);
    refresh_key_state(SCANCODE_SPACE);
}

// A finger anywhere holds the left button at its place and the climb key; the last finger
// lifted releases both, so a second finger (a pinch) neither climbs nor taps. Fingers that
// bring up the phone's keyboard are not the game's. Default handling is prevented where
// the browser lets it (no mouse events made up from a tap); the page's touch-action leaves
// a pinch to zoom, which moves the canvas and the fingers' places in the viewport alike.
EM_BOOL on_touch(int type, const EmscriptenTouchEvent* e, void*) {
    CallLock guard;
    Browser& b = browser();
    phone_keyboard_sees_touch(type, *e);
    const bool ending = type == EMSCRIPTEN_EVENT_TOUCHEND || type == EMSCRIPTEN_EVENT_TOUCHCANCEL;
    int down = 0;
    const EmscriptenTouchPoint* first = nullptr;
    for (int i = 0; i < e->numTouches; ++i) {
        if ((ending && e->touches[i].isChanged) || phone_keyboard_has_finger(e->touches[i].identifier)) continue;
        ++down;
        if (!first) first = &e->touches[i];
    }
    if (first) move_pointer(first->clientX, first->clientY);
    if (down > 0 && !b.touching) {
        b.touching = true;
        b.release_pending = false;
        b.resumes_at_touch = b.resumes;
        core::set_button(MOUSE_LEFT, true);
        refresh_key_state(SCANCODE_SPACE);
    } else if (down == 0 && b.touching) {
        if (b.resumes > b.resumes_at_touch) release_touch();
        else b.release_pending = true;  // the game has not looked yet
    }
    return EM_TRUE;
}

// The window's own focus and blur only: the listener on the window also hears those of the
// page's elements (the name entry's field, a button), which leave the page active.
EM_BOOL on_focus(int type, const EmscriptenFocusEvent* e, void*) {
    if (std::strcmp(e->nodeName, "#window") != 0) return EM_FALSE;
    CallLock guard;
    browser().has_focus = type != EMSCRIPTEN_EVENT_BLUR;
    refresh_activation();
    return EM_FALSE;
}

EM_BOOL on_visibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    CallLock guard;
    browser().hidden = e->hidden != 0;
    refresh_activation();
    return EM_FALSE;
}

void listen_to_events() {
    const char* document = EMSCRIPTEN_EVENT_TARGET_DOCUMENT;
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(document, nullptr, true, on_key_down);
    emscripten_set_keyup_callback(document, nullptr, true, on_key_up);
    emscripten_set_mousemove_callback(document, nullptr, true, on_mouse);
    emscripten_set_mousedown_callback(document, nullptr, true, on_mouse);
    emscripten_set_mouseup_callback(document, nullptr, true, on_mouse);
    emscripten_set_mouseout_callback(document, nullptr, true, on_mouse_out);
    emscripten_set_wheel_callback(document, nullptr, true, on_wheel);
    emscripten_set_touchstart_callback(document, nullptr, true, on_touch);
    emscripten_set_touchmove_callback(document, nullptr, true, on_touch);
    emscripten_set_touchend_callback(document, nullptr, true, on_touch);
    emscripten_set_touchcancel_callback(document, nullptr, true, on_touch);
    emscripten_set_focus_callback(window, nullptr, true, on_focus);
    emscripten_set_blur_callback(window, nullptr, true, on_focus);
    emscripten_set_visibilitychange_callback(nullptr, true, on_visibility);
}

// Gives the browser its turn for `ms` milliseconds: changed rows are presented first (when
// the caller holds no lock), a tap the game has now had a chance to see is released, and
// resting audio wakes for a sound raised since the last yield.
void yield_ms(int ms) {
    Browser& b = browser();
    {
        CallLock guard;
        if (b.release_pending && b.resumes > b.resumes_at_touch) release_touch();
    }
    present_changed_rows();
    wake_sound_if_raised();
    web_test::frame_presented(b.presented_frames);
    emscripten_sleep(static_cast<unsigned>(ms < 0 ? 0 : ms));
    ++b.resumes;
}

}  // namespace

// The canvas's "contextrestored": its picture is gone, so every row goes to it again.
extern "C" EMSCRIPTEN_KEEPALIVE void murkwing_canvas_restored() {
    CallLock guard;
    core::mark_all_rows();
}

void backend_pause_started(int /*ms*/) {}

void backend_sleep_ms(int ms) { yield_ms(ms); }

std::string open_screen_error() {
    return screen_is_open() ? std::string() : std::string("no canvas \"#screen\" with a 2D context");
}

// Opens on the canvas "#screen"; flags and the refresh rate argument mean nothing here.
int open_screen(int width, int height, int depth, int /*pages*/, int /*flags*/, int /*refresh_rate*/) {
    switch (depth) {
        case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: break;
        default: return 1;
    }
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE || screen_is_open()) return 1;
    if (!web_open_canvas(width, height)) return 1;
    web_add_to_title(window_title_suffix().c_str());
    Browser& b = browser();
    b.width = width;
    b.height = height;
    b.origin_ms = emscripten_get_now();
    web_test::screen_opened();
    if (!core::open_page(width, height, TIMELINE_RATE)) return 1;
    listen_to_events();
    listen_to_phone_keyboard();
    keep_files_in_browser_storage();
    b.has_focus = web_document_has_focus() != 0;
    b.hidden = web_document_hidden() != 0;
    {
        CallLock guard;
        core::set_pointer_inside(false);  // until the pointer is seen on the page
        refresh_activation();
    }
    return 0;
}

int wait_for_retrace() {
    if (!screen_is_open()) return 1;
    Browser& b = browser();
    ++b.frames;
    auto ns = [](double ms) { return static_cast<int64_t>(std::llround(ms * 1e6)); };
    const double now = emscripten_get_now();
    const double tick = now + core::retrace_wait_ns(TIMELINE_RATE, ns(b.origin_ms), ns(now)) / 1e6;
    // Timers fire at whole milliseconds, never early; the wait ends at the first one on or
    // after the tick, and the next wait is measured from the timeline again.
    for (double left = tick - now; left > 0; left = tick - emscripten_get_now()) {
        yield_ms(static_cast<int>(std::ceil(left)));
    }
    return 0;
}

double clock_seconds() {
    double seconds = 0.0;
    if (web_test::seeded_clock(seconds)) return seconds;
    return emscripten_get_now() / 1000.0;
}
