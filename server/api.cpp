// The leaderboard's API: routing, the submission of a run (flown again before it is
// ranked), the boards, the replays and /api/info. The HTML page is page.cpp's, the browser
// build's files site.cpp's.
#include "server/api.h"

#include <arpa/inet.h>

#include <chrono>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <nlohmann/json.hpp>

#include "replay/flight.h"
#include "replay/replay_file.h"
#include "server/boards.h"
#include "server/digest.h"
#include "server/page.h"
#include "server/site.h"
#include "ui/font.h"

namespace {

using nlohmann::json;

constexpr int64_t DAY_SECONDS = 86400;

std::string dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

ApiReply json_reply(int status, const json& value) {
    ApiReply reply;
    reply.status = status;
    reply.body = dump(value);
    return reply;
}

ApiReply method_not_allowed(const char* allowed) {
    ApiReply reply = error_reply(405, std::string("method not allowed here; allowed: ") + allowed);
    reply.headers.emplace_back("Allow", allowed);
    return reply;
}

bool is_read(const ApiRequest& request) { return request.method == "GET" || request.method == "HEAD"; }

// Whether every character of the name has a glyph in the game's font (letters of either
// case: the font draws them as capitals) and it fits the name entry's field.
bool name_fits_font(const std::string& name, std::string& why) {
    if (name.size() > REPLAY_MAX_NAME) {
        why = "the name is longer than " + std::to_string(REPLAY_MAX_NAME) + " characters";
        return false;
    }
    for (char c : name) {
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper == '\0' || std::strchr(GAME_CHARSET, upper) == nullptr) {
            why = "the name holds a character the game's font cannot draw";
            return false;
        }
    }
    return true;
}

// Whether a run on the daily cave of `date` belongs on a board now: the date is today's or
// yesterday's (UTC), so that a run begun before midnight still counts.
bool daily_date_open(uint32_t date, int64_t now_seconds, std::string& why) {
    if (date > utc_date(now_seconds)) {
        why = "a daily run for a date in the future (" + board_name(date) + ")";
        return false;
    }
    if (date < utc_date(now_seconds - DAY_SECONDS)) {
        why = "a daily run for a date more than a day in the past (" + board_name(date) + ")";
        return false;
    }
    return true;
}

// The answer to a stored run: its board (the most specific) and ranks.
json placed_run(RunStore& store, int64_t id, const ReplayRecord& record) {
    const uint32_t date = record.daily ? record.daily_date : 0;
    const int all_rank = store.rank_of(id, 0);
    return {{"id", id},
            {"level", record.level},
            {"frames", record.frames},
            {"board", board_name(date)},
            {"rank", date != 0 ? store.rank_of(id, date) : all_rank},
            {"all_rank", all_rank}};
}

// The game's flight code keeps its state in globals: one check at a time per process, in
// the order the runs came (a plain mutex lets one request lose the race again and again,
// and the slowest answers wait many times longer than the rest).
class FlightQueue {
public:
    void lock() {
        std::unique_lock<std::mutex> guard(mutex_);
        const uint64_t ticket = next_++;
        turn_.wait(guard, [&] { return serving_ == ticket; });
    }
    void unlock() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    uint64_t next_ = 0, serving_ = 0;
};

FlightQueue& flight_queue() {
    static FlightQueue queue;
    return queue;
}

// Whom the rate limit counts: an IPv4 address, or an IPv6 address's /64 network (one
// household or host usually holds a whole /64 and could change addresses within it).
std::string rate_limited_party(const std::string& address) {
    in6_addr v6{};
    if (address.rfind("::ffff:", 0) == 0 || inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
    std::memset(v6.s6_addr + 8, 0, 8);
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(AF_INET6, &v6, text, sizeof text);
    return std::string(text) + "/64";
}

ApiReply submit_run(const ApiRequest& request, const ServerSettings& settings) {
    RunStore& store = *settings.store;
    const int64_t now_ms = settings.now_ms();
    if (settings.runs_per_minute > 0 &&
        store.note_request(rate_limited_party(request.address), now_ms, RATE_WINDOW_MS) > settings.runs_per_minute) {
        ApiReply reply = error_reply(429, "too many runs from this address; try again in a minute");
        reply.headers.emplace_back("Retry-After", "60");
        return reply;
    }
    if (request.body.size() > MAX_REPLAY_BYTES) {
        return error_reply(413, "a replay is at most " + std::to_string(MAX_REPLAY_BYTES) + " bytes");
    }
    ReplayRecord record;
    std::string why;
    if (!decode_replay(request.body, record, why)) return error_reply(400, "not a replay: " + why);
    if (!name_fits_font(record.name, why)) return error_reply(422, why);
    const int64_t now_seconds = now_ms / 1000;
    if (record.time < 0 || record.time > now_seconds + DAY_SECONDS) {
        return error_reply(422, "the run's time is not a time this run could have ended");
    }
    if (record.daily && !daily_date_open(record.daily_date, now_seconds, why)) return error_reply(422, why);
    ReplayVerdict verdict;
    {
        std::lock_guard<FlightQueue> lock(flight_queue());
        verdict = verify_replay(reinterpret_cast<const uint8_t*>(request.body.data()), request.body.size());
    }
    if (!verdict.agrees) return error_reply(422, "the run does not verify: " + verdict.why);

    NewRun run;
    run.digest = sha256_hex(request.body);
    run.replay = request.body;
    run.name = record.name;
    run.level = record.level;
    run.frames = record.frames;
    run.daily_date = record.daily ? record.daily_date : 0;
    run.run_time = record.time;
    run.arrived_ms = now_ms;
    const RunStore::Added added = store.add_run(run);
    return json_reply(added.duplicate ? 200 : 201, placed_run(store, added.id, record));
}

// The value of ?limit=: DEFAULT_BOARD_LIMIT when absent, else a whole number 1..100.
bool board_limit(const ApiRequest& request, int& limit) {
    limit = DEFAULT_BOARD_LIMIT;
    const auto [first, last] = request.query.equal_range("limit");
    if (first == last) return true;
    if (std::next(first) != last) return false;
    const std::string& text = first->second;
    if (text.empty() || text.size() > 3) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    limit = std::stoi(text);
    return limit >= 1 && limit <= MAX_BOARD_LIMIT;
}

ApiReply show_board(const ApiRequest& request, const ServerSettings& settings, const std::string& name) {
    uint32_t date = 0;
    if (!parse_board_name(name, date)) return error_reply(404, "no such board: boards are all and daily-YYYY-MM-DD");
    int limit = 0;
    if (!board_limit(request, limit)) return error_reply(400, "limit must be a whole number from 1 to 100");
    json runs = json::array();
    for (const BoardRow& row : settings.store->top(date, limit)) {
        runs.push_back({{"rank", row.rank},
                        {"name", row.name},
                        {"level", row.level},
                        {"frames", row.frames},
                        {"date", run_date(row.run_time)},
                        {"id", row.id}});
    }
    return json_reply(200, {{"board", board_name(date)}, {"runs", runs}});
}

// "N" of "/api/runs/N/replay": a positive decimal without leading zeros, at most 18 digits.
bool parse_run_id(const std::string& text, int64_t& id) {
    if (text.empty() || text.size() > 18 || text[0] == '0') return false;
    id = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        id = id * 10 + (c - '0');
    }
    return true;
}

ApiReply send_replay(const ServerSettings& settings, const std::string& id_text) {
    int64_t id = 0;
    if (!parse_run_id(id_text, id)) return error_reply(404, "no such run");
    std::optional<std::string> bytes = settings.store->replay(id);
    if (!bytes) return error_reply(404, "no such run");
    ApiReply reply;
    reply.content_type = "application/octet-stream";
    reply.body = std::move(*bytes);
    reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"murkwing-run-" + id_text + ".mwr\"");
    return reply;
}

ApiReply route_api(const ApiRequest& request, const ServerSettings& settings, const std::string& path) {
    if (path == "/api/runs") return request.method == "POST" ? submit_run(request, settings) : method_not_allowed("POST");
    if (path == "/api/info") {
        if (!is_read(request)) return method_not_allowed("GET, HEAD");
        return json_reply(200, {{"server", SERVER_NAME}, {"version", settings.version}, {"rules", REPLAY_RULES}});
    }
    const std::string boards = "/api/boards/";
    if (path.compare(0, boards.size(), boards) == 0) {
        if (!is_read(request)) return method_not_allowed("GET, HEAD");
        return show_board(request, settings, path.substr(boards.size()));
    }
    const std::string runs = "/api/runs/", replay = "/replay";
    if (path.size() > runs.size() + replay.size() && path.compare(0, runs.size(), runs) == 0 &&
        path.compare(path.size() - replay.size(), replay.size(), replay) == 0) {
        if (!is_read(request)) return method_not_allowed("GET, HEAD");
        return send_replay(settings, path.substr(runs.size(), path.size() - runs.size() - replay.size()));
    }
    return error_reply(404, "no such resource");
}

ApiReply route(const ApiRequest& request, const ServerSettings& settings) {
    const std::string& path = request.path;
    if (path.compare(0, 5, "/api/") == 0) return route_api(request, settings, path);
    // The browser build calls api/... relative to its page under /play/.
    if (path.compare(0, 10, "/play/api/") == 0) return route_api(request, settings, path.substr(5));
    if (path == "/") {
        if (!is_read(request)) return method_not_allowed("GET, HEAD");
        const uint32_t today = utc_date(settings.now_ms() / 1000);
        ApiReply reply;
        reply.content_type = "text/html; charset=utf-8";
        reply.body = render_page(settings.store->top(today, DEFAULT_BOARD_LIMIT), today,
                                 settings.store->top(0, DEFAULT_BOARD_LIMIT), !settings.site_dir.empty());
        reply.headers.emplace_back("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
        return reply;
    }
    if (path == "/play" || path.compare(0, 6, "/play/") == 0) {
        if (settings.site_dir.empty()) return error_reply(404, "this server serves no browser build");
        if (!is_read(request)) return method_not_allowed("GET, HEAD");
        if (path == "/play") {
            ApiReply reply = error_reply(301, "moved to /play/");
            reply.headers.emplace_back("Location", "/play/");
            return reply;
        }
        return serve_site_file(settings.site_dir, path.substr(6));
    }
    return error_reply(404, "no such resource");
}

}  // namespace

ApiReply error_reply(int status, const std::string& message) { return json_reply(status, {{"error", message}}); }

ApiReply handle_request(const ApiRequest& request, const ServerSettings& settings) {
    try {
        return route(request, settings);
    } catch (const std::exception& e) {
        // The database's own words stay in the log: they may name files and tables.
        std::fprintf(stderr, "%s: %s %s failed: %s\n", SERVER_NAME, request.method.c_str(),
                     printable(request.path).c_str(), e.what());
        return error_reply(503, "the leaderboard cannot answer now; try again later");
    }
}

int64_t system_now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
