// The replays kept in the game's folder, under replays/: the replay of every run on the
// high-score table for as long as its entry stays, and the last 20 runs besides. The
// high-score file is never touched: the index file replays/index.txt links each table
// entry (its place, score and name) to its replay.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "scores/high_scores.h"

constexpr const char* REPLAY_FOLDER = "replays";
constexpr const char* REPLAY_INDEX = "index.txt";
constexpr int KEPT_RECENT_RUNS = 20;

using HighScoreTable = std::array<HighScoreEntry, HIGH_SCORE_COUNT>;

// The table as it stands now, entries 1..12.
HighScoreTable current_high_scores();

// The place (1..12) a run's score took in the table: the first entry that changed from
// `before` to `after` and holds that score; 0 when it entered none. (A save may also bring
// in entries another copy of the game saved; those are not the run's.)
int entered_place(const HighScoreTable& before, const HighScoreTable& after, int32_t score);

// Keeps one run's replay: writes it (a new file, then renamed into place) under `folder`
// with a name made from `stem`, links it to entry `place` of the table (0: none), the links
// of the entries below moving down one, rewrites the index, and removes the replays neither
// linked nor among the last 20. Links that no longer match `after` are dropped. Returns the file name kept (within the folder), or empty with the
// reason in `error` when nothing could be written; the table is never touched.
// `screens`, when not empty, is written beside it as the sidecar of its pictures
// (replay/screens.h), named as the replay with ".screens" for ".mwr"; a sidecar that cannot be
// written is left out.
std::string keep_replay(const std::string& folder, const std::string& stem, const std::string& bytes,
                        const std::string& screens, int place, const HighScoreTable& before,
                        const HighScoreTable& after, std::string& error);

// The sidecar path of a replay path: ".mwr" replaced by (or, without it, followed by)
// ".screens".
std::string screens_path(const std::string& replay_path);

// The replay file (path under `folder`) of table entry k (1..12) of `table`, or empty when
// it has none or the index no longer matches that entry.
std::string replay_of_entry(const std::string& folder, const HighScoreTable& table, int k);

// The newest kept replay (path under `folder`), or empty.
std::string latest_replay(const std::string& folder);

// Writes the bytes to a new file beside `path` and renames it over `path`, so that `path`
// holds either its old bytes or all the new ones; false, with the reason, when it could not.
bool write_atomically(const std::filesystem::path& path, const std::string& bytes, std::string& error);
