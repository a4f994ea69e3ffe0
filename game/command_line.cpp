// The command line: --scale N, --fullscreen, --mute, --daily, --leaderboard URL, --replay, --verify,
// --help, --version.
#include "game/command_line.h"

#include <cstring>

#ifndef MURKWING_VERSION
#error "MURKWING_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace {

// A whole number 1..MAX_WINDOW_SCALE written in plain digits, or 0.
int read_scale(const char* text) {
    int value = 0;
    if (!text || !*text) return 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        value = value * 10 + (*p - '0');
        if (value > MAX_WINDOW_SCALE) return 0;
    }
    return value;
}

}  // namespace

CommandAction parse_command_line(int argc, const char* const* argv, WindowOptions& options, std::string& error) {
    GameOptions game;
    return parse_command_line(argc, argv, options, game, error);
}

CommandAction parse_command_line(int argc, const char* const* argv, WindowOptions& options, GameOptions& game,
                                 std::string& error) {
    CommandAction action = CommandAction::PLAY;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return CommandAction::HELP;
        if (std::strcmp(arg, "--version") == 0) return CommandAction::VERSION;
        if (std::strcmp(arg, "--fullscreen") == 0) {
            options.full_screen = true;
            continue;
        }
        if (std::strcmp(arg, "--mute") == 0) {
            options.muted = true;
            continue;
        }
        if (std::strcmp(arg, "--daily") == 0) {
            game.daily = true;
            continue;
        }
        if (std::strcmp(arg, "--leaderboard") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "--leaderboard needs the server's address";
                return CommandAction::USAGE_ERROR;
            }
            game.leaderboard = argv[++i];
            continue;
        }
        if (std::strcmp(arg, "--verify") == 0 || std::strcmp(arg, "--replay") == 0) {
            const bool verify = arg[2] == 'v';
            if (action != CommandAction::PLAY || i + 1 >= argc) {
                error = action != CommandAction::PLAY ? "--verify and --replay go alone"
                                                      : std::string(arg) + " needs a replay file";
                return CommandAction::USAGE_ERROR;
            }
            action = verify ? CommandAction::VERIFY : CommandAction::REPLAY;
            game.files.push_back(argv[++i]);
            // --verify takes every following argument as a file.
            while (verify && i + 1 < argc) game.files.push_back(argv[++i]);
            continue;
        }
        // One spelling, the one --help shows: "--scale=N" is refused as an unknown option.
        if (std::strcmp(arg, "--scale") != 0) {
            error = std::string("unknown option '") + arg + "'";
            return CommandAction::USAGE_ERROR;
        }
        const char* value = i + 1 < argc ? argv[++i] : "";
        const int scale = read_scale(value);
        if (scale == 0) {
            error = std::string("--scale takes a whole number from 1 to ") + std::to_string(MAX_WINDOW_SCALE) +
                    ", not '" + value + "'";
            return CommandAction::USAGE_ERROR;
        }
        options.scale = scale;
    }
    return action;
}

const char* usage_line() {
    return "Usage: murkwingdiver [--scale N] [--fullscreen] [--mute] [--daily] [--leaderboard URL] "
           "[--replay FILE] [--verify FILE...] [--help] [--version]";
}

const char* help_text() {
    return "Usage: murkwingdiver [--scale N] [--fullscreen] [--mute] [--daily] [--leaderboard URL] "
           "[--replay FILE] [--verify FILE...] [--help] [--version]\n"
           "A one-button arcade game: hold the space bar to climb through the cave.\n"
           "Plays in the current folder, which holds font.bmp and murkwingdiver_highscores.dat;\n"
           "every run is recorded under replays/ there.\n"
           "\n"
           "  --scale N         open the window N times 480 x 320 (N from 1 to 16)\n"
           "  --fullscreen      play on the whole screen (Alt+Enter switches back and forth)\n"
           "  --mute            start without sound (M switches it off and on in flight)\n"
           "  --daily           fly today's cave (UTC), the same bends for every player\n"
           "  --leaderboard URL send each run that enters the table (its replay and name) to\n"
           "                    the leaderboard server at URL, in the background; runs not\n"
           "                    sent wait in leaderboard-queue/ for a later start (default:\n"
           "                    $MURKWING_LEADERBOARD, else nothing is sent)\n"
           "  --replay FILE     watch a recorded run in the window (Escape ends it)\n"
           "  --verify FILE...  fly each recorded run again without a window and say whether\n"
           "                    it agrees; exit status 0 only when every one does\n"
           "  --help            show this text\n"
           "  --version         show the version\n";
}

std::string version_text() { return std::string("murkwingdiver ") + MURKWING_VERSION; }
