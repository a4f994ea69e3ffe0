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
// random number (counted over three saves, the new table one time longer and one time
// shorter than the old): the file always loads as one whole table.
TEST_F(Faults, KilledInPlaceSavesLeaveAWholeTable) {
    const Entries short_table = falling_table(100, "s"), long_table = falling_table(50, "long", 200);
    const std::string short_bytes = format_entries(short_table), long_bytes = format_entries(long_table);
    const std::string path = closed_folder_with(short_bytes);
    std::mt19937 rng(16);
    int damaged = 0, tails = 0, seen_short = 0, seen_long = 0;
    for (int round = 0; round < 200; ++round) {
        steps_left = 1 + static_cast<int>(rng() % 12);
        const test_support::ChildResult child = run_as_nobody([&path, &short_table, &long_table] {
            load_high_scores(path);
            set_save_step_hook(kill_at_step);
            for (int i = 0;; ++i) {
                table_entries() = i % 2 ? short_table : long_table;
                save_high_scores();
            }
            return 0;
        });
        EXPECT_EQ(child.status, -1) << "round " << round << ": the writer was not killed";
        const std::string bytes = read_file(path);
        reset_high_scores();
        parse_high_scores(bytes);
        const std::string table = format_high_scores();
        if (table != short_bytes && table != long_bytes) ++damaged;
        (table == short_bytes ? seen_short : seen_long)++;
        tails += bytes.size() != table.size();
    }
    std::printf("in-place saves killed: 200, damaged %d, short/long tables %d/%d, a tail of the old table %d\n",
                damaged, seen_short, seen_long, tails);
    EXPECT_EQ(damaged, 0);
    EXPECT_GT(tails, 0) << "no kill landed between the write and the cut";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("game")), {}), 1) << "a new file was left";
}

// A save in place that fails after its write: once by a file-size limit (the table would
// pass it; and then a fault cuts the file to 40 bytes, as the size limit did before), once
// by a flush failing with EIO after a good write. The next save, at shut-down, writes every
// old entry and the new one exactly once; one line on stderr in all.
struct InPlaceFault {
    const char* label;
    void (*before)(const std::string& path);
    void (*after)(const std::string& path);
};

class InPlaceFaults : public Faults, public ::testing::WithParamInterface<InPlaceFault> {};

TEST_P(InPlaceFaults, NextSaveWritesEveryEntryOnce) {
    const std::string path = closed_folder_with(format_entries(falling_table(100, "OLD")));
    Entries expected = falling_table(100, "OLD");
    insert_entry(expected, {95, "NEW"});
    const InPlaceFault& fault = GetParam();
    const test_support::ChildResult child = run_as_nobody([&path, &fault] {
        ::signal(SIGXFSZ, SIG_IGN);
        load_high_scores(path);
        offer({95, "NEW"});
        fault.before(path);
        if (save_high_scores()) return 10;
        fault.after(path);
        return save_high_scores_at_exit() ? 0 : 11;
    });
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(count_lines(child.err), 1u) << child.err;
    EXPECT_EQ(read_file(path), format_entries(expected));
}

void limit_file_size(const std::string&) {
    const struct rlimit limit = {40, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}
void cut_and_lift_the_limit(const std::string& path) {
    if (::truncate(path.c_str(), 40) != 0) std::perror("truncate");
    const struct rlimit limit = {RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}
void fail_next_flush(const std::string&) {
    steps_left = 1;
    set_save_step_hook(fail_flush_once);
}
void mend_nothing(const std::string&) {}

const InPlaceFault IN_PLACE_FAULTS[] = {
    {"file_size_limit_then_a_cut_file", limit_file_size, cut_and_lift_the_limit},
    {"flush_fails_after_a_good_write", fail_next_flush, mend_nothing},
};
INSTANTIATE_TEST_SUITE_P(Cases, InPlaceFaults, ::testing::ValuesIn(IN_PLACE_FAULTS),
                         [](const auto& info) { return std::string(info.param.label); });

// A full 64 KiB tmpfs while another program writes to it too (at every step of the save it
// takes whatever space there is): the in-place save never frees space, so the table is
// rewritten; a table that start-up created empty cannot grow, stays empty and keeps the
// entry for a later save. Needs the right to mount (root; CI runs as root).
int other_writer = -1;
int write_to_the_full_disk(const char*) {
    const std::string block(4096, 'x');
    while (::write(other_writer, block.data(), block.size()) > 0) {
    }
    return 0;
}

TEST_F(Faults, FullDiskWithAnotherWriterKeepsTheTable) {
    const std::string small = dir.file("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << std::strerror(errno);
    }
    ::chmod(dir.path.c_str(), 0755);
    const std::string path = small + "/" + HIGH_SCORE_FILE, empty = small + "/empty.dat";
    write_file(path, format_entries(falling_table(100, "OLD")));
    write_file(empty, "");
    write_file(small + "/filler", "");
    for (const std::string& f : {path, empty, small + "/filler"}) ::chmod(f.c_str(), 0666);
    ::chmod(small.c_str(), 0555);
    Entries expected = falling_table(100, "OLD");
    insert_entry(expected, {95, "NEW"});
    const test_support::ChildResult child = run_as_nobody([&] {
        other_writer = ::open((small + "/filler").c_str(), O_WRONLY | O_APPEND);
        write_to_the_full_disk("");
        set_save_step_hook(write_to_the_full_disk);
        load_high_scores(path);
        offer({95, "NEW"});
        if (!save_high_scores()) return 10;
        reset_high_scores();
        load_high_scores(empty);
        offer({95, "NEW"});
        if (save_high_scores()) return 11;
        if (read_file(empty) != "") return 12;
        if (::ftruncate(other_writer, 0) != 0) return 13;
        set_save_step_hook(nullptr);
        return save_high_scores() ? 0 : 14;
    });
    const std::string table = read_file(path), grown = read_file(empty);
    ::umount(small.c_str());
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(count_lines(child.err), 1u) << child.err;
    EXPECT_EQ(table, format_entries(expected));
    Entries one_entry;
    one_entry[0] = {95, "NEW"};
    EXPECT_EQ(grown, format_entries(one_entry));
}

// Another program holds the table's lock: a copy of the game stopped in the middle of its
// save, or a user who may only read the table holding a shared lock (flock -s). Start-up
// reads the table anyway and says so; a save keeps its entry, says so once and tries again;
// the shut-down save gives up with a line; once the lock is free, the entry is saved.
class LockHeld : public Faults, public ::testing::WithParamInterface<bool> {};

TEST_P(LockHeld, GameCarriesOnAndSavesLater) {
    const bool stopped_copy = GetParam();
    const std::string path = dir.file(HIGH_SCORE_FILE);
    write_file(path, format_entries(falling_table(100, "OLD")));
    ::chmod(dir.path.c_str(), 0755);
    ::chmod(path.c_str(), 0644);
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(go[1]);
        if (stopped_copy) {
            load_high_scores(path);
            offer({99, "STOPPED"});
            set_save_step_hook(stop_in_save);
            save_high_scores();
        } else {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
            if (::flock(::open(path.c_str(), O_RDONLY), LOCK_SH) != 0) ::_exit(4);
            ::raise(SIGSTOP);  // holds the lock from here on
        }
        char c;
        ::_exit(static_cast<int>(::read(go[0], &c, 1)));
    }
    ::close(go[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the holder ended with status " << status;

    const auto start = std::chrono::steady_clock::now();
    ::testing::internal::CaptureStderr();
    load_high_scores(path);
    const std::string load_err = ::testing::internal::GetCapturedStderr();
    const double load_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(count_lines(load_err), 1u) << load_err;
    EXPECT_EQ(high_score_entry(1).name, "OLD1");
    offer({95, "NEW"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_FALSE(save_high_scores_at_exit());
    const std::string save_err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(save_err), 2u) << save_err;
    EXPECT_NE(save_err.find("not saved"), std::string::npos) << save_err;
    std::printf("lock held by %s: start-up went on after %.2f s\n", stopped_copy ? "a stopped copy" : "a reader",
                load_seconds);

    ::kill(holder, SIGKILL);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    ::close(go[1]);
    EXPECT_TRUE(save_high_scores());
    Entries expected = falling_table(100, "OLD");
    insert_entry(expected, {95, "NEW"});
    EXPECT_EQ(read_file(path), format_entries(expected));
}

INSTANTIATE_TEST_SUITE_P(Holders, LockHeld, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "stopped_copy" : "shared_lock_of_a_reader"; });

// In a shared sticky folder, user A plants the table's name as a link to user B's .bashrc.
// B, and root, playing there: the link is refused with one line, .bashrc and the file
// beside it that looks like a leftover stay as they were. Two throwaway uids, so root only.
TEST_F(Faults, PlantedLinkInASharedFolderIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
    const uid_t attacker = 61001, victim = 61002;
    const std::string shared = dir.file("shared"), home = dir.file("home");
    ::chmod(dir.path.c_str(), 0755);
    ASSERT_EQ(::mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    write_file(home + "/.bashrc", "victim's\n");
    write_file(home + "/.bashrc.tmpABC123", "victim's too\n");
    for (const std::string& f : {home, home + "/.bashrc", home + "/.bashrc.tmpABC123"}) {
        ASSERT_EQ(::chown(f.c_str(), victim, victim), 0);
    }
    const std::string link = shared + "/" + HIGH_SCORE_FILE;
    ASSERT_EQ(run_as(attacker, [&] { return ::symlink((home + "/.bashrc").c_str(), link.c_str()); }).status, 0);
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
        EXPECT_EQ(read_file(home + "/.bashrc"), "victim's\n");
        EXPECT_EQ(read_file(home + "/.bashrc.tmpABC123"), "victim's too\n");
    }
}

// A table without any write bit is never changed, also when the game runs as root.
TEST_F(Faults, ReadOnlyTableIsLeftEvenByRoot) {
    const std::string path = dir.file(HIGH_SCORE_FILE);
    const std::string bytes = format_entries(falling_table(100, "OLD"));
    write_file(path, bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    load_high_scores(path);
    offer({95, "NEW"});
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(save_high_scores());
    EXPECT_FALSE(save_high_scores_at_exit());
    EXPECT_EQ(count_lines(::testing::internal::GetCapturedStderr()), 1u);
    EXPECT_EQ(read_file(path), bytes);
}

}  // namespace
