// The table of the twelve best runs, its file, the insertion of a new score and the table
// screen.
#pragma once

#include <cstdint>
#include <string>

constexpr int HIGH_SCORE_COUNT = 12;
constexpr const char* HIGH_SCORE_FILE = "murkwingdiver_highscores.dat";

struct HighScoreEntry {
    int32_t score = 0;
    std::string name;  // as typed, or as read from the file (no line feed)
};

// Once at start-up: remembers the file name, creates the file when missing, and reads up to
// twelve entries by the lenient reading rules.
void load_high_scores(const std::string& file_name);

// After every run: when the score beats entry 12, announces it, inserts it and asks for the
// name; the table is then saved at once.
void offer_high_score(const int32_t& score);

// After every run: the table screen, until a confirming key or a fresh click.
void show_high_scores();

// Writes the whole table to the file it was loaded from, replacing the old file only once
// the new one is complete; true on success.
bool save_high_scores();

// Reads entries from the bytes of a high-score file by the same rules as
// load_high_scores, into the current table: entries after the end of the bytes keep their
// values. The file name is not touched. For tests and the fuzzer.
void parse_high_scores(const std::string& bytes);

// The 24 lines that save_high_scores writes, byte for byte: per entry the score (a space
// before it when not negative) and the name, each line ended by 13, 10.
std::string format_high_scores();

// Entry k, 1..12 (1 is the best).
const HighScoreEntry& high_score_entry(int k);
void set_high_score_entry(int k, const HighScoreEntry& entry);

// Back to twelve empty entries and no file name (tests only).
void reset_high_scores();
