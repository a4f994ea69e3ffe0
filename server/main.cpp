// murkwingdiver-server: the leaderboard that flies every submitted run again before it
// ranks it. Reads its command line, opens the store and serves HTTP until SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "server/api.h"
#include "server/http.h"
#include "server/store.h"

namespace {

const char* const USAGE =
    "Usage: murkwingdiver-server [OPTION]...\n"
    "The Murkwing Diver leaderboard: every run sent to it is flown again with the game's own\n"
    "code before it is ranked.\n"
    "\n"
    "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8080; port 0 picks a free one)\n"
    "  --data DIR           the data folder; the SQLite database is DIR/leaderboard.sqlite3\n"
    "                       (default: the current folder)\n"
    "  --database URL       postgresql://... to keep the runs in PostgreSQL instead\n"
    "  --site DIR           serve the browser build in DIR under /play/\n"
    "  --rate-limit N       runs accepted per minute from one address (default 10, 0: no limit)\n"
    "  --timeout SECONDS    longest wait for a client's read or write (default 5); a whole\n"
    "                       request must arrive within twice this\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n";

struct CommandLine {
    HttpOptions http;
    std::string data = ".";
    std::string database;
    std::string site;
    int runs_per_minute = DEFAULT_RUNS_PER_MINUTE;
};

// A whole number in [low, high], all of the text.
bool parse_number(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stol(text);
    return value >= low && value <= high;
}

// "HOST:PORT", or "[V6]:PORT".
bool parse_listen(const std::string& text, HttpOptions& http) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    }
    long port = 0;
    if (!parse_number(text.substr(colon + 1), 0, 65535, port)) return false;
    http.host = host;
    http.port = static_cast<int>(port);
    return true;
}

// Fills `line` from argv; on a mistake says why on standard error and returns false.
// `exit_now` is set for --help and --version, which print and end.
bool parse_command_line(int argc, char** argv, CommandLine& line, bool& exit_now) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i], value;
        if (option.compare(0, 2, "--") != 0) {
            std::fprintf(stderr, "murkwingdiver-server: unexpected argument %s (see --help)\n", option.c_str());
            return false;
        }
        const size_t equals = option.find('=');
        if (equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
        } else if (option != "--help" && option != "--version") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "murkwingdiver-server: %s needs a value (see --help)\n", option.c_str());
                return false;
            }
            value = argv[++i];
        }
        long number = 0;
        if (option == "--help") {
            std::fputs(USAGE, stdout);
            exit_now = true;
        } else if (option == "--version") {
            std::printf("%s %s\n", SERVER_NAME, MURKWING_VERSION);
            exit_now = true;
        } else if (option == "--listen" && parse_listen(value, line.http)) {
        } else if (option == "--data" && !value.empty()) {
            line.data = value;
        } else if (option == "--database" && !value.empty()) {
            line.database = value;
        } else if (option == "--site" && !value.empty()) {
            line.site = value;
        } else if (option == "--rate-limit" && parse_number(value, 0, 1000000, number)) {
            line.runs_per_minute = static_cast<int>(number);
        } else if (option == "--timeout" && parse_number(value, 1, 3600, number)) {
            line.http.timeout_seconds = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "murkwingdiver-server: bad option %s %s (see --help)\n", option.c_str(), value.c_str());
            return false;
        }
    }
    return true;
}

std::unique_ptr<RunStore> open_store(const CommandLine& line) {
    std::string error;
    std::unique_ptr<RunStore> store;
    if (!line.database.empty()) {
        if (line.database.rfind("postgresql://", 0) != 0 && line.database.rfind("postgres://", 0) != 0) {
            std::fprintf(stderr, "murkwingdiver-server: --database takes a postgresql:// URL\n");
            return nullptr;
        }
#ifdef MURKWING_POSTGRES
        store = open_postgres_store(line.database, error);
#else
        error = "this build has no PostgreSQL store";
#endif
    } else {
        std::error_code made;
        std::filesystem::create_directories(line.data, made);
        store = open_sqlite_store((std::filesystem::path(line.data) / "leaderboard.sqlite3").string(), error);
    }
    if (!store) std::fprintf(stderr, "murkwingdiver-server: cannot open the database: %s\n", error.c_str());
    return store;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    bool exit_now = false;
    if (!parse_command_line(argc, argv, line, exit_now)) return 2;
    if (exit_now) return 0;
    if (!line.site.empty() && !std::filesystem::is_directory(line.site)) {
        std::fprintf(stderr, "murkwingdiver-server: --site %s is not a folder\n", line.site.c_str());
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a client gone mid-answer is the write's error, not the process's end
    std::unique_ptr<RunStore> store = open_store(line);
    if (!store) return 1;

    ServerSettings settings;
    settings.store = store.get();
    settings.site_dir = line.site;
    settings.now_ms = system_now_ms;
    settings.runs_per_minute = line.runs_per_minute;
    settings.version = MURKWING_VERSION;
    return serve_http(line.http, settings);
}
