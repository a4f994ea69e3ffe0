// Name entry: a one-line field of letters, digits and "!".
#pragma once

#include <cstdint>
#include <string>

// The characters a name may hold: letters of both cases, digits and "!" (no space).
constexpr const char* NAME_CHARACTERS =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890!";

// Lets the player type at most max_length allowed characters at (x, y) (x == CENTRE_X
// centres the padded field) and returns them, once confirmed with at least min_length.
// A pad enters capitals, digits and "!": up / down turn the last character, right adds
// one, B or left erases one, A or Start confirms.
std::string enter_name(int32_t max_length, int32_t min_length, int32_t x, int32_t y);

// The field as drawn: " [" + name + "] " padded with spaces to max_length + 4 characters
// (and cut to that length).
std::string name_field(const std::string& name, int32_t max_length);
