// The leaderboard's page: two tables in one HTML document, styled inline, no script.
#include "server/page.h"

#include "server/boards.h"

namespace {

const char* const HEAD = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Murkwing Diver leaderboard</title>
<style>
body { background: #000; color: #eee; font-family: monospace; margin: 2em auto; max-width: 44em; }
h1, h2 { color: #f0f; }
table { border-collapse: collapse; width: 100%; margin-bottom: 2em; }
th, td { padding: 0.2em 0.6em; text-align: left; }
td.n { text-align: right; }
tr:nth-child(even) { background: #111; }
a { color: #8ff; }
</style>
</head>
<body>
<h1>Murkwing Diver</h1>
<p>Every run on these boards was flown again by the server with the game's own code.</p>
)";

std::string board_table(const std::string& title, const std::string& board, const std::vector<BoardRow>& rows,
                        bool with_site) {
    std::string html = "<h2>" + escape_html(title) + "</h2>\n";
    if (rows.empty()) return html + "<p>No runs yet.</p>\n";
    html += "<table id=\"" + escape_html(board) + "\">\n<tr><th>Rank</th><th>Name</th><th>Level</th>"
            "<th>Frames</th><th>Date</th><th></th></tr>\n";
    for (const BoardRow& row : rows) {
        const std::string replay = "/api/runs/" + std::to_string(row.id) + "/replay";
        const std::string watch = with_site ? "/play/?replay=" + replay : replay;
        html += "<tr><td class=\"n\">" + std::to_string(row.rank) + "</td><td>" +
                (row.name.empty() ? std::string("(no name)") : escape_html(row.name)) + "</td><td class=\"n\">" +
                std::to_string(row.level) + "</td><td class=\"n\">" + std::to_string(row.frames) + "</td><td>" +
                run_date(row.run_time) + "</td><td><a href=\"" + escape_html(watch) + "\">Watch</a></td></tr>\n";
    }
    return html + "</table>\n";
}

}  // namespace

std::string escape_html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string render_page(const std::vector<BoardRow>& daily, uint32_t today, const std::vector<BoardRow>& all,
                        bool with_site) {
    std::string html = HEAD;
    html += board_table("Today's daily cave (" + dashed_date(today) + ")", board_name(today), daily, with_site);
    html += board_table("All time", "all", all, with_site);
    if (with_site) html += "<p><a href=\"/play/\">Play in the browser</a></p>\n";
    return html + "</body>\n</html>\n";
}
