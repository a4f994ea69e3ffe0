// Hostile requests to the real murkwingdiver-server on 127.0.0.1, over raw sockets: each
// is refused with its status (or cut off), nothing outside the site is ever served, the
// server answers on after all of them and stops cleanly on SIGTERM.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "replay/replay_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Sends `request` to 127.0.0.1:port (a trickle: one byte every 300 ms until the server
// answers or closes) and returns all the server sent until it closed the connection.
std::string talk(int port, const std::string& request, bool trickle = false) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    pollfd wait{s, POLLIN, 0};
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        for (size_t sent = 0; sent < request.size();) {
            const ssize_t n = send(s, request.data() + sent, trickle ? 1 : request.size() - sent, MSG_NOSIGNAL);
            if (n <= 0 || (trickle && poll(&wait, 1, 300) != 0)) break;  // cut off
            sent += static_cast<size_t>(n);
        }
        char buffer[4096];
        for (const auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
            if (poll(&wait, 1, 100) <= 0) continue;
            const ssize_t n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    close(s);
    return answer;
}

// The server program on a free port, its log in a temporary folder.
struct ServerProcess {
    fs::path dir = fs::temp_directory_path() / ("murkwing-server-" + std::to_string(getpid()));
    pid_t pid = -1;
    int port = 0;

    ServerProcess() {
        fs::remove_all(dir);
        fs::create_directories(dir / "site");
        std::ofstream(dir / "site/index.html") << "<!DOCTYPE html><title>game</title>";
        std::ofstream(dir / "site/murkwingdiver.wasm") << "wasm";
        std::ofstream(dir / "secret.txt") << "outside the site";
        const std::string log = (dir / "server.log").string(), data = (dir / "data").string(), site = (dir / "site").string();
        const char* argv[] = {SERVER_PROGRAM, "--listen", "127.0.0.1:0", "--data", data.c_str(), "--site", site.c_str(),
                              "--rate-limit", "2", "--timeout", "2", nullptr};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(posix_spawn(&pid, SERVER_PROGRAM, &files, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        for (const auto end = Clock::now() + std::chrono::seconds(30); port == 0 && Clock::now() < end;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling the log, not a wait
            std::sscanf(this->log().c_str(), "listening on http://127.0.0.1:%d", &port);
        }
    }
    std::string log() const {
        std::ifstream in(dir / "server.log");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // SIGTERM, then the exit status (-1 if it did not exit normally).
    int stop() {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~ServerProcess() {
        if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        fs::remove_all(dir);
    }
};

std::string post(const std::string& headers, const std::string& body) {
    return "POST /api/runs HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: t\r\nConnection: close\r\n" + headers + "\r\n";
}

TEST(ServerHttp, HostileRequestsAreRefusedAndTheServerAnswersOn) {
    ServerProcess server;
    ASSERT_GT(server.port, 0) << server.log();
    ReplayRecord marked;
    marked.frames = 1;
    marked.climb = {false};
    marked.name = "<b>X</b>";
    std::string chunked_20k = "POST /api/runs HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    for (int i = 0; i < 20; ++i) chunked_20k += "400\r\n" + std::string(1024, 'x') + "\r\n";
    chunked_20k += "0\r\n\r\n";

    struct Row {
        const char* what;
        std::string request;
        const char* status;   // the answer's first line starts with this; "" for no answer
        const char* content;  // and its content type or body holds this
        bool trickle = false;
    };
    const Row rows[] = {
        {"wrong method on runs", "DELETE /api/runs HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n", "HTTP/1.1 405", "Allow: POST"},
        {"wrong method on a board", "PUT /api/boards/all HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", "HTTP/1.1 405", "error"},
        {"unknown method", "BREW / HTTP/1.1\r\nHost: t\r\n\r\n", "HTTP/1.1 400", ""},
        {"not HTTP", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03garbage\r\n\r\n", "", ""},
        {"huge header", get("/", "X-Big: " + std::string(100000, 'a') + "\r\n"), "HTTP/1.1 4", ""},
        {"many headers", get("/", [] { std::string h; for (int i = 0; i < 5000; ++i) h += "X-" + std::to_string(i) + ": 1\r\n"; return h; }()), "", ""},
        {"huge target", get("/api/boards/all?limit=" + std::string(100000, '9')), "", ""},
        {"slow sender, silent after a header", "GET / HTTP/1.1\r\nHost: t\r\n", "", ""},
        {"slow sender, a byte at a time", "GET / HTTP/1.1\r\nX-Slow: " + std::string(1000, 'a'), "", "", true},
        {"JSON instead of a replay", post("Content-Type: application/json\r\n", "{\"level\": 99999}"), "HTTP/1.1 400", "not a replay"},
        {"markup in the name", post("", encode_replay(marked)), "HTTP/1.1 422", "font"},
        {"declared body over 16 KB", post("", std::string(20000, 'x')), "HTTP/1.1 413", "error"},
        {"chunked body over 16 KB", chunked_20k, "HTTP/1.1 413", "error"},
        {"compressed body", post("Content-Encoding: gzip\r\n", "\x1f\x8b"), "HTTP/1.1 415", "error"},
        {"limit not a number", get("/api/boards/all?limit=ten"), "HTTP/1.1 400", "limit"},
        {"limit over-long", get("/api/boards/all?limit=99999999999999999999"), "HTTP/1.1 400", "limit"},
        {"limit zero", get("/api/boards/all?limit=0"), "HTTP/1.1 400", "limit"},
        {"limit given twice", get("/api/boards/all?limit=5&limit=6"), "HTTP/1.1 400", "limit"},
        {"impossible date", get("/api/boards/daily-2026-02-30"), "HTTP/1.1 404", "no such board"},
        {"board path trick", get("/api/boards/../../etc/passwd"), "HTTP/1.1 404", "error"},
        {"site path trick", get("/play/../../etc/passwd"), "HTTP/1.1 404", "error"},
        {"site encoded dots", get("/play/%2e%2e/%2e%2e/%2e%2e/etc/passwd"), "HTTP/1.1 404", "error"},
        {"site encoded slash", get("/play/..%2fsecret.txt"), "HTTP/1.1 404", "error"},
        {"site hidden file", get("/play/.%2e/secret.txt"), "HTTP/1.1 404", "error"},
        {"site NUL", get("/play/index.html%00.png"), "HTTP/1.1 404", "error"},
        {"run id not a number", get("/api/runs/1%20OR%201=1/replay"), "HTTP/1.1 404", "no such run"},
        {"run id over-long", get("/api/runs/99999999999999999999999/replay"), "HTTP/1.1 404", "no such run"},
        {"site index", get("/play/"), "HTTP/1.1 200", "text/html"},
        {"site wasm", get("/play/murkwingdiver.wasm"), "HTTP/1.1 200", "application/wasm"},
        {"api under the site", get("/play/api/info"), "HTTP/1.1 200", "murkwing-rules-1"},
        {"a third run within the minute", post("", "x"), "HTTP/1.1 429", "Retry-After: 60"},
    };
    for (const Row& row : rows) {
        const auto start = Clock::now();
        const std::string answer = talk(server.port, row.request, row.trickle);
        EXPECT_EQ(answer.substr(0, std::string(row.status).size()), row.status) << row.what << ":\n" << answer.substr(0, 300);
        EXPECT_NE(answer.find(row.content), std::string::npos) << row.what << ":\n" << answer.substr(0, 300);
        EXPECT_EQ(answer.find("root:"), std::string::npos) << row.what;
        EXPECT_EQ(answer.find("outside the site"), std::string::npos) << row.what;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(25)) << row.what << " was not cut off";
    }
    EXPECT_NE(talk(server.port, get("/api/info")).find("HTTP/1.1 200"), std::string::npos);
    EXPECT_EQ(server.stop(), 0);
    // One line per request answered; none broken by what the requests held.
    std::istringstream log(server.log());
    int lines = 0;
    for (std::string line; std::getline(log, line);) lines += line.find(" /api/boards/all ") != std::string::npos;
    EXPECT_EQ(lines, 5) << server.log();
}

}  // namespace
