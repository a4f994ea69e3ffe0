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

}  // namespace
