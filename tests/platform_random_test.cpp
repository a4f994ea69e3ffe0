// The clock and the random numbers.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

std::string digits17(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

TEST(Random, KnownValuesAfterSeedFive) {
    headless_reset();
    seed_random(5.0, 0);
    EXPECT_EQ(digits17(random_unit(1)), "0.74330723006278276");
    EXPECT_EQ(digits17(random_unit(1)), "0.77051291218958795");
    EXPECT_EQ(digits17(random_unit(1)), "0.19774449523538351");
}

TEST(Random, NeverSeededStartsFromTheDefaultSeed) {
    headless_reset();
    EXPECT_EQ(digits17(random_unit(1)), "0.14064029534347355");
    double first[3];
    headless_reset();
    for (double& v : first) v = random_unit(1);
    headless_reset();
    seed_random(327680.0, 0);
    for (double v : first) EXPECT_EQ(random_unit(1), v);
}

TEST(Random, SeedsTruncateTowardZero) {
    headless_reset();
    seed_random(5.2, 0);
    double a[5];
    for (double& v : a) v = random_unit(1);
    seed_random(5.9, 0);
    for (double v : a) EXPECT_EQ(random_unit(1), v);
    seed_random(5.0, 0);
    for (double v : a) EXPECT_EQ(random_unit(1), v);
    seed_random(6.0, 0);
    EXPECT_NE(random_unit(1), a[0]);
}

TEST(Random, SelectorZeroRepeatsTheLastValue) {
    headless_reset();
    seed_random(11.0, 0);
    double v = random_unit(1);
    EXPECT_EQ(random_unit(0), v);
    EXPECT_EQ(random_unit(0), v);
    EXPECT_NE(random_unit(1), v);
}

TEST(Random, MinusOneTakesTheClock) {
    headless_reset();
    headless_set_time(4242.75);
    seed_random(-1.0, 0);
    double v = random_unit(1);
    seed_random(4242.0, 0);
    EXPECT_EQ(random_unit(1), v);
}

TEST(Random, StaysInTheHalfOpenUnitIntervalAcrossRegenerations) {
    headless_reset();
    seed_random(1.0, 0);
    for (int i = 0; i < 20000; ++i) {
        double v = random_unit(1);
        ASSERT_GE(v, 0.0);
        ASSERT_LT(v, 1.0);
        ASSERT_LT(static_cast<int>(v * 80), 80);
    }
}

TEST(Random, HugeAndOddSeedsAreDefined) {
    headless_reset();
    for (double seed : {1e300, -1e300, 4294967296.0 + 5.0, -3.0}) {
        seed_random(seed, 0);
        double v = random_unit(1);
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0);
    }
    // The low 32 bits of the whole part: 2^32 + 5 seeds like 5.
    seed_random(4294967296.0 + 5.0, 0);
    double v = random_unit(1);
    seed_random(5.0, 0);
    EXPECT_EQ(random_unit(1), v);
}

TEST(Clock, VirtualClockIsMonotonicAndAdvancedByPauses) {
    headless_reset();
    double a = clock_seconds();
    double b = clock_seconds();
    EXPECT_LE(a, b);
    pause_ms(20);
    EXPECT_NEAR(clock_seconds() - a, 0.020, 1e-12);
}

}  // namespace
