// The real window on SDL2: open_screen and its refresh thread, which owns the window (SDL's
// video set-up, events and presentation all run on it), copies changed rows of the screen
// page to the window, samples the keyboard and turns window events into keys and mouse
// values; also the retrace wait. This is the only file that draws into the window.
#include <SDL.h>
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/core.h"
#include "platform/key_translation.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "platform/sdl/icon.h"
#include "platform/sdl/pad.h"
#include "platform/sdl/present.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto TICK = std::chrono::milliseconds(10);      // refresh tick period
constexpr auto MIN_GAP = std::chrono::milliseconds(2);    // lock left free between ticks
constexpr auto EXIT_WAIT = std::chrono::milliseconds(1000);
constexpr int MAX_SIDE = 16384;                           // largest page width or height

struct Window {
    // Start-up and shut-down handshakes with the refresh thread (guarded by `handshake`).
    std::mutex handshake;
    std::condition_variable changed;
    bool created = false;   // the window exists, or making it failed (`failed`)
    bool failed = false;
    bool finished = false;  // the thread has destroyed the window and is about to return
    std::string error;      // why the last open_screen failed, empty after a success
    std::thread thread;
    std::atomic<bool> stop{false};

    // Read by wait_for_retrace on the game's thread.
    std::atomic<int> rate{0};                   // display refresh rate in Hz, 0 when unknown
    int64_t timeline_origin_ns = 0;             // steady clock time the screen opened: the
                                                // start of the retrace wait's 60 Hz timeline

    // Owned by the refresh thread.
    SDL_Window* window = nullptr;
    int page_width = 0, page_height = 0;
    int requested_rate = 0;              // open_screen's refresh rate argument
    bool full_screen = false;
    int windowed_width = 0, windowed_height = 0;  // window size to go back to from full
                                                  // screen, in window units
    PageLayout layout;                   // the page's place in the window
    int unit_width = 0, unit_height = 0;    // the window's size in window units (pointer
                                            // events), and in real pixels (its surface):
    int pixel_width = 0, pixel_height = 0;  // they differ where the desktop scales windows
    bool has_focus = true, minimized = false;
    int buttons_held = 0;
    bool drop_next_text = false;         // the last key press queued its own key
    bool close_queued = false;           // a close key was queued in this tick
    std::vector<uint32_t> row;           // one scaled row, 0xFFRRGGBB
    std::vector<core::RowRun> runs;      // the page rows to present in this tick
    // On X11 the window surface goes to the window at the end of the tick, in one call:
    // the parts of it drawn since. Empty when none.
    std::vector<SDL_Rect> unshown;
    // On SDL's wayland driver the window has no surface of its own. The page is scaled into
    // `frame`, in real pixels, which reaches the window through a streaming texture of the
    // same size copied 1:1: the renderer neither scales nor smooths. Null on X11, where the
    // window surface goes straight to the X server.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    SDL_Surface* frame = nullptr;
    SDL_Rect unsent{0, 0, 0, 0};         // the part of `frame` not yet sent; empty when none

    ~Window();
};

Window& window_state() {
    // The platform core must outlive the refresh thread: touching it first makes its
    // static state older than this one, so it is destroyed after this one at exit.
    core::screen_mutex();
    static Window w;
    return w;
}

void stop_refresh_thread(Window& w) {
    if (!w.thread.joinable()) return;
    w.stop = true;
    std::unique_lock<std::mutex> lock(w.handshake);
    // A thread stuck on a screen lock that the game never released is left behind rather
    // than hanging the exit.
    if (w.changed.wait_for(lock, EXIT_WAIT, [&] { return w.finished; })) {
        lock.unlock();
        w.thread.join();
    } else {
        lock.unlock();
        w.thread.detach();
    }
}

Window::~Window() { stop_refresh_thread(*this); }

int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// --- Presentation -----------------------------------------------------------------------

// The surface the page is scaled into, in the window's real pixels: the window's own, or
// `frame` where a renderer presents it.
SDL_Surface* drawing_surface(Window& w) { return w.renderer ? w.frame : SDL_GetWindowSurface(w.window); }

// Shows `rect` of the drawing surface in the window at the next send_frame.
void show(Window& w, const SDL_Rect& rect) {
    if (w.renderer) SDL_UnionRect(&w.unsent, &rect, &w.unsent);
    else w.unshown.push_back(rect);
}

// Sends what was drawn since the last call to the window, or nothing when nothing was:
// on X11 the parts of the window surface, through a renderer the unsent part of `frame` to
// the texture and the whole texture to the window (the back buffer holds nothing after a
// present). Called without the screen lock: a software OpenGL takes milliseconds for it
// (4.5 ms on average for 960 x 640 with llvmpipe). Only this thread draws on the surface.
void send_frame(Window& w) {
    if (!w.renderer) {
        if (!w.unshown.empty()) {
            SDL_UpdateWindowSurfaceRects(w.window, w.unshown.data(), static_cast<int>(w.unshown.size()));
        }
        w.unshown.clear();
        return;
    }
    if (!w.frame || SDL_RectEmpty(&w.unsent)) return;
    const SDL_Rect& r = w.unsent;
    const auto* pixels = static_cast<const uint8_t*>(w.frame->pixels);
    SDL_UpdateTexture(w.texture, &r, pixels + static_cast<size_t>(r.y) * w.frame->pitch + r.x * 4, w.frame->pitch);
    SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
    SDL_RenderPresent(w.renderer);
    w.unsent = SDL_Rect{0, 0, 0, 0};
}

void free_frame(Window& w) {
    if (w.texture) SDL_DestroyTexture(w.texture);
    if (w.frame) SDL_FreeSurface(w.frame);
    w.texture = nullptr;
    w.frame = nullptr;
    w.unsent = SDL_Rect{0, 0, 0, 0};
}

void close_renderer(Window& w) {
    free_frame(w);
    if (w.renderer) SDL_DestroyRenderer(w.renderer);
    w.renderer = nullptr;
}

// Makes `frame` and the texture the renderer's output size, in real pixels; false when
// either cannot be made.
bool make_frame(Window& w) {
    int width = 0, height = 0;
    if (SDL_GetRendererOutputSize(w.renderer, &width, &height) != 0 || width <= 0 || height <= 0) return false;
    if (w.frame && w.frame->w == width && w.frame->h == height) return true;
    free_frame(w);
    w.frame = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!w.frame || !w.texture) {
        free_frame(w);
        return false;
    }
    SDL_SetTextureScaleMode(w.texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(w.texture, SDL_BLENDMODE_NONE);
    return true;
}

// Places the page in the window (see lay_out_page), paints the window black and marks
// every row for the next tick. Called after every change of the window's size.
void lay_out(Window& w) {
    if (w.renderer && !make_frame(w)) return;
    SDL_Surface* surface = drawing_surface(w);
    if (!surface) return;
    w.layout = lay_out_page(surface->w, surface->h, w.page_width, w.page_height);
    SDL_GetWindowSize(w.window, &w.unit_width, &w.unit_height);
    w.pixel_width = surface->w;
    w.pixel_height = surface->h;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    w.unshown.clear();  // parts of a surface that may be gone: the whole new one follows
    show(w, SDL_Rect{0, 0, surface->w, surface->h});
    core::mark_all_rows();
}

// Whether the window's size in real pixels is no longer the one laid out: a change of the
// desktop's scale alone may come without a size event.
bool pixel_size_changed(Window& w) {
    int width = 0, height = 0;
    SDL_GetWindowSizeInPixels(w.window, &width, &height);
    return width != w.pixel_width || height != w.pixel_height;
}

// Copies page rows first..last to the window surface, scaled and clipped, to be shown at
// the next send_frame. Called with the screen lock held.
void present_rows(Window& w, int first, int last) {
    SDL_Surface* surface = drawing_surface(w);
    const uint32_t* page = core::page_pixels();
    if (!surface || !page || w.page_width <= 0) return;
    const WindowRect band = band_rect(w.layout, w.page_width, first, last, surface->w, surface->h);
    if (band.width <= 0 || band.height <= 0) return;
    w.row.resize(static_cast<size_t>(band.width));
    const Uint32 format = surface->format->format;
    const bool direct = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    int built_for = -1;  // the page row that w.row holds
    for (int y = band.y; y < band.y + band.height; ++y) {
        int page_x = 0, page_y = 0;
        window_to_page(w.layout, band.x, y, page_x, page_y);
        if (page_y != built_for) {
            scale_row(page, w.page_width, w.layout, y, band.x, band.width, w.row.data());
            built_for = page_y;
        }
        uint8_t* dst = pixels + static_cast<size_t>(y) * surface->pitch;
        if (direct) {
            std::copy(w.row.begin(), w.row.end(), reinterpret_cast<uint32_t*>(dst) + band.x);
        } else {
            SDL_ConvertPixels(band.width, 1, SDL_PIXELFORMAT_ARGB8888, w.row.data(), band.width * 4, format,
                              dst + band.x * surface->format->BytesPerPixel, surface->pitch);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    show(w, SDL_Rect{band.x, band.y, band.width, band.height});
}

// Presents the changed rows that differ from what the window shows: nothing at all while
// the game draws the same picture again and again (a dialog at rest).
void present_changed_rows(Window& w) {
    if (!screen_is_open() || !core::take_rows_to_present(w.runs)) return;
    for (const core::RowRun& run : w.runs) present_rows(w, run.first, run.last);
}

// Alt+Enter or the maximise button: window <-> full screen on the desktop's own mode; back
// in a window, it has the size it had before. A failed switch goes back to the state
// before it.
void toggle_full_screen(Window& w) {
    const Uint32 target = w.full_screen ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP;
    if (SDL_SetWindowFullscreen(w.window, target) != 0) {
        SDL_SetWindowFullscreen(w.window, w.full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    } else {
        w.full_screen = !w.full_screen;
        if (!w.full_screen) SDL_SetWindowSize(w.window, w.windowed_width, w.windowed_height);
    }
    lay_out(w);
}

// --- Keyboard and mouse -------------------------------------------------------------------

// Writes the key-state table from SDL's keyboard state. Called with the screen lock held.
void sample_keyboard() {
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    uint8_t held[KEY_STATE_COUNT] = {};
    for (int s = 0; s < count; ++s) {
        if (!keys[s]) continue;
        int make = pc_make_code(s);
        if (make > 0 && make < KEY_STATE_COUNT) held[make] = 1;
    }
    for (int s = 0; s < KEY_STATE_COUNT; ++s) core::set_key_state(s, held[s] != 0);
}

int modifiers_of(Uint16 mod) {
    int mods = 0;
    if (mod & KMOD_SHIFT) mods |= MOD_SHIFT;
    if (mod & KMOD_CTRL) mods |= MOD_CTRL;
    if (mod & KMOD_LALT) mods |= MOD_LEFT_ALT;
    if (mod & KMOD_RALT) mods |= MOD_RIGHT_ALT;
    if (mod & KMOD_NUM) mods |= MOD_NUM_LOCK;
    return mods;
}

// The close button, Close in a window menu, or Alt+F4: one close key per tick at most, as
// one request may reach SDL both as a window event and as a quit event.
void queue_close_key(Window& w) {
    if (w.close_queued) return;
    core::post_key(KEY_CLOSE);
    w.close_queued = true;
}

void handle_key_down(Window& w, const SDL_KeyboardEvent& key) {
    const int mods = modifiers_of(key.keysym.mod);
    w.drop_next_text = false;
    if (is_full_screen_toggle(key.keysym.scancode, mods)) {
        if (!key.repeat) toggle_full_screen(w);
        return;
    }
    KeyTranslation t = translate_key_press(key.keysym.scancode, key.keysym.sym, mods);
    if (t.code == KEY_CLOSE) {
        if (!key.repeat) queue_close_key(w);
    } else if (t.code != 0) {
        core::post_key(t.code);  // once per press and once per auto-repeat
    }
    w.drop_next_text = t.drops_text;
}

void handle_text(Window& w, const SDL_TextInputEvent& text) {
    if (w.drop_next_text) {  // the key press already queued its own key
        w.drop_next_text = false;
        return;
    }
    for (char c : cp437_from_utf8(text.text)) core::post_key(static_cast<unsigned char>(c));
}

// The page pixel under a pointer position in window units.
void pointer_to_page(const Window& w, int unit_x, int unit_y, int& page_x, int& page_y) {
    window_to_page(w.layout, unit_to_pixel(unit_x, w.unit_width, w.pixel_width),
                   unit_to_pixel(unit_y, w.unit_height, w.pixel_height), page_x, page_y);
}

// Whether the pointer now lies on the page's picture in the window.
bool pointer_inside(const Window& w) {
    if (SDL_GetMouseFocus() != w.window) return false;
    int unit_x = 0, unit_y = 0, x = 0, y = 0;
    SDL_GetMouseState(&unit_x, &unit_y);
    pointer_to_page(w, unit_x, unit_y, x, y);
    return x >= 0 && y >= 0 && x < w.page_width && y < w.page_height;
}

int button_bit(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return MOUSE_LEFT;
        case SDL_BUTTON_RIGHT: return MOUSE_RIGHT;
        case SDL_BUTTON_MIDDLE: return MOUSE_MIDDLE;
        default: return 0;
    }
}

void handle_button(Window& w, const SDL_MouseButtonEvent& button) {
    int bit = button_bit(button.button);
    if (!bit) return;
    bool pressed = button.state == SDL_PRESSED;
    core::set_button(bit, pressed);
    w.buttons_held = pressed ? (w.buttons_held | bit) : (w.buttons_held & ~bit);
    // The pointer stays captured while any button is held, so releases outside arrive.
    SDL_CaptureMouse(w.buttons_held ? SDL_TRUE : SDL_FALSE);
}

void handle_wheel(const SDL_MouseWheelEvent& wheel) {
    int y = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    if (y > 0) core::turn_wheel(1);        // away from the user
    else if (y < 0) core::turn_wheel(-1);  // toward the user
}

void change_activation(Window& w) { core::set_active(w.has_focus && !w.minimized); }

void handle_window_event(Window& w, const SDL_WindowEvent& event, bool& repaint) {
    switch (event.event) {
        // The window may have lost its picture: every row is presented again, changed or
        // not. (A new size, full screen and a change of activation do the same.)
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_DISPLAY_CHANGED: repaint = true; break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: w.has_focus = true; change_activation(w); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: w.has_focus = false; change_activation(w); break;
        case SDL_WINDOWEVENT_MINIMIZED: w.minimized = true; change_activation(w); break;
        case SDL_WINDOWEVENT_RESTORED: w.minimized = false; change_activation(w); break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            if (!w.full_screen) {
                SDL_RestoreWindow(w.window);
                toggle_full_screen(w);
            }
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (!w.full_screen && !(SDL_GetWindowFlags(w.window) & SDL_WINDOW_MAXIMIZED)) {
                SDL_GetWindowSize(w.window, &w.windowed_width, &w.windowed_height);
            }
            lay_out(w);
            break;
        case SDL_WINDOWEVENT_CLOSE: queue_close_key(w); break;
        default: break;
    }
}

void handle_event(Window& w, const SDL_Event& event, bool& repaint) {
    core::set_pointer_inside(pointer_inside(w));
    switch (event.type) {
        case SDL_KEYDOWN: handle_key_down(w, event.key); break;
        case SDL_TEXTINPUT: handle_text(w, event.text); break;
        case SDL_QUIT: queue_close_key(w); break;
        case SDL_WINDOWEVENT: handle_window_event(w, event.window, repaint); break;
        case SDL_MOUSEMOTION: {
            int x = 0, y = 0;
            pointer_to_page(w, event.motion.x, event.motion.y, x, y);
            core::set_pointer(x, y);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: handle_button(w, event.button); break;
        case SDL_MOUSEWHEEL: handle_wheel(event.wheel); break;
        default: handle_pad_event(event); break;
    }
}

// --- The refresh thread ---------------------------------------------------------------

// One tick, with the screen lock held: present the changed rows, sample the keyboard,
// handle every pending event.
void run_tick(Window& w) {
    present_changed_rows(w);
    SDL_PumpEvents();
    if (core::active()) sample_keyboard();
    w.close_queued = false;
    bool repaint = false;
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        handle_event(w, event, repaint);
    }
    repeat_pads();
    if (pixel_size_changed(w)) lay_out(w);
    if (repaint) {
        core::mark_all_rows();
        present_changed_rows(w);
    }
}

void report_created(Window& w, bool ok, const std::string& error) {
    std::lock_guard<std::mutex> lock(w.handshake);
    w.created = true;
    w.failed = !ok;
    w.error = error;
    w.changed.notify_all();
}

// Whether libwayland can look for a compositor at all; without XDG_RUNTIME_DIR it only
// prints a complaint on standard error.
bool wayland_reachable() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return (display && display[0] == '/') || (runtime && runtime[0]);
}

// SDL's video drivers in the order they are tried: wayland first when a compositor may be
// reachable (through XWayland the compositor would blow the window up, blurred, on a
// scaled desktop), then the rest in SDL's order. SDL's own fallbacks, the invisible
// "offscreen" and "dummy" drivers, are never taken: a game nobody can see must fail instead.
std::vector<std::string> video_drivers() {
    std::vector<std::string> names;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const std::string name = SDL_GetVideoDriver(i);
        if (name == "offscreen" || name == "dummy") continue;
        if (name == "wayland" && wayland_reachable()) names.insert(names.begin(), name);
        else names.push_back(name);
    }
    return names;
}

// Starts SDL's video on the first driver that reaches a real display, leaving out wayland
// when `wayland_failure` says why a window could not be shown there. On failure `error`
// lists what each driver said.
bool start_video(const std::string& wayland_failure, std::string& error) {
    std::string causes;
    for (const std::string& name : video_drivers()) {
        std::string cause;
        if (name == "wayland" && !wayland_reachable()) {
            cause = name + " not available";
        } else if (name == "wayland" && !wayland_failure.empty()) {
            cause = wayland_failure;
        } else if (SDL_VideoInit(name.c_str()) == 0) {
            return true;
        } else {
            cause = SDL_GetError();
        }
        causes += (causes.empty() ? "" : ", ") + cause;
    }
    SDL_Quit();
    error = "no display (" + (causes.empty() ? std::string("SDL has no video driver") : causes) + ")";
    return false;
}

// The window's scale at opening: the command line's --scale, or, when a window that large
// would not fit on the display's usable area (the desktop less its panels; the window
// manager's borders are not counted), the largest whole factor that does, at least 1.
int opening_scale(const Window& w) {
    const int wanted = std::max(1, window_options().scale);
    SDL_Rect usable;
    if (wanted == 1 || SDL_GetDisplayUsableBounds(0, &usable) != 0) return wanted;
    return std::min(wanted, largest_fitting_scale(usable.w, usable.h, w.page_width, w.page_height));
}

// The renderer that shows the window on SDL's wayland driver; false with the reason in
// `error` (no OpenGL there, say).
bool make_renderer(Window& w, std::string& error) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");  // a present never waits for the display: ticks stay 10 ms
    w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_ACCELERATED);
    if (w.renderer && make_frame(w)) return true;
    error = std::string("cannot draw in the window: ") + SDL_GetError();
    close_renderer(w);
    return false;
}

// The window, on the video driver just started; on wayland with its renderer. False with
// the reason in `error` when neither a window nor a full-screen mode can be made, or
// nothing can be drawn in it.
bool open_window(Window& w, bool wayland, std::string& error) {
    // As the menu entry and the menu say, and what is shown in it (a replay) after that.
    const std::string title = "Murkwing Diver" + window_title_suffix();
    const int centred = SDL_WINDOWPOS_CENTERED_DISPLAY(0);
    const int scale = opening_scale(w);
    w.windowed_width = w.page_width * scale;
    w.windowed_height = w.page_height * scale;
    // Sizes are in window units; where the desktop scales windows, ALLOW_HIGHDPI gives the
    // window real pixels, so each page pixel stays a whole block of them.
    const Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI |
                         (wayland ? SDL_WINDOW_OPENGL : 0);
    const Uint32 first_try = w.full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0;
    w.window = SDL_CreateWindow(title.c_str(), centred, centred, w.windowed_width, w.windowed_height,
                                flags | first_try);
    if (!w.window) {
        error = std::string("cannot create the window: ") + SDL_GetError();
        w.window = SDL_CreateWindow(title.c_str(), centred, centred, w.windowed_width, w.windowed_height,
                                    flags | SDL_WINDOW_FULLSCREEN_DESKTOP);
        w.full_screen = w.window != nullptr;
    }
    if (w.window && wayland && !make_renderer(w, error)) {
        SDL_DestroyWindow(w.window);
        w.window = nullptr;
    }
    return w.window != nullptr;
}

// SDL's video set-up and the window, on the refresh thread. A window that cannot be shown
// on wayland is made again on the next driver (XWayland, say). False with the reason in
// `error` when no driver gives one.
bool create_window(Window& w, std::string& error) {
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");  // the close button only queues a key
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");         // Ctrl+C in a terminal still ends us
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");         // capture follows the buttons, below
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The window surface goes straight to the window system (on X11 a shared-memory image)
    // rather than through an OpenGL texture: exact pixels, and no software GL under Xvfb.
    // (SDL's texture framebuffer would also be in window units, not real pixels: wayland
    // has a renderer of its own, below.)
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // On X11 SDL prefers a DirectColor visual, whose colours pass through a colormap that
    // nobody may have installed; TrueColor shows the pixel values as they are.
    setenv("SDL_VIDEO_X11_NODIRECTCOLOR", "1", 0);
    // The X11 class (both halves of WM_CLASS) and the Wayland app id: the desktop entry's
    // id, so that docks show the window under the game's entry and icon.
    setenv("SDL_VIDEO_X11_WMCLASS", MURKWING_APP_ID, 1);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", MURKWING_APP_ID, 1);
    const bool full_screen = w.full_screen;
    std::string wayland_failure;
    for (;;) {
        if (!start_video(wayland_failure, error)) return false;
        const bool wayland = std::string(SDL_GetCurrentVideoDriver()) == "wayland";
        if (open_window(w, wayland, error)) break;
        SDL_VideoQuit();
        if (!wayland) {
            SDL_Quit();
            return false;
        }
        wayland_failure = "wayland: " + error;
        w.full_screen = full_screen;
    }
    SDL_SetWindowMinimumSize(w.window, w.page_width, w.page_height);  // the picture is never cut
    set_game_icon(w.window);
    open_pads();  // without pads the game still plays from the keyboard and mouse
    SDL_RaiseWindow(w.window);
    SDL_SetWindowInputFocus(w.window);  // the foreground, also without a window manager
    SDL_DisplayMode mode;
    int display = SDL_GetWindowDisplayIndex(w.window);
    if (SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0) {
        w.rate = mode.refresh_rate;
    } else {
        w.rate = w.requested_rate;  // the caller's guess, when the display tells nothing
    }
    SDL_StartTextInput();
    lay_out(w);
    error.clear();
    return true;
}

void run_refresh_thread(Window& w) {
    std::string error;
    if (!create_window(w, error)) {
        report_created(w, false, error);
        return;
    }
    report_created(w, true, "");
    auto next = Clock::now();
    while (!w.stop) {
        {
            std::lock_guard<std::mutex> lock(core::screen_mutex());
            run_tick(w);
        }
        send_frame(w);
        next += TICK;
        auto earliest = Clock::now() + MIN_GAP;
        if (next < earliest) next = earliest;  // a late tick never starves the game of the lock
        std::this_thread::sleep_until(next);
    }
    {
        std::lock_guard<std::mutex> lock(core::screen_mutex());
        close_pads();
    }
    close_renderer(w);
    SDL_DestroyWindow(w.window);  // leaves full screen, restoring the display mode
    w.window = nullptr;
    SDL_VideoQuit();
    SDL_Quit();
    std::lock_guard<std::mutex> lock(w.handshake);
    w.finished = true;
    w.changed.notify_all();
}

bool valid_depth(int depth) {
    switch (depth) {
        case 1: case 2: case 4: case 8: case 15: case 16: case 24: case 32: return true;
        default: return false;
    }
}

}  // namespace

// The pauses' sleeps. They live here rather than beside the clock so that every program
// that opens the window also links them (the core's pause_ms needs them).
void backend_pause_started(int /*ms*/) {}

void backend_sleep_ms(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Flags 0 open a window (as large as window_options() asks), anything else full screen, as
// does window_options().full_screen; a refresh rate above 0 stands in for the display's when
// the display reports none. There is always one page.
int open_screen(int width, int height, int depth, int /*pages*/, int flags, int refresh_rate) {
    Window& w = window_state();
    auto fail = [&](const std::string& why) {
        std::lock_guard<std::mutex> lock(w.handshake);
        w.error = why;
        return 1;
    };
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE || !valid_depth(depth)) {
        return fail("bad screen size or colour depth");
    }
    if (screen_is_open() || w.thread.joinable()) return fail("the screen is already open");

    w.page_width = width;
    w.page_height = height;
    w.full_screen = flags != 0 || window_options().full_screen;
    w.requested_rate = std::max(0, refresh_rate);
    w.rate = 0;
    w.timeline_origin_ns = now_ns();
    w.has_focus = true;  // the window-active flag starts set
    w.minimized = false;
    w.buttons_held = 0;
    w.drop_next_text = false;
    w.created = w.failed = w.finished = false;
    w.stop = false;
    w.thread = std::thread(run_refresh_thread, std::ref(w));
    bool failed;
    {
        std::unique_lock<std::mutex> lock(w.handshake);
        w.changed.wait(lock, [&] { return w.created; });
        failed = w.failed;
    }
    if (failed) {
        w.thread.join();
        return 1;
    }
    if (!core::open_page(width, height, w.rate)) {
        stop_refresh_thread(w);
        return fail("cannot allocate the screen page");
    }
    return 0;
}

std::string open_screen_error() {
    Window& w = window_state();
    std::lock_guard<std::mutex> lock(w.handshake);
    return w.error;
}

int wait_for_retrace() {
    if (!screen_is_open()) return 1;
    Window& w = window_state();
    std::this_thread::sleep_for(std::chrono::nanoseconds(core::retrace_wait_ns(w.rate, w.timeline_origin_ns, now_ns())));
    return 0;
}
