// Writing and reading replay files: little-endian numbers, LEB128 variable-length integers,
// the climb input as run lengths or bits, and a CRC-32 over everything before it.
#include "replay/replay_file.h"

#include <array>

namespace {

constexpr char MAGIC[4] = {'M', 'W', 'R', 'P'};
constexpr uint8_t FLAG_DAILY = 1;
constexpr uint8_t FLAG_FRESH_SCREEN = 2;
constexpr uint8_t FLAG_QUIT = 4;
constexpr uint8_t KNOWN_FLAGS = FLAG_DAILY | FLAG_FRESH_SCREEN | FLAG_QUIT;
constexpr uint8_t CLIMB_RUNS = 0;  // run lengths, the first one of released frames
constexpr uint8_t CLIMB_BITS = 1;  // one bit per frame, lowest bit first

void put_u32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_varint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

void put_text(std::string& out, const std::string& text) {
    put_varint(out, text.size());
    out += text;
}

std::string climb_runs(const std::vector<bool>& climb) {
    std::string out;
    bool current = false;
    uint64_t length = 0;
    std::string lengths;
    uint64_t count = 0;
    for (bool held : climb) {
        if (held != current) {
            put_varint(lengths, length);
            ++count;
            current = held;
            length = 0;
        }
        ++length;
    }
    put_varint(lengths, length);
    ++count;
    put_varint(out, count);
    return out + lengths;
}

std::string climb_bits(const std::vector<bool>& climb) {
    std::string out((climb.size() + 7) / 8, '\0');
    for (size_t i = 0; i < climb.size(); ++i) {
        if (climb[i]) out[i / 8] = static_cast<char>(out[i / 8] | (1 << (i % 8)));
    }
    return out;
}

// A cursor over the bytes that refuses to read past their end.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    std::string why;

    bool fail(const std::string& reason) {
        if (why.empty()) why = reason;
        return false;
    }
    bool byte(uint8_t& v) {
        if (at >= size) return fail("cut short");
        v = data[at++];
        return true;
    }
    bool u32(uint32_t& v) {
        if (size - at < 4) return fail("cut short");
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data[at++]) << (8 * i);
        return true;
    }
    bool varint(uint64_t& v, const char* what) {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            uint8_t b = 0;
            if (!byte(b)) return false;
            if (shift == 63 && b > 1) break;
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) return true;
        }
        return fail(std::string("bad number (") + what + ")");
    }
    bool text(std::string& v, size_t limit, const char* what) {
        uint64_t length = 0;
        if (!varint(length, what)) return false;
        if (length > limit) return fail(std::string(what) + " too long");
        if (size - at < length) return fail("cut short");
        v.assign(reinterpret_cast<const char*>(data + at), length);
        at += length;
        for (char ch : v) {
            if (ch < 32 || ch > 126) return fail(std::string(what) + " holds a byte that is not printable");
        }
        return true;
    }
};

bool valid_date(uint32_t date) {
    const uint32_t year = date / 10000, month = date / 100 % 100, day = date % 100;
    return year >= 1970 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

}  // namespace

uint32_t replay_crc32(const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string encode_replay(const ReplayRecord& r) {
    std::string out(MAGIC, 4);
    out.push_back(static_cast<char>(REPLAY_FORMAT_VERSION));
    put_text(out, r.rules);
    put_text(out, r.game_version);
    uint8_t flags = 0;
    if (r.daily) flags |= FLAG_DAILY;
    if (r.fresh_screen) flags |= FLAG_FRESH_SCREEN;
    if (r.ending == RunEnding::QUIT) flags |= FLAG_QUIT;
    out.push_back(static_cast<char>(flags));
    put_varint(out, r.daily_date);
    put_u32(out, r.backdrop_seed);
    put_u32(out, r.run_seed);
    put_varint(out, r.run_draws);
    put_varint(out, zigzag(r.level));
    put_varint(out, zigzag(r.time));
    put_text(out, r.name);
    put_varint(out, static_cast<uint64_t>(r.frames));
    put_u32(out, r.flight_check);
    const std::string runs = climb_runs(r.climb);
    const std::string bits = climb_bits(r.climb);
    out.push_back(static_cast<char>(runs.size() <= bits.size() ? CLIMB_RUNS : CLIMB_BITS));
    out += runs.size() <= bits.size() ? runs : bits;
    put_u32(out, replay_crc32(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
    return out;
}

bool decode_replay(const uint8_t* data, size_t size, ReplayRecord& record, std::string& why) {
    Reader in{data, size, 0, {}};
    ReplayRecord r;
    r.rules.clear();
    const auto refuse = [&](const std::string& reason) {
        why = reason;
        return false;
    };
    if (size < 4 || std::string(reinterpret_cast<const char*>(data), 4) != std::string(MAGIC, 4)) {
        return refuse("not a replay file");
    }
    // The integrity check comes first, so that a damaged byte is named as damage.
    if (size < 9) return refuse("cut short");
    const uint8_t* tail = data + size - 4;
    const uint32_t stored = tail[0] | tail[1] << 8 | tail[2] << 16 | static_cast<uint32_t>(tail[3]) << 24;
    if (replay_crc32(data, size - 4) != stored) return refuse("damaged (integrity check failed)");
    in.size = size - 4;
    in.at = 4;
    uint8_t version = 0, flags = 0, coding = 0;
    uint64_t date = 0, draws = 0, level = 0, time = 0, frames = 0;
    if (!in.byte(version)) return refuse(in.why);
    if (version != REPLAY_FORMAT_VERSION) {
        return refuse("format version " + std::to_string(version) + " is not known here");
    }
    if (!in.text(r.rules, REPLAY_MAX_TEXT, "rules name")) return refuse(in.why);
    if (r.rules != REPLAY_RULES) {
        return refuse("flown by the rules \"" + r.rules + "\", this game flies \"" + REPLAY_RULES + "\"");
    }
    if (!in.text(r.game_version, REPLAY_MAX_TEXT, "game version") || !in.byte(flags) ||
        !in.varint(date, "date") || !in.u32(r.backdrop_seed) || !in.u32(r.run_seed) ||
        !in.varint(draws, "draws") || !in.varint(level, "level") || !in.varint(time, "time") ||
        !in.text(r.name, REPLAY_MAX_NAME, "name") || !in.varint(frames, "frames") || !in.u32(r.flight_check) || !in.byte(coding)) {
        return refuse(in.why);
    }
    if ((flags & ~KNOWN_FLAGS) != 0) return refuse("unknown flags");
    r.daily = (flags & FLAG_DAILY) != 0;
    r.fresh_screen = (flags & FLAG_FRESH_SCREEN) != 0;
    r.ending = (flags & FLAG_QUIT) != 0 ? RunEnding::QUIT : RunEnding::CRASH;
    if (r.daily ? !valid_date(static_cast<uint32_t>(date)) || date > 99991231 : date != 0) {
        return refuse("bad daily date");
    }
    r.daily_date = static_cast<uint32_t>(date);
    if (draws > REPLAY_MAX_DRAWS) return refuse("too many draws before the run");
    r.run_draws = draws;
    const int64_t signed_level = unzigzag(level);
    if (signed_level < INT32_MIN || signed_level > INT32_MAX) return refuse("bad level");
    r.level = static_cast<int32_t>(signed_level);
    r.time = unzigzag(time);
    if (frames < 1 || frames > static_cast<uint64_t>(REPLAY_MAX_FRAMES)) return refuse("bad frame count");
    r.frames = static_cast<int32_t>(frames);
    r.climb.reserve(static_cast<size_t>(frames));
    if (coding == CLIMB_RUNS) {
        uint64_t count = 0;
        if (!in.varint(count, "run count")) return refuse(in.why);
        if (count > frames + 1) return refuse("more climb runs than frames");
        bool held = false;
        for (uint64_t i = 0; i < count; ++i, held = !held) {
            uint64_t length = 0;
            if (!in.varint(length, "run length")) return refuse(in.why);
            if (length > frames - r.climb.size()) return refuse("climb input longer than the run");
            r.climb.insert(r.climb.end(), static_cast<size_t>(length), held);
        }
    } else if (coding == CLIMB_BITS) {
        const size_t bytes = static_cast<size_t>((frames + 7) / 8);
        if (in.size - in.at < bytes) return refuse("cut short");
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
            r.climb.push_back(((data[in.at + i / 8] >> (i % 8)) & 1) != 0);
        }
        in.at += bytes;
    } else {
        return refuse("unknown climb coding");
    }
    if (r.climb.size() != frames) return refuse("climb input shorter than the run");
    if (in.at != in.size) return refuse("bytes after the end");
    record = std::move(r);
    return true;
}

bool decode_replay(const std::string& bytes, ReplayRecord& record, std::string& why) {
    return decode_replay(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), record, why);
}
