// cpp-httplib glue: limits before the body is read (its size, no compressed bodies), the
// body read with a cap of its own, the request handed to handle_request, errors as JSON,
// one log line per request, and a clean stop on SIGTERM or SIGINT.
#include "server/http.h"

#include <httplib.h>
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include "server/boards.h"

namespace {

const char* status_text(int status) {
    switch (status) {
        case 400: return "bad request";
        case 404: return "not found";
        case 405: return "method not allowed";
        case 408: return "request timeout";
        case 413: return "request too large";
        case 414: return "request target too long";
        case 415: return "unsupported content encoding";
        case 431: return "request headers too large";
        case 503: return "service unavailable";
        default: return status >= 500 ? "server error" : "request refused";
    }
}

void write_reply(const ApiReply& reply, httplib::Response& res) {
    res.status = reply.status;
    for (const auto& [name, value] : reply.headers) res.set_header(name, value);
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(reply.body, reply.content_type);
}

ApiRequest api_request(const httplib::Request& req, std::string body) {
    ApiRequest request;
    request.method = req.method;
    request.path = req.path;
    request.query = req.params;
    request.body = std::move(body);
    request.address = req.remote_addr;
    return request;
}

// Before the body is read: a declared body over the limit, or a compressed one (which
// would grow past the limit only after it was read), is refused at once.
httplib::Server::HandlerResponse check_before_body(const httplib::Request& req, httplib::Response& res) {
    const std::string encoding = req.get_header_value("Content-Encoding");
    if (!encoding.empty() && encoding != "identity") {
        write_reply(error_reply(415, "compressed bodies are not accepted"), res);
        res.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    }
    if (req.has_header("Content-Length") && req.get_header_value<uint64_t>("Content-Length") > MAX_REPLAY_BYTES) {
        write_reply(error_reply(413, "a body is at most " + std::to_string(MAX_REPLAY_BYTES) + " bytes"), res);
        res.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void log_request(const httplib::Request& req, const httplib::Response& res) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::fprintf(stderr, "%s %s %s %s %d %zu\n", when, printable(req.remote_addr).c_str(),
                 printable(req.method).c_str(), printable(req.path).c_str(), res.status, res.body.size());
}

// Stops the server on SIGTERM or SIGINT. The signals are blocked in every thread (the
// server's workers are started after this), and this thread waits for them.
class SignalStop {
public:
    explicit SignalStop(httplib::Server& server) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGTERM);
        sigaddset(&signals_, SIGINT);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        thread_ = std::thread([this, &server] {
            int received = 0;
            sigwait(&signals_, &received);
            if (!finished_) server.stop();
        });
    }
    // Ends the waiting thread when the server stopped for another reason.
    ~SignalStop() {
        finished_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }

private:
    sigset_t signals_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace

int serve_http(const HttpOptions& options, const ServerSettings& settings) {
    httplib::Server server;
    server.new_task_queue = [threads = options.threads] { return new httplib::ThreadPool(threads); };
    server.set_read_timeout(options.timeout_seconds, 0);
    server.set_write_timeout(options.timeout_seconds, 0);
    server.set_keep_alive_timeout(options.timeout_seconds);
    server.set_payload_max_length(MAX_REPLAY_BYTES);
    server.set_pre_routing_handler(check_before_body);
    server.set_logger(log_request);
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) write_reply(error_reply(res.status, status_text(res.status)), res);
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        write_reply(error_reply(500, status_text(500)), res);
    });

    const auto answer = [&settings](const httplib::Request& req, httplib::Response& res) {
        write_reply(handle_request(api_request(req, req.body), settings), res);
    };
    // A POST's body is read here with a cap of its own, which also bounds a chunked one.
    const auto answer_post = [&settings](const httplib::Request& req, httplib::Response& res,
                                         const httplib::ContentReader& read) {
        std::string body;
        bool over = false;
        const bool read_whole = read([&body, &over](const char* data, size_t size) {
            over = body.size() + size > MAX_REPLAY_BYTES;
            if (!over) body.append(data, size);
            return !over;
        });
        if (over) return write_reply(error_reply(413, "a body is at most " + std::to_string(MAX_REPLAY_BYTES) + " bytes"), res);
        if (!read_whole) return write_reply(error_reply(400, "the body could not be read"), res);
        write_reply(handle_request(api_request(req, std::move(body)), settings), res);
    };
    server.Get(".*", answer);
    server.Post(".*", answer_post);
    server.Put(".*", answer);
    server.Patch(".*", answer);
    server.Delete(".*", answer);
    server.Options(".*", answer);

    SignalStop signal_stop(server);
    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
    } else if (!server.bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "%s: cannot listen on %s:%d\n", SERVER_NAME, options.host.c_str(), options.port);
        return 1;
    }
    const bool v6 = options.host.find(':') != std::string::npos;
    std::fprintf(stderr, "listening on http://%s%s%s:%d\n", v6 ? "[" : "", options.host.c_str(), v6 ? "]" : "", port);
    std::fflush(stderr);
    server.listen_after_bind();
    return 0;
}
