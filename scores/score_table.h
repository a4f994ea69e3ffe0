// Inside scores/: the table in memory, the reading of a file's bytes into it, the game's own
// format and the insertion rule, shared by the storage and the screens.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "scores/high_scores.h"

// Reading stops here: bytes of a file or of parse_high_scores's input read at most.
constexpr size_t TABLE_READ_LIMIT = 64 * 1024;
// Bytes of a score field or a name kept, the rest of it skipped: far more than a typed name
// (12) or a score (11). So a table in the game's format stays under 4 KiB, one page, however
// long the names of the file it was read from (12 x (13 + 255 + 2) = 3,240 bytes).
constexpr size_t FIELD_LIMIT = 255;

using Entries = std::array<HighScoreEntry, HIGH_SCORE_COUNT>;  // entry k at index k - 1

// The table in memory, for the whole process.
Entries& table_entries();

// Reads entries from the open file `fd`, no further than `length` bytes (its length when
// opened) nor TABLE_READ_LIMIT, into `entries`; entries past the end keep their values. Gives the number read;
// `failed` tells whether a read failed rather than met the end (errno says why).
int read_table_from_file(int fd, uint64_t length, bool& failed, Entries& entries);

// Inserts `entry` by the rule of offer_high_score: when it beats entry 12, below every entry
// with an equal or greater score; the old entry 12 leaves the table.
void insert_entry(Entries& entries, const HighScoreEntry& entry);

// The 24 lines of the file, byte for byte (see format_high_scores).
std::string format_entries(const Entries& entries);
