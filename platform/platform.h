// The game's only contact with the machine: window and screen page, screen lock, keyboard,
// mouse, sound output, pauses, the clock and the random numbers.
//
// Backends. Each backend is a folder of its own that implements this header with its own
// CMakeLists.txt and library, and an executable picks one at link time by linking it:
//   platform_sdl       sdl/: the real window on SDL2, with a refresh thread that owns the
//                      window, presents changed rows and turns events into input, and the
//                      desktop's clock;
//   platform_headless  headless/: the tests' twin, an in-memory page, a virtual clock and
//                      input scripted by the test (headless/headless.h);
//   platform_web       web/: the browser build (emscripten), the page on a canvas, the
//                      document's events, and no thread: the pauses and retrace waits
//                      yield to the browser, and changed rows are presented there.
// What backends share lives here, beside this header: the rules all of them follow (the
// lock, the key queue, the key states, the mouse query, the pauses, the pace of the
// retrace wait) in core.cpp, a gamepad's in pad.cpp, the random numbers in random.cpp,
// and the key translation of the SDL window and the browser in key_translation.cpp. A
// backend only supplies the window, the clock, the sleeps and its devices' raw events.
// Game code includes this header and nothing of a backend.
//
// Input reaches the game through two channels, and every device feeds one of them inside
// its backend:
//   the key-state table  one entry per PC scancode (set 1 make codes, 0..127): is a key held
//                        now? The craft reads scancode 57, the space bar, once per frame, so a
//                        device that should climb while held (a pad button, the left mouse
//                        button in flight) holds entry 57 while it is held (is_key_down).
//   the key queue        typed keys, oldest first, at most 15: a code page 437 byte (1..255)
//                        or an extended code (a key without a character, see extended_key).
//                        The dialogs, the name entry and the frame loop read it through
//                        read_key. A device that gives commands (a pad's buttons) queues codes.
// The mouse is a third, separate query (read_mouse) used by the dialogs.
#pragma once

#include <cstdint>
#include <string>

// Key codes as stored in the key queue: 1..255 is a code page 437 character; an extended
// key is (code byte * 256) + 255, which read_key returns as the two bytes 255, code byte.
constexpr int extended_key(int code_byte) { return code_byte * 256 + 255; }
constexpr int KEY_BACKSPACE = 8;
constexpr int KEY_TAB = 9;
constexpr int KEY_ENTER = 13;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_SPACE = 32;
constexpr int KEY_UP = extended_key(72);        // "H"
constexpr int KEY_DOWN = extended_key(80);      // "P"
constexpr int KEY_LEFT = extended_key(75);      // "K"
constexpr int KEY_RIGHT = extended_key(77);     // "M"
constexpr int KEY_HOME = extended_key(71);      // "G"
constexpr int KEY_END = extended_key(79);       // "O"
constexpr int KEY_PAGE_UP = extended_key(73);   // "I"
constexpr int KEY_PAGE_DOWN = extended_key(81); // "Q"
constexpr int KEY_INSERT = extended_key(82);    // "R"
constexpr int KEY_DELETE = extended_key(83);    // "S"
constexpr int KEY_PAD5 = extended_key(76);      // "L", keypad 5 with Num Lock off
constexpr int KEY_F1 = extended_key(59);        // F1..F10 are code bytes 59..68
constexpr int KEY_F11 = extended_key(133);
constexpr int KEY_F12 = extended_key(134);
constexpr int KEY_CLOSE = extended_key(107);    // "k": close button or Alt+F4

// Pad codes: a gamepad's commands, queued as extended codes of bytes 200..209, which no
// keyboard key produces, so that ui/ can tell them from keys and read them by context
// (B erases in the name entry but acts as Escape in a dialog). A button queues its code
// once per press; a direction (D-pad, or the left stick past its dead zone) once when it
// starts pointing and then repeats like a held key. Held buttons also feed the key-state
// table: A, B, X, Y, either shoulder button or either trigger holds entry 57, the climb.
// Start, Back and the directions never climb; the Guide button and the stick clicks give
// nothing.
constexpr int KEY_PAD_A = extended_key(200);
constexpr int KEY_PAD_B = extended_key(201);
constexpr int KEY_PAD_X = extended_key(202);
constexpr int KEY_PAD_Y = extended_key(203);
constexpr int KEY_PAD_START = extended_key(204);
constexpr int KEY_PAD_BACK = extended_key(205);
constexpr int KEY_PAD_UP = extended_key(206);
constexpr int KEY_PAD_DOWN = extended_key(207);
constexpr int KEY_PAD_LEFT = extended_key(208);
constexpr int KEY_PAD_RIGHT = extended_key(209);

// PC scancode set 1 make codes used by the game.
constexpr int SCANCODE_ESCAPE = 1;
constexpr int SCANCODE_ENTER = 28;
constexpr int SCANCODE_SPACE = 57;
constexpr int KEY_STATE_COUNT = 128;  // entries of the key-state table, scancodes 0..127

constexpr int KEY_QUEUE_SLOTS = 16;   // ring slots; holds at most 15 keys

// Mouse button bits.
constexpr int MOUSE_LEFT = 1;
constexpr int MOUSE_RIGHT = 2;
constexpr int MOUSE_MIDDLE = 4;

// Called once at start-up. Opens the window and the screen page (filled with 0xFF000000)
// and starts the refresh thread; returns 0, or 1 when nothing could be opened.
int open_screen(int width, int height, int depth, int pages, int flags, int refresh_rate);

// Opens the screen page in memory only: no window, no refresh thread, no input. For drawing
// into image buffers that no one watches (checking a replay), which needs an open screen.
// Returns 0 when it opened one, 1 when a screen was already open (left as it is) or no page
// could be made. close_offscreen_page closes the page only when this call opened it.
int open_offscreen_page(int width, int height);
void close_offscreen_page();

// How the window and the sound should open, from the command line; set before open_screen.
// scale is the whole number of window pixels per page pixel (1 opens width x height; the
// SDL window takes the largest factor up to it that fits the display); full_screen opens on
// the whole display; muted (--mute) starts the game silent. Backends without a window keep
// them and ignore the window's.
struct WindowOptions {
    int scale = 1;
    bool full_screen = false;
    bool muted = false;
};
void set_window_options(const WindowOptions& options);
WindowOptions window_options();

// Text added to the window's title (" - replay of ..."), set before open_screen; empty by
// default.
void set_window_title_suffix(const std::string& suffix);
std::string window_title_suffix();

// Why the last open_screen failed, in a few words ("no display", SDL's own message, ...);
// empty after a success.
std::string open_screen_error();

// Takes the screen lock for the caller; does nothing when already held (no nesting) or
// when no screen is open.
void lock_screen();

// Marks rows first..last changed (first < 0 counts as 0, last < 0 as the bottom row) and
// releases the caller's lock if held. Rows are marked even without a lock.
void unlock_screen(int first_row, int last_row);

// Returns at the next tick of a steady 60 Hz timeline when the display reports a refresh
// rate, whatever that rate is, so the game keeps one pace on every monitor; sleeps 16 ms
// when the rate is unknown. 1 when no screen is open, else 0.
int wait_for_retrace();

// The oldest queued key as 0, 1 or 2 bytes; never waits.
std::string read_key();

// -1 when the key with this scancode was held at the last keyboard sample, else 0;
// 0 for scancodes outside 0..127. Entry 57, the space bar, also reads -1 while a pad holds
// a climbing button or trigger, or while the left mouse button is held (one switch: a whole
// session can be played with that button alone).
int32_t is_key_down(int scancode);

// True once after the window lost activation (another window took the focus, the window
// was minimised or hidden), then false until it loses it again. The frame loop asks once
// per frame, so that a run interrupted by a focus change stops at "Quit?".
bool take_focus_loss();

// Fills pointer x, y (screen pixels), wheel count and button bits and returns 0; returns 1
// with all four set to -1 when the window is inactive or the pointer is outside it.
int read_mouse(int32_t& x, int32_t& y, int32_t& wheel, int32_t& buttons);

// The game takes typed text (the name entry) from set_text_entry(true) until
// set_text_entry(false). A device without keys of its own offers some meanwhile: the
// browser on a touch screen brings up the phone's keyboard, whose typing reaches the key
// queue as a keyboard's would, and puts it away at the end. Nothing on the desktop and in
// the headless twin.
void set_text_entry(bool open);

// Sound. The game hands the platform one source of samples and each backend pulls from it
// on its own schedule, SOUND_RATE frames a second, two channels interleaved (left, right),
// floats in -1..1:
//   platform_sdl       SDL2's audio thread calls the source from the device callback, 256
//                      frames (5.3 ms) at a time, into the device's buffer (sdl/audio.cpp);
//   platform_web       the page's AudioContext, at 48 kHz, runs a ScriptProcessorNode whose
//                      handler calls the source on the browser's thread between the game's
//                      yields, 1024 frames at a time, and rests while it is quiet
//                      (web/audio.cpp);
//   platform_headless  the virtual clock: every pause and retrace wait renders the frames of
//                      the time it advances, into memory for the tests (headless/headless.h).
// The source runs on the backend's thread, concurrently with the game: it takes what the
// game told it through its own lock-free queue and must not allocate, lock or call the
// system.
using SoundSource = void (*)(float* samples, int frames);
constexpr int SOUND_RATE = 48000;

// Whether the source is quiet: it would write only zeros until the game raises another
// sound. Called on the source's thread, between its calls. A backend may stop pulling while
// the source is quiet, and pulls again as soon as it is not, which loses no sample: the
// browser suspends its AudioContext after a quiet while, sparing the page's CPU.
using SoundQuiet = bool (*)();

// Opens the audio device and starts pulling from `source`; called once, after open_screen.
// Returns "" on success, else why there is no sound (no device, or it would not open): the
// game then plays on silently.
std::string open_sound(SoundSource source, SoundQuiet quiet = nullptr);

// The player's choice of silence, kept where the platform keeps such choices across
// sessions: the browser in the page's storage. kept_mute_choice returns `fallback` when
// nothing is kept (always on the desktop; in the twin until keep_mute_choice was called).
bool kept_mute_choice(bool fallback);
void keep_mute_choice(bool muted);

// Blocks the calling thread. -1 waits for a key press; over 99 ends early at a 50 ms step
// once a key has been pressed; anything else sleeps its full length.
void pause_ms(int ms);

// Called after a file of the game's folder was saved, so that it outlives the program where
// files are not kept by themselves: the browser build writes the folder back to the
// browser's storage. Does nothing on the desktop and in the headless twin, whose files stay.
void keep_saved_files();

// Seconds from an arbitrary origin (the system's start), monotonic, as fine as the
// platform gives.
double clock_seconds();

// Seeds the random numbers (MT19937 with an LCG fill); a seed of -1.0 takes the clock.
void seed_random(double seed, int algorithm);

// A uniform double in [0, 1); selector 0 repeats the last value.
double random_unit(int selector);

// Where the random numbers stand: the 32-bit word the last seeding filled the state from
// (the seed's whole part, low 32 bits) and the numbers drawn since. Before any seeding it is
// the default seed's word and 0 draws, which is where the first draw starts.
struct RandomPosition {
    uint32_t seed = 0;
    uint64_t draws = 0;
    bool operator==(const RandomPosition&) const = default;
};
RandomPosition random_position();
// Seeds with the word and skips the draws: the next random_unit(1) is the number that
// followed them, and selector 0 repeats the last one skipped.
void set_random_position(const RandomPosition& position);
