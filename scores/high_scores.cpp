// The twelve best runs: their file (lenient reading; saving under a lock shared by every copy
// of the game, merged with what other copies saved, by whole-file replacement or in place),
// the insertion of a new score with its name, and the table screen.
#include "scores/high_scores.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/draw.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "ui/dialog.h"
#include "ui/font.h"
#include "ui/input.h"
#include "ui/name_entry.h"
#include "ui/screen_globals.h"

namespace {

constexpr int NAME_MAX_LENGTH = 12;
constexpr int32_t NAME_FIELD_Y = 72;
constexpr int32_t TABLE_TITLE_Y = 4;
constexpr int32_t TABLE_ROW_PITCH = 20;  // entry k is drawn at y 20 * k + 24
constexpr int32_t TABLE_TOP_Y = 24;
constexpr int32_t TABLE_PULL_ALPHA = 20; // each pass moves the screen 21/256 toward black
constexpr int TABLE_PAUSE_MS = 50;
constexpr size_t READ_CHUNK = 64 * 1024; // bytes fetched from the file at a time

using Entries = std::array<HighScoreEntry, HIGH_SCORE_COUNT>;  // entry k at index k - 1

struct HighScoreTable {
    Entries entries;
    Entries on_disk;                    // the file's table as this copy last read or wrote it
    std::vector<HighScoreEntry> added;  // entries offered here since then, in that order
    std::string file_name;              // empty until loaded
};

HighScoreTable& table() {
    static HighScoreTable t;
    return t;
}

// --- Reading -----------------------------------------------------------------------------

constexpr int END_OF_DATA = -1;

// Bytes either held in memory or fetched from a file in chunks. A file is read no further
// than its length when it was opened, so a file that grows (or a device that never ends)
// cannot keep the loader reading; and only what twelve entries take is ever fetched.
struct ByteReader {
    const unsigned char* data = nullptr;  // current bytes: data[pos] .. data[size - 1]
    size_t pos = 0;
    size_t size = 0;
    int fd = -1;             // file to fetch more from, or -1
    uint64_t file_left = 0;  // bytes of the file's opening length not fetched yet
    bool failed = false;     // a read failed (rather than met the end); errno says why
    std::vector<unsigned char> chunk;
};

bool refill(ByteReader& r) {
    if (r.fd < 0 || r.file_left == 0) return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(READ_CHUNK, r.file_left));
    r.chunk.resize(want);
    ssize_t got;
    do {
        got = ::read(r.fd, r.chunk.data(), want);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {  // a read that meets the end (or fails) ends the file here
        r.failed = got < 0;
        r.file_left = 0;
        return false;
    }
    r.data = r.chunk.data();
    r.pos = 0;
    r.size = static_cast<size_t>(got);
    r.file_left -= static_cast<uint64_t>(got);
    return true;
}

int peek_byte(ByteReader& r) {
    if (r.pos == r.size && !refill(r)) return END_OF_DATA;
    return r.data[r.pos];
}

int next_byte(ByteReader& r) {
    const int c = peek_byte(r);
    if (c != END_OF_DATA) ++r.pos;
    return c;
}

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Consumes one line end (CR LF, LF, or a lone CR) if it comes next.
void skip_line_end(ByteReader& r) {
    const int c = peek_byte(r);
    if (c == '\n') {
        next_byte(r);
    } else if (c == '\r') {
        next_byte(r);
        if (peek_byte(r) == '\n') next_byte(r);
    }
}

// The score field: leading blanks skipped, then up to a space, tab, comma, line end or
// the end of the data; a double quote at its start keeps spaces and commas up to the next
// double quote (a tab or a line end still ends the field). The delimiter is consumed; after a
// blank, further blanks and then one comma or line end are consumed as well. A field of any
// length is taken whole, so the name is still the next line.
std::string read_score_field(ByteReader& r) {
    while (is_blank(peek_byte(r))) next_byte(r);
    std::string field;
    bool quoted = false;
    if (peek_byte(r) == '"') {
        next_byte(r);
        quoted = true;
    }
    for (;;) {
        const int c = next_byte(r);
        if (c == END_OF_DATA || c == '\n') return field;
        if (c == '\r') {
            if (peek_byte(r) == '\n') next_byte(r);
            return field;
        }
        if (quoted && c == '"') {
            quoted = false;  // the closing quote is dropped; the field goes on
            continue;
        }
        if (quoted && c != '\t') {
            field += static_cast<char>(c);
            continue;
        }
        if (c == ',') return field;
        if (is_blank(c)) {
            while (is_blank(peek_byte(r))) next_byte(r);
            if (peek_byte(r) == ',') next_byte(r);
            else skip_line_end(r);
            return field;
        }
        field += static_cast<char>(c);
    }
}

// The name: the rest of the line, unchanged; the line feed and a carriage return right
// before it are dropped.
std::string read_name(ByteReader& r) {
    std::string name;
    for (;;) {
        if (peek_byte(r) == END_OF_DATA) return name;
        const unsigned char* start = r.data + r.pos;
        const size_t count = r.size - r.pos;
        const void* line_feed = std::memchr(start, '\n', count);
        if (!line_feed) {
            name.append(reinterpret_cast<const char*>(start), count);
            r.pos = r.size;
            continue;
        }
        const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(line_feed) - start);
        name.append(reinterpret_cast<const char*>(start), length);
        r.pos += length + 1;
        if (!name.empty() && name.back() == '\r') name.pop_back();
        return name;
    }
}

int32_t low_32_bits(uint64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Digits of `base` from position i on, up to the first other character, accumulated
// modulo 2^64 (unsigned arithmetic wraps, so no length overflows).
uint64_t read_digits(const std::string& text, size_t i, unsigned base) {
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = digit_value(text[i]);
        if (d >= static_cast<int>(base)) break;
        value = value * base + static_cast<unsigned>(d);
    }
    return value;
}

// A decimal real: [sign] digits [. digits] [e|d [sign] digits], rounded to the nearest
// integer with halves to even; beyond the 32-bit range it saturates at INT32_MIN/MAX.
int32_t round_real(const std::string& text, size_t i) {
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) number += text[i];
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) number += text[i];
    }
    if (digits == 0) return 0;
    if (i < text.size() && std::strchr("eEdD", text[i]) && text[i] != '\0') {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        const size_t exponent_start = j;
        for (; j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])); ++j) exponent += text[j];
        if (j > exponent_start) number += exponent;
    }
    // `number` holds only signs, digits, one point and an exponent, so strtod reads all of
    // it (no "inf", "nan" or hexadecimal forms); out-of-range values come back as +-HUGE_VAL.
    const double value = std::nearbyint(std::strtod(number.c_str(), nullptr));
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The score a field's text stands for.
int32_t score_from_field(const std::string& text) {
    if (text.size() >= 2 && text[0] == '&') {
        switch (text[1]) {
            case 'H': case 'h': return low_32_bits(read_digits(text, 2, 16));
            case 'O': case 'o': return low_32_bits(read_digits(text, 2, 8));
            case 'B': case 'b': return low_32_bits(read_digits(text, 2, 2));
            default: break;
        }
    }
    if (text.find('.') != std::string::npos) {
        size_t i = 0;
        while (i < text.size() && text[i] == ' ') ++i;  // spaces kept by quotes lead a real
        return round_real(text, i);
    }
    // A decimal integer: an optional sign, then digits up to the first other character, so a
    // quoted " 57" is 0. Fields longer than 11 characters are read as 64-bit integers with the
    // low 32 bits kept; reading every field modulo 2^64 does that and gives shorter ones the
    // same low 32 bits (99999999999 -> 1215752191).
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = read_digits(text, i, 10);
    if (negative) value = 0 - value;
    return low_32_bits(value);
}

// Reads entries 1, 2, ... into `entries` until the data ends or all twelve are read; the rest
// keep their values. Gives the number read.
int read_entries(ByteReader& r, Entries& entries) {
    int count = 0;
    for (HighScoreEntry& entry : entries) {
        if (peek_byte(r) == END_OF_DATA) break;
        entry.score = score_from_field(read_score_field(r));
        entry.name = read_name(r);
        ++count;
    }
    return count;
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
    ByteReader r;
    r.fd = t.fd;
    r.file_left = static_cast<uint64_t>(t.st.st_size);
    const int count = read_entries(r, entries);
    failed = r.failed;
    return count;
}

// Inserts `entry` by the rule of offer_high_score: when it beats entry 12, below every entry
// with an equal or greater score; the old entry 12 leaves the table.
void insert_entry(Entries& entries, const HighScoreEntry& entry) {
    if (entries[HIGH_SCORE_COUNT - 1].score >= entry.score) return;
    // The smallest k whose score is below the new one: in a sorted table, below every entry
    // with an equal or greater score.
    int p = HIGH_SCORE_COUNT;
    for (int k = HIGH_SCORE_COUNT; k >= 1; --k) {
        if (entries[k - 1].score < entry.score) p = k;
    }
    // Entries p..11 move down one place; the old entry 12 arrives at p and is overwritten.
    for (int k = HIGH_SCORE_COUNT - 1; k >= p; --k) std::swap(entries[k - 1], entries[k]);
    entries[p - 1] = entry;
}

std::string format_entries(const Entries& entries) {
    std::string out;
    for (const HighScoreEntry& entry : entries) {
        if (entry.score >= 0) out += ' ';
        out += std::to_string(entry.score);
        out += "\r\n";
        out += entry.name;
        out += "\r\n";
    }
    return out;
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

void parse_high_scores(const std::string& bytes) {
    ByteReader r;
    r.data = reinterpret_cast<const unsigned char*>(bytes.data());
    r.size = bytes.size();
    read_entries(r, table().entries);
}

void load_high_scores(const std::string& file_name) {
    HighScoreTable& t = table();
    t.file_name = file_name;
    t.added.clear();
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
    std::copy(from_file.begin(), from_file.begin() + count, t.entries.begin());
    t.on_disk = from_file;
}

std::string format_high_scores() { return format_entries(table().entries); }

bool save_high_scores() {
    HighScoreTable& t = table();
    const std::string& path = t.file_name;
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
    Entries merged = t.entries;
    if (on_disk != t.on_disk) {
        merged = on_disk;
        for (const HighScoreEntry& entry : t.added) insert_entry(merged, entry);
    }
    // Nothing new for a file that already holds exactly these bytes: it is not touched. A
    // file that start-up created empty, or one in a looser format, still gets the table in
    // the game's own format.
    const std::string bytes = format_entries(merged);
    const bool saved = (merged == on_disk && file_holds(file, bytes)) || write_table(target, file, write_error, bytes);
    if (file.fd >= 0) ::close(file.fd);  // releases the lock, after the rename
    if (saved) {
        t.entries = merged;
        t.on_disk = merged;
        t.added.clear();
        save_failure_reported = false;
        keep_saved_files();
    }
    return saved;
}

void offer_high_score(const int32_t& score) {
    const int32_t new_score = score;  // the reference might name an entry that moves below
    if (table().entries[HIGH_SCORE_COUNT - 1].score >= new_score) return;
    choice_dialog("High Score!", "Okay", 0, 0);
    const HighScoreEntry entry{new_score, enter_name(NAME_MAX_LENGTH, 0, CENTRE_X, NAME_FIELD_Y)};
    insert_entry(table().entries, entry);
    table().added.push_back(entry);
    // Saved at once, so that no way of ending the game loses the new entry.
    save_high_scores();
}

void show_high_scores() {
    const GameScreen& screen = game_screen();
    if (screen.overlay) {
        draw_line(screen.overlay, 0, 0, static_cast<float>(screen.width), static_cast<float>(screen.height),
                  COLOR_BLACK, LINE_FILLED_BOX, LINE_SOLID, COORDS_ABSOLUTE);
    }
    for (;;) {
        lock_screen();
        if (screen.overlay) put_image(nullptr, 0, 0, screen.overlay, blit_mode::blend, TABLE_PULL_ALPHA);
        draw_text(" High Scores ", CENTRE_X, TABLE_TITLE_Y, 255, -1);
        for (int k = 1; k <= HIGH_SCORE_COUNT; ++k) {
            const HighScoreEntry& entry = table().entries[k - 1];
            draw_text(" " + entry.name + " [" + std::to_string(entry.score) + "] ", CENTRE_X,
                      TABLE_ROW_PITCH * k + TABLE_TOP_Y, 255, -1);
        }
        unlock_screen(-1, -1);
        pause_ms(TABLE_PAUSE_MS);
        poll_mouse();
        poll_key();
        if (is_confirm_or_click()) return;
    }
}

const HighScoreEntry& high_score_entry(int k) {
    static const HighScoreEntry none;
    if (k < 1 || k > HIGH_SCORE_COUNT) return none;
    return table().entries[k - 1];
}

void set_high_score_entry(int k, const HighScoreEntry& entry) {
    if (k < 1 || k > HIGH_SCORE_COUNT) return;
    table().entries[k - 1] = entry;
}

void reset_high_scores() {
    table() = HighScoreTable{};
    save_failure_reported = false;
}
