// The program entry: reads the command line, then the whole game is run_game (recording
// every run, and sending those that enter the table to a leaderboard when asked), or a
// replay is checked or watched; its status is the process's (2 for a command line it
// cannot read).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "game/command_line.h"
#include "game/play.h"
#include "leaderboard/leaderboard.h"
#include "replay/commands.h"
#include "replay/recorder.h"

int main(int argc, char** argv) {
    WindowOptions options;
    GameOptions game;
    std::string error;
    switch (parse_command_line(argc, argv, options, game, error)) {
        case CommandAction::HELP:
            std::fputs(help_text(), stdout);
            return 0;
        case CommandAction::VERSION:
            std::printf("%s\n", version_text().c_str());
            return 0;
        case CommandAction::USAGE_ERROR:
            std::fprintf(stderr, "murkwingdiver: %s\n%s\n", error.c_str(), usage_line());
            return 2;
        case CommandAction::VERIFY:
            return verify_files(game.files, stdout);
        case CommandAction::REPLAY:
            set_window_options(options);
            return watch_file(game.files.front());
        case CommandAction::PLAY:
            break;
    }
    // The leaderboard: --leaderboard, else MURKWING_LEADERBOARD, else none (the browser
    // build follows its page instead). A bad address on the command line is a usage error;
    // one from the environment costs a line, and the game plays without it.
    LeaderboardOptions leaderboard;
    const char* from_environment = std::getenv("MURKWING_LEADERBOARD");
    leaderboard.url = !game.leaderboard.empty() ? game.leaderboard : from_environment ? from_environment : "";
    if (!start_leaderboard(leaderboard, error)) {
        if (!game.leaderboard.empty()) {
            std::fprintf(stderr, "murkwingdiver: %s\n%s\n", error.c_str(), usage_line());
            return 2;
        }
        std::fprintf(stderr, "murkwingdiver: MURKWING_LEADERBOARD ignored: %s\n", error.c_str());
    }
    set_window_options(options);
    RecordingOptions recording;
    recording.daily = game.daily;
    recording.game_version = version_text();
    recording.entered_table = submit_run;
    start_recording(recording);
    const int status = run_game();
    finish_leaderboard();
    return status;
}
