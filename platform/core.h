// State shared by the game's thread and the refresh thread, and the hooks each backend
// supplies. Included by the backends only.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace core {

// The screen lock: guards the page, the row-changed flags, the key queue, the key-hit
// flag, the key-state table and the mouse values.
std::mutex& screen_mutex();

// Allocates the page and its row flags, fills the page with 0xFF000000 and marks the screen
// open. Returns false on bad sizes.
bool open_page(int width, int height, int refresh_rate);
// Frees the page and closes the screen (the headless twin's reset; the game never closes).
void close_page();
int refresh_rate();

// The following are called with screen_mutex() held.
void post_key(int code);                       // drops the oldest key when full
void set_key_state(int scancode, bool held);
void clear_key_states();
void set_pointer(int x, int y);                // taken as unsigned 16-bit values
void set_button(int bit, bool held);
void set_buttons(int bits);
void turn_wheel(int steps);
void set_active(bool active);                  // also clears the key states, marks all rows
void set_pointer_inside(bool inside);
bool active();

// Rows first..last of the page, adjacent, to be presented together.
struct RowRun {
    int first = 0, last = 0;
};
// Takes the changed rows, clearing every flag, and puts in `runs` (top first) those whose
// pixels differ from what was presented of them last, or that the window may have lost
// (mark_all_rows); from then on they count as presented. Rows drawn again exactly as they
// were shown are left out: a dialog at rest presents nothing. False when `runs` is empty.
bool take_rows_to_present(std::vector<RowRun>& runs);
// Rows that take_rows_to_present has handed out since the screen opened (for tests).
long presented_row_count();
// Marks every row changed and to be presented whatever it holds: the window may have lost
// its picture (a new size, full screen, a change of activation, a paint request).
void mark_all_rows();
const uint32_t* page_pixels();
bool row_changed(int y);
void clear_row_flags();
// Drops queued keys, key states, mouse values, the key-hit flag, a pending focus loss and
// every pad (headless reset).
void reset_input();

// What keep_saved_files does: a backend whose files do not outlive the program by themselves
// (the browser's) sets it when the screen opens; without one it does nothing.
void set_files_keeper(void (*keeper)());
// What set_text_entry does: set by a backend that offers keys of its own for typing (the
// browser's phone keyboard); without one it does nothing.
void set_text_entry_handler(void (*handler)(bool open));

// How long wait_for_retrace waits, in nanoseconds, at now_ns. With a known display rate
// (rate > 0) the wait ends on the next tick of a 60 Hz timeline that starts at origin_ns
// (the screen's opening), strictly after now_ns: the display's own rate only tells that it
// refreshes, so a frame takes the same time on 60, 144 or 240 Hz. With rate 0, 16 ms.
int64_t retrace_wait_ns(int rate, int64_t origin_ns, int64_t now_ns);

}  // namespace core

// Backend hooks. Called from pause_ms on the game's thread, without the lock.
void backend_pause_started(int ms);  // at the start of every pause_ms call
void backend_sleep_ms(int ms);
