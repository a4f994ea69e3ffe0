// Saving the high-score table: the bytes of the file, failures that leave the old file,
// a writer killed at random moments and the leftovers the next start clears.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "scores/high_scores.h"
#include "scores/score_storage.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::write_file;
using test_support::TempDir;

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

size_t count_lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

class SaveFile : public ::testing::Test {
protected:
    void SetUp() override { reset_high_scores(); }
    void TearDown() override { reset_high_scores(); }
    TempDir dir;
    std::string path = dir.file("murkwingdiver_highscores.dat");
};

const std::string EMPTY_ENTRY_BYTES = " 0\r\n\r\n";

// The file that start-up created empty gets the empty table in the game's format; a second
// save with nothing new leaves that file alone (the same file, not rewritten).
TEST_F(SaveFile, EmptyTableIs72BytesAndIsWrittenOnce) {
    load_high_scores(path);
    ASSERT_TRUE(save_high_scores());
    std::string expected;
    for (int k = 0; k < 12; ++k) expected += EMPTY_ENTRY_BYTES;
    EXPECT_EQ(read_file(path), expected);
    EXPECT_EQ(format_high_scores(), expected);
    struct stat before, after;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(save_high_scores());
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(SaveFile, Score57AndNameAceAreTenBytes) {
    load_high_scores(path);
    set_high_score_entry(1, {57, "ACE"});
    ASSERT_TRUE(save_high_scores());
    const std::string bytes = read_file(path);
    const std::vector<unsigned char> first(bytes.begin(), bytes.begin() + 10);
    EXPECT_EQ(first, (std::vector<unsigned char>{32, 53, 55, 13, 10, 65, 67, 69, 13, 10}));
    EXPECT_EQ(bytes.size(), 10u + 11 * 6);
}

TEST_F(SaveFile, FileWithOneEntryIsWrittenBackWithAllTwelve) {
    write_file(path, " 57\r\nACE\r\n");
    load_high_scores(path);
    set_high_score_entry(2, {5, "B"});
    ASSERT_TRUE(save_high_scores());
    std::string expected = " 57\r\nACE\r\n 5\r\nB\r\n";
    for (int k = 0; k < 10; ++k) expected += EMPTY_ENTRY_BYTES;
    EXPECT_EQ(read_file(path), expected);
}

TEST_F(SaveFile, ScoreLinesHaveASpaceOnlyWhenNotNegative) {
    load_high_scores(path);
    set_high_score_entry(1, {INT32_MAX, "max"});
    set_high_score_entry(2, {-5, "neg"});
    set_high_score_entry(3, {INT32_MIN, ""});
    set_high_score_entry(4, {0, "zero"});
    ASSERT_TRUE(save_high_scores());
    std::string expected = " 2147483647\r\nmax\r\n-5\r\nneg\r\n-2147483648\r\n\r\n 0\r\nzero\r\n";
    for (int k = 0; k < 8; ++k) expected += EMPTY_ENTRY_BYTES;
    EXPECT_EQ(read_file(path), expected);
}

TEST_F(SaveFile, SavedFileLoadsBackTheSameTable) {
    load_high_scores(path);
    for (int k = 1; k <= 12; ++k) {
        set_high_score_entry(k, {1000 - 37 * k, std::string("n").append(std::to_string(k)) + "!x"});
    }
    set_high_score_entry(5, {-40, ""});
    ASSERT_TRUE(save_high_scores());
    const std::string saved = read_file(path);
    reset_high_scores();
    load_high_scores(path);
    EXPECT_EQ(format_high_scores(), saved);
}

TEST_F(SaveFile, NoOtherFileIsLeftBeside) {
    load_high_scores(path);
    ASSERT_TRUE(save_high_scores());
    ASSERT_TRUE(save_high_scores());
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"murkwingdiver_highscores.dat"});
}

// Root saving a player's table (as when the game is run with sudo) keeps the player's owner.
TEST_F(SaveFile, ReplacedFileKeepsItsPermissionsAndOwner) {
    write_file(path, "");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const uid_t owner = ::geteuid() == 0 ? 65534 : st.st_uid;
    ASSERT_EQ(::chown(path.c_str(), owner, st.st_gid), 0);
    load_high_scores(path);
    set_high_score_entry(1, {1, "A"});
    ASSERT_TRUE(save_high_scores());
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, owner);
}

TEST_F(SaveFile, WithoutALoadedFileNameNothingIsWrittenAndOneLineIsPrinted) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
    EXPECT_TRUE(names_in(dir.path).empty());
}

TEST_F(SaveFile, MissingFolderFailsWithOneLine) {
    load_high_scores(dir.file("gone/hs.dat"));
    set_high_score_entry(1, {1, "A"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err), 1u);
    EXPECT_NE(err.find("gone/hs.dat"), std::string::npos);
}

TEST_F(SaveFile, DirectoryInTheFilesPlaceIsLeftAndTheNewFileRemoved) {
    const std::string target = dir.file("taken");
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    write_file(target + "/inside", "keep");
    load_high_scores(target);
    set_high_score_entry(1, {1, "A"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
    EXPECT_EQ(read_file(target + "/inside"), "keep");
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"taken"});
}

// A full disk, made by a file size limit in a child process: the write fails part way.
TEST_F(SaveFile, FailedWriteLeavesTheOldFileAndRemovesTheNewOne) {
    const std::string old_bytes = " 3\r\nOLD\r\n";
    write_file(path, old_bytes);
    int err_pipe[2];
    ASSERT_EQ(::pipe(err_pipe), 0);  // the size limit would cut a file holding stderr too
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(err_pipe[1], 2);
        ::signal(SIGXFSZ, SIG_IGN);
        load_high_scores(path);
        for (int k = 1; k <= 12; ++k) set_high_score_entry(k, {k, "a much longer name " + std::to_string(k)});
        struct rlimit limit = {20, 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool saved = save_high_scores();
        std::fflush(stderr);
        ::_exit(saved ? 1 : 0);
    }
    ::close(err_pipe[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
    EXPECT_EQ(read_file(path), old_bytes);
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"murkwingdiver_highscores.dat"});
    const std::string err = test_support::read_all_and_close(err_pipe[0]);
    EXPECT_EQ(count_lines(err), 1u) << err;
}

// Two tables of different sizes; a child saves them in turn until it is killed at one of
// the marked steps of a save, picked by a seeded random number: before its new file is
// flushed, before the rename, right after it, or with the lock just taken. The file must
// always hold one of the tables, whole.
int steps_left = 0;
int kill_at_step(const char*) {
    if (--steps_left == 0) ::raise(SIGKILL);
    return 0;
}

TEST_F(SaveFile, KilledWriterLeavesTheOldOrTheNewTableWhole) {
    load_high_scores(path);
    std::vector<HighScoreEntry> first, second;
    for (int k = 1; k <= 12; ++k) {
        first.push_back({100 - k, "first" + std::to_string(k)});
        second.push_back({-k, std::string(200 + k, 'S')});
    }
    auto use = [](const std::vector<HighScoreEntry>& t) {
        for (int k = 1; k <= 12; ++k) set_high_score_entry(k, t[k - 1]);
    };
    use(first);
    const std::string first_bytes = format_high_scores();
    use(second);
    const std::string second_bytes = format_high_scores();
    use(first);
    ASSERT_TRUE(save_high_scores());

    std::mt19937 rng(7);
    int seen_first = 0, seen_second = 0;
    for (int round = 0; round < 150; ++round) {
        steps_left = 1 + static_cast<int>(rng() % 15);  // five marked steps a save, three saves
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            set_save_step_hook(kill_at_step);
            for (long i = round;; ++i) {
                use(i % 2 ? first : second);
                save_high_scores();
            }
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "round " << round;
        const std::string bytes = read_file(path);
        const bool whole = bytes == first_bytes || bytes == second_bytes;
        EXPECT_TRUE(whole) << "round " << round << ": " << bytes.size() << " bytes";
        if (!whole) break;
        (bytes == first_bytes ? seen_first : seen_second)++;
    }
    EXPECT_GT(seen_first, 0);
    EXPECT_GT(seen_second, 0);
    const size_t leftovers = names_in(dir.path).size() - 1;
    std::printf("killed writers: %d old/new tables seen %d/%d, unfinished new files %zu\n", 150, seen_first,
                seen_second, leftovers);
    EXPECT_GT(leftovers, 0u) << "no kill landed between creating and renaming a new file";

    // The next start removes those leftovers, and only those.
    std::vector<std::string> kept = {"murkwingdiver_highscores.dat", "other.dat.tmpABCDEF"};
    for (const char* end : {".tmp12345", ".tmpABCDEFG", ".tmp-BCDEF"}) kept.push_back(kept[0] + end);
    for (size_t i = 1; i < kept.size(); ++i) write_file(dir.file(kept[i]), "keep");
    kept.push_back(kept[0] + ".tmpFOLDER");
    ASSERT_EQ(::mkdir(dir.file(kept.back()).c_str(), 0700), 0);
    const std::string table = read_file(path);
    load_high_scores(path);
    std::vector<std::string> names = names_in(dir.path);
    std::sort(names.begin(), names.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(names, kept);
    EXPECT_EQ(read_file(path), table);
}

// A save under way (another copy holding the lock, its new file beside the table): a copy
// starting then waits for it to end, and leaves that file alone. The saver finishes when the
// starting copy is seen waiting for the lock.
pid_t saver = 0;
int go_pipe = -1;
int finish_the_save(const char* step) {
    if (std::string(step) == "lock wait" && go_pipe >= 0) {
        ::close(go_pipe);  // the saver renames its new file over the table and ends
        go_pipe = -1;
        ::waitpid(saver, nullptr, 0);
    }
    return 0;
}

TEST_F(SaveFile, StartUpWaitsForASaveUnderWayAndLeavesItsNewFile) {
    write_file(path, " 1\r\nOLD\r\n");
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    saver = ::fork();
    if (saver == 0) {
        ::close(go[1]);
        const std::string new_file = path + ".tmpSAVING";
        write_file(new_file, " 2\r\nNEW\r\n");
        const bool locked = ::flock(::open(path.c_str(), O_RDWR), LOCK_EX) == 0 && ::write(ready[1], "x", 1) == 1;
        char c;
        const bool told = ::read(go[0], &c, 1) == 0;
        ::_exit(locked && told && ::rename(new_file.c_str(), path.c_str()) == 0 ? 0 : 1);
    }
    ::close(ready[1]);
    ::close(go[0]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    go_pipe = go[1];
    set_save_step_hook(finish_the_save);
    load_high_scores(path);
    set_save_step_hook(nullptr);
    EXPECT_EQ(go_pipe, -1) << "start-up did not wait for the lock";
    if (go_pipe >= 0) finish_the_save("lock wait");
    EXPECT_EQ(high_score_entry(1).name, "NEW");
    EXPECT_EQ(read_file(path), " 2\r\nNEW\r\n") << "the save's new file was removed";
}

}  // namespace
