// The game's command line: the window's scale or full screen, sound off, help and version.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

enum class CommandAction {
    PLAY,         // start the game with the options read
    HELP,         // print the usage text on standard output, exit 0
    VERSION,      // print the name and version on standard output, exit 0
    USAGE_ERROR,  // print the error and the usage line on standard error, exit 2
    VERIFY,       // check the replay files without a window
    REPLAY,       // watch one replay file in the window
};

// What the command line asks of the game beside the window.
struct GameOptions {
    bool daily = false;               // --daily: every run flies the day's cave
    std::vector<std::string> files;   // the replay files of --verify, or the one of --replay
    std::string leaderboard;          // --leaderboard URL: where runs that enter the table go
};

constexpr int MAX_WINDOW_SCALE = 16;  // --scale takes 1..16

// Reads argv[1..argc-1] into `options`; on USAGE_ERROR `error` says what was wrong.
CommandAction parse_command_line(int argc, const char* const* argv, WindowOptions& options, std::string& error);
CommandAction parse_command_line(int argc, const char* const* argv, WindowOptions& options, GameOptions& game,
                                 std::string& error);

// The usage line.
const char* usage_line();

// The text for --help: the usage line and a line per option.
const char* help_text();

// "murkwingdiver 1.0.0", without a line end.
std::string version_text();
