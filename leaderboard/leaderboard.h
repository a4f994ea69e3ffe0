// Sending the runs that entered the local high-score table to a leaderboard server, which
// flies each again and ranks it (docs/leaderboard-api.md). Nothing here blocks the game:
// a run is handed over in a moment and sent in the background.
//
// The desktop sends to the address the player gave (--leaderboard URL or
// MURKWING_LEADERBOARD) and to nothing when none is given. A run is first written to the
// queue folder in the game's folder; it leaves the queue once the server took it (201, or
// 200 for a run it already had) or refused it for good (any other 4xx but 429). A run the
// server could not take then (429, 5xx, no answer) stays and is sent at a later start.
//
// The browser build sends to the server its page came from, when that is one: it asks
// api/info next to the page once at the start and sends nothing on a plain web host. Its
// queue folder is in the game's folder in the browser's storage, with the same rules.
#pragma once

#include <functional>
#include <string>

struct LeaderboardOptions {
    // The server's address, http://HOST[:PORT][/PATH] or https://...; empty: send nothing.
    // The browser build ignores it and follows its page.
    std::string url;
    std::string queue_folder = "leaderboard-queue";  // in the game's folder
    // Told each outcome in one line, from the sending thread; by default the line goes to
    // standard error with the game's name before it.
    std::function<void(const std::string& line)> report;
};

// Starts the sender (and sends what an earlier start left in the queue). False, with the
// reason in `error`, for an address it cannot use; nothing is sent then.
bool start_leaderboard(const LeaderboardOptions& options, std::string& error);

// Hands over one run's replay file (its bytes; the name entered is inside). Does nothing
// when the sender was not started.
void submit_run(const std::string& replay);

// Waits a moment for a sending in progress, then stops the sender; runs not sent stay in
// the queue. Safe to call when it was never started.
void finish_leaderboard();
