// The desktop's sender: one background thread that goes through the queue folder, oldest
// run first, and posts each replay to the server with cpp-httplib's client. The game's
// thread only writes the run into the queue and wakes the sender.
#include <httplib.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "leaderboard/leaderboard.h"
#include "leaderboard/queue.h"

namespace fs = std::filesystem;

namespace {

// Seconds the sender waits for a connection, and for each read or write on it.
constexpr time_t CONNECT_SECONDS = 5;
constexpr time_t TRANSFER_SECONDS = 10;
// How long the game's end waits for a sending in progress before cutting it off.
constexpr auto FINISH_GRACE = std::chrono::seconds(3);

// "http://host:port" for the client and the path before "/api/..." (empty or "/x/y").
struct Address {
    std::string origin;
    std::string base;
};

bool parse_address(const std::string& url, Address& address, std::string& error) {
    error = "the leaderboard's address must be http://HOST[:PORT][/PATH] or https://..., not '" + url + "'";
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return false;
    const std::string scheme = url.substr(0, colon);
    if (scheme != "http" && scheme != "https") return false;
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
    if (scheme == "https") {
        error = "this build of the game sends to http:// leaderboards only, not '" + url + "'";
        return false;
    }
#endif
    const size_t host_start = colon + 3;
    const size_t slash = url.find('/', host_start);
    const std::string authority = url.substr(host_start, slash == std::string::npos ? std::string::npos
                                                                                     : slash - host_start);
    std::string host = authority;
    const size_t port_colon = authority.rfind(':');
    if (port_colon != std::string::npos && authority.find(']', port_colon) == std::string::npos) {
        const std::string port = authority.substr(port_colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535) {
            return false;
        }
        host = authority.substr(0, port_colon);
    }
    if (host.empty() || host.find_first_of(" \t\r\n@?#") != std::string::npos) return false;
    std::string base = slash == std::string::npos ? std::string() : url.substr(slash);
    if (base.find_first_of(" \t\r\n?#") != std::string::npos) return false;
    while (!base.empty() && base.back() == '/') base.pop_back();
    address = Address{scheme + "://" + authority, base};
    error.clear();
    return true;
}

// One run to send: its file in the queue, or only its bytes when it could not be queued.
struct Item {
    fs::path file;
    std::string bytes;
};

struct Sender {
    LeaderboardOptions options;
    Address address;
    std::mutex mutex;
    std::condition_variable changed;
    bool wanted = true;          // a pass over the queue is asked for
    bool finishing = false;      // the game is ending: one last pass if one is wanted
    bool ended = false;          // the thread is done
    std::atomic<bool> stopping{false};  // cut off: leave the rest of the pass
    httplib::Client* client = nullptr;  // the one sending now, so that it can be cut off
    std::vector<Item> unqueued;  // runs that could not be written into the queue
    std::thread thread;

    void report(const std::string& line) {
        if (options.report) {
            options.report(line);
        } else {
            std::fprintf(stderr, "murkwingdiver: leaderboard: %s\n", line.c_str());
        }
    }

    std::vector<Item> collect() {
        std::vector<Item> items;
        for (fs::path& file : queued_runs(options.queue_folder)) items.push_back({std::move(file), {}});
        std::lock_guard<std::mutex> lock(mutex);
        for (Item& item : unqueued) items.push_back(std::move(item));
        unqueued.clear();
        return items;
    }

    // Sends one run; true when the server has answered for good (taken or refused).
    bool send(httplib::Client& http, const Item& item) {
        const httplib::Result result =
            http.Post((address.base + "/api/runs").c_str(), item.bytes, "application/octet-stream");
        const std::string what = item.file.empty() ? "run" : "run " + item.file.filename().string();
        std::string line;
        const bool done = result ? judge_answer(what, result->status, result->body, line)
                                 : judge_answer(what, 0,
                                                "no answer from " + address.origin + " (" +
                                                    httplib::to_string(result.error()) + ")",
                                                line);
        report(line);
        return done;
    }

    // Goes through the queue until it is empty or the server cannot take a run now.
    void pass() {
        std::vector<Item> items = collect();
        httplib::Client http(address.origin);
        http.set_connection_timeout(CONNECT_SECONDS);
        http.set_read_timeout(TRANSFER_SECONDS);
        http.set_write_timeout(TRANSFER_SECONDS);
        {
            std::lock_guard<std::mutex> lock(mutex);
            client = &http;
        }
        size_t done = 0;
        bool failed = false;
        for (; done < items.size() && !stopping; ++done) {
            Item& item = items[done];
            if (!item.file.empty()) {
                // A file that cannot be read (gone, or not ours to read) stays and is passed
                // over, so that it never holds up the runs behind it.
                std::ifstream in(item.file, std::ios::binary);
                if (!in) {
                    report("run " + item.file.filename().string() + " cannot be read; left in the queue");
                    continue;
                }
                item.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            if (!send(http, item)) {
                failed = true;
                break;
            }
            std::error_code ec;
            if (!items[done].file.empty()) fs::remove(items[done].file, ec);
        }
        std::lock_guard<std::mutex> lock(mutex);
        client = nullptr;
        // The runs left untried wait with the one that failed; those only in memory are
        // tried again at the next pass of this game.
        const size_t untried = items.size() - done - (failed ? 1 : 0);
        if (untried > 0) report(std::to_string(untried) + " more runs kept for a later start");
        for (size_t i = done; i < items.size(); ++i) {
            if (items[i].file.empty()) unqueued.push_back(std::move(items[i]));
        }
    }

    void run() {
        // A server that closes the connection while a run is written to it must cost the
        // write an error (EPIPE), not the game its life: cpp-httplib sends without
        // MSG_NOSIGNAL, so SIGPIPE is blocked in this thread.
        sigset_t pipe_signal;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return wanted || finishing; });
            if (!wanted || stopping) break;
            wanted = false;
            lock.unlock();
            pass();
            lock.lock();
        }
        ended = true;
        changed.notify_all();
    }
};

std::unique_ptr<Sender>& sender() {
    static std::unique_ptr<Sender> s;
    return s;
}

}  // namespace

bool start_leaderboard(const LeaderboardOptions& options, std::string& error) {
    finish_leaderboard();
    error.clear();
    if (options.url.empty()) return true;
    Address address;
    if (!parse_address(options.url, address, error)) return false;
    auto s = std::make_unique<Sender>();
    s->options = options;
    s->address = address;
    Sender* raw = s.get();
    s->thread = std::thread([raw] { raw->run(); });
    sender() = std::move(s);
    return true;
}

void submit_run(const std::string& replay) {
    Sender* s = sender().get();
    if (s == nullptr) return;
    std::string error;
    const bool queued = !queue_run(s->options.queue_folder, replay, error).empty();
    std::lock_guard<std::mutex> lock(s->mutex);
    if (!queued) {
        s->report("run not queued (" + error + "); sending it while the game runs");
        s->unqueued.push_back(Item{{}, replay});
    }
    s->wanted = true;
    s->changed.notify_all();
}

void finish_leaderboard() {
    std::unique_ptr<Sender> s = std::move(sender());
    if (!s) return;
    std::unique_lock<std::mutex> lock(s->mutex);
    s->finishing = true;
    s->changed.notify_all();
    if (!s->changed.wait_for(lock, FINISH_GRACE, [&s] { return s->ended; })) {
        s->stopping = true;
        if (s->client != nullptr) s->client->stop();
    }
    lock.unlock();
    s->thread.join();
    if (!s->unqueued.empty()) s->report(std::to_string(s->unqueued.size()) + " runs not sent and not queued are lost");
}
