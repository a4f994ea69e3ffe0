// The table of the twelve best runs and its file format: the lenient reader of a file's
// bytes, the exact writer of the game's own format and the rule that inserts a new score.
#include "scores/score_table.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int END_OF_DATA = -1;

// Bytes either held in memory or fetched from a file. A file is read no further than its
// length when it was opened, nor past TABLE_READ_LIMIT, so a file that grows, a device that
// never ends or a table of a gigabyte costs one bounded read; twelve entries in the game's
// format take a few kilobytes of it.
struct ByteReader {
    const unsigned char* data = nullptr;  // current bytes: data[pos] .. data[size - 1]
    size_t pos = 0;
    size_t size = 0;
    int fd = -1;             // file to fetch more from, or -1
    uint64_t file_left = 0;  // bytes of the file not fetched yet, within the limit
    bool failed = false;     // a read failed (rather than met the end); errno says why
    std::vector<unsigned char> chunk;
};

bool refill(ByteReader& r) {
    if (r.fd < 0 || r.file_left == 0) return false;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(TABLE_READ_LIMIT, r.file_left));
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
// length is consumed whole, so the name is still the next line; its first FIELD_LIMIT
// characters are kept.
std::string read_score_field(ByteReader& r) {
    while (is_blank(peek_byte(r))) next_byte(r);
    std::string field;
    auto keep = [&field](int c) {
        if (field.size() < FIELD_LIMIT) field += static_cast<char>(c);
    };
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
            keep(c);
            continue;
        }
        if (c == ',') return field;
        if (is_blank(c)) {
            while (is_blank(peek_byte(r))) next_byte(r);
            if (peek_byte(r) == ',') next_byte(r);
            else skip_line_end(r);
            return field;
        }
        keep(c);
    }
}

// The name: the rest of the line, unchanged; the line feed and a carriage return right
// before it are dropped. Its first FIELD_LIMIT bytes are kept; the rest of the line is
// skipped.
std::string read_name(ByteReader& r) {
    std::string name;
    size_t line_length = 0;  // bytes of the line so far; name holds up to FIELD_LIMIT + 1 of them
    for (;;) {
        if (peek_byte(r) == END_OF_DATA) break;
        const unsigned char* start = r.data + r.pos;
        const size_t count = r.size - r.pos;
        const void* line_feed = std::memchr(start, '\n', count);
        const size_t length =
            line_feed ? static_cast<size_t>(static_cast<const unsigned char*>(line_feed) - start) : count;
        // One byte past the limit is kept for now: it may be the carriage return to drop.
        name.append(reinterpret_cast<const char*>(start), std::min(length, FIELD_LIMIT + 1 - name.size()));
        line_length += length;
        r.pos += length;
        if (line_feed) {
            ++r.pos;
            if (line_length == name.size() && !name.empty() && name.back() == '\r') name.pop_back();
            break;
        }
    }
    if (name.size() > FIELD_LIMIT) name.resize(FIELD_LIMIT);
    return name;
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

}  // namespace

Entries& table_entries() {
    static Entries entries;
    return entries;
}

int read_table_from_file(int fd, uint64_t length, bool& failed, Entries& entries) {
    ByteReader r;
    r.fd = fd;
    r.file_left = std::min<uint64_t>(length, TABLE_READ_LIMIT);
    const int count = read_entries(r, entries);
    failed = r.failed;
    return count;
}

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

void parse_high_scores(const std::string& bytes) {
    ByteReader r;
    r.data = reinterpret_cast<const unsigned char*>(bytes.data());
    r.size = std::min(bytes.size(), TABLE_READ_LIMIT);
    read_entries(r, table_entries());
}

std::string format_high_scores() { return format_entries(table_entries()); }

const HighScoreEntry& high_score_entry(int k) {
    static const HighScoreEntry none;
    if (k < 1 || k > HIGH_SCORE_COUNT) return none;
    return table_entries()[k - 1];
}

void set_high_score_entry(int k, const HighScoreEntry& entry) {
    if (k < 1 || k > HIGH_SCORE_COUNT) return;
    table_entries()[k - 1] = entry;
}
