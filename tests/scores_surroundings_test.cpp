// The high-score file in hostile surroundings: links, folders and tables of every
// permission, a full disk, and failures reported once rather than after every run.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "scores/high_scores.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::write_file;
using test_support::TempDir;

size_t count_lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::string table_with(int32_t score, const std::string& name) {
    std::string bytes = " " + std::to_string(score) + "\r\n" + name + "\r\n";
    for (int k = 2; k <= 12; ++k) bytes += " 0\r\n\r\n";
    return bytes;
}

class Surroundings : public ::testing::Test {
protected:
    void SetUp() override { reset_high_scores(); }
    void TearDown() override { reset_high_scores(); }
    TempDir dir;
};

TEST_F(Surroundings, TableBehindALinkIsReplacedWhereItLivesAndTheLinkStays) {
    const std::string real = dir.file("real.dat");
    const std::string link = dir.file("murkwingdiver_highscores.dat");
    write_file(real, " 9\r\nNINE\r\n");
    ASSERT_EQ(::symlink("real.dat", link.c_str()), 0);
    load_high_scores(link);
    EXPECT_EQ(high_score_entry(1).score, 9);
    set_high_score_entry(1, {10, "TEN"});
    ASSERT_TRUE(save_high_scores());
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(real), table_with(10, "TEN"));
}

// Start-up clears leftovers of killed saves only in the table's own folder: beside a table
// that a link leads to in another folder, a file named like one stays.
TEST_F(Surroundings, LeftoversAreClearedOnlyInTheTablesOwnFolder) {
    ASSERT_EQ(::mkdir(dir.file("elsewhere").c_str(), 0755), 0);
    write_file(dir.file("elsewhere/real.dat"), " 9\r\nNINE\r\n");
    write_file(dir.file("elsewhere/real.dat.tmpABC123"), "someone's");
    ASSERT_EQ(::symlink("elsewhere/real.dat", dir.file("murkwingdiver_highscores.dat").c_str()), 0);
    load_high_scores(dir.file("murkwingdiver_highscores.dat"));
    EXPECT_EQ(high_score_entry(1).score, 9);
    EXPECT_EQ(read_file(dir.file("elsewhere/real.dat.tmpABC123")), "someone's");
}

TEST_F(Surroundings, DanglingLinkGetsTheFileItNames) {
    const std::string link = dir.file("murkwingdiver_highscores.dat");
    ASSERT_EQ(::symlink("saves/table.dat", link.c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("saves").c_str(), 0755), 0);
    load_high_scores(link);
    set_high_score_entry(1, {4, "FOUR"});
    ASSERT_TRUE(save_high_scores());
    EXPECT_EQ(read_file(dir.file("saves/table.dat")), table_with(4, "FOUR"));
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(Surroundings, LinkToAMissingFolderFailsOnceAndCreatesNothing) {
    const std::string link = dir.file("murkwingdiver_highscores.dat");
    ASSERT_EQ(::symlink("nowhere/table.dat", link.c_str()), 0);
    load_high_scores(link);
    set_high_score_entry(1, {1, "A"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("nowhere")));
}

TEST_F(Surroundings, LinkLoopDoesNotHang) {
    const std::string a = dir.file("a"), b = dir.file("b");
    ASSERT_EQ(::symlink("b", a.c_str()), 0);
    ASSERT_EQ(::symlink("a", b.c_str()), 0);
    load_high_scores(a);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
}

TEST_F(Surroundings, RepeatedFailuresAreReportedOnceUntilASaveWorks) {
    const std::string folder = dir.file("taken");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    load_high_scores(folder);
    set_high_score_entry(1, {1, "A"});
    ::testing::internal::CaptureStderr();
    for (int run = 0; run < 5; ++run) EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);

    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(save_high_scores());
    ASSERT_EQ(::mkdir(dir.file("taken.tmp").c_str(), 0700), 0);
    ASSERT_EQ(::unlink(folder.c_str()), 0);
    ASSERT_EQ(::rename(dir.file("taken.tmp").c_str(), folder.c_str()), 0);
    load_high_scores(folder);
    set_high_score_entry(1, {2, "B"});
    EXPECT_FALSE(save_high_scores());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
}

// Folders and tables of the permissions a player meets, tried as an ordinary user: the
// test, run as root, drops to "nobody" in a child process (root would pass every check).
// The files belong to root.
struct PermissionCase {
    const char* label;
    mode_t folder_mode;
    mode_t table_mode;
    enum { replaced, in_place, refused } save;
};

class Permissions : public Surroundings, public ::testing::WithParamInterface<PermissionCase> {};

TEST_P(Permissions, SaveReplacesRewritesInPlaceOrLeavesTheTable) {
    const PermissionCase& c = GetParam();
    const std::string folder = dir.file("game");
    const std::string table = folder + "/" + HIGH_SCORE_FILE;
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::string seven = " 7\r\nSEVEN\r\n";  // in the game's format, so nothing new is nothing to write
    for (int k = 2; k <= 12; ++k) seven += " 0\r\n\r\n";
    write_file(table, seven);
    ASSERT_EQ(::chmod(table.c_str(), c.table_mode), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.folder_mode), 0);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
    struct stat before, after;
    ASSERT_EQ(::stat(table.c_str(), &before), 0);
    const test_support::ChildResult child = test_support::run_as_nobody([&folder] {
        if (::chdir(folder.c_str()) != 0) return 4;
        load_high_scores(HIGH_SCORE_FILE);
        if (high_score_entry(1).score != 7) return 5;
        if (!save_high_scores()) return 6;  // nothing new: nothing to refuse either
        set_high_score_entry(2, {6, "SIX"});
        const bool first = save_high_scores();   // after the name
        const bool second = save_high_scores();  // at shut-down
        return first == second ? first : 7;
    });
    ASSERT_EQ(::stat(table.c_str(), &after), 0);
    ::chmod(folder.c_str(), 0755);
    const bool refused = c.save == PermissionCase::refused;
    EXPECT_EQ(child.status, refused ? 0 : 1) << child.err;
    EXPECT_EQ(count_lines(child.err), refused ? 1u : 0u) << child.err;
    std::string saved = " 7\r\nSEVEN\r\n 6\r\nSIX\r\n";
    for (int k = 3; k <= 12; ++k) saved += " 0\r\n\r\n";
    EXPECT_EQ(read_file(table), refused ? seven : saved);
    EXPECT_EQ(after.st_ino == before.st_ino, c.save != PermissionCase::replaced);
    EXPECT_EQ(after.st_mode & 07777, c.table_mode);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{HIGH_SCORE_FILE});
}

const PermissionCase PERMISSION_CASES[] = {
    {"open_folder_replaces_the_table_whole", 0777, 0666, PermissionCase::replaced},
    {"closed_folder_rewrites_a_writable_table_in_place", 0555, 0666, PermissionCase::in_place},
    {"sticky_folder_rewrites_a_table_of_another_user_in_place", 01777, 0666, PermissionCase::in_place},
    {"folder_that_cannot_be_listed_rewrites_in_place", 0311, 0666, PermissionCase::in_place},
    {"read_only_table_is_left_in_an_open_folder", 0777, 0444, PermissionCase::refused},
    {"read_only_table_is_left_in_a_closed_folder", 0755, 0644, PermissionCase::refused},
};

INSTANTIATE_TEST_SUITE_P(Cases, Permissions, ::testing::ValuesIn(PERMISSION_CASES),
                         [](const auto& info) { return std::string(info.param.label); });

// A full disk: a small tmpfs filled up before the save. Needs the right to mount, which
// root has (CI runs as root).
TEST_F(Surroundings, FullDiskLeavesTheOldTable) {
    const std::string mount_point = dir.file("small");
    ASSERT_EQ(::mkdir(mount_point.c_str(), 0755), 0);
    if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const std::string path = mount_point + "/murkwingdiver_highscores.dat";
    const std::string old_bytes = table_with(3, "OLD");
    write_file(path, old_bytes);
    load_high_scores(path);
    for (int k = 1; k <= 12; ++k) set_high_score_entry(k, {100 - k, std::string(12, 'N')});
    {
        std::ofstream filler(mount_point + "/filler", std::ios::binary);
        std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
        }
    }
    ::testing::internal::CaptureStderr();
    const bool saved = save_high_scores();
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string after = read_file(path);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(mount_point)) names.push_back(e.path().filename().string());
    ::umount(mount_point.c_str());
    EXPECT_FALSE(saved);
    EXPECT_EQ(count_lines(err), 1u) << err;
    EXPECT_EQ(after, old_bytes);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "murkwingdiver_highscores.dat"}));
}

}  // namespace
