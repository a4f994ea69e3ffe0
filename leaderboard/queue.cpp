// The queue's files and the rules for the server's answers, for both senders.
#include "leaderboard/queue.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "replay/keeping.h"

namespace fs = std::filesystem;

namespace {

// The fields of the server's JSON answer that the report names. The answer is the
// server's own, flat and small; a field missing or malformed is left at its default.
struct Reply {
    std::string board;
    std::string error;
    long level = -1;
    long rank = -1;
    long all_rank = -1;
};

// The text after "key": in a flat JSON object, up to the next comma or brace outside a
// string; a string's quotes and escapes are dropped, and only printable ASCII is kept.
std::string json_field(const std::string& body, const std::string& key) {
    const size_t at = body.find("\"" + key + "\"");
    if (at == std::string::npos) return {};
    size_t i = body.find_first_not_of(" \t\r\n", at + key.size() + 2);
    if (i == std::string::npos || body[i] != ':') return {};
    i = body.find_first_not_of(" \t\r\n", i + 1);
    std::string value;
    if (i != std::string::npos && body[i] == '"') {
        for (++i; i < body.size() && body[i] != '"' && value.size() < 200; ++i) {
            if (body[i] == '\\' && ++i >= body.size()) break;
            if (body[i] >= 32 && body[i] < 127) value += body[i];
        }
        return value;
    }
    for (; i < body.size() && body[i] != ',' && body[i] != '}' && value.size() < 20; ++i) value += body[i];
    return value;
}

long json_number(const std::string& body, const std::string& key) {
    const std::string text = json_field(body, key);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return -1;
    return std::stol(text);
}

Reply read_reply(const std::string& body) {
    return Reply{json_field(body, "board"), json_field(body, "error"), json_number(body, "level"),
                 json_number(body, "rank"), json_number(body, "all_rank")};
}

// "level 12, rank 3 on daily-2026-12-07, rank 40 on all".
std::string describe_entry(const Reply& reply) {
    std::string text = "level " + std::to_string(reply.level) + ", rank " + std::to_string(reply.rank) + " on " +
                       (reply.board.empty() ? "all" : reply.board);
    if (reply.board != "all" && reply.all_rank > 0) text += ", rank " + std::to_string(reply.all_rank) + " on all";
    return text;
}

// The queue file's name sorts by the time it was queued, and a hash of the bytes (FNV-1a,
// 64 bits) tells runs of the same second apart: YYYYMMDD-HHMMSS-HASH.mwr. (The replay's
// own CRC would not do: it ends the file, so the CRC over the whole file is a constant.)
std::string queue_name(const std::string& replay) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char stamp[32] = "run";
    if (gmtime_r(&now, &utc) != nullptr) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    uint64_t hash = 14695981039346656037ull;
    for (const char ch : replay) hash = (hash ^ static_cast<uint8_t>(ch)) * 1099511628211ull;
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(stamp) + "-" + text + ".mwr";
}

}  // namespace

fs::path queue_run(const fs::path& folder, const std::string& replay, std::string& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path file = folder / queue_name(replay);
    return write_atomically(file, replay, error) ? file : fs::path();
}

std::vector<fs::path> queued_runs(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".mwr" && entry.is_regular_file(ec)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool judge_answer(const std::string& what, int status, const std::string& body, std::string& line) {
    if (status == 0) {
        line = what + " kept for a later start: " + body;
        return false;
    }
    const Reply reply = read_reply(body);
    if (status == 200 || status == 201) {
        line = what + (status == 200 ? " was already there: " : " sent: ") + describe_entry(reply);
        return true;
    }
    const std::string answer = "HTTP " + std::to_string(status) + (reply.error.empty() ? "" : ": " + reply.error);
    const bool refused = status >= 400 && status < 500 && status != 429;
    line = what + (refused ? " refused, not sent again (" : " kept for a later start (") + answer + ")";
    return refused;
}
