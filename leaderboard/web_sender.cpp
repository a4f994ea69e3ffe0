// The browser's sender: the page asks api/info beside itself (and, for a page under
// /play/, one folder up) once at the start; when a leaderboard server of the game's rules
// answers, each run is posted with fetch to api/runs there, on the page's own origin. On
// any other host nothing is sent. fetch runs in the background by itself; its outcome goes
// to the console, one line per run.
#include <emscripten.h>

#include "leaderboard/leaderboard.h"
#include "replay/replay_file.h"

namespace {

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
    Module.leaderboard = probe('api/info').catch(function() {
        return probe('../api/info');
    }).catch(function() {
        return null;  // a plain web host: no leaderboard here
    });
});

EM_JS(void, web_leaderboard_send, (const uint8_t* data, size_t size), {
    if (!Module.leaderboard) return;
    var bytes = HEAPU8.slice(data, data + size);
    Module.leaderboard.then(function(address) {
        if (!address) return;
        return fetch(address, {method: 'POST', body: bytes, credentials: 'same-origin',
                               headers: {'Content-Type': 'application/octet-stream'}})
            .then(function(response) {
                return response.json().catch(function() { return {}; }).then(function(reply) {
                    var line;
                    if (response.status === 200 || response.status === 201) {
                        line = 'run sent: level ' + reply.level + ', rank ' + reply.rank + ' on ' + reply.board;
                    } else {
                        line = 'run not sent (HTTP ' + response.status + (reply.error ? ': ' + reply.error : '') + ')';
                    }
                    err('murkwingdiver: leaderboard: ' + line);
                });
            });
    }).catch(function(error) {
        err('murkwingdiver: leaderboard: run not sent (' + error + ')');
    });
});

bool started = false;

}  // namespace

bool start_leaderboard(const LeaderboardOptions& /*options*/, std::string& error) {
    error.clear();
    if (!started) web_leaderboard_probe(REPLAY_RULES);
    started = true;
    return true;
}

void submit_run(const std::string& replay) {
    if (started) web_leaderboard_send(reinterpret_cast<const uint8_t*>(replay.data()), replay.size());
}

void finish_leaderboard() {}
