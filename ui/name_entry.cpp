// Name entry for a new high score: allowed characters are appended, Backspace deletes,
// a confirming key or a fresh click ends it. From a pad: up and down turn the last
// character through the alphabet, right adds a character, B or left erases one.
#include "ui/name_entry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "audio/sound.h"
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

// The characters the pad turns through, in order: capitals only, as the font draws a
// small letter as its capital and the pad would seem to show every letter twice.
constexpr const char* PAD_CHARACTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";
constexpr int PAD_CHARACTER_COUNT = 37;
static_assert(std::char_traits<char>::length(PAD_CHARACTERS) == PAD_CHARACTER_COUNT);

// The pad's edits of the name by the key read; false when the key is none of them.
// Up and down turn the last character one step forward or back, wrapping around, and on an
// empty name start it at the first or the last character; right adds an "A"; B and left
// erase the last character.
bool pad_edit(std::string& name, int64_t longest) {
    const bool room = static_cast<int64_t>(name.size()) < longest;
    int step = 0;
    if (key_is(KEY_PAD_UP)) step = 1;
    else if (key_is(KEY_PAD_DOWN)) step = -1;
    if (step != 0) {
        if (name.empty()) {
            if (room) name += PAD_CHARACTERS[step > 0 ? 0 : PAD_CHARACTER_COUNT - 1];
            return true;
        }
        const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(name.back())));
        const char* at = std::strchr(PAD_CHARACTERS, last);
        const int index = at ? static_cast<int>(at - PAD_CHARACTERS) : 0;
        name.back() = PAD_CHARACTERS[(index + step + PAD_CHARACTER_COUNT) % PAD_CHARACTER_COUNT];
        return true;
    }
    if (key_is(KEY_PAD_RIGHT)) {
        if (room) name += PAD_CHARACTERS[0];
        return true;
    }
    if (key_is(KEY_PAD_B) || key_is(KEY_PAD_LEFT)) {
        if (!name.empty()) name.pop_back();
        return true;
    }
    return false;
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
    set_text_entry(true);  // a phone's keyboard comes up for the entry
    for (;;) {
        // Keys already queued are taken as typed: nothing is discarded on entry.
        poll_mouse();
        poll_key();
        const std::string& key = key_string();
        const std::string before = name;
        if (static_cast<int64_t>(name.size()) < longest && is_name_character(key)) name += key;
        if (key == std::string(1, char(KEY_BACKSPACE)) && !name.empty()) name.pop_back();
        const bool edited = pad_edit(name, longest);  // pad B erases rather than confirms
        const bool done = !edited && is_confirm_or_click() && static_cast<int64_t>(name.size()) >= shortest;
        // A key that changed nothing and confirms nothing was refused (a full field, a key
        // that is no name character, a confirmation too early).
        if (done) sound_click();
        else if (edited || name != before) sound_letter();
        else if (!key.empty()) sound_refused();
        draw_text(name_field(name, max_length), x, y, 255, -1);
        pause_ms(PASS_PAUSE_MS);
        if (done) {
            set_text_entry(false);
            return name;
        }
    }
}
