// The command line: --scale N, --fullscreen, --help, --version.
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
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return CommandAction::HELP;
        if (std::strcmp(arg, "--version") == 0) return CommandAction::VERSION;
        if (std::strcmp(arg, "--fullscreen") == 0) {
            options.full_screen = true;
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
    return CommandAction::PLAY;
}

const char* usage_line() { return "Usage: murkwingdiver [--scale N] [--fullscreen] [--help] [--version]"; }

const char* help_text() {
    return "Usage: murkwingdiver [--scale N] [--fullscreen] [--help] [--version]\n"
           "A one-button arcade game: hold the space bar to climb through the cave.\n"
           "Plays in the current folder, which holds font.bmp and murkwingdiver_highscores.dat.\n"
           "\n"
           "  --scale N     open the window N times 480 x 320 (N from 1 to 16)\n"
           "  --fullscreen  play on the whole screen (Alt+Enter switches back and forth)\n"
           "  --help        show this text\n"
           "  --version     show the version\n";
}

std::string version_text() { return std::string("murkwingdiver ") + MURKWING_VERSION; }
