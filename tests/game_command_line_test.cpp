// The command line: what each form asks for, and the window options it leaves.
#include <gtest/gtest.h>

#include <vector>

#include "game/command_line.h"

namespace {

struct Case {
    std::vector<const char*> args;  // after the program name
    CommandAction action;
    int scale;
    bool full_screen;
};

TEST(CommandLine, ReadsEachForm) {
    const Case cases[] = {
        {{}, CommandAction::PLAY, 1, false},
        {{"--scale", "2"}, CommandAction::PLAY, 2, false},
        {{"--scale", "16", "--fullscreen"}, CommandAction::PLAY, 16, true},
        {{"--scale=2"}, CommandAction::USAGE_ERROR, 1, false},
        {{"--fullscreen", "--scale", "3", "--scale", "1"}, CommandAction::PLAY, 1, true},
        {{"--help"}, CommandAction::HELP, 1, false},
        {{"--scale", "2", "--version"}, CommandAction::VERSION, 2, false},
        {{"--scale"}, CommandAction::USAGE_ERROR, 1, false},
        {{"--scale", "0"}, CommandAction::USAGE_ERROR, 1, false},
        {{"--scale", "17"}, CommandAction::USAGE_ERROR, 1, false},
        {{"--scale", "2x"}, CommandAction::USAGE_ERROR, 1, false},
        {{"--scale", "99999999999"}, CommandAction::USAGE_ERROR, 1, false},
        {{"-x"}, CommandAction::USAGE_ERROR, 1, false},
        {{"play"}, CommandAction::USAGE_ERROR, 1, false},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"murkwingdiver"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        WindowOptions options;
        std::string error;
        const CommandAction action = parse_command_line(static_cast<int>(argv.size()), argv.data(), options, error);
        const std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(action, c.action) << shown;
        EXPECT_EQ(error.empty(), action != CommandAction::USAGE_ERROR) << shown;
        if (action == CommandAction::PLAY) {
            EXPECT_EQ(options.scale, c.scale) << shown;
            EXPECT_EQ(options.full_screen, c.full_screen) << shown;
        }
    }
    EXPECT_EQ(version_text(), "murkwingdiver 1.0.0");
}

TEST(CommandLine, ReadsTheReplayForms) {
    const struct {
        std::vector<const char*> args;
        CommandAction action;
        bool daily;
        std::vector<std::string> files;
        std::string leaderboard;
    } cases[] = {
        {{"--daily", "--scale", "2"}, CommandAction::PLAY, true, {}, ""},
        {{"--leaderboard", "http://127.0.0.1:8080", "--daily"}, CommandAction::PLAY, true, {}, "http://127.0.0.1:8080"},
        {{"--leaderboard"}, CommandAction::USAGE_ERROR, false, {}, ""},
        {{"--verify", "a.mwr", "b.mwr"}, CommandAction::VERIFY, false, {"a.mwr", "b.mwr"}, ""},
        {{"--scale", "2", "--replay", "a.mwr"}, CommandAction::REPLAY, false, {"a.mwr"}, ""},
        {{"--verify"}, CommandAction::USAGE_ERROR, false, {}, ""},
        {{"--replay", "a.mwr", "--verify", "b.mwr"}, CommandAction::USAGE_ERROR, false, {"a.mwr"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"murkwingdiver"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        WindowOptions options;
        GameOptions game;
        std::string error;
        EXPECT_EQ(parse_command_line(static_cast<int>(argv.size()), argv.data(), options, game, error), c.action)
            << ::testing::PrintToString(c.args);
        EXPECT_EQ(game.daily, c.daily);
        EXPECT_EQ(game.files, c.files);
        EXPECT_EQ(game.leaderboard, c.leaderboard);
    }
}

}  // namespace
