// Inside scores/: what the screens tell the storage, and the storage's seam for tests.
#pragma once

#include "scores/high_scores.h"

// After a new entry went into the table: the next save inserts it into the file's table
// when another copy has saved since.
void note_offered_entry(const HighScoreEntry& entry);

// Test seam: called with the name of each marked step of a save ("lock wait" on every try
// of a held lock, "locked", "new file written", "new file flushed", "renamed", "in place
// written", "in place flushed", and "flush" right before each flush to disk). A nonzero
// result at "flush" makes the flush fail with that errno; elsewhere it is ignored. Null (the
// default) for none.
using SaveStepHook = int (*)(const char* step);
void set_save_step_hook(SaveStepHook hook);
