// The choice dialog: a title and a vertical list of options over the dimmed screen.
#pragma once

#include <cstdint>
#include <string>

constexpr int OPTION_TABLE_SIZE = 512;

// Options are separated by ":::". cancel != 0 appends "Cancel" and lets Escape cancel;
// full_dim != 0 dims to black. Returns the 1-based option chosen, 0 when cancelled.
int32_t choice_dialog(const std::string& title, const std::string& options, int32_t cancel,
                      int32_t full_dim);
