// The leaderboard's load harness: see leaderboard_harness.h.
#include "tools/leaderboard_harness.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

// A port of 127.0.0.1 that was free a moment ago.
int free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

// argv for execv: pointers into the strings, ending in a null.
std::vector<char*> exec_args(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

// Forks and runs `argv` in `folder` with its output appended to `log`; as root, as the
// user nobody. It gets `death_signal` when this thread ends. (Between fork and exec only
// async-signal-safe calls: the process may have other threads.)
pid_t spawn(const std::vector<std::string>& argv, const std::string& folder, const std::string& log,
            int death_signal) {
    const bool as_root = getuid() == 0;
    const passwd* nobody = as_root ? getpwnam("nobody") : nullptr;
    if (as_root && nobody == nullptr) return -1;
    const uid_t uid = as_root ? nobody->pw_uid : 0;
    const gid_t gid = as_root ? nobody->pw_gid : 0;
    std::vector<char*> args = exec_args(argv);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(out, 1);
    dup2(out, 2);
    if (as_root && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(126);
    prctl(PR_SET_PDEATHSIG, death_signal);  // after the change of user, which clears it
    execv(args[0], args.data());
    _exit(127);
}

// Waits up to `seconds` for the child to end; its wait status, or -1 if it did not.
int wait_for(pid_t pid, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        if (Clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string TempPostgres::find_bin() {
    if (const char* chosen = std::getenv("MURKWING_POSTGRES_BIN")) {
        return std::filesystem::exists(std::filesystem::path(chosen) / "initdb") ? chosen : "";
    }
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        if (std::filesystem::exists(entry.path() / "bin" / "initdb")) found.push_back(entry.path() / "bin");
    }
    if (found.empty()) return "";
    std::sort(found.begin(), found.end());
    return found.back().string();  // the newest
}

bool TempPostgres::start(std::string& error) {
    const std::string bin = find_bin();
    if (bin.empty()) {
        error = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)";
        return false;
    }
    char folder[] = "/tmp/murkwing-pg-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        error = "cannot make a temporary folder";
        return false;
    }
    folder_ = folder;
    if (getuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr || chown(folder, nobody->pw_uid, nobody->pw_gid) != 0) {
            error = "cannot hand the temporary folder to the user nobody";
            return false;
        }
    }
    const std::string log = folder_ + "/postgres.log";
    const pid_t initdb = spawn({bin + "/initdb", "-D", folder_ + "/data", "-U", "murkwing", "-A", "trust",
                                "-E", "UTF8", "--no-sync", "--no-instructions"},
                               folder_, log, SIGKILL);
    const int status = initdb < 0 ? 1 : wait_for(initdb, 120);
    if (status != 0) {
        if (status == -1) kill(initdb, SIGKILL), waitpid(initdb, nullptr, 0);
        error = "initdb failed: " + read_file(log);
        return false;
    }
    // A port picked now may be taken before the server binds it: then try another.
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = free_port();
        pid_ = spawn({bin + "/postgres", "-D", folder_ + "/data", "-k", folder_, "-h", "127.0.0.1", "-p",
                      std::to_string(port_), "-c", "max_connections=200"},
                     folder_, log, SIGQUIT);
        const std::string url = "postgresql://murkwing@127.0.0.1:" + std::to_string(port_) + "/postgres";
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < deadline && PQping(url.c_str()) != PQPING_OK) {
            if (wait_for(pid_, 0) != -1) break;  // it ended
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (PQping(url.c_str()) == PQPING_OK) return true;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }
    error = "the PostgreSQL server did not start: " + read_file(log);
    return false;
}

void TempPostgres::stop() {
    if (pid_ != 0) {
        kill(pid_, SIGQUIT);  // immediate shutdown: the folder is removed next anyway
        if (wait_for(pid_, 30) == -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
    }
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        folder_.clear();
    }
}

std::string TempPostgres::create_database(const std::string& name, std::string& error) {
    const std::string base = "postgresql://murkwing@127.0.0.1:" + std::to_string(port_) + "/";
    PGconn* conn = PQconnectdb((base + "postgres").c_str());
    std::string sql = "CREATE DATABASE \"" + name + "\"";  // a name of the caller's, not a value
    PGresult* res = PQexec(conn, sql.c_str());
    const bool made = PQresultStatus(res) == PGRES_COMMAND_OK;
    if (!made) error = PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    return made ? base + name : "";
}

ServerProcess::~ServerProcess() {
    if (pid_ != 0) stop(SIGKILL);
}

bool ServerProcess::start(const std::string& program, const std::vector<std::string>& args, std::string& error) {
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error = "no pipe";
        return false;
    }
    lines_.clear();
    closed_ = false;
    port_ = 0;
    std::vector<std::string> all = {program, "--listen", "127.0.0.1:0"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv = exec_args(all);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipe_fds[1], 2);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    reader_ = std::thread([this, fd = pipe_fds[0]] { read_lines(fd); });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(60), [&] { return port_ != 0 || closed_; });
    if (port_ != 0) return true;
    lock.unlock();
    error = "the server did not start: " + log_tail();
    return false;
}

void ServerProcess::read_lines(int fd) {
    FILE* in = fdopen(fd, "r");
    char buffer[4096];
    const std::string prefix = "listening on http://127.0.0.1:";
    while (fgets(buffer, sizeof buffer, in) != nullptr) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        std::lock_guard<std::mutex> lock(mutex_);
        if (port_ == 0 && line.rfind(prefix, 0) == 0) port_ = std::atoi(line.c_str() + prefix.size());
        lines_.push_back(std::move(line));
        if (lines_.size() > 2000) lines_.erase(lines_.begin(), lines_.begin() + 1000);
        changed_.notify_all();
    }
    fclose(in);
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

int ServerProcess::stop(int signal) {
    if (pid_ == 0) return 0;
    kill(pid_, signal);
    int status = wait_for(pid_, 30);
    if (status == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = 0;
    if (reader_.joinable()) reader_.join();
    return status;
}

std::string ServerProcess::log_tail(size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (size_t i = lines_.size() > count ? lines_.size() - count : 0; i < lines_.size(); ++i) text += lines_[i] + "\n";
    return text;
}

std::string loopback_address(uint32_t n) {
    return "127." + std::to_string(1 + n / 65536 % 254) + "." + std::to_string(n / 256 % 256) + "." +
           std::to_string(n % 256);
}

Submission submit_run(int port, const std::string& replay, const std::string& source) {
    httplib::Client client("127.0.0.1", port);
    client.set_interface(source);
    client.set_connection_timeout(30);
    client.set_read_timeout(60);
    Submission s;
    const auto started = Clock::now();
    const httplib::Result answer = client.Post("/api/runs", replay, "application/octet-stream");
    s.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (!answer) {
        s.body = httplib::to_string(answer.error());
        return s;
    }
    s.status = answer->status;
    s.body = answer->body;
    if (s.status == 200 || s.status == 201) {
        const auto json = nlohmann::json::parse(s.body, nullptr, false);
        if (json.is_object()) {
            s.id = json.value("id", int64_t{0});
            s.rank = json.value("rank", 0);
            s.level = json.value("level", 0);
        }
    }
    return s;
}

std::vector<Submission> submit_all(const std::vector<int>& ports, const std::vector<std::string>& runs,
                                   int clients, uint32_t first_address, std::atomic<int>* answered) {
    std::vector<Submission> results(runs.size());
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            for (size_t i = static_cast<size_t>(c); i < runs.size(); i += static_cast<size_t>(clients)) {
                results[i] = submit_run(ports[i % ports.size()], runs[i],
                                        loopback_address(first_address + static_cast<uint32_t>(i)));
                if (answered != nullptr && results[i].status != 0) ++*answered;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    return results;
}

int get_path(int port, const std::string& path, std::string& body, double* milliseconds) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    const auto started = Clock::now();
    const httplib::Result answer = client.Get(path.c_str());
    if (milliseconds != nullptr) *milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    if (!answer) return 0;
    body = answer->body;
    return answer->status;
}

double quantile(std::vector<double> figures, double q) {
    if (figures.empty()) return 0;
    std::sort(figures.begin(), figures.end());
    return figures[std::min(figures.size() - 1, static_cast<size_t>(q * static_cast<double>(figures.size())))];
}
