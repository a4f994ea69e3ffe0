// The leaderboard on HTTP (cpp-httplib): each request is read with its limits and timeouts,
// answered by handle_request and logged in one line on standard error.
#pragma once

#include <string>

#include "server/api.h"

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8080;            // 0: any free port
    int timeout_seconds = 5;    // for each read and each write on a connection, and between
                                // requests; a whole request must arrive within twice this
    int threads = 64;           // connections served at once (each holds one while it is open)
};

// Binds, prints "listening on http://HOST:PORT" on standard error once connections are
// accepted, and serves until SIGTERM or SIGINT. Returns the process's exit status: 0 after
// a signal, 1 (with a line on standard error) when the address cannot be bound.
int serve_http(const HttpOptions& options, const ServerSettings& settings);
