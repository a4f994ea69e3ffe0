// Where the table lives: its file, read at start-up and saved under a lock shared by every
// copy of the game, merged with what other copies saved, by whole-file replacement or in
// place, and the leftovers of killed saves cleared beside it.
#include "scores/score_storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "platform/platform.h"
#include "scores/score_table.h"

namespace {

constexpr int LOCK_WAIT_MS = 2000;          // start-up and a save wait this long for the lock
constexpr int LOCK_WAIT_AT_EXIT_MS = 5000;  // the shut-down save, the last chance, a little more
constexpr int LOCK_POLL_MS = 10;            // between two tries of the lock
constexpr int MAX_LINKS = 40;               // links followed at most, as the kernel does

struct StoredTable {
    Entries on_disk;                    // the file's table as this copy last read or wrote it
    uint64_t on_disk_size = 0;          // the file's length then, in bytes
    std::vector<HighScoreEntry> added;  // entries offered here since then, in that order
    std::string file_name;              // empty until loaded
    bool unsynced = false;              // the last save's write reached the file, its flush failed
};

StoredTable& stored() {
    static StoredTable s;
    return s;
}

SaveStepHook step_hook = nullptr;

// A marked step of a save; gives the errno the test seam asks the step to fail with, or 0.
int save_step(const char* step) { return step_hook ? step_hook(step) : 0; }

// fsync, with the test seam's chance to make it fail.
int flush_to_disk(int fd) {
    if (const int injected = save_step("flush")) {
        errno = injected;
        return -1;
    }
    return ::fsync(fd);
}

// Set after a failed save has been reported, cleared by a save that works: a player whose
// folder cannot take the file hears about it once, not after every run.
bool save_failure_reported = false;

// One line on standard error: the game has no other place to say that scores were lost.
// `error` 0 gives the step alone.
void report_save_failure(const std::string& path, const char* step, int error) {
    if (save_failure_reported) return;
    save_failure_reported = true;
    std::fprintf(stderr, "murkwingdiver: high scores not saved to \"%s\": %s%s%s\n", path.c_str(), step,
                 error ? ": " : "", error ? std::strerror(error) : "");
}

// The folder that holds `path` ("dir/a" -> "dir", "a" -> ".", "/a" -> "/").
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_in_folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the table is: the folder that holds it, open, and its name there. Every later step
// opens, renames and removes by this folder and name, so what was checked is what is used.
struct TablePlace {
    int folder = -1;
    std::string name;
    std::string path;         // for messages: the path the links led to
    bool own_folder = false;  // the folder of the name given, not one a link leads to
    ~TablePlace() {
        if (folder >= 0) ::close(folder);
    }
};

enum class Found { yes, no_folder, refused_link, link_loop };

// Follows the links from `path` to the table, as far as the kernel's protected_symlinks rule
// would: a link in a sticky folder that everyone may write is followed only when it belongs
// to the folder's owner or to this player, else anyone could point the table at another
// user's file. A dangling link gives the missing file it names, so that a table kept behind
// a link is created and replaced where it lives and the link stays a link.
Found find_table(const std::string& path, TablePlace& place) {
    std::string at = path;
    for (int hops = 0;; ++hops) {
        struct stat link, folder;
        if (::lstat(at.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) break;
        if (hops == MAX_LINKS) return Found::link_loop;
        if (::stat(folder_of(at).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) &&
            link.st_uid != folder.st_uid && link.st_uid != ::geteuid()) {
            place.path = at;
            return Found::refused_link;
        }
        std::vector<char> target(static_cast<size_t>(link.st_size > 0 ? link.st_size : 4096) + 1);
        const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
        std::string next(target.data(), static_cast<size_t>(n));
        if (next[0] != '/' && at.find('/') != std::string::npos) next = folder_of(at) + "/" + next;
        at = next;
    }
    place.path = at;
    place.name = name_in_folder(at);
    // O_PATH: a folder the player may pass through but not list holds a table as well.
    place.folder = ::open(folder_of(at).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (place.folder < 0) return Found::no_folder;
    struct stat own, found;
    place.own_folder = ::stat(folder_of(path).c_str(), &own) == 0 && ::fstat(place.folder, &found) == 0 &&
                       own.st_dev == found.st_dev && own.st_ino == found.st_ino;
    return Found::yes;
}

// Reports why find_table found no table; false.
bool report_not_found(const std::string& path, Found found, const TablePlace& place) {
    switch (found) {
        case Found::refused_link:
            report_save_failure(place.path, "refusing to follow a link in a folder shared by everyone, made by "
                                            "neither you nor the folder's owner", 0);
            break;
        case Found::link_loop: report_save_failure(path, "following its links", ELOOP); break;
        default: report_save_failure(place.path, "opening its folder", errno); break;
    }
    return false;
}

// The table file, open, and whether this copy holds its lock.
struct OpenTable {
    int fd = -1;             // -1 when it could not be opened (errno says why)
    bool locked = false;
    bool timed_out = false;  // another program held the lock past the wait
    struct stat st = {};     // as it is under the lock
};

// Takes the exclusive flock on `fd`, trying until `wait_ms` have passed: a copy stopped in
// the middle of its save, or anyone who may read the table and holds a lock on it, cannot
// keep this one waiting for ever. False with errno EWOULDBLOCK when the time ran out; other
// errors mean a file system without flock.
bool lock_within(int fd, int wait_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= end) {
            errno = EWOULDBLOCK;
            return false;
        }
        save_step("lock wait");
        ::usleep(LOCK_POLL_MS * 1000);
    }
}

// Opens the table at `place` with `flags` and takes the lock that every copy of the game
// holds while it reads the table for a save, changes the file, or clears leftovers beside
// it: an exclusive flock on the table itself, which needs no file of its own and so works in
// a folder the player cannot write. The table is opened without following a link (find_table
// followed the allowed ones) and without blocking; anything but a regular file is neither
// locked nor read. A save may replace the table by a rename while this copy waits; the lock
// it then gets is on a file that is no longer the table, so it opens the table again. On a
// file system without flock, locked stays false.
OpenTable open_table(const TablePlace& place, int flags, int wait_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (int attempt = 0; attempt < 100; ++attempt) {
        OpenTable t;
        t.fd = ::openat(place.folder, place.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (t.fd < 0) return t;
        if (::fstat(t.fd, &t.st) != 0 || !S_ISREG(t.st.st_mode)) return t;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (!lock_within(t.fd, static_cast<int>(std::max<int64_t>(0, left.count())))) {
            t.timed_out = errno == EWOULDBLOCK;
            return t;
        }
        struct stat now;
        if (::fstatat(place.folder, place.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == t.st.st_dev &&
            now.st_ino == t.st.st_ino) {
            t.locked = true;
            ::fstat(t.fd, &t.st);  // its length now, which a save in place may have changed
            save_step("locked");
            return t;
        }
        ::close(t.fd);
    }
    OpenTable gave_up;  // replaced a hundred times while waiting: something else is at work
    errno = EBUSY;
    return gave_up;
}

// Removes what saves killed before their rename left beside the table: regular files named
// as replace_file names its new files (the table's name, ".tmp" and six letters or digits),
// and nothing else. Called only under the table's lock, so no save is under way, and only
// for a table in the folder of the name the game was given, never in a folder a link leads to.
void remove_leftovers(const TablePlace& place) {
    const std::string prefix = place.name + ".tmp";
    const int listed = ::openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0) ::close(listed);
        return;
    }
    auto is_letter_or_digit = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), is_letter_or_digit)) {
            continue;
        }
        struct stat st;
        if (::fstatat(place.folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            ::unlinkat(place.folder, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

// Reads the table in the open file `t` into `entries`, up to the length it has under the
// lock; entries past its end keep their values. Only a regular file has a length to read
// up to: anything else reads as empty. Gives the number of entries read; `failed` tells
// whether a read failed rather than met the end.
int read_table_file(const OpenTable& t, Entries& entries, bool& failed) {
    failed = false;
    if (!S_ISREG(t.st.st_mode) || t.st.st_size <= 0) return 0;
    return read_table_from_file(t.fd, static_cast<uint64_t>(t.st.st_size), failed, entries);
}

// Reads bytes.size() bytes of `fd` from offset 0 into `bytes`; false for a failed or short read.
bool read_start(int fd, std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes `bytes` at offset 0 of `fd`; `done` tells how many went in, also on a failure.
bool write_start(int fd, const std::string& bytes, size_t& done) {
    done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A name for a new file beside the table, unused so far: the table's name, ".tmp" and six
// letters or digits (what remove_leftovers looks for). Creates it, 0600, and gives it open.
int create_new_file(const TablePlace& place, std::string& new_name) {
    static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 pick(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                             static_cast<uint32_t>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        new_name = place.name + ".tmp";
        for (int i = 0; i < 6; ++i) new_name += LETTERS[pick() % (sizeof LETTERS - 1)];
        const int fd = ::openat(place.folder, new_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// How a write of the table ended.
enum class Written {
    no,        // the file holds what it held before
    yes,       // the new table is in the file and flushed to disk
    unsynced,  // the new table is in the file (every reader sees it), its flush failed
    not_here,  // the folder refuses a new file, or refuses to let it take the table's place
};

// Writes `bytes` to a new file beside the table, flushes it to disk and renames it over the
// table, so that the table always holds either its old content or the new one, whole. The
// new file takes the owner (where this process may give it) and permissions of `old`, the
// table's status. On a failure the old file stays as it was, the new one is removed and
// one line goes to stderr; not_here (with nothing reported) when the folder refuses.
Written replace_file(const TablePlace& place, const struct stat& old, const std::string& bytes) {
    std::string new_name;
    const int fd = create_new_file(place, new_name);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) return Written::not_here;
    if (fd < 0) {
        report_save_failure(place.path, "creating the new file", errno);
        return Written::no;
    }
    // A failure here only leaves the new file 0600 and this user's. The owner goes first, as
    // a change of owner may clear permission bits.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* kept as this user's */ }
    ::fchmod(fd, old.st_mode & 07777);
    const char* failed_step = nullptr;
    int error = 0;
    size_t done;
    if (!write_start(fd, bytes, done)) {
        failed_step = "writing";
    } else {
        save_step("new file written");
        if (flush_to_disk(fd) != 0) failed_step = "flushing to disk";
    }
    if (failed_step) error = errno;
    if (::close(fd) != 0 && !failed_step) {
        failed_step = "closing";
        error = errno;
    }
    if (!failed_step) save_step("new file flushed");
    if (!failed_step && ::renameat(place.folder, new_name.c_str(), place.folder, place.name.c_str()) != 0) {
        error = errno;
        ::unlinkat(place.folder, new_name.c_str(), 0);
        if (error == EACCES || error == EPERM) return Written::not_here;  // a sticky folder
        failed_step = "replacing the old file";
    }
    if (failed_step) {
        ::unlinkat(place.folder, new_name.c_str(), 0);
        report_save_failure(place.path, failed_step, error);
        return Written::no;
    }
    save_step("renamed");
    // Makes the rename durable; some file systems cannot, which changes nothing else.
    const int folder = ::openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return Written::yes;
}

// Writes `bytes` over the table open as `t`, for a folder that takes no new file, so that
// the file never holds less than it did, whatever fails and wherever the process is killed:
// - the new table goes in with one write from offset 0; a table in the game's format is
//   under 4 KiB, the file's first page, which a kill does not cut in two;
// - a write that fails part way (a full disk, a size limit, an I/O error) is undone: the
//   bytes it changed get their old values back and the file its old length;
// - only once the new table is flushed to disk is the file cut to its length. Until then
//   the old table's tail follows it, which reading ignores: it stops after twelve entries.
Written rewrite_in_place(const TablePlace& place, const OpenTable& t, const std::string& bytes) {
    const uint64_t old_size = static_cast<uint64_t>(t.st.st_size);
    std::string old(static_cast<size_t>(std::min<uint64_t>(bytes.size(), old_size)), '\0');
    if (!read_start(t.fd, old)) {
        report_save_failure(place.path, "reading it before rewriting it in place", errno);
        return Written::no;
    }
    size_t done;
    if (!write_start(t.fd, bytes, done)) {
        const int error = errno;
        size_t undone;
        if (!write_start(t.fd, old.substr(0, std::min(done, old.size())), undone)) { /* nothing more to try */ }
        if (done > old_size && ::ftruncate(t.fd, static_cast<off_t>(old_size)) != 0) { /* as above */ }
        report_save_failure(place.path, "rewriting it in place", error);
        return Written::no;
    }
    save_step("in place written");
    if (flush_to_disk(t.fd) != 0) {
        report_save_failure(place.path, "flushing to disk", errno);
        return Written::unsynced;
    }
    save_step("in place flushed");
    // A cut that fails leaves the tail, which reading ignores.
    if (old_size > bytes.size() && ::ftruncate(t.fd, static_cast<off_t>(bytes.size())) == 0) ::fsync(t.fd);
    return Written::yes;
}

// Whether the table open as `t` begins with `bytes` (`whole`: and holds nothing else); false
// for no file or a failed read.
bool file_holds(const OpenTable& t, const std::string& bytes, bool whole) {
    if (t.fd < 0 || !S_ISREG(t.st.st_mode)) return false;
    const uint64_t size = static_cast<uint64_t>(t.st.st_size);
    if (whole ? size != bytes.size() : size < bytes.size()) return false;
    std::string held(bytes.size(), '\0');
    return read_start(t.fd, held) && held == bytes;
}

// Puts `bytes` in the table open and locked as `t`: through a new file and a rename
// wherever the folder allows, else in place. A table without any write bit is left as it
// is, even by root, and so is one this process could not open for writing (`write_error`,
// its errno), anything other than a regular file, and a table the file-size limit would cut.
Written write_table(const TablePlace& place, const OpenTable& t, int write_error, const std::string& bytes) {
    if (t.fd >= 0 && (t.st.st_mode & 0222) == 0) {
        report_save_failure(place.path, "it is read-only", 0);
        return Written::no;
    }
    if (write_error != 0) {
        report_save_failure(place.path, "opening it for writing", write_error);
        return Written::no;
    }
    if (!S_ISREG(t.st.st_mode)) {
        report_save_failure(place.path, "it is not a regular file", 0);
        return Written::no;
    }
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && bytes.size() > limit.rlim_cur) {
        report_save_failure(place.path, "writing it", EFBIG);
        return Written::no;
    }
    const Written replaced = replace_file(place, t.st, bytes);
    return replaced == Written::not_here ? rewrite_in_place(place, t, bytes) : replaced;
}

// The save: see save_high_scores. `wait_ms` is how long it waits for the lock; `last` marks
// the shut-down save, which says so when the scores stay unsaved for good.
bool save_table(int wait_ms, bool last) {
    StoredTable& s = stored();
    Entries& entries = table_entries();
    const std::string& path = s.file_name;
    if (path.empty()) {
        report_save_failure(path, "no file name (the table was never loaded)", ENOENT);
        return false;
    }
    TablePlace place;
    const Found found = find_table(path, place);
    if (found != Found::yes) return report_not_found(path, found, place);
    // Opened for writing where this process may; else for reading only, to learn whether
    // there is anything to write at all.
    OpenTable file = open_table(place, O_RDWR | O_CREAT, wait_ms);
    const int write_error = file.fd < 0 ? errno : 0;
    if (file.fd < 0) file = open_table(place, O_RDONLY, wait_ms);
    if (file.fd < 0 && errno != ENOENT) {
        report_save_failure(place.path, "opening it for writing", write_error);
        return false;
    }
    if (file.timed_out) {
        // Another program holds the lock: the entries stay here for the next save.
        ::close(file.fd);
        if (entries == s.on_disk && !s.unsynced) return true;  // nothing of this copy's to save
        if (last) {
            std::fprintf(stderr, "murkwingdiver: high scores not saved to \"%s\": another program held the file "
                                 "locked for %d s\n", place.path.c_str(), wait_ms / 1000);
        } else {
            report_save_failure(place.path, "another program holds the file locked (kept for the next save)", 0);
        }
        return false;
    }
    Entries on_disk;  // as the file holds it now; twelve empty entries for no file
    bool read_failed = false;
    if (file.fd >= 0) read_table_file(file, on_disk, read_failed);
    if (read_failed) {
        report_save_failure(place.path, "reading it again", errno);
        ::close(file.fd);
        return false;
    }
    // The file as this copy last saw it: the table in memory is that table with this copy's
    // entries inserted, and goes in as it stands. Another copy has saved since: this copy's
    // entries are inserted into what it saved. A file shorter than this copy last saw it that
    // does not hold a whole table in the game's format is no other copy's save but a damaged
    // file (cut by a fault, say): the table in memory goes in as it stands.
    Entries merged = entries;
    const uint64_t size = file.fd >= 0 ? static_cast<uint64_t>(file.st.st_size) : 0;
    const bool damaged = size < s.on_disk_size && !file_holds(file, format_entries(on_disk), false);
    if (on_disk != s.on_disk && !damaged) {
        merged = on_disk;
        for (const HighScoreEntry& entry : s.added) insert_entry(merged, entry);
    }
    // Nothing new for a file that already holds exactly these bytes, flushed: it is not
    // touched. A file that start-up created empty, or one in a looser format, still gets the
    // table in the game's own format.
    const std::string bytes = format_entries(merged);
    const Written written = merged == on_disk && !s.unsynced && file_holds(file, bytes, true)
                                ? Written::yes
                                : write_table(place, file, write_error, bytes);
    if (file.fd >= 0) ::close(file.fd);  // releases the lock, after the rename
    if (written == Written::yes || written == Written::unsynced) {
        // The file holds the new table: what goes in the next save starts from it, so
        // entries are never inserted twice, even when the flush failed.
        entries = merged;
        s.on_disk = merged;
        s.on_disk_size = bytes.size();
        s.added.clear();
        s.unsynced = written == Written::unsynced;
    }
    if (written != Written::yes) return false;
    save_failure_reported = false;
    keep_saved_files();
    return true;
}

}  // namespace

void load_high_scores(const std::string& file_name) {
    StoredTable& s = stored();
    s.file_name = file_name;
    s.added.clear();
    TablePlace place;
    const Found found = find_table(file_name, place);
    if (found == Found::refused_link) report_not_found(file_name, found, place);
    if (found != Found::yes) return;
    // Create the file when missing; an existing one is not opened for writing at all.
    const int fd = ::openat(place.folder, place.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) ::close(fd);
    Entries from_file;
    int count = 0;
    const OpenTable file = open_table(place, O_RDONLY, LOCK_WAIT_MS);
    if (file.fd >= 0) {
        if (file.timed_out) {
            std::fprintf(stderr, "murkwingdiver: the high scores in \"%s\" are locked by another program; read "
                                 "without waiting for it\n", place.path.c_str());
        }
        if (file.locked && place.own_folder) remove_leftovers(place);
        bool failed;  // the entries read before a failed read are kept
        count = read_table_file(file, from_file, failed);
        s.on_disk_size = S_ISREG(file.st.st_mode) ? static_cast<uint64_t>(file.st.st_size) : 0;
        ::close(file.fd);
    }
    std::copy(from_file.begin(), from_file.begin() + count, table_entries().begin());
    s.on_disk = from_file;
}

bool save_high_scores() { return save_table(LOCK_WAIT_MS, false); }

bool save_high_scores_at_exit() { return save_table(LOCK_WAIT_AT_EXIT_MS, true); }

void note_offered_entry(const HighScoreEntry& entry) { stored().added.push_back(entry); }

void set_save_step_hook(SaveStepHook hook) { step_hook = hook; }

void reset_high_scores() {
    table_entries() = Entries{};
    stored() = StoredTable{};
    save_failure_reported = false;
}
