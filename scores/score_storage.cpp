// Where the table lives: its file, read at start-up and saved under a lock shared by every
// copy of the game, merged with what other copies saved, by whole-file replacement or in
// place, and the leftovers of killed saves cleared beside it.
#include "scores/score_storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "scores/score_table.h"

namespace {

struct StoredTable {
    Entries on_disk;                    // the file's table as this copy last read or wrote it
    std::vector<HighScoreEntry> added;  // entries offered here since then, in that order
    std::string file_name;              // empty until loaded
};

StoredTable& stored() {
    static StoredTable s;
    return s;
}

// --- Saving ------------------------------------------------------------------------------

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

// The file a chain of symbolic links ends at (the path itself when it is no link), so that
// a table kept behind a link is replaced where it lives and the link stays a link. A
// dangling link gives the missing file it names. Gives up (empty result) after 40 links, as
// the kernel does, rather than replace a link of a loop with a file.
std::string resolve_links(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        std::string next(target.data(), static_cast<size_t>(n));
        if (next[0] != '/') {
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        }
        path = next;
    }
    return std::string();
}

// The folder that holds `path` ("dir/a" -> "dir", "a" -> ".", "/a" -> "/").
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The table file, open, and whether this copy holds its lock.
struct OpenTable {
    int fd = -1;           // -1 when it could not be opened (errno says why)
    bool locked = false;
    struct stat st = {};   // as it is under the lock
};

// Opens the table `path` with `flags` and takes the lock that every copy of the game holds
// while it reads the table for a save, changes the file, or clears leftovers beside it: an
// exclusive flock on the table itself, which needs no file of its own and so works in a
// folder the player cannot write. A save may replace the table by a rename while this copy
// waits; the lock it then gets is on a file that is no longer the table, so it opens the
// table again. Files other than regular ones are not locked, nor are tables on a file
// system without flock (locked stays false).
OpenTable open_table(const std::string& path, int flags) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        OpenTable t;
        t.fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
        if (t.fd < 0) return t;
        if (::fstat(t.fd, &t.st) != 0 || !S_ISREG(t.st.st_mode)) return t;
        int status;
        do {
            status = ::flock(t.fd, LOCK_EX);
        } while (status != 0 && errno == EINTR);
        if (status != 0) return t;
        struct stat now;
        if (::stat(path.c_str(), &now) == 0 && now.st_dev == t.st.st_dev && now.st_ino == t.st.st_ino) {
            t.locked = true;
            ::fstat(t.fd, &t.st);  // its length now, which a save in place may have changed
            return t;
        }
        ::close(t.fd);
    }
    OpenTable gave_up;  // replaced a hundred times while waiting: something else is at work
    errno = EBUSY;
    return gave_up;
}

// Removes what saves killed before their rename left beside the table `target`: regular
// files named as replace_file names its new files (the table's name, ".tmp" and six letters
// or digits), and nothing else. Called only under the table's lock, so no save is under way.
void remove_leftovers(const std::string& target) {
    const std::string folder = folder_of(target);
    const size_t slash = target.rfind('/');
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    auto is_letter_or_digit = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), is_letter_or_digit)) {
            continue;
        }
        const std::string leftover = folder + "/" + name;
        struct stat st;
        if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(leftover.c_str());
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

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes the rename itself durable; some file systems cannot, which changes nothing else.
void sync_directory_of(const std::string& path) {
    const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

enum class Replaced { yes, failed, not_here };

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over
// `path`, so that `path` always holds either its old content or the new one, whole. The
// new file takes the owner (where this process may give it) and permissions of `old`, the
// table's status. On a failure the old file stays as it was, the new one is removed and
// one line goes to stderr; not_here (with nothing reported) when the folder refuses the
// new file, or refuses to let it take the table's place.
Replaced replace_file(const std::string& path, const struct stat& old, const std::string& bytes) {
    std::string temp_name = path + ".tmpXXXXXX";
    std::vector<char> temp(temp_name.begin(), temp_name.end());
    temp.push_back('\0');
    const int fd = ::mkstemp(temp.data());
    if (fd < 0 && (errno == EACCES || errno == EPERM)) return Replaced::not_here;
    if (fd < 0) {
        report_save_failure(path, "creating the new file", errno);
        return Replaced::failed;
    }
    temp_name = temp.data();
    // mkstemp makes 0600 files of this user; a failure here only leaves them so. The owner
    // goes first, as a change of owner may clear permission bits.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* kept as this user's */ }
    ::fchmod(fd, old.st_mode & 07777);
    const char* failed_step = nullptr;
    int error = 0;
    if (!write_all(fd, bytes)) failed_step = "writing";
    else if (::fsync(fd) != 0) failed_step = "flushing to disk";
    if (failed_step) error = errno;
    if (::close(fd) != 0 && !failed_step) {
        failed_step = "closing";
        error = errno;
    }
    if (!failed_step && ::rename(temp_name.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(temp_name.c_str());
        if (error == EACCES || error == EPERM) return Replaced::not_here;  // a sticky folder
        failed_step = "replacing the old file";
    }
    if (failed_step) {
        ::unlink(temp_name.c_str());
        report_save_failure(path, failed_step, error);
        return Replaced::failed;
    }
    sync_directory_of(path);
    return Replaced::yes;
}

// Empties the table open as `fd` and writes `bytes` into it, then flushes it to disk: for a
// folder that takes no new file. Not atomic: a crash in between leaves a short table,
// which loads as the entries written so far.
bool rewrite_in_place(const std::string& path, int fd, const std::string& bytes) {
    const char* failed_step = nullptr;
    if (::ftruncate(fd, 0) != 0) failed_step = "emptying it to rewrite it in place";
    else if (::lseek(fd, 0, SEEK_SET) != 0 || !write_all(fd, bytes)) failed_step = "rewriting it in place";
    else if (::fsync(fd) != 0) failed_step = "flushing to disk";
    if (failed_step) {
        report_save_failure(path, failed_step, errno);
        return false;
    }
    return true;
}

// Whether the table open as `t` holds exactly `bytes`; false for no file or a failed read.
bool file_holds(const OpenTable& t, const std::string& bytes) {
    if (t.fd < 0 || !S_ISREG(t.st.st_mode) || static_cast<uint64_t>(t.st.st_size) != bytes.size()) return false;
    std::string held(bytes.size(), '\0');
    size_t done = 0;
    while (done < held.size()) {
        const ssize_t n = ::pread(t.fd, held.data() + done, held.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return held == bytes;
}

// Puts `bytes` in the table file `path`, open and locked as `t`: through a new file and
// a rename wherever the folder allows, else in place. A table this process could not open
// for writing (`write_error`, its errno) is left as it is, and so is anything other than a
// regular file.
bool write_table(const std::string& path, const OpenTable& t, int write_error, const std::string& bytes) {
    if (write_error != 0) {
        report_save_failure(path, "opening it for writing", write_error);
        return false;
    }
    if (!S_ISREG(t.st.st_mode)) {
        report_save_failure(path, "it is not a regular file", 0);
        return false;
    }
    const Replaced replaced = replace_file(path, t.st, bytes);
    if (replaced == Replaced::not_here) return rewrite_in_place(path, t.fd, bytes);
    return replaced == Replaced::yes;
}

}  // namespace

void load_high_scores(const std::string& file_name) {
    StoredTable& s = stored();
    s.file_name = file_name;
    s.added.clear();
    // Create the file when missing; an existing one is not changed. O_NONBLOCK keeps a FIFO
    // of that name from blocking the start-up.
    const int fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) ::close(fd);
    Entries from_file;
    int count = 0;
    const OpenTable file = open_table(file_name, O_RDONLY);
    if (file.fd >= 0) {
        if (file.locked) remove_leftovers(resolve_links(file_name));
        bool failed;  // the entries read before a failed read are kept
        count = read_table_file(file, from_file, failed);
        ::close(file.fd);
    }
    std::copy(from_file.begin(), from_file.begin() + count, table_entries().begin());
    s.on_disk = from_file;
}

bool save_high_scores() {
    StoredTable& s = stored();
    Entries& entries = table_entries();
    const std::string& path = s.file_name;
    if (path.empty()) {
        report_save_failure(path, "no file name (the table was never loaded)", ENOENT);
        return false;
    }
    const std::string target = resolve_links(path);
    if (target.empty()) {
        report_save_failure(path, "following its links", ELOOP);
        return false;
    }
    // Opened for writing where this process may; else for reading only, to learn whether
    // there is anything to write at all.
    OpenTable file = open_table(target, O_RDWR | O_CREAT);
    const int write_error = file.fd < 0 ? errno : 0;
    if (file.fd < 0) file = open_table(target, O_RDONLY);
    if (file.fd < 0 && errno != ENOENT) {
        report_save_failure(target, "opening it for writing", write_error);
        return false;
    }
    Entries on_disk;  // as the file holds it now; twelve empty entries for no file
    bool read_failed = false;
    if (file.fd >= 0) read_table_file(file, on_disk, read_failed);
    if (read_failed) {
        report_save_failure(target, "reading it again", errno);
        ::close(file.fd);
        return false;
    }
    // The file as this copy last saw it: the table in memory is that table with this copy's
    // entries inserted, and goes in as it stands. Another copy has saved since: this copy's
    // entries are inserted into what it saved.
    Entries merged = entries;
    if (on_disk != s.on_disk) {
        merged = on_disk;
        for (const HighScoreEntry& entry : s.added) insert_entry(merged, entry);
    }
    // Nothing new for a file that already holds exactly these bytes: it is not touched. A
    // file that start-up created empty, or one in a looser format, still gets the table in
    // the game's own format.
    const std::string bytes = format_entries(merged);
    const bool saved = (merged == on_disk && file_holds(file, bytes)) || write_table(target, file, write_error, bytes);
    if (file.fd >= 0) ::close(file.fd);  // releases the lock, after the rename
    if (saved) {
        entries = merged;
        s.on_disk = merged;
        s.added.clear();
        save_failure_reported = false;
        keep_saved_files();
    }
    return saved;
}

void note_offered_entry(const HighScoreEntry& entry) { stored().added.push_back(entry); }

void reset_high_scores() {
    table_entries() = Entries{};
    stored() = StoredTable{};
    save_failure_reported = false;
}
