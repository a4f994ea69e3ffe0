// Inside scores/: what the screens tell the storage.
#pragma once

#include "scores/high_scores.h"

// After a new entry went into the table: the next save inserts it into the file's table
// when another copy has saved since.
void note_offered_entry(const HighScoreEntry& entry);
