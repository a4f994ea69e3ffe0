// Name entry: a one-line field of letters, digits and "!".
#pragma once

#include <cstdint>
#include <string>

// Lets the player type at most max_length allowed characters at (x, y) (x == CENTRE_X
// centres the padded field) and returns them, once confirmed with at least min_length.
std::string enter_name(int32_t max_length, int32_t min_length, int32_t x, int32_t y);
