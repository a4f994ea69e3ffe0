// Reading the high-score file: the lenient rules, score by score, and hostile files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::write_file;
using namespace std::string_literals;
using test_support::TempDir;
using Entries = std::vector<std::pair<int32_t, std::string>>;

void expect_table(const Entries& expected) {
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
        const HighScoreEntry& e = high_score_entry(k);
        if (k <= static_cast<int>(expected.size())) {
            EXPECT_EQ(e.score, expected[k - 1].first) << "entry " << k;
            EXPECT_EQ(e.name, expected[k - 1].second) << "entry " << k;
        } else {
            EXPECT_EQ(e.score, 0) << "entry " << k;
            EXPECT_EQ(e.name, "") << "entry " << k;
        }
    }
}

// --- Whole lines ---------------------------------------------------------------------------

struct LineCase {
    const char* label;
    std::string bytes;
    Entries expected;  // entries 1.. ; the rest stay 0 and empty
};

const LineCase LINE_CASES[] = {
    {"as_written", " 57\r\nACE\r\n", {{57, "ACE"}}},
    {"no_leading_space", "57\r\nACE\r\n", {{57, "ACE"}}},
    {"plus_sign", "+57\r\nACE\r\n", {{57, "ACE"}}},
    {"trailing_spaces", " 57   \r\nACE\r\n", {{57, "ACE"}}},
    {"trailing_blanks_and_tabs", " 57\t \t\r\nACE\r\n", {{57, "ACE"}}},
    {"line_feeds_alone", " 57\nACE\n-3\nBob\n", {{57, "ACE"}, {-3, "Bob"}}},
    {"leading_tab", "\t57\r\nACE\r\n", {{57, "ACE"}}},
    {"no_final_line_end", " 57\r\nACE", {{57, "ACE"}}},
    {"ends_after_a_score_line", " 57\r\n", {{57, ""}}},
    {"empty_file", "", {}},
    {"negative", "-12\r\nBob\r\n", {{-12, "Bob"}}},
    {"quoted", "\"57\"\r\nACE\r\n", {{57, "ACE"}}},
    {"quoted_space_is_kept_in_the_field", "\"5 7\"\r\nACE\r\n", {{5, "ACE"}}},
    {"quoted_comma_is_kept_in_the_field", "\"57,3\"\r\nACE\r\n", {{57, "ACE"}}},
    {"quoted_tab_ends_the_field", "\"5\t7\"\r\nACE\r\n", {{5, "7\""}, {0, ""}}},
    {"quoted_space_before_the_digits_gives_0", "\" 57\"\r\nACE\r\n", {{0, "ACE"}}},
    {"quoted_space_before_a_decimal_point_is_skipped", "\" 5.5\"\r\nACE\r\n", {{6, "ACE"}}},
    {"text_after_closing_quote_continues_the_field", "\"12\"34\r\nX\r\n", {{1234, "X"}}},
    {"quote_inside_a_field_is_text", "12\"34\r\nX\r\n", {{12, "X"}}},
    {"unclosed_quote_ends_at_the_line_end", "\"57\r\nACE\r\n", {{57, "ACE"}}},
    {"comma_ends_the_field", "57,ACE\r\nBOB\r\n", {{57, "ACE"}, {0, ""}}},
    {"text_after_number_and_space_is_the_name", "57 ACE\r\nBOB\r\n", {{57, "ACE"}, {0, ""}}},
    {"blanks_then_one_comma_are_consumed", "57  ,  ACE\r\n", {{57, "  ACE"}}},
    {"empty_line_in_a_score_place", "\r\nACE\r\n 9\r\nBOB\r\n", {{0, "ACE"}, {9, "BOB"}}},
    {"blank_line_in_a_score_place", "   \r\nACE\r\n", {{0, "ACE"}}},
    {"lone_carriage_return_stays_in_the_name", " 57\r\nA\rB\r\n", {{57, "A\rB"}}},
    {"name_taken_unchanged", " 57\r\n A, \"B\" \r\n", {{57, " A, \"B\" "}}},
    {"lone_carriage_return_ends_the_score", " 57\rACE\r\n", {{57, "ACE"}}},
    {"nul_bytes", "5\0"s "7\r\nA\0B\r\n"s, {{5, "A\0B"s}}},
    {"no_number", "abc\r\nNAME\r\n", {{0, "NAME"}}},
    {"digits_then_letters", "12abc\r\nX\r\n", {{12, "X"}}},
    {"space_then_end_of_file", "57 ", {{57, ""}}},
    {"field_of_28_characters", "+000000000000000000000000057\r\nACE\r\n", {{57, "ACE"}}},
    {"two_entries",
     " 120\r\nZED\r\n 57\r\nace\r\n",
     {{120, "ZED"}, {57, "ace"}}},
};

class ReadLines : public ::testing::TestWithParam<LineCase> {
protected:
    void SetUp() override { reset_high_scores(); }
};

TEST_P(ReadLines, LoadTheValuesOfTheRules) {
    parse_high_scores(GetParam().bytes);
    expect_table(GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, ReadLines, ::testing::ValuesIn(LINE_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// --- Score fields --------------------------------------------------------------------------

struct FieldCase {
    const char* field;
    int32_t score;
};

const FieldCase FIELD_CASES[] = {
    // Decimal point: a real rounded to the nearest integer, halves to even.
    {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {"0.5", 0}, {"1.5", 2}, {"-0.5", 0},
    {"57.4999", 57}, {"57.5", 58}, {"57.", 57}, {".5", 0}, {".", 0}, {"-.", 0},
    {"1.5e3", 1500}, {"1.5E+3", 1500}, {"2.5d1", 25}, {"125.0e-2", 1}, {"1.5e", 2},
    {"1.2.3", 1}, {"abc.5", 0}, {"2147483647.4", INT32_MAX},
    // Beyond the 32-bit range a real saturates.
    {"2147483647.5", INT32_MAX}, {"12345678901.5", INT32_MAX}, {"-2147483648.5", INT32_MIN},
    {"-9.0e99", INT32_MIN}, {"1.0e999", INT32_MAX}, {"-1.0e999", INT32_MIN},
    // Ampersand prefixes.
    {"&HFF", 255}, {"&hff", 255}, {"&O17", 15}, {"&o17", 15}, {"&B101", 5}, {"&b101", 5},
    {"&HFFFFFFFF", -1}, {"&H1FFFFFFFF", -1}, {"&H7FFFFFFF", INT32_MAX},
    {"&H80000000", INT32_MIN}, {"&H", 0}, {"&HG1", 0}, {"&O8", 0}, {"&B2", 0},
    {"&H1.5", 1}, {"&Q12", 0}, {"&", 0},
    // Decimal integers: low 32 bits of the value read modulo 2^64.
    {"0", 0}, {"-0", 0}, {"2147483647", INT32_MAX}, {"2147483648", INT32_MIN},
    {"-2147483648", INT32_MIN}, {"4294967296", 0}, {"4294967353", 57},
    {"99999999999", 1215752191}, {"000000000057", 57}, {"-4294967353", -57},
    {"18446744073709551673", 57}, {"99999999999999999999999999", -469762049},
    {"+-5", 0}, {"--5", 0}, {"5-", 5},
};

class ReadFields : public ::testing::TestWithParam<FieldCase> {
protected:
    void SetUp() override { reset_high_scores(); }
};

TEST_P(ReadFields, GiveTheScore) {
    parse_high_scores(" "s + GetParam().field + "\r\nNAME\r\n");
    EXPECT_EQ(high_score_entry(1).score, GetParam().score) << GetParam().field;
    EXPECT_EQ(high_score_entry(1).name, "NAME");
}

INSTANTIATE_TEST_SUITE_P(Fields, ReadFields, ::testing::ValuesIn(FIELD_CASES));

TEST(ReadTable, LinesAfterTheTwentyFourthAreIgnored) {
    reset_high_scores();
    std::string bytes;
    for (int k = 1; k <= 14; ++k) bytes += " " + std::to_string(k) + "\r\nN" + std::to_string(k) + "\r\n";
    parse_high_scores(bytes);
    EXPECT_EQ(high_score_entry(12).score, 12);
    EXPECT_EQ(high_score_entry(12).name, "N12");
}

TEST(ReadTable, EntriesAfterTheEndKeepTheirValues) {
    reset_high_scores();
    set_high_score_entry(2, {44, "OLD"});
    parse_high_scores(" 57\r\nACE\r\n");
    EXPECT_EQ(high_score_entry(1).name, "ACE");
    EXPECT_EQ(high_score_entry(2).score, 44);
    EXPECT_EQ(high_score_entry(2).name, "OLD");
}

TEST(ReadTable, NoSortingIsDone) {
    reset_high_scores();
    parse_high_scores(" 1\r\nLOW\r\n 99\r\nHIGH\r\n");
    EXPECT_EQ(high_score_entry(1).score, 1);
    EXPECT_EQ(high_score_entry(2).score, 99);
}

// --- Files -----------------------------------------------------------------------------------

class ReadFile : public ::testing::Test {
protected:
    void SetUp() override { reset_high_scores(); }
    void TearDown() override { reset_high_scores(); }
    TempDir dir;
};

TEST_F(ReadFile, MissingFileIsCreatedEmptyAndTheTableStaysEmpty) {
    const std::string path = dir.file("murkwingdiver_highscores.dat");
    load_high_scores(path);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    expect_table({});
}

TEST_F(ReadFile, ExistingFileIsLoadedAndNotChanged) {
    const std::string path = dir.file("hs.dat");
    const std::string bytes = " 57\r\nACE\r\n-1\r\nneg\r\n";
    write_file(path, bytes);
    load_high_scores(path);
    expect_table({{57, "ACE"}, {-1, "neg"}});
    EXPECT_EQ(read_file(path), bytes);
}

TEST_F(ReadFile, FileThatCannotBeCreatedLeavesTheTableAlone) {
    set_high_score_entry(1, {5, "KEEP"});
    load_high_scores(dir.file("no_such_dir/hs.dat"));
    EXPECT_EQ(high_score_entry(1).name, "KEEP");
}

TEST_F(ReadFile, DirectoryInPlaceOfTheFileLoadsNothing) {
    load_high_scores(dir.path);
    expect_table({});
}

TEST_F(ReadFile, EndlessDeviceLoadsNothingAndReturns) {
    load_high_scores("/dev/zero");
    expect_table({});
}

TEST_F(ReadFile, FifoLoadsNothingAndDoesNotBlock) {
    const std::string path = dir.file("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    load_high_scores(path);
    expect_table({});
}

// A field longer than the reader keeps is cut to its first 255 bytes, and the next line is
// still the next field; a carriage return ending a name line is dropped, also at the limit.
TEST_F(ReadFile, LongFieldsAreCutAndTheLinesStillPair) {
    const std::string path = dir.file("hs.dat");
    const std::string long_name(255, 'N');
    write_file(path, std::string(1000, '0') + "7\r\n" + long_name + "NNN\r\n 9\r\n" + long_name + "\r\r\n 5\r\nB");
    load_high_scores(path);
    expect_table({{0, long_name}, {9, long_name}, {5, "B"}});
}

// Gigabyte files, sparse: reading stops at 64 KiB, so they load at once in little memory
// (measured in the report: well under a second, a few MB).
TEST_F(ReadFile, GigabyteTableAndGigabyteNameLoadTheirStart) {
    const std::string path = dir.file("hs.dat");
    for (const std::string& start : {" 57\r\nACE\r\n"s, " 57\r\n"s}) {
        write_file(path, start);
        ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 30), 0);
        reset_high_scores();
        load_high_scores(path);
        EXPECT_EQ(high_score_entry(1).score, 57);
        EXPECT_EQ(high_score_entry(1).name, start.size() > 5 ? "ACE" : std::string(255, '\0'));
    }
}

TEST_F(ReadFile, MillionLinesLoadTwelveEntries) {
    const std::string path = dir.file("hs.dat");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 500000; ++i) out << ' ' << i << "\r\nN\r\n";
    }
    load_high_scores(path);
    EXPECT_EQ(high_score_entry(1).score, 0);
    EXPECT_EQ(high_score_entry(12).score, 11);
    EXPECT_EQ(high_score_entry(12).name, "N");
}

TEST_F(ReadFile, BinaryBytesLoadAsTheInMemoryReadingDoes) {
    std::mt19937 rng(20240601);
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    parse_high_scores(bytes);
    std::vector<HighScoreEntry> from_bytes;
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) from_bytes.push_back(high_score_entry(k));
    reset_high_scores();
    const std::string path = dir.file("hs.dat");
    write_file(path, bytes);
    load_high_scores(path);
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
        EXPECT_EQ(high_score_entry(k).score, from_bytes[k - 1].score) << k;
        EXPECT_EQ(high_score_entry(k).name, from_bytes[k - 1].name) << k;
    }
}

TEST_F(ReadFile, NoLineEndsAtAllGiveOneEntry) {
    const std::string path = dir.file("hs.dat");
    write_file(path, std::string(3 << 20, 'x'));
    load_high_scores(path);
    expect_table({{0, ""}});
}

}  // namespace
