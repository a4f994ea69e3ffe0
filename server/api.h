// The leaderboard's requests and answers as plain values: the HTTP glue (http.cpp) turns
// each request into an ApiRequest and writes the ApiReply back, so that the tests and the
// fuzzer call handle_request without a socket. Nothing is kept between requests but what
// the store keeps: any number of server processes can share one database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "server/store.h"

constexpr size_t MAX_REPLAY_BYTES = 16384;     // a body over this is refused with 413
constexpr int DEFAULT_BOARD_LIMIT = 20;        // runs a board answer holds without ?limit=
constexpr int MAX_BOARD_LIMIT = 100;
constexpr int64_t RATE_WINDOW_MS = 60000;      // the rate limit counts POSTs in this window
constexpr int DEFAULT_RUNS_PER_MINUTE = 10;
constexpr const char* SERVER_NAME = "murkwingdiver-server";

struct ApiRequest {
    std::string method;    // "GET", "HEAD", "POST", ...
    std::string path;      // percent-decoded, without the query
    std::multimap<std::string, std::string> query;  // decoded parameters
    std::string body;
    std::string address;   // the client's IP address, for the rate limit
};

struct ApiReply {
    int status = 200;
    std::string content_type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond the content type
};

// What a server process knows besides the store: set once at start-up, read by every
// request (from several threads at once).
struct ServerSettings {
    RunStore* store = nullptr;
    std::string site_dir;                  // the browser build served under /play/; empty: none
    std::function<int64_t()> now_ms;       // the UTC clock, milliseconds since 1970
    int runs_per_minute = DEFAULT_RUNS_PER_MINUTE;  // per address; 0: no limit
    std::string version;                   // the server's version, for /api/info
};

// Answers one request. Never throws: a failing store gives 503.
ApiReply handle_request(const ApiRequest& request, const ServerSettings& settings);

// The reply {"error": message} with `status`.
ApiReply error_reply(int status, const std::string& message);

// The system's UTC clock in milliseconds since 1970.
int64_t system_now_ms();
