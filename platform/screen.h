// The screen page and the screen lock as the drawing services see them. Only gfx/ and the
// platform backends include this.
#pragma once

#include <cstdint>

struct ScreenPage {
    uint32_t* pixels = nullptr;  // width * height pixels, rows packed (pitch = width * 4)
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;            // bytes from one row to the next
    int32_t bytes_per_pixel = 0;  // 4
};

// True between a successful open_screen and the end of the process.
bool screen_is_open();

// The page; all fields zero when no screen is open.
ScreenPage screen_page();

// Sets the row-changed flags of rows first..last, cut to the page. The caller holds the
// lock (its own or one taken for the call).
void mark_rows_changed(int first_row, int last_row);

// Takes the screen lock for one operation when the caller holds none (sets the
// held-for-one-call bit); returns whether it was taken, for end_call_lock.
bool begin_call_lock();
void end_call_lock(bool taken);

// Scope guard for one drawing or input operation:
//   { CallLock guard; ... touch the page ... }
struct CallLock {
    bool taken;
    CallLock() : taken(begin_call_lock()) {}
    ~CallLock() { end_call_lock(taken); }
    CallLock(const CallLock&) = delete;
    CallLock& operator=(const CallLock&) = delete;
};
