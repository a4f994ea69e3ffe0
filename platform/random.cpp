// Random numbers: MT19937 whose state is filled by an LCG from the seed's whole part.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/platform.h"
#include "platform/random_internal.h"

namespace {

constexpr int MT_WORDS = 624;
constexpr int MT_SHIFT = 397;
constexpr double DEFAULT_SEED = 327680.0;  // used when drawing before any seeding

struct Generator {
    uint32_t state[MT_WORDS] = {};
    int next = MT_WORDS;
    bool seeded = false;
    double last = 0.0;
    uint32_t seed = 0;     // the word state[0] was filled from at the last seeding
    uint64_t draws = 0;    // numbers drawn since that seeding
};

Generator& generator() {
    static Generator g;
    return g;
}

// The low 32 bits of the seed truncated toward zero to 64 bits. Seeds beyond the 64-bit
// range (or NaN) would make that conversion undefined; they saturate instead.
uint32_t seed_word(double seed) {
    if (std::isnan(seed)) return 0;
    if (seed >= 9223372036854775807.0) return 0xFFFFFFFFu;
    if (seed <= -9223372036854775808.0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(seed)));
}

uint32_t temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

void regenerate(Generator& g) {
    for (int i = 0; i < MT_WORDS; ++i) {
        uint32_t y = (g.state[i] & 0x80000000u) | (g.state[(i + 1) % MT_WORDS] & 0x7FFFFFFFu);
        g.state[i] = g.state[(i + MT_SHIFT) % MT_WORDS] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    }
    g.next = 0;
}

}  // namespace

void seed_random(double seed, int /*algorithm: only MT19937 (0 or 3) exists*/) {
    if (seed == -1.0) seed = clock_seconds();
    Generator& g = generator();
    g.state[0] = seed_word(seed);
    for (int i = 1; i < MT_WORDS; ++i) g.state[i] = g.state[i - 1] * 1664525u + 1013904223u;
    g.next = MT_WORDS;
    g.seeded = true;
    g.seed = g.state[0];
    g.draws = 0;
}

double random_unit(int selector) {
    Generator& g = generator();
    if (selector == 0) return g.last;
    if (!g.seeded) seed_random(DEFAULT_SEED, 0);
    if (g.next == MT_WORDS) regenerate(g);
    ++g.draws;
    g.last = temper(g.state[g.next++]) * (1.0 / 4294967296.0);
    return g.last;
}

RandomPosition random_position() {
    const Generator& g = generator();
    if (!g.seeded) return {seed_word(DEFAULT_SEED), 0};
    return {g.seed, g.draws};
}

void set_random_position(const RandomPosition& position) {
    seed_random(static_cast<double>(position.seed), 0);
    Generator& g = generator();
    // Whole blocks of 624 words are regenerated without tempering the words skipped.
    for (uint64_t left = position.draws; left > 0;) {
        if (g.next == MT_WORDS) regenerate(g);
        const uint64_t step = std::min<uint64_t>(left, static_cast<uint64_t>(MT_WORDS - g.next));
        g.next += static_cast<int>(step);
        left -= step;
    }
    g.draws = position.draws;
    if (position.draws > 0) g.last = temper(g.state[g.next - 1]) * (1.0 / 4294967296.0);
}

void reset_random() { generator() = Generator{}; }
