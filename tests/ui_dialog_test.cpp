// The choice dialog, scripted key by key and click by click on the headless twin.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/draw.h"
#include "tests/ui_test_support.h"
#include "ui/dialog.h"

namespace {

using test_support::read_text;

// --- The option list -------------------------------------------------------------------

struct ListCase {
    const char* label;
    const char* options;
    int32_t cancel;
    std::vector<std::string> texts;
};

const ListCase LIST_CASES[] = {
    {"yes_no", "Yes:::No", 0, {" Yes ", " No "}},
    {"single", "Okay", 0, {" Okay "}},
    {"empty_list", "", 0, {"  "}},
    {"trailing_separator", "Yes:::", 0, {" Yes ", "  "}},
    {"leading_separator", ":::Yes", 0, {"  ", " Yes "}},
    {"two_separators_in_a_row", "a::::::b", 0, {" a ", "  ", " b "}},
    {"four_colons", "a::::b", 0, {" a ", " :b "}},
    {"five_colons", "a:::::b", 0, {" a ", " ::b "}},
    {"two_colons_are_text", "a::b", 0, {" a::b "}},
    {"only_separators", ":::::::::", 0, {"  ", "  ", "  ", "  "}},
    {"cancel_appended", "Yes:::No", -1, {" Yes ", " No ", " Cancel "}},
    {"cancel_after_two_colons", "a::", 1, {" a ", " ::Cancel "}},
    {"cancel_after_separator", "a:::", 1, {" a ", "  ", " Cancel "}},
};

class OptionList : public ::testing::TestWithParam<ListCase> {};

TEST_P(OptionList, SplitsOnTheSeparator) {
    const ListCase& c = GetParam();
    const int32_t n = build_option_table(c.options, c.cancel);
    ASSERT_EQ(n, static_cast<int32_t>(c.texts.size()));
    for (int k = 1; k <= n; ++k) {
        EXPECT_EQ(dialog_option(k).text, c.texts[k - 1]) << "option " << k;
        EXPECT_EQ(dialog_option(k).y, 36 * k + 36) << "option " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, OptionList, ::testing::ValuesIn(LIST_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(OptionTable, RowPositionsStartAt72WithPitch36) {
    build_option_table("a:::b:::c", 0);
    EXPECT_EQ(dialog_option(1).y, 72);
    EXPECT_EQ(dialog_option(2).y, 108);
    EXPECT_EQ(dialog_option(3).y, 144);
}

TEST(OptionTable, EntriesAboveNKeepWhatAnEarlierCallLeft) {
    build_option_table("a:::b:::c", 0);
    build_option_table("x", 0);
    EXPECT_EQ(dialog_option(1).text, " x ");
    EXPECT_EQ(dialog_option(2).text, " b ");
    EXPECT_EQ(dialog_option(3).text, " c ");
}

std::string numbered_options(int count) {
    std::string list;
    for (int i = 1; i <= count; ++i) list += (i > 1 ? ":::o" : "o") + std::to_string(i);
    return list;
}

TEST(OptionTable, ListLongerThanTheTableIsCutAt512) {
    EXPECT_EQ(build_option_table(numbered_options(600), 0), OPTION_TABLE_SIZE);
    EXPECT_EQ(dialog_option(512).text, " o512 ");
    EXPECT_EQ(dialog_option(512).y, 36 * 512 + 36);
    EXPECT_EQ(dialog_option(513).text, "");  // outside the table: nothing there
    EXPECT_EQ(dialog_option(0).text, "");
}

TEST(OptionTable, CutListWithCancelKeepsCancelAsTheLastEntry) {
    EXPECT_EQ(build_option_table(numbered_options(600), 1), OPTION_TABLE_SIZE);
    EXPECT_EQ(dialog_option(511).text, " o511 ");
    EXPECT_EQ(dialog_option(512).text, " Cancel ");
}

TEST(OptionTable, ExactlyFullTableWithCancelIsNotCut) {
    EXPECT_EQ(build_option_table(numbered_options(511), 1), OPTION_TABLE_SIZE);
    EXPECT_EQ(dialog_option(511).text, " o511 ");
    EXPECT_EQ(dialog_option(512).text, " Cancel ");
}

// --- The dialog loop -----------------------------------------------------------------------

class Dialog : public test_support::ScreenTest {
protected:
    // Passes the dialog ran, for a dialog whose wait for release took one pause.
    long passes(long pauses_before = 0) const { return headless_pause_count() - pauses_before - 1; }
    void press(int pass, int code) {
        at_pass(pass, [code] { headless_queue_key(code); });
    }
    void move_to(int pass, int x, int y, int buttons = 0) {
        at_pass(pass, [=] { headless_set_mouse(x, y, buttons); });
    }
};

TEST_F(Dialog, YesNoShowsTitleAndRowsAndEnterAtOnceGivesOne) {
    press(1, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
    EXPECT_EQ(passes(), 1);
    EXPECT_EQ(read_text(136, 36, 13), " PLAY AGAIN? ");  // 13 cells centred: x 240 - 104
    EXPECT_EQ(read_text(10, 72, 5), " YES ");
    EXPECT_EQ(read_text(10, 108, 4), " NO ");
    EXPECT_EQ(key_string(), "\r");
}

TEST_F(Dialog, SpaceAtOnceGivesOne) {
    press(1, KEY_SPACE);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
    EXPECT_EQ(key_string(), " ");
}

TEST_F(Dialog, QuitTitleIsCentredAtX184) {
    press(1, KEY_ENTER);
    choice_dialog("Quit?", "No:::Yes", 0, 0);
    EXPECT_EQ(read_text(184, 36, 7), " QUIT? ");
}

TEST_F(Dialog, SelectionBoxOfOptionOneRunsFromRow70ToRow92) {
    press(1, KEY_ENTER);
    choice_dialog("Play Again?", "Yes:::No", 0, 0);
    for (int x : {0, 200, 479}) {
        EXPECT_EQ(headless_pixel(x, 70), COLOR_WHITE) << x;
        EXPECT_EQ(headless_pixel(x, 92), COLOR_WHITE) << x;
    }
    for (int y = 70; y <= 92; ++y) {
        EXPECT_EQ(headless_pixel(0, y), COLOR_WHITE) << y;
        EXPECT_EQ(headless_pixel(479, y), COLOR_WHITE) << y;
    }
    EXPECT_NE(headless_pixel(200, 69), COLOR_WHITE);
    EXPECT_NE(headless_pixel(200, 71), COLOR_WHITE);
    EXPECT_NE(headless_pixel(200, 93), COLOR_WHITE);
}

TEST_F(Dialog, EscapeConfirmsTheHighlightedOptionWithoutCancel) {
    press(1, KEY_ESCAPE);
    EXPECT_EQ(choice_dialog("Quit?", "No:::Yes", 0, 0), 1);
    EXPECT_EQ(key_string(), "\x1b");  // stays for the frame loop to see
}

TEST_F(Dialog, EscapeAfterMovingConfirmsTheMovedSelection) {
    press(1, KEY_DOWN);
    press(2, KEY_ESCAPE);
    EXPECT_EQ(choice_dialog("Quit?", "No:::Yes", 0, 0), 2);
}

TEST_F(Dialog, WithCancelEscapeReturnsZero) {
    press(1, KEY_ESCAPE);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 1, 0), 0);
    EXPECT_EQ(read_text(10, 144, 8), " CANCEL ");
}

TEST_F(Dialog, WithCancelChoosingCancelReturnsZero) {
    press(1, KEY_DOWN);
    press(2, KEY_DOWN);
    press(3, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 1, 0), 0);
}

TEST_F(Dialog, WithCancelTheOtherOptionsReturnTheirNumbers) {
    press(1, KEY_DOWN);
    press(2, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 1, 0), 2);
}

TEST_F(Dialog, CloseKeyNeitherConfirmsNorCancels) {
    press(1, KEY_CLOSE);
    press(2, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 1, 0), 1);
    EXPECT_EQ(passes(), 2);
}

TEST_F(Dialog, UpOnTheFirstOptionDoesNotWrap) {
    press(1, KEY_UP);
    press(2, KEY_UP);
    press(3, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
}

TEST_F(Dialog, DownOnTheLastOptionDoesNotWrap) {
    for (int pass = 1; pass <= 4; ++pass) press(pass, KEY_DOWN);
    press(5, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
}

TEST_F(Dialog, KeysTypedBeforeTheDialogAreDiscarded) {
    headless_type("\r\r ");
    // The wait for release reads one key per 25 ms pause: pauses 1 to 3 take the keys and
    // pause 4 finds none; the passes start at pause 5.
    headless_at_pause(6, [] { headless_queue_key(KEY_DOWN); });
    headless_at_pause(7, [] { headless_queue_key(KEY_ENTER); });
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
    EXPECT_EQ(headless_pause_count(), 7);
}

TEST_F(Dialog, PointerRestingOverOptionTwoSelectsNothingUntilItMoves) {
    headless_set_mouse(200, 110, 0);
    press(1, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
}

TEST_F(Dialog, FirstMoveByOnePixelSelectsTheOptionUnderThePointer) {
    headless_set_mouse(200, 110, 0);
    move_to(1, 200, 111);
    press(2, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
    EXPECT_EQ(headless_pixel(0, 106), COLOR_WHITE);  // the box around option 2
    EXPECT_EQ(headless_pixel(0, 128), COLOR_WHITE);
}

struct BandCase {
    const char* label;
    bool start_on_second;  // a cursor key selects option 2 before the pointer moves
    int pointer_y;
    int32_t expected;
};

// Option 1 is drawn at y 72 (band 70 < y < 92), option 2 at y 108 (band 106 < y < 128).
const BandCase BAND_CASES[] = {
    {"top_edge_of_one_is_outside", true, 70, 2},
    {"first_row_of_one", true, 71, 1},
    {"last_row_of_one", true, 91, 1},
    {"bottom_edge_of_one_is_outside", true, 92, 2},
    {"between_bands", false, 100, 1},
    {"top_edge_of_two_is_outside", false, 106, 1},
    {"first_row_of_two", false, 107, 2},
    {"last_row_of_two", false, 127, 2},
    {"bottom_edge_of_two_is_outside", false, 128, 1},
    {"below_the_list", true, 300, 2},
    {"above_the_list", true, 10, 2},
};

class DialogBands : public Dialog, public ::testing::WithParamInterface<BandCase> {};

TEST_P(DialogBands, PointerSelectsOnlyInsideARowBand) {
    const BandCase& c = GetParam();
    headless_set_mouse(460, 310, 0);
    if (c.start_on_second) press(1, KEY_DOWN);
    move_to(2, 5, c.pointer_y);
    press(3, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Bands, DialogBands, ::testing::ValuesIn(BAND_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(Dialog, CursorKeyOverridesThePointerUntilTheMouseMovesAgain) {
    headless_set_mouse(460, 310, 0);
    move_to(1, 200, 80);       // pass 2: follows the pointer onto option 1
    press(2, KEY_DOWN);        // pass 3: option 2, the pointer still resting on option 1
    press(4, KEY_ENTER);       // pass 4: still option 2
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
}

TEST_F(Dialog, MouseMoveAfterACursorKeyFollowsThePointerAgain) {
    headless_set_mouse(460, 310, 0);
    move_to(1, 200, 80);
    press(2, KEY_DOWN);
    move_to(3, 201, 80);       // pass 4: moved within option 1's band
    press(4, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
}

TEST_F(Dialog, ClickAnywhereChoosesTheHighlightedOption) {
    headless_set_mouse(460, 310, 0);
    press(1, KEY_DOWN);
    move_to(2, 5, 300, MOUSE_RIGHT);  // pass 3: a fresh click far from the list
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
    EXPECT_EQ(passes(), 3);
    EXPECT_EQ(key_string(), "");  // the last key read: none on that pass
}

TEST_F(Dialog, ButtonHeldWhenTheDialogOpensCountsOnlyAfterReleaseAndPress) {
    headless_set_mouse(300, 300, MOUSE_LEFT);
    // Pauses 1 to 3 are the wait for release; the button is up from pause 3's sample on.
    headless_at_pause(3, [] { headless_set_mouse(300, 300, 0); });
    headless_at_pause(6, [] { headless_set_mouse(300, 300, MOUSE_LEFT); });  // seen at pass 4
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 1);
    EXPECT_EQ(headless_pause_count(), 7);
}

TEST_F(Dialog, DimsTheScreenToAboutThreeQuarters) {
    draw_line(nullptr, 0, 0, 479, 319, COLOR_WHITE, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    press(1, KEY_ENTER);
    choice_dialog("Play Again?", "Yes:::No", 0, 0);
    // 255 + floor((0 - 255) * 61 / 256) = 194; the pull toward the dimmed copy keeps it.
    EXPECT_EQ(headless_pixel(470, 300), 0xFFC2C2C2u);
    EXPECT_EQ(headless_pixel(470, 300), test_support::overlay_pixel(470, 300));
}

TEST_F(Dialog, FullDimShowsTheDialogOnBlack) {
    draw_line(nullptr, 0, 0, 479, 319, COLOR_WHITE, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    press(1, KEY_ENTER);
    choice_dialog("Play Again?", "Yes:::No", 0, -1);
    EXPECT_EQ(headless_pixel(470, 300), COLOR_BLACK);
    EXPECT_EQ(headless_pixel(0, 0), COLOR_BLACK);
}

TEST_F(Dialog, OldHighlightFadesByThePullOfEachPass) {
    press(1, KEY_DOWN);
    press(2, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Play Again?", "Yes:::No", 0, 0), 2);
    // Box of option 1 drawn in pass 1, pulled once toward black: 255 - 21 = 234.
    EXPECT_EQ(headless_pixel(0, 70), 0xFFEAEAEAu);
    EXPECT_EQ(headless_pixel(0, 106), COLOR_WHITE);
}

TEST_F(Dialog, LockIsFreeWhenTheDialogReturns) {
    press(1, KEY_ENTER);
    choice_dialog("Play Again?", "Yes:::No", 0, 0);
    EXPECT_FALSE(headless_lock_held());
}

// --- Scrolling -----------------------------------------------------------------------------

TEST_F(Dialog, TenOptionsShowSixRows) {
    press(1, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(10), 0, 0), 1);
    EXPECT_EQ(read_text(10, 72, 4), " O1 ");
    EXPECT_EQ(read_text(10, 252, 4), " O6 ");
    EXPECT_EQ(headless_pixel(18, 296), COLOR_BLACK);  // no seventh row at y 288
}

TEST_F(Dialog, MovingDownPastTheFifthVisibleRowScrollsByOne) {
    for (int pass = 1; pass <= 5; ++pass) press(pass, KEY_DOWN);
    press(6, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(10), 0, 0), 6);
    EXPECT_EQ(read_text(10, 72, 4), " O2 ");
    EXPECT_EQ(read_text(10, 216, 4), " O6 ");  // option 6 on the fifth row
    EXPECT_EQ(headless_pixel(0, 214), COLOR_WHITE);
    EXPECT_EQ(headless_pixel(0, 236), COLOR_WHITE);
}

TEST_F(Dialog, LastRowIsHighlightedOnlyWhenTheLastOptionShows) {
    for (int pass = 1; pass <= 12; ++pass) press(pass, KEY_DOWN);
    press(13, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(10), 0, 0), 10);
    EXPECT_EQ(read_text(10, 72, 4), " O5 ");
    EXPECT_EQ(read_text(10, 252, 5), " O10 ");
    EXPECT_EQ(headless_pixel(0, 250), COLOR_WHITE);
    EXPECT_EQ(headless_pixel(0, 272), COLOR_WHITE);
}

TEST_F(Dialog, MovingBackUpScrollsWhenTheTopVisibleRowIsReached) {
    for (int pass = 1; pass <= 9; ++pass) press(pass, KEY_DOWN);   // option 10, rows 5..10
    for (int pass = 10; pass <= 14; ++pass) press(pass, KEY_UP);   // option 5, rows 4..9
    press(15, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(10), 0, 0), 5);
    EXPECT_EQ(read_text(10, 72, 4), " O4 ");
    EXPECT_EQ(read_text(10, 108, 4), " O5 ");
}

struct FollowScrollCase {
    int enter_pass;
    int32_t expected;
};

class DialogFollowScroll : public Dialog, public ::testing::WithParamInterface<FollowScrollCase> {};

TEST_P(DialogFollowScroll, PointerRestingOnTheBottomRowScrollsOneRowPerPass) {
    headless_set_mouse(460, 310, 0);
    move_to(1, 100, 257);  // the sixth visible row (y 252): sampled at pass 2
    press(GetParam().enter_pass, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(10), 0, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Passes, DialogFollowScroll,
                         ::testing::Values(FollowScrollCase{1, 1}, FollowScrollCase{2, 6},
                                           FollowScrollCase{3, 7}, FollowScrollCase{4, 8},
                                           FollowScrollCase{5, 9}, FollowScrollCase{6, 10},
                                           FollowScrollCase{9, 10}));

TEST_F(Dialog, OverlongListWithCancelReachesCancelAtEntry512) {
    for (int pass = 1; pass <= 511; ++pass) press(pass, KEY_DOWN);
    press(512, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(600), 1, 0), 0);
    EXPECT_EQ(read_text(10, 252, 8), " CANCEL ");
}

TEST_F(Dialog, OverlongListStopsAtEntry512) {
    for (int pass = 1; pass <= 530; ++pass) press(pass, KEY_DOWN);
    press(531, KEY_ENTER);
    EXPECT_EQ(choice_dialog("Pick", numbered_options(600), 0, 0), 512);
    EXPECT_EQ(read_text(10, 252, 6), " O512 ");
}

}  // namespace
