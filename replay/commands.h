// The replay commands of the game's command line: --verify FILE... and --replay FILE.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

constexpr size_t REPLAY_MAX_FILE_BYTES = 256 * 1024;         // far above the largest replay
constexpr size_t SCREENS_MAX_FILE_BYTES = 64 * 1024 * 1024;  // a run's kept screen pictures

// Reads a file of at most `limit` bytes; false with the reason in `why`.
bool read_replay_file(const std::string& path, std::string& bytes, std::string& why,
                      size_t limit = REPLAY_MAX_FILE_BYTES);

// One line per file on `out`: "FILE: level L, F frames, agrees" or "...: refused: WHY".
// Returns 0 when every file agrees, else 1.
int verify_files(const std::vector<std::string>& files, std::FILE* out);

// Watches one replay file; a file that cannot be read or opened gives one line on stderr
// and 1.
int watch_file(const std::string& path);
