// cpp-httplib glue: each connection read through a stream of our own that bounds every
// request in bytes and in time, limits before the body is read (its size, no compressed
// bodies), the body read with a cap of its own, the request handed to handle_request,
// errors as JSON, one log line per request, and a clean stop on SIGTERM or SIGINT.
#include "server/http.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "server/boards.h"

namespace {

using Clock = std::chrono::steady_clock;

// What one request may take: its line and headers, and the largest body.
constexpr size_t MAX_HEAD_BYTES = 32768;
constexpr size_t MAX_REQUEST_BYTES = MAX_HEAD_BYTES + MAX_REPLAY_BYTES;
constexpr int REQUESTS_PER_CONNECTION = 20;
constexpr std::chrono::seconds MAX_ANSWER_TIME{120};  // the browser build's files take the longest

// A client's connection. Reads are buffered (the request parser reads its lines byte by
// byte) and bounded per request: at most MAX_REQUEST_BYTES, all within the request's
// deadline, and no read waits longer than the read timeout. So a client that sends an
// endless head, or trickles its bytes, is cut off; the server's own limits (the header
// line length, the body's) come on top.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int sock, int timeout_seconds) : sock_(sock), timeout_ms_(timeout_seconds * 1000) {}

    // Starts the budget of the next request.
    void begin_request(Clock::duration allowed) {
        deadline_ = Clock::now() + allowed;
        budget_ = MAX_REQUEST_BYTES;
    }
    // Whether a request's first byte arrives within `wait_ms` (or is in the buffer).
    bool wait_for_request(int wait_ms) const { return buffered() > 0 || poll_for(POLLIN, wait_ms); }

    bool is_readable() const override { return buffered() > 0 || poll_for(POLLIN, read_wait_ms()); }
    bool is_writable() const override { return poll_for(POLLOUT, timeout_ms_); }

    ssize_t read(char* ptr, size_t size) override {
        if (buffered() == 0) {
            if (budget_ == 0 || !poll_for(POLLIN, read_wait_ms())) return -1;
            const ssize_t n = recv(sock_, buffer_, std::min(sizeof buffer_, budget_), 0);
            if (n <= 0) return -1;
            start_ = 0, end_ = static_cast<size_t>(n);
            budget_ -= static_cast<size_t>(n);
        }
        const size_t n = std::min(size, buffered());
        std::memcpy(ptr, buffer_ + start_, n);
        start_ += n;
        return static_cast<ssize_t>(n);
    }
    // Each write waits at most the timeout, and an answer must be taken within
    // MAX_ANSWER_TIME of its request's deadline, so that a reader too slow is cut off too.
    ssize_t write(const char* ptr, size_t size) override {
        if (Clock::now() > deadline_ + MAX_ANSWER_TIME || !is_writable()) return -1;
        return send(sock_, ptr, size, MSG_NOSIGNAL);
    }
    // Reads and drops what the client still sends: up to MAX_REQUEST_BYTES, for a second
    // at most.
    void drain() {
        char scrap[4096];
        const auto end = Clock::now() + std::chrono::seconds(1);
        for (size_t dropped = 0; dropped < MAX_REQUEST_BYTES && Clock::now() < end;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (!poll_for(POLLIN, static_cast<int>(left))) break;
            const ssize_t n = recv(sock_, scrap, sizeof scrap, 0);
            if (n <= 0) break;
            dropped += static_cast<size_t>(n);
        }
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(getsockname, ip, port); }
    socket_t socket() const override { return sock_; }

private:
    size_t buffered() const { return end_ - start_; }
    // The read timeout, shortened to what is left before the request's deadline.
    int read_wait_ms() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
        return static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left, timeout_ms_)));
    }
    bool poll_for(short events, int wait_ms) const {
        pollfd p{sock_, events, 0};
        return poll(&p, 1, wait_ms) > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
    }
    void address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
        sockaddr_storage a{};
        socklen_t size = sizeof a;
        char text[INET6_ADDRSTRLEN] = "";
        port = -1;
        if (get(sock_, reinterpret_cast<sockaddr*>(&a), &size) != 0) return;
        if (a.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
            inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (a.ss_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    int sock_;
    int timeout_ms_;
    Clock::time_point deadline_ = Clock::now();
    size_t budget_ = 0;
    char buffer_[4096];
    size_t start_ = 0, end_ = 0;
};

// The status of the last answer written by this thread (log_request notes it).
thread_local int last_status = 0;

// httplib's server with each connection served through a ConnectionStream. (The accept
// loop calls process_and_close_socket for every connection; request parsing and routing
// stay httplib's.)
class GuardedServer : public httplib::Server {
public:
    explicit GuardedServer(int timeout_seconds) : timeout_seconds_(timeout_seconds) {}

private:
    bool process_and_close_socket(socket_t sock) override {
        // The head and the body of an answer are written apart: without this, the body waits
        // for the client's delayed acknowledgement of the head (40 ms on Linux).
        const int on = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ConnectionStream stream(sock, timeout_seconds_);
        last_status = 0;
        for (int served = 0; served < REQUESTS_PER_CONNECTION; ++served) {
            // Between requests: wait for the next one in short steps, so that a stop is seen.
            bool ready = false;
            for (int waited = 0; !ready && waited < timeout_seconds_ * 1000 && running(); waited += 100) {
                ready = stream.wait_for_request(100);
            }
            if (!ready) break;
            stream.begin_request(std::chrono::seconds(2 * timeout_seconds_));
            bool closed = false;
            last_status = 0;
            const bool answered =
                process_request(stream, served + 1 == REQUESTS_PER_CONNECTION || !running(), closed, nullptr);
            // After a refusal the rest of what the client sent is not read as more requests.
            if (!answered || closed || last_status >= 400) break;
        }
        // A close with unread bytes resets the connection, and the client may lose the answer
        // still in flight (a 413 to a client still sending): after a refusal, first end our
        // side and let the client's bytes drain, a little while at most.
        shutdown(sock, SHUT_WR);
        if (last_status >= 400) stream.drain();
        close(sock);
        return true;
    }

    bool running() const { return svr_sock_ != INVALID_SOCKET; }  // stop() closes the listening socket

    int timeout_seconds_;
};

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

ApiReply too_large() { return error_reply(413, "a body is at most " + std::to_string(MAX_REPLAY_BYTES) + " bytes"); }

// Before the body is read: a declared body over the limit, or a compressed one (which
// would grow past the limit only after it was read), is refused at once.
httplib::Server::HandlerResponse check_before_body(const httplib::Request& req, httplib::Response& res) {
    const std::string encoding = req.get_header_value("Content-Encoding");
    if (!encoding.empty() && encoding != "identity") {
        write_reply(error_reply(415, "compressed bodies are not accepted"), res);
        return httplib::Server::HandlerResponse::Handled;
    }
    if (req.has_header("Content-Length") && req.get_header_value<uint64_t>("Content-Length") > MAX_REPLAY_BYTES) {
        write_reply(too_large(), res);
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void log_request(const httplib::Request& req, const httplib::Response& res) {
    last_status = res.status;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::fprintf(stderr, "%s %s %s %s %d %zu\n", when, req.remote_addr.empty() ? "-" : printable(req.remote_addr).c_str(),
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
            // A signal that came before the server ran stops it once it runs (stop() does
            // nothing before).
            while (!finished_ && !server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
    GuardedServer server(options.timeout_seconds);
    server.new_task_queue = [threads = options.threads] { return new httplib::ThreadPool(threads); };
    server.set_read_timeout(options.timeout_seconds, 0);
    server.set_write_timeout(options.timeout_seconds, 0);
    server.set_payload_max_length(MAX_REPLAY_BYTES);
    server.set_pre_routing_handler(check_before_body);
    // Only for the Keep-Alive header: ConnectionStream's loop keeps these limits.
    server.set_keep_alive_max_count(REQUESTS_PER_CONNECTION);
    server.set_keep_alive_timeout(options.timeout_seconds);
    server.set_logger(log_request);
    // Every answer of 400 or more: a JSON body when it has none, and the client told that
    // the connection closes after it (process_and_close_socket closes it).
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) write_reply(error_reply(res.status, status_text(res.status)), res);
        if (!res.has_header("Connection")) res.set_header("Connection", "close");
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
        if (over) return write_reply(too_large(), res);
        if (!read_whole) return write_reply(error_reply(400, "the body could not be read (it needs a Content-Length)"), res);
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
