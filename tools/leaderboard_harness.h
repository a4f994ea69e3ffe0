// What the leaderboard's load tests and benchmark drive: a PostgreSQL of their own in a
// temporary folder, server processes with the port each picked, and many clients sending
// runs at once. Everything started here is stopped by its destructor, and, should the
// driving process die first, by the kernel (the parent-death signal).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A PostgreSQL server of its own: initdb into a new folder under /tmp and the server on
// 127.0.0.1, on a free port, its socket in that folder. As root (where initdb refuses to
// run) both run as the user "nobody".
class TempPostgres {
public:
    TempPostgres() = default;
    TempPostgres(const TempPostgres&) = delete;
    TempPostgres& operator=(const TempPostgres&) = delete;
    ~TempPostgres() { stop(); }

    // Where PostgreSQL's programs are (the newest /usr/lib/postgresql/VERSION/bin, or the
    // folder MURKWING_POSTGRES_BIN names), or "" when it is not installed.
    static std::string find_bin();
    // Starts it and waits until it takes connections; false with the reason otherwise.
    bool start(std::string& error);
    void stop();
    // A new, empty database: its URL, or "" with the reason.
    std::string create_database(const std::string& name, std::string& error);
    int port() const { return port_; }

private:
    std::string folder_;
    int port_ = 0;
    pid_t pid_ = 0;
};

// One murkwingdiver-server process, its standard error read line by line.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // Starts `program --listen 127.0.0.1:0 ARGS...` and waits for its "listening on" line;
    // false (its last lines in `error`) when it ended or did not say so within a minute.
    bool start(const std::string& program, const std::vector<std::string>& args, std::string& error);
    int port() const { return port_; }
    // Sends the signal and waits for the process to end (SIGKILL after 30 s). Its status.
    int stop(int signal);
    std::string log_tail(size_t lines = 20);

private:
    void read_lines(int fd);
    pid_t pid_ = 0;
    int port_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool closed_ = false;
};

// A source address of 127.0.0.0/8 for submission number `n` (each its own, for 16 million),
// so that the per-address rate limit sees every submission from a different sender.
std::string loopback_address(uint32_t n);

// One POST /api/runs as a client saw it.
struct Submission {
    int status = 0;          // 0: no answer (connection refused, reset, timed out)
    int64_t id = 0;          // from a 200 or 201
    int rank = 0;            // "rank" of a 200 or 201
    int32_t level = 0;
    double milliseconds = 0; // from sending to the whole answer
    std::string body;
};
Submission submit_run(int port, const std::string& replay, const std::string& source);

// `clients` threads send runs[i] for every i, each client its share in turn, to the
// ports in rotation, each from its own loopback_address(first_address + i), and count
// every answer in `answered` (if given) as it comes. The results are in the runs' order.
std::vector<Submission> submit_all(const std::vector<int>& ports, const std::vector<std::string>& runs,
                                   int clients, uint32_t first_address, std::atomic<int>* answered = nullptr);

// GET a path; the status (0: no answer) and the body.
int get_path(int port, const std::string& path, std::string& body, double* milliseconds = nullptr);

// The value at a given quantile (0..1) of the figures, or 0 for none.
double quantile(std::vector<double> figures, double q);
