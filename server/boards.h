// How boards, dates and logged texts are written: "all" and "daily-YYYY-MM-DD", a run's
// date, a request's path made safe for a one-line log.
#pragma once

#include <cstdint>
#include <string>

// "YYYY-MM-DD" for a date YYYYMMDD.
std::string dashed_date(uint32_t date);
// "all" for 0, "daily-YYYY-MM-DD" for a date YYYYMMDD.
std::string board_name(uint32_t date);
// The date of a board's name (0 for "all"); false for any other text or an impossible date.
bool parse_board_name(const std::string& name, uint32_t& date);
// "YYYY-MM-DD": the UTC date of a time in seconds since 1970.
std::string run_date(int64_t seconds);
// The text with every byte outside printable ASCII (and the space and the backslash)
// written as \xHH, so that a logged path stays one word of plain text.
std::string printable(const std::string& text);
