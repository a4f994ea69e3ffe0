// The choice dialog: a title and a vertical list of options over the dimmed screen.
#pragma once

#include <cstdint>
#include <string>

constexpr int OPTION_TABLE_SIZE = 512;

// Options are separated by ":::". cancel != 0 appends "Cancel" and lets Escape cancel;
// full_dim != 0 dims to black. Returns the 1-based option chosen, 0 when cancelled.
int32_t choice_dialog(const std::string& title, const std::string& options, int32_t cancel,
                      int32_t full_dim);

// One entry of the option table, numbered 1..OPTION_TABLE_SIZE.
struct DialogOption {
    std::string text;  // the option with one space before and after it
    int32_t y = 0;     // row position before scrolling: 36 * k + 36
};

// Fills entries 1..n of the option table from an option list (plus "Cancel" when cancel
// != 0) and returns n. A list of more than OPTION_TABLE_SIZE options keeps the first ones
// only; with cancel on, entry OPTION_TABLE_SIZE is then "Cancel". Entries above n keep
// what earlier calls left. choice_dialog calls it; tests read the table back.
int32_t build_option_table(const std::string& options, int32_t cancel);

// Entry k of the option table (1..OPTION_TABLE_SIZE); an empty entry outside that range.
const DialogOption& dialog_option(int k);
