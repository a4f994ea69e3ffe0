// The choice dialog: dims the screen, lists the options and lets the player pick one with
// the cursor keys, the mouse, Enter, the space bar or Escape.
#include "ui/dialog.h"

#include <array>
#include <cmath>

#include "audio/sound.h"
#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/screen_globals.h"

namespace {

const std::string SEPARATOR = ":::";
constexpr int32_t ROW_PITCH = 36;       // pixels from one option row to the next
constexpr int32_t FIRST_ROW_Y = 72;     // the first visible row is always drawn here
constexpr int32_t TITLE_Y = 36;
constexpr int32_t OPTION_X = 10;
constexpr int32_t DIM_ALPHA = 60;       // initial darkening: about three quarters bright
constexpr int32_t FULL_DIM_ALPHA = 255; // initial darkening with the full-dim switch: black
constexpr int32_t PULL_ALPHA = 20;      // per pass, back toward the dimmed copy
constexpr int PASS_PAUSE_MS = 40;

// Entries 1..OPTION_TABLE_SIZE live at index k - 1 for the whole process.
std::array<DialogOption, OPTION_TABLE_SIZE>& option_table() {
    static std::array<DialogOption, OPTION_TABLE_SIZE> table;
    return table;
}

// Screen y of option k's row for the given scroll offset.
int32_t row_y(int32_t k, int32_t scroll_offset) { return dialog_option(k).y - scroll_offset; }

// Steps 5-7: black over the screen with `alpha`, and the result kept in the overlay image.
void dim_screen(Image overlay, int32_t width, int32_t height, int32_t alpha) {
    if (!overlay) return;
    const float right = static_cast<float>(width - 1), bottom = static_cast<float>(height - 1);
    draw_line(overlay, 0, 0, right, bottom, COLOR_BLACK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    put_image(nullptr, 0, 0, overlay, blit_mode::blend, alpha);
    copy_region(nullptr, 0, 0, right, bottom, overlay);
}

}  // namespace

int32_t build_option_table(const std::string& options, int32_t cancel) {
    std::string list = SEPARATOR + options;
    if (cancel) list += SEPARATOR + "Cancel";
    auto& table = option_table();
    int32_t n = 0;
    bool cut = false;
    // p is always the start of the separator in front of the next option. Of a run of four
    // or five colons the first three are the separator and the rest open the next option.
    size_t p = list.find(SEPARATOR);
    while (p != std::string::npos) {
        if (n == OPTION_TABLE_SIZE) {  // the table is full: the rest of the list is dropped
            cut = true;
            break;
        }
        size_t q = list.find(SEPARATOR, p + SEPARATOR.size());
        if (q == std::string::npos) q = list.size();
        const size_t start = p + SEPARATOR.size();
        // Built in place: GCC 12 at -O3 takes " " + std::string&& for an overlapping copy
        // (a false -Wrestrict).
        std::string& text = table[n].text;
        text.assign(1, ' ');
        text.append(list, start, q - start);
        text += ' ';
        ++n;
        p = list.find(SEPARATOR, q);
    }
    // A cut list would lose its "Cancel"; the last entry is the one that cancels.
    if (cut && cancel) table[OPTION_TABLE_SIZE - 1].text = " Cancel ";
    for (int32_t k = 1; k <= n; ++k) table[k - 1].y = ROW_PITCH * k + ROW_PITCH;
    return n;
}

const DialogOption& dialog_option(int k) {
    static const DialogOption none;
    if (k < 1 || k > OPTION_TABLE_SIZE) return none;
    return option_table()[k - 1];
}

int32_t choice_dialog(const std::string& title, const std::string& options, int32_t cancel,
                      int32_t full_dim) {
    const int32_t n = build_option_table(options, cancel);
    const GameScreen& screen = game_screen();
    dim_screen(screen.overlay, screen.width, screen.height, full_dim ? FULL_DIM_ALPHA : DIM_ALPHA);

    int32_t selected = 1;
    int32_t first = 1;  // first visible option
    int32_t visible = static_cast<int32_t>(std::floor((screen.height - FIRST_ROW_Y) / double(ROW_PITCH)));
    if (visible > n) visible = n;
    bool follow_mouse = false;
    int32_t scroll_offset = 0;  // ROW_PITCH * (first - 1)
    const std::string shown_title = " " + title + " ";

    wait_for_release();  // keys typed before the dialog and a held button do not answer it
    for (;;) {
        const int32_t was_selected = selected;
        poll_mouse();
        if (mouse_moved()) follow_mouse = true;
        if (follow_mouse) {
            const int32_t pointer_y = mouse_state().y;
            for (int32_t k = first; k <= first + visible - 1; ++k) {
                const int32_t y = row_y(k, scroll_offset);
                if (y - 2 < pointer_y && pointer_y < y + 20) selected = k;
            }
        }
        // The cursor keys never wrap; one that moves the selection overrides the pointer.
        if (is_up_key() && selected > first) {
            --selected;
            follow_mouse = false;
        }
        if (is_down_key() && selected < first + visible - 1) {
            ++selected;
            follow_mouse = false;
        }
        // The highlight never rests on the top or bottom visible row while more lies beyond.
        if (selected == first && first > 1) --first;
        if (selected == first + visible - 1 && first + visible - 1 < n) ++first;
        scroll_offset = ROW_PITCH * (first - 1);
        if (selected != was_selected) sound_tick();

        lock_screen();
        if (screen.overlay) put_image(nullptr, 0, 0, screen.overlay, blit_mode::blend, PULL_ALPHA);
        draw_text(shown_title, CENTRE_X, TITLE_Y, 255, -1);
        for (int32_t k = first; k <= first + visible - 1; ++k) {
            draw_text(dialog_option(k).text, OPTION_X, row_y(k, scroll_offset), 255, -1);
        }
        unlock_screen(-1, -1);
        const int32_t box_y = row_y(selected, scroll_offset);
        draw_line(nullptr, 0, static_cast<float>(box_y - 2), static_cast<float>(screen.width - 1),
                  static_cast<float>(box_y + 20), COLOR_WHITE, LINE_BOX, LINE_SOLID, COORDS_ABSOLUTE);
        pause_ms(PASS_PAUSE_MS);

        poll_key();  // judged now for Escape and confirmation, next pass for the cursor keys
        if (is_escape_key() && cancel) {
            sound_click();
            return 0;
        }
        if (is_confirm_or_click()) {
            sound_click();
            return (selected == n && cancel) ? 0 : selected;
        }
    }
}
