// The digest that names a replay on the leaderboard: SHA-256 of its bytes, so that the same
// run sent twice is stored once.
#pragma once

#include <string>

// SHA-256 (FIPS 180-4) of the bytes as 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string& bytes);
