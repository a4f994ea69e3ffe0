// The queue of runs to send, shared by the desktop's and the browser's senders: a run is
// written into the queue folder (in the game's folder) before it is sent, and leaves it
// only once the server has answered for good.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Writes the run into `folder` as YYYYMMDD-HHMMSS-HASH.mwr (the UTC time it was queued and
// a hash of its bytes; a new file, then renamed into place). Returns its path, or empty
// with the reason in `error`.
std::filesystem::path queue_run(const std::filesystem::path& folder, const std::string& replay,
                                std::string& error);

// The queued runs in `folder`, oldest first (by name).
std::vector<std::filesystem::path> queued_runs(const std::filesystem::path& folder);

// Judges the server's answer to the sending of `what` ("run NAME.mwr"): `status` is the HTTP
// status and `body` the answer's, or `status` 0 for no answer and `body` the reason. Sets
// the one line that reports it; true when the run leaves the queue: the server took it
// (201, or 200 for a run it already had) or refused it for good (any other 4xx but 429).
// A run it could not take then (429, 5xx, no answer) stays for a later start.
bool judge_answer(const std::string& what, int status, const std::string& body, std::string& line);
