// The two screens of the high-score table: the announcement of a score that enters it,
// with the name entry, and the table itself after every run.
#include "scores/high_scores.h"

#include <string>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "scores/score_storage.h"
#include "scores/score_table.h"
#include "ui/dialog.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/name_entry.h"
#include "ui/screen_globals.h"

namespace {

constexpr int NAME_MAX_LENGTH = 12;
constexpr int32_t NAME_FIELD_Y = 72;
constexpr int32_t TABLE_TITLE_Y = 4;
constexpr int32_t TABLE_ROW_PITCH = 20;  // entry k is drawn at y 20 * k + 24
constexpr int32_t TABLE_TOP_Y = 24;
constexpr int32_t TABLE_PULL_ALPHA = 20; // each pass moves the screen 21/256 toward black
constexpr int TABLE_PAUSE_MS = 50;

}  // namespace

void offer_high_score(const int32_t& score) {
    const int32_t new_score = score;  // the reference might name an entry that moves below
    if (table_entries()[HIGH_SCORE_COUNT - 1].score >= new_score) return;
    choice_dialog("High Score!", "Okay", 0, 0);
    const HighScoreEntry entry{new_score, enter_name(NAME_MAX_LENGTH, 0, CENTRE_X, NAME_FIELD_Y)};
    insert_entry(table_entries(), entry);
    note_offered_entry(entry);
    // Saved at once, so that no way of ending the game loses the new entry.
    save_high_scores();
}

void show_high_scores() {
    const GameScreen& screen = game_screen();
    if (screen.overlay) {
        draw_line(screen.overlay, 0, 0, static_cast<float>(screen.width), static_cast<float>(screen.height),
                  COLOR_BLACK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    }
    for (;;) {
        lock_screen();
        if (screen.overlay) put_image(nullptr, 0, 0, screen.overlay, blit_mode::blend, TABLE_PULL_ALPHA);
        draw_text(" High Scores ", CENTRE_X, TABLE_TITLE_Y, 255, -1);
        for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
            const HighScoreEntry& entry = table_entries()[k - 1];
            draw_text(" " + entry.name + " [" + std::to_string(entry.score) + "] ", CENTRE_X,
                      TABLE_ROW_PITCH * k + TABLE_TOP_Y, 255, -1);
        }
        unlock_screen(-1, -1);
        pause_ms(TABLE_PAUSE_MS);
        poll_mouse();
        poll_key();
        if (is_confirm_or_click()) return;
    }
}
