// The fuzzed entry points, shared by the libFuzzer programs and by the test that replays
// the committed corpus. Each takes arbitrary bytes and must neither crash nor misbehave;
// a broken invariant aborts.
#pragma once

#include <cstddef>
#include <cstdint>

// load_bitmap of the bytes into a 640 x 18 image; the image header must stay as it was.
void fuzz_bitmap(const uint8_t* data, size_t size);

// The bytes read as a high-score file, saved, and read again: the second reading must give
// the same table and save to the same bytes.
void fuzz_high_scores(const uint8_t* data, size_t size);

// draw_text of arbitrary bytes at a position, alpha and backing taken from the first bytes.
void fuzz_text(const uint8_t* data, size_t size);

// The bytes read as a replay file: a refusal must give a reason; a record read must write
// back to bytes that read as the same record; checking it by flight must leave the random
// numbers where they stood.
void fuzz_replay(const uint8_t* data, size_t size);
