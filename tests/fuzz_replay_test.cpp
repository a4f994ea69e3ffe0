// Replays every committed fuzzing input, the crashers of the past among them, through the
// same entry points the fuzzers drive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/targets.h"
#include "platform/headless/headless.h"

namespace {

namespace fs = std::filesystem;

using Entry = void (*)(const uint8_t*, size_t);

struct Target {
    const char* folder;
    Entry entry;
};

const Target TARGETS[] = {
    {"bitmap", fuzz_bitmap},
    {"high_scores", fuzz_high_scores},
    {"text", fuzz_text},
};

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryCommittedInputRunsClean) {
    const fs::path folder = fs::path(MURKWING_SOURCE_DIR) / "fuzz" / "corpus" / GetParam().folder;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int replayed = 0;
    for (const auto& file : fs::directory_iterator(folder)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(file.path().string());
        GetParam().entry(bytes.data(), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, FuzzReplay, ::testing::ValuesIn(TARGETS),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
