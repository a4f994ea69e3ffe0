// Names of boards and dates, and texts made safe for the log.
#include "server/boards.h"

#include <chrono>
#include <cstdio>

#include "replay/flight.h"

std::string dashed_date(uint32_t date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", date / 10000 % 10000, date / 100 % 100, date % 100);
    return text;
}

std::string board_name(uint32_t date) { return date == 0 ? "all" : "daily-" + dashed_date(date); }

bool parse_board_name(const std::string& name, uint32_t& date) {
    date = 0;
    if (name == "all") return true;
    const std::string prefix = "daily-";
    if (name.size() != prefix.size() + 10 || name.compare(0, prefix.size(), prefix) != 0) return false;
    uint32_t digits = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        const bool dash = i == prefix.size() + 4 || i == prefix.size() + 7;
        if (dash != (c == '-')) return false;
        if (!dash) {
            if (c < '0' || c > '9') return false;
            digits = digits * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    using namespace std::chrono;
    const year_month_day day{year(static_cast<int>(digits / 10000)), month(digits / 100 % 100), std::chrono::day(digits % 100)};
    if (!day.ok() || digits < 10000) return false;
    date = digits;
    return true;
}

std::string run_date(int64_t seconds) {
    // Years 1970 to 9999: the store may hold any number, the date has four digits.
    constexpr int64_t LAST_SECOND = 253402300799;  // 9999-12-31 23:59:59
    return dashed_date(utc_date(seconds < 0 ? 0 : seconds > LAST_SECOND ? LAST_SECOND : seconds));
}

std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c > 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}
