// The twelve best runs: their file (lenient reading, whole-file replacement on saving),
// the insertion of a new score with its name, and the table screen.
#include "scores/high_scores.h"

#include <fcntl.h>
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

struct HighScoreTable {
    std::array<HighScoreEntry, HIGH_SCORE_COUNT> entries;  // entry k at index k - 1
    std::string file_name;                                 // empty until loaded
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
// the end of the data; a double quote at its start keeps spaces, tabs and commas up to the
// next double quote (a line end still ends the field). The delimiter is consumed; after a
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
        if (quoted) {
            if (c == '"') quoted = false;  // the closing quote is dropped; the field goes on
            else field += static_cast<char>(c);
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
    size_t i = 0;
    while (i < text.size() && is_blank(static_cast<unsigned char>(text[i]))) ++i;  // quoted blanks
    if (text.find('.') != std::string::npos) return round_real(text, i);
    // A decimal integer with an optional sign. Fields longer than 11 characters are read as
    // 64-bit integers with the low 32 bits kept; reading every field modulo 2^64 does that and
    // gives shorter ones the same low 32 bits (99999999999 -> 1215752191).
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = read_digits(text, i, 10);
    if (negative) value = 0 - value;
    return low_32_bits(value);
}

void read_entries(ByteReader& r) {
    for (HighScoreEntry& entry : table().entries) {
        if (peek_byte(r) == END_OF_DATA) return;  // the rest keep their values
        entry.score = score_from_field(read_score_field(r));
        entry.name = read_name(r);
    }
}

// --- Saving ------------------------------------------------------------------------------

// Set after a failed save has been reported, cleared by a save that works: a player whose
// folder cannot take the file hears about it once, not after every run.
bool save_failure_reported = false;

// One line on standard error: the game has no other place to say that scores were lost.
void report_save_failure(const std::string& path, const char* step, int error) {
    if (save_failure_reported) return;
    save_failure_reported = true;
    std::fprintf(stderr, "murkwingdiver: high scores not saved to \"%s\": %s: %s\n", path.c_str(), step,
                 std::strerror(error));
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

// Permission bits for the new file: the old file's, or what a plain create would give.
mode_t new_file_mode(const std::string& path) {
    struct stat old;
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) return old.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable; some file systems cannot, which changes nothing else.
void sync_directory_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over
// `path`, so that `path` always holds either its old content or the new one, whole. On any
// failure the old file stays as it was, the new one is removed and one line goes to stderr.
bool replace_file(const std::string& path, const std::string& bytes) {
    std::string temp_name = path + ".tmpXXXXXX";
    std::vector<char> temp(temp_name.begin(), temp_name.end());
    temp.push_back('\0');
    const mode_t mode = new_file_mode(path);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        report_save_failure(path, "creating the new file", errno);
        return false;
    }
    temp_name = temp.data();
    ::fchmod(fd, mode);  // mkstemp makes 0600; a failure here only leaves it so
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
        failed_step = "replacing the old file";
        error = errno;
    }
    if (failed_step) {
        ::unlink(temp_name.c_str());
        report_save_failure(path, failed_step, error);
        return false;
    }
    sync_directory_of(path);
    return true;
}

}  // namespace

void parse_high_scores(const std::string& bytes) {
    ByteReader r;
    r.data = reinterpret_cast<const unsigned char*>(bytes.data());
    r.size = bytes.size();
    read_entries(r);
}

void load_high_scores(const std::string& file_name) {
    table().file_name = file_name;
    // Create the file when missing; an existing one is not changed. O_NONBLOCK keeps a FIFO
    // of that name from blocking the start-up.
    int fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) ::close(fd);
    fd = ::open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    // Only a regular file has a length to read up to; anything else reads as empty.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        ByteReader r;
        r.fd = fd;
        r.file_left = static_cast<uint64_t>(st.st_size);
        read_entries(r);
    }
    ::close(fd);
}

std::string format_high_scores() {
    std::string out;
    for (const HighScoreEntry& entry : table().entries) {
        if (entry.score >= 0) out += ' ';
        out += std::to_string(entry.score);
        out += "\r\n";
        out += entry.name;
        out += "\r\n";
    }
    return out;
}

bool save_high_scores() {
    const std::string& path = table().file_name;
    if (path.empty()) {
        report_save_failure(path, "no file name (the table was never loaded)", ENOENT);
        return false;
    }
    const std::string target = resolve_links(path);
    if (target.empty()) {
        report_save_failure(path, "following its links", ELOOP);
        return false;
    }
    const bool saved = replace_file(target, format_high_scores());
    if (saved) save_failure_reported = false;
    if (saved) keep_saved_files();
    return saved;
}

void offer_high_score(const int32_t& score) {
    const int32_t new_score = score;  // the reference might name an entry that moves below
    auto& entries = table().entries;
    if (entries[HIGH_SCORE_COUNT - 1].score >= new_score) return;
    choice_dialog("High Score!", "Okay", 0, 0);
    // The smallest k whose score is below the new one: in a sorted table, below every entry
    // with an equal or greater score.
    int p = HIGH_SCORE_COUNT;
    for (int k = HIGH_SCORE_COUNT; k >= 1; --k) {
        if (entries[k - 1].score < new_score) p = k;
    }
    // Entries p..11 move down one place; the old entry 12 arrives at p and is overwritten.
    for (int k = HIGH_SCORE_COUNT - 1; k >= p; --k) std::swap(entries[k - 1], entries[k]);
    entries[p - 1].score = new_score;
    entries[p - 1].name = enter_name(NAME_MAX_LENGTH, 0, CENTRE_X, NAME_FIELD_Y);
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
