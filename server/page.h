// The leaderboard's page at "/": today's daily board and the all-time board, rendered by
// the server as plain HTML (no script), every name escaped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/store.h"

// The page. `today` is the daily board's date YYYYMMDD. Each row's "Watch" link opens the
// run in the browser build under /play/ when `with_site`, else downloads its replay.
std::string render_page(const std::vector<BoardRow>& daily, uint32_t today, const std::vector<BoardRow>& all,
                        bool with_site);

// The text with & < > " ' written as character references.
std::string escape_html(const std::string& text);
