// The browser's sender: the page asks api/info beside itself (and, for a page under /play/,
// one folder up) once at the start; when a leaderboard server of the game's rules answers,
// runs are posted with fetch to api/runs there, on the page's own origin, one at a time.
// As on the desktop, a run is first written into the queue folder in the game's folder,
// which is then written back to the browser's storage so that the run outlives the page,
// and leaves it once the server has answered for good (queue.h); the runs an earlier visit
// left there are sent first, once the probe has found the server. On any other host
// nothing is sent or queued. Each outcome goes to the console, one line per run.
#include <emscripten.h>

#include <cstdio>
#include <filesystem>

#include "leaderboard/leaderboard.h"
#include "leaderboard/queue.h"
#include "platform/platform.h"
#include "replay/replay_file.h"

namespace fs = std::filesystem;

namespace {

// Module.leaderboard.found: 1 once a server answered, -1 once none did, 0 before;
// .sending: the promise that settles when the probe and every sending handed over so far
// have ended, so that each sending waits for the one before.
EM_JS(void, web_leaderboard_probe, (const char* rules_text), {
    var rules = UTF8ToString(rules_text);
    function probe(address) {
        var url = new URL(address, location.href);
        return fetch(url.href, {credentials: 'same-origin', cache: 'no-store'}).then(function(response) {
            if (!response.ok) throw new Error('HTTP ' + response.status);
            return response.json();
        }).then(function(info) {
            if (!info || info.rules !== rules) throw new Error('other rules');
            return new URL('runs', url).href;
        });
    }
    var state = Module.leaderboard = {found: 0, address: null};
    state.sending = probe('api/info').catch(function() {
        return probe('../api/info');
    }).catch(function() {
        return null;  // a plain web host: no leaderboard here
    }).then(function(address) {
        state.found = address ? 1 : -1;
        state.address = address;
    });
});

EM_JS(int, web_leaderboard_found, (), { return Module.leaderboard.found; });

// Posts the run in the queue file `path_text`, or when that is empty the `size` bytes at
// `data`, after the sendings before it; the answer goes to murkwing_leaderboard_answered.
EM_JS(void, web_leaderboard_send, (const char* path_text, const uint8_t* data, size_t size), {
    var state = Module.leaderboard;
    var path = UTF8ToString(path_text);
    var bytes = path ? null : HEAPU8.slice(data, data + size);
    state.sending = state.sending.then(function() {
        if (!state.address) return;
        return fetch(state.address, {method: 'POST', body: bytes || FS.readFile(path), credentials: 'same-origin',
                                     headers: {'Content-Type': 'application/octet-stream'}}).then(function(response) {
            return response.text().then(function(body) { return [response.status, body]; });
        }, function(error) {
            return [0, 'no answer from ' + location.origin + ' (' + error + ')'];
        }).then(function(answer) {
            ccall('murkwing_leaderboard_answered', null, ['string', 'number', 'string'],
                  [path, answer[0], answer[1].slice(0, 4096)]);
        });
    }).catch(function(error) {
        err('murkwingdiver: leaderboard: ' + (path || 'run') + ' not sent (' + error + ')');
    });
});

std::string queue_folder;  // empty until the sender is started

void report(const std::string& line) { std::fprintf(stderr, "murkwingdiver: leaderboard: %s\n", line.c_str()); }

}  // namespace

// The server's answer to one sending (queue.h's judge_answer): a run answered for good
// leaves the queue, and the folder is written back without it.
extern "C" EMSCRIPTEN_KEEPALIVE void murkwing_leaderboard_answered(const char* path, int status, const char* body) {
    const fs::path file = path;
    std::string line;
    const bool done = judge_answer(file.empty() ? "run" : "run " + file.filename().string(), status, body, line);
    report(line);
    if (done && !file.empty()) {
        std::error_code ec;
        fs::remove(file, ec);
        keep_saved_files();
    }
}

bool start_leaderboard(const LeaderboardOptions& options, std::string& error) {
    error.clear();
    if (!queue_folder.empty()) return true;
    queue_folder = options.queue_folder;
    web_leaderboard_probe(REPLAY_RULES);
    for (const fs::path& file : queued_runs(queue_folder)) web_leaderboard_send(file.c_str(), nullptr, 0);
    return true;
}

// A run handed over before the probe has answered is queued too: the probe answers in a
// moment, long before a run can end.
void submit_run(const std::string& replay) {
    if (queue_folder.empty() || web_leaderboard_found() < 0) return;
    std::string error;
    const fs::path file = queue_run(queue_folder, replay, error);
    if (file.empty()) {
        report("run not queued (" + error + "); sending it while the page is open");
        web_leaderboard_send("", reinterpret_cast<const uint8_t*>(replay.data()), replay.size());
        return;
    }
    keep_saved_files();
    web_leaderboard_send(file.c_str(), nullptr, 0);
}

void finish_leaderboard() {}
