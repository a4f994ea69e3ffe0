// The program entry: reads the command line, then the whole game is run_game (recording
// every run), or a replay is checked or watched; its status is the process's (2 for a
// command line it cannot read).
#include <cstdio>
#include <string>

#include "game/command_line.h"
#include "game/play.h"
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
    set_window_options(options);
    RecordingOptions recording;
    recording.daily = game.daily;
    recording.game_version = version_text();
    start_recording(recording);
    return run_game();
}
