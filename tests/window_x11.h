// A direct line to the X server for the window tests, for what xdotool cannot do: send the
// window manager's close request, press a key at a known moment through the test
// extension, type a character on a spare key for as long as the test needs it, and lay
// another window over ours. Xlib and libXtst are loaded at run time,
// so the test program links no X11 library. Include after GoogleTest: Xlib defines macros
// such as Bool and None.
#pragma once

#include <dlfcn.h>
#include <X11/Xlib.h>

namespace window_test {

class XConnection {
public:
    XConnection() {
        x11_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!x11_ || !xtst_) return;
        load(x11_, "XOpenDisplay", open_);
        load(x11_, "XCloseDisplay", close_);
        load(x11_, "XSync", sync_);
        load(x11_, "XInternAtom", intern_atom_);
        load(x11_, "XSendEvent", send_event_);
        load(x11_, "XStringToKeysym", keysym_);
        load(x11_, "XKeysymToKeycode", keycode_);
        load(x11_, "XCreateSimpleWindow", create_window_);
        load(x11_, "XMapRaised", map_raised_);
        load(x11_, "XChangeWindowAttributes", change_attributes_);
        load(x11_, "XDestroyWindow", destroy_window_);
        load(x11_, "XDisplayKeycodes", keycode_range_);
        load(x11_, "XGetKeyboardMapping", get_mapping_);
        load(x11_, "XChangeKeyboardMapping", change_mapping_);
        load(x11_, "XFree", free_);
        load(xtst_, "XTestFakeKeyEvent", fake_key_);
        if (open_ && close_ && sync_ && intern_atom_ && send_event_ && keysym_ && keycode_ &&
            create_window_ && map_raised_ && change_attributes_ && destroy_window_ && keycode_range_ &&
            get_mapping_ && change_mapping_ && free_ && fake_key_) {
            display_ = open_(nullptr);
        }
    }
    ~XConnection() {
        if (display_) close_(display_);
        if (xtst_) dlclose(xtst_);
        if (x11_) dlclose(x11_);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool ok() const { return display_ != nullptr; }

    // The close button's request: WM_PROTOCOLS with WM_DELETE_WINDOW, as a window manager
    // sends it.
    bool send_close_request(unsigned long window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = intern_atom_(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(intern_atom_(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        bool sent = send_event_(display_, window, False, NoEventMask, &event) != 0;
        sync_(display_, False);
        return sent;
    }

    // Presses or releases the key with this keysym name, as the keyboard would, at once.
    void send_key(const char* keysym_name, bool press) {
        fake_key_(display_, keycode_(display_, keysym_(keysym_name)), press ? True : False, CurrentTime);
        sync_(display_, False);
    }

    // Binds a key that has no symbols to the keysym with this name, presses and releases it;
    // returns the key's code for unbind_key, or 0 when no key is free. The binding stays until
    // then, so the window reads the key as this symbol however late it gets to it.
    unsigned type_on_spare_key(const char* keysym_name) {
        int first = 0, last = 0, per_key = 0;
        keycode_range_(display_, &first, &last);
        KeySym* map = get_mapping_(display_, static_cast<KeyCode>(first), last - first + 1, &per_key);
        unsigned spare = 0;
        for (int code = last; map && code >= first && spare == 0; --code) {
            bool empty = true;
            for (int i = 0; i < per_key; ++i) empty = empty && map[(code - first) * per_key + i] == NoSymbol;
            if (empty) spare = static_cast<unsigned>(code);
        }
        if (map) free_(map);
        if (spare == 0) return 0;
        KeySym symbol = keysym_(keysym_name);
        change_mapping_(display_, static_cast<int>(spare), 1, &symbol, 1);
        sync_(display_, False);
        fake_key_(display_, spare, True, CurrentTime);
        fake_key_(display_, spare, False, CurrentTime);
        sync_(display_, False);
        return spare;
    }

    void unbind_key(unsigned code) {
        KeySym none = NoSymbol;
        change_mapping_(display_, static_cast<int>(code), 1, &none, 1);
        sync_(display_, False);
    }

    // Maps a black window at (x, y) on the root window, raised over the others and out of a
    // window manager's hands (override-redirect); returns it.
    unsigned long cover(int x, int y, unsigned width, unsigned height) {
        Window root = DefaultRootWindow(display_);
        Window w = create_window_(display_, root, x, y, width, height, 0, 0, 0);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        change_attributes_(display_, w, CWOverrideRedirect, &attributes);
        map_raised_(display_, w);
        sync_(display_, False);
        return w;
    }

    void destroy(unsigned long window) {
        destroy_window_(display_, window);
        sync_(display_, False);
    }

private:
    template <class Function>
    static void load(void* library, const char* name, Function& function) {
        function = reinterpret_cast<Function>(dlsym(library, name));
    }

    void* x11_ = nullptr;
    void* xtst_ = nullptr;
    Display* display_ = nullptr;
    Display* (*open_)(const char*) = nullptr;
    int (*close_)(Display*) = nullptr;
    int (*sync_)(Display*, Bool) = nullptr;
    Atom (*intern_atom_)(Display*, const char*, Bool) = nullptr;
    Status (*send_event_)(Display*, Window, Bool, long, XEvent*) = nullptr;
    KeySym (*keysym_)(const char*) = nullptr;
    KeyCode (*keycode_)(Display*, KeySym) = nullptr;
    Window (*create_window_)(Display*, Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                             unsigned long) = nullptr;
    int (*map_raised_)(Display*, Window) = nullptr;
    int (*change_attributes_)(Display*, Window, unsigned long, XSetWindowAttributes*) = nullptr;
    int (*destroy_window_)(Display*, Window) = nullptr;
    int (*keycode_range_)(Display*, int*, int*) = nullptr;
    KeySym* (*get_mapping_)(Display*, KeyCode, int, int*) = nullptr;
    int (*change_mapping_)(Display*, int, int, KeySym*, int) = nullptr;
    int (*free_)(void*) = nullptr;
    int (*fake_key_)(Display*, unsigned, Bool, unsigned long) = nullptr;
};

}  // namespace window_test
