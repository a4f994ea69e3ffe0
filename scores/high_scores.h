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
    bool operator==(const HighScoreEntry&) const = default;
};

// Once at start-up: remembers the file name, creates the file when missing, removes what
// saves killed half-way left beside it, and reads up to twelve entries by the lenient
// reading rules (no more than the first 64 KiB of the file). A table that another program
// keeps locked for more than 2 s is read without the lock, with one line on stderr.
void load_high_scores(const std::string& file_name);

// After every run: when the score beats entry 12, announces it, inserts it and asks for the
// name; the table is then saved at once.
void offer_high_score(const int32_t& score);

// After every run: the table screen, until a confirming key or a fresh click.
void show_high_scores();

// After every new entry: saves the table to the file it was loaded from, under a lock that
// every copy of the game takes, waited for 2 s at most. The file is read again: when it
// still holds what this copy last read or wrote, the table goes in as it stands; when
// another copy has saved since, the entries offered here since then are inserted into the
// file's table. A file that is shorter than this copy last saw it and holds no whole table
// in the game's format is damaged, not another copy's: the table here goes in as it stands.
// A file whose table that leaves unchanged is not touched. The new table replaces the file
// through a new file beside it, or is written into it in place when the folder takes no new
// file, never leaving less in the file than it held; a file this process may not write, or
// one without any write bit, is left alone. Links are followed only where the kernel's
// protected_symlinks rule would. The table in memory becomes the one the file holds; when
// the save fails, the entries stay here for the next save. True on success (nothing to
// write included); else false and one line on stderr, once until a save works.
bool save_high_scores();

// At shut-down: save_high_scores with 5 s for the lock, the last chance; when another
// program still holds it, one line says that the scores were not saved.
bool save_high_scores_at_exit();

// Reads entries from the bytes of a high-score file by the same rules as
// load_high_scores, into the current table: entries after the end of the bytes keep their
// values. The file name is not touched. For tests and the fuzzer.
void parse_high_scores(const std::string& bytes);

// The 24 lines that save_high_scores writes, byte for byte: per entry the score (a space
// before it when not negative) and the name, each line ended by 13, 10.
std::string format_high_scores();

// Entry k, 1..12 (1 is the best).
const HighScoreEntry& high_score_entry(int k);
// Sets entry k; the next save writes the table as it stands unless another copy has saved
// since (tests only).
void set_high_score_entry(int k, const HighScoreEntry& entry);

// Back to twelve empty entries and no file name (tests only).
void reset_high_scores();
