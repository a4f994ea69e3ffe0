// Name entry for a new high score: allowed characters are appended, Backspace deletes,
// a confirming key or a fresh click ends it.
#include "ui/name_entry.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "ui/font.h"
#include "ui/input.h"

namespace {

constexpr int PASS_PAUSE_MS = 50;

// True when the key string is one of the allowed characters; an extended (two-byte) key
// never is.
bool is_name_character(const std::string& key) {
    return key.size() == 1 && key[0] != '\0' && std::strchr(NAME_CHARACTERS, key[0]) != nullptr;
}

}  // namespace

std::string name_field(const std::string& name, int32_t max_length) {
    const size_t width = static_cast<size_t>(std::max<int64_t>(0, int64_t{max_length} + 4));
    std::string field = " [" + name + "] ";
    field.resize(width, ' ');  // pads with spaces or cuts
    return field;
}

std::string enter_name(int32_t max_length, int32_t min_length, int32_t x, int32_t y) {
    // A minimum above the maximum could never be met and the entry would never end.
    const int64_t longest = std::max<int64_t>(0, max_length);
    const int64_t shortest = std::min<int64_t>(min_length, longest);
    std::string name;
    for (;;) {
        // Keys already queued are taken as typed: nothing is discarded on entry.
        poll_mouse();
        poll_key();
        const std::string& key = key_string();
        if (static_cast<int64_t>(name.size()) < longest && is_name_character(key)) name += key;
        if (key == std::string(1, char(KEY_BACKSPACE)) && !name.empty()) name.pop_back();
        draw_text(name_field(name, max_length), x, y, 255, -1);
        pause_ms(PASS_PAUSE_MS);
        if (is_confirm_or_click() && static_cast<int64_t>(name.size()) >= shortest) return name;
    }
}
