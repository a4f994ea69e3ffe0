// Saving under attack: writers killed in place, a size limit, a failing flush, a full disk
// with another writer, a lock held by a stopped copy or a reader, a link planted by another
// user and a read-only table as root. Every case keeps every entry, the other user's files
// and the game's responsiveness.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "scores/score_storage.h"
#include "scores/score_table.h"
#include "tests/ui_test_support.h"

namespace {

using test_support::read_file;
using test_support::run_as;
using test_support::run_as_nobody;
using test_support::write_file;
using test_support::TempDir;

size_t count_lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// Twelve entries scoring from `top` down by one, named PREFIX1.. PREFIX12 (padded to `width`).
Entries falling_table(int32_t top, const std::string& prefix, size_t width = 0) {
    Entries t;
    for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
        std::string name = prefix + std::to_string(k);
        name.resize(std::max(width, name.size()), '.');
        t[k - 1] = {top - k + 1, name};
    }
    return t;
}

// What the game does with a new score, without the screens: into the table, and noted for
// the merge.
void offer(const HighScoreEntry& entry) {
    insert_entry(table_entries(), entry);
    note_offered_entry(entry);
}

// The hooks' state lives in the child processes that set them.
int steps_left = 0;
int kill_at_step(const char*) {
    if (--steps_left == 0) ::raise(SIGKILL);
    return 0;
}
int fail_flush_once(const char* step) {
    if (std::strcmp(step, "flush") != 0 || steps_left == 0) return 0;
    steps_left = 0;
    return EIO;
}
int stop_in_save(const char* step) {
    if (std::strcmp(step, "new file written") == 0) ::raise(SIGSTOP);
    return 0;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override { reset_high_scores(); }
    void TearDown() override {
        set_save_step_hook(nullptr);
        reset_high_scores();
    }
    // A folder `game` that takes no new file (0555) holding a table anyone may write, as a
    // player meets in a shared folder: saves go in place. Tried as "nobody" when root.
    std::string closed_folder_with(const std::string& bytes) {
        ::chmod(dir.path.c_str(), 0755);
        const std::string folder = dir.file("game");
        ::mkdir(folder.c_str(), 0755);
        write_file(folder + "/" + HIGH_SCORE_FILE, bytes);
        ::chmod((folder + "/" + HIGH_SCORE_FILE).c_str(), 0666);
        ::chmod(folder.c_str(), 0555);
        return folder + "/" + HIGH_SCORE_FILE;
    }
    TempDir dir;
};

// 200 writers killed in the middle of in-place saves, each at a step picked by a seeded
// random number, over saves that make the table longer and shorter: it always loads whole.
TEST_F(Faults, KilledInPlaceSavesLeaveAWholeTable) {
    const Entries short_table = falling_table(100, "s"), long_table = falling_table(50, "long", 200);
    const std::string path = closed_folder_with(format_entries(short_table));
    std::mt19937 rng(16);
    int damaged = 0, tails = 0;
    for (int round = 0; round < 200; ++round) {
        steps_left = 1 + static_cast<int>(rng() % 12);  // four marked steps a save, three saves
        run_as_nobody([&] {
            load_high_scores(path);
            set_save_step_hook(kill_at_step);
            for (int i = 0;; ++i) table_entries() = i % 2 ? short_table : long_table, save_high_scores();
            return 0;
        });
        const std::string bytes = read_file(path);
        reset_high_scores();
        parse_high_scores(bytes);
        damaged += table_entries() != short_table && table_entries() != long_table;
        tails += bytes.size() != format_high_scores().size();
    }
    std::printf("in-place saves killed: 200, damaged %d, with a tail of the old table %d\n", damaged, tails);
    EXPECT_EQ(damaged, 0);
    EXPECT_GT(tails, 0) << "no kill landed between the write and the cut";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("game")), {}), 1) << "a new file was left";
}

// In place, a save refused by a file-size limit, after which a fault cuts the file to 40
// bytes (as the limit itself did before), then a save whose flush fails with EIO after a
// good write: the next saves write every old entry and the new ones, each exactly once.
TEST_F(Faults, FailedInPlaceSavesLoseAndRepeatNoEntry) {
    const std::string path = closed_folder_with(format_entries(falling_table(100, "OLD")));
    Entries expected = falling_table(100, "OLD");
    insert_entry(expected, {95, "NEW"});
    insert_entry(expected, {90, "NEWER"});
    const test_support::ChildResult child = run_as_nobody([&path] {
        ::signal(SIGXFSZ, SIG_IGN);
        load_high_scores(path);
        offer({95, "NEW"});
        struct rlimit limit = {40, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        if (save_high_scores()) return 10;
        limit.rlim_cur = RLIM_INFINITY;
        if (::truncate(path.c_str(), 40) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 11;
        offer({90, "NEWER"});
        steps_left = 1;
        set_save_step_hook(fail_flush_once);
        if (save_high_scores()) return 12;
        return save_high_scores_at_exit() ? 0 : 13;
    });
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(count_lines(child.err), 1u) << child.err;  // reported once until a save works
    EXPECT_EQ(read_file(path), format_entries(expected));
}

// A full 64 KiB tmpfs while another program writes to it too, taking whatever space there
// is at every step of the save: the in-place save frees none, so the table is rewritten; an
// empty table cannot grow, stays empty and keeps the entry for a later save. Needs the
// right to mount (root; CI runs as root).
int other_writer = -1;
int fill_the_disk(const char*) {
    const std::string block(4096, 'x');
    while (::write(other_writer, block.data(), block.size()) > 0) {
    }
    return 0;
}

TEST_F(Faults, FullDiskWithAnotherWriterKeepsTheTable) {
    const std::string small = dir.file("small"), path = small + "/" + HIGH_SCORE_FILE, empty = small + "/e.dat";
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << std::strerror(errno);
    }
    for (const std::string& f : {path, empty, small + "/filler"}) write_file(f, ""), ::chmod(f.c_str(), 0666);
    write_file(path, format_entries(falling_table(100, "OLD")));
    ::chmod(small.c_str(), 0555);
    ::chmod(dir.path.c_str(), 0755);
    Entries expected = falling_table(100, "OLD"), grown;
    insert_entry(expected, {95, "NEW"});
    insert_entry(grown, {95, "NEW"});
    const test_support::ChildResult child = run_as_nobody([&] {
        other_writer = ::open((small + "/filler").c_str(), O_WRONLY | O_APPEND);
        set_save_step_hook(fill_the_disk);
        for (const std::string& table : {path, empty}) {
            fill_the_disk("");
            reset_high_scores();
            load_high_scores(table);
            offer({95, "NEW"});
            if (save_high_scores() != (table == path)) return 10;
        }
        if (read_file(empty) != "" || ::ftruncate(other_writer, 0) != 0) return 11;
        set_save_step_hook(nullptr);  // the other writer is done, and its file removed
        return save_high_scores() ? 0 : 12;
    });
    const std::string table = read_file(path), grown_table = read_file(empty);
    ::umount(small.c_str());
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(count_lines(child.err), 1u) << child.err;
    EXPECT_EQ(table, format_entries(expected));
    EXPECT_EQ(grown_table, format_entries(grown));
}

// Another program holds the table's lock: a copy of the game stopped in the middle of its
// save, or a user who may only read the table holding a shared lock (flock -s). Start-up
// reads the table anyway and says so; a save keeps its entry and says so; the shut-down save
// gives up with a line; once the lock is free, the entry is saved.
class LockHeld : public Faults, public ::testing::WithParamInterface<bool> {};

TEST_P(LockHeld, GameCarriesOnAndSavesLater) {
    const std::string path = dir.file(HIGH_SCORE_FILE);
    write_file(path, format_entries(falling_table(100, "OLD")));
    ::chmod(dir.path.c_str(), 0755);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        load_high_scores(path);
        offer({99, "STOPPED"});
        set_save_step_hook(stop_in_save);
        if (GetParam()) save_high_scores();
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        if (::flock(::open(path.c_str(), O_RDONLY), LOCK_SH) == 0) ::raise(SIGSTOP);
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the holder ended with status " << status;
    const auto start = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    load_high_scores(path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(high_score_entry(1).name, "OLD1");
    offer({95, "NEW"});
    EXPECT_FALSE(save_high_scores());
    EXPECT_FALSE(save_high_scores_at_exit());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(err), 3u) << err;
    EXPECT_NE(err.find("not saved"), std::string::npos) << err;
    std::printf("lock held by %s: start-up went on after %.2f s\n", GetParam() ? "a stopped copy" : "a reader", seconds);
    ::kill(holder, SIGKILL);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    EXPECT_TRUE(save_high_scores());
    Entries expected = falling_table(100, "OLD");
    insert_entry(expected, {95, "NEW"});
    EXPECT_EQ(read_file(path), format_entries(expected));
}

INSTANTIATE_TEST_SUITE_P(Holders, LockHeld, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "stopped_copy" : "shared_lock_of_a_reader"; });

// In a shared sticky folder, user A plants the table's name as a link to user B's .bashrc.
// B, and root, playing there: the link is refused with one line; .bashrc and the file
// beside it named like a leftover stay as they were. Two throwaway uids, so root only.
TEST_F(Faults, PlantedLinkInASharedFolderIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
    const uid_t attacker = 61001, victim = 61002;
    const std::string shared = dir.file("shared"), home = dir.file("home"), rc = home + "/.bashrc";
    ::chmod(dir.path.c_str(), 0755);
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    write_file(rc, "victim's\n");
    write_file(rc + ".tmpABC123", "victim's too\n");
    for (const std::string& f : {home, rc, rc + ".tmpABC123"}) ASSERT_EQ(::chown(f.c_str(), victim, victim), 0);
    const std::string link = shared + "/" + HIGH_SCORE_FILE;
    ASSERT_EQ(run_as(attacker, [&] { return ::symlink(rc.c_str(), link.c_str()); }).status, 0);
    for (const uid_t player : {victim, uid_t{0}}) {
        const test_support::ChildResult child = run_as(player, [&shared] {
            if (::chdir(shared.c_str()) != 0) return 4;
            load_high_scores(HIGH_SCORE_FILE);
            set_high_score_entry(1, {1, "A"});
            return save_high_scores() || save_high_scores_at_exit() ? 5 : 0;
        });
        EXPECT_EQ(child.status, 0) << "player " << player << ": " << child.err;
        EXPECT_EQ(count_lines(child.err), 1u) << child.err;
        EXPECT_NE(child.err.find("refusing"), std::string::npos) << child.err;
        EXPECT_EQ(read_file(rc) + read_file(rc + ".tmpABC123"), "victim's\nvictim's too\n");
    }
}

// A table without any write bit is never changed, also when the game runs as root.
TEST_F(Faults, ReadOnlyTableIsLeftEvenByRoot) {
    const std::string path = dir.file(HIGH_SCORE_FILE), bytes = format_entries(falling_table(100, "OLD"));
    write_file(path, bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    load_high_scores(path);
    offer({95, "NEW"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores() || save_high_scores_at_exit());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
    EXPECT_EQ(read_file(path), bytes);
}

}  // namespace
