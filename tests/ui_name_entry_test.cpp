// The name entry, typed key by key on the headless twin.
#include <gtest/gtest.h>

#include <string>

#include "tests/ui_test_support.h"
#include "ui/name_entry.h"

namespace {

using test_support::read_text;

// Field " [" + name + "] " padded to `width` cells.
std::string shown(const std::string& inner, size_t width = 16) {
    std::string field = " [" + inner + "] ";
    field.resize(width, ' ');
    return field;
}

class NameEntry : public test_support::ScreenTest {};

TEST_F(NameEntry, TypedCaseIsKeptAndShownInCapitals) {
    headless_type("ab1!\r");
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "ab1!");
    EXPECT_EQ(headless_pause_count(), 5);  // one key per 50 ms pass
    EXPECT_EQ(read_text(112, 72, 16), " [AB1!]         ");
    EXPECT_EQ(key_string(), "\r");
}

TEST_F(NameEntry, FieldOfSixteenCellsIsCentredAtX112) {
    headless_type("\r");
    enter_name(12, 0, CENTRE_X, 72);
    EXPECT_EQ(read_text(112, 72, 16), shown(""));
    EXPECT_NE(headless_pixel(112 + 8, 72 + 5), COLOR_BLACK);   // first backed cell
    EXPECT_NE(headless_pixel(367, 72 + 5), COLOR_BLACK);       // last backed cell
    EXPECT_EQ(headless_pixel(111, 72 + 5), COLOR_BLACK);
    EXPECT_EQ(headless_pixel(368, 72 + 5), COLOR_BLACK);
}

struct ConfirmCase {
    const char* label;
    int key;  // 0: a click instead
};

class NameEntryConfirm : public NameEntry, public ::testing::WithParamInterface<ConfirmCase> {};

TEST_P(NameEntryConfirm, WithMinimumZeroConfirmingAtOnceGivesTheEmptyName) {
    if (GetParam().key) {
        headless_queue_key(GetParam().key);
    } else {
        headless_at_pause(1, [] { headless_set_mouse(10, 10, MOUSE_LEFT); });  // sampled at pass 2
    }
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "");
    EXPECT_EQ(headless_pause_count(), GetParam().key ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(Keys, NameEntryConfirm,
                         ::testing::Values(ConfirmCase{"enter", KEY_ENTER}, ConfirmCase{"space", KEY_SPACE},
                                           ConfirmCase{"escape", KEY_ESCAPE}, ConfirmCase{"click", 0}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(NameEntry, ConfirmIsIgnoredUntilTheMinimumLengthIsReached) {
    headless_type("ab\r c\r");
    EXPECT_EQ(enter_name(12, 3, CENTRE_X, 72), "abc");
    EXPECT_EQ(headless_pause_count(), 6);
}

TEST_F(NameEntry, ClickIsIgnoredUntilTheMinimumLengthIsReached) {
    headless_at_pause(1, [] { headless_set_mouse(10, 10, MOUSE_LEFT); });
    headless_at_pause(2, [] { headless_set_mouse(10, 10, 0); });
    headless_at_pause(3, [] { headless_type("x"); });
    headless_at_pause(4, [] { headless_set_mouse(10, 10, MOUSE_LEFT); });  // sampled at pass 5
    EXPECT_EQ(enter_name(12, 1, CENTRE_X, 72), "x");
    EXPECT_EQ(headless_pause_count(), 5);
}

TEST_F(NameEntry, ThirteenthKeyIsIgnored) {
    headless_type("abcdefghijklm\r");
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "abcdefghijkl");
    EXPECT_EQ(read_text(112, 72, 16), " [ABCDEFGHIJKL] ");
}

TEST_F(NameEntry, BackspaceFreesRoomAgain) {
    headless_type("abcdefghijklm");
    headless_at_pause(5, [] { headless_type("\bz\r"); });
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "abcdefghijkz");
}

TEST_F(NameEntry, BackspaceDeletesTheLastCharacterAndTheFieldKeepsItsWidth) {
    headless_type("abc\b\r");
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "ab");
    EXPECT_EQ(read_text(112, 72, 16), shown("AB"));
}

TEST_F(NameEntry, BackspaceOnTheEmptyNameDoesNothing) {
    headless_type("\b\ba\r");
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "a");
}

TEST_F(NameEntry, SpaceConfirmsAndIsNeverPartOfTheName) {
    headless_type("a b\r");
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "a");
    EXPECT_EQ(read_key(), "b");  // keys after the confirming one stay queued
}

TEST_F(NameEntry, KeysOutsideTheAllowedSetAreIgnored) {
    for (int code : {KEY_UP, KEY_LEFT, KEY_DELETE, KEY_CLOSE, KEY_TAB, int('.'), int('-'), int('?'),
                     int('['), 0x82, 0xFF})
        headless_queue_key(code);
    headless_at_pause(11, [] { headless_type("Z9\r"); });
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "Z9");
}

TEST_F(NameEntry, EveryAllowedCharacterIsTaken) {
    const std::string allowed = NAME_CHARACTERS;
    ASSERT_EQ(allowed.size(), 63u);
    std::string typed;
    for (size_t start = 0; start < allowed.size(); start += 12) {
        const std::string part = allowed.substr(start, 12);
        headless_type(part + "\r");
        typed += enter_name(12, 0, 10, 10);
    }
    EXPECT_EQ(typed, allowed);
}

TEST_F(NameEntry, ButtonStillHeldFromTheDialogIsNotAFreshClick) {
    headless_set_mouse(200, 200, MOUSE_LEFT);
    poll_mouse();  // the last sample of the dialog that closed with this click
    headless_at_pause(2, [] { headless_set_mouse(200, 200, 0); });
    headless_at_pause(4, [] { headless_set_mouse(200, 200, MOUSE_LEFT); });  // sampled at pass 5
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "");
    EXPECT_EQ(headless_pause_count(), 5);
}

TEST_F(NameEntry, MinimumAboveMaximumCanStillBeConfirmed) {
    headless_type("abc\r");
    EXPECT_EQ(enter_name(2, 5, CENTRE_X, 72), "ab");
}

struct FieldCase {
    const char* name;
    int32_t max_length;
    const char* field;
};

const FieldCase FIELD_CASES[] = {
    {"", 12, " []             "},
    {"ab1!", 12, " [ab1!]         "},
    {"abcdefghijkl", 12, " [abcdefghijkl] "},
    {"", 0, " [] "},
    {"ab", 1, " [ab]"},
    {"", -3, " "},
    {"", -4, ""},
    {"x", -100, ""},
};

class NameField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(NameField, IsBracketedAndPaddedToMaximumPlusFour) {
    EXPECT_EQ(name_field(GetParam().name, GetParam().max_length), GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(Fields, NameField, ::testing::ValuesIn(FIELD_CASES));

// Pad: up / down turn the last character (A..Z, 0..9, !), right adds, B / left erase.
TEST_F(NameEntry, APadEntersANameByTurningTheLastCharacter) {
    for (int code : {KEY_PAD_UP, KEY_PAD_UP, KEY_PAD_UP, KEY_PAD_RIGHT, KEY_PAD_DOWN, KEY_PAD_DOWN, KEY_PAD_A}) headless_queue_key(code);
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "C9");
    for (int code : {KEY_PAD_DOWN, KEY_PAD_UP, KEY_PAD_B, KEY_PAD_DOWN, KEY_PAD_START}) headless_queue_key(code);
    EXPECT_EQ(enter_name(12, 0, CENTRE_X, 72), "!");
    headless_type("q");
    for (int code : {KEY_PAD_UP, KEY_PAD_RIGHT, KEY_PAD_RIGHT, KEY_PAD_LEFT, KEY_PAD_BACK}) headless_queue_key(code);
    EXPECT_EQ(enter_name(2, 0, CENTRE_X, 72), "R");  // room for two
}

}  // namespace
