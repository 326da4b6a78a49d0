#include "common/simd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace zephrin {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The values whose choice a careless min, max or abs gets wrong: signed zeros, infinities, NaN.
std::vector<double> awkwardValues() {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values{0.0, -0.0, 1.0, -1.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(), 1e-300};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-1e3, 1e3);
    for (int i = 0; i < 24; ++i) values.push_back(any(rng));
    return values;
}

// The shadow walk relies on paired lanes deciding exactly as the scalar code would, so that the
// paired and the one-by-one box and triangle tests agree bit for bit.
TEST(Lanes, MinMaxAndAbsChooseAsTheScalarFormsDo) {
    const std::vector<double> values = awkwardValues();
    for (double a : values) {
        for (double b : values) {
            const DoubleLanes x{a, b}, y{b, a};
            const DoubleLanes lo = laneMin(x, y), hi = laneMax(x, y), magnitude = laneAbs(x);
            EXPECT_TRUE(sameBits(lo[0], std::min(a, b))) << a << " " << b;
            EXPECT_TRUE(sameBits(lo[1], std::min(b, a))) << a << " " << b;
            EXPECT_TRUE(sameBits(hi[0], std::max(a, b))) << a << " " << b;
            EXPECT_TRUE(sameBits(hi[1], std::max(b, a))) << a << " " << b;
            EXPECT_TRUE(sameBits(magnitude[0], a < 0.0 ? -a : a)) << a;
            EXPECT_TRUE(sameBits(laneSqrt(x)[1], std::sqrt(b))) << b;
        }
    }
}

TEST(Lanes, ComparisonBitsFollowEachLane) {
    const std::vector<double> values = awkwardValues();
    for (double a : values) {
        for (double b : values) {
            const DoubleLanes x{a, b}, y{b, a};
            const unsigned expected = (a < b ? 1u : 0u) | (b < a ? 2u : 0u);
            EXPECT_EQ(laneBits(x < y), expected) << a << " " << b;
            EXPECT_EQ(laneBits((x <= y) & ~(y <= x)), expected) << a << " " << b;
        }
    }
}

TEST(BitScan, LowestAndHighestSetBitOfEveryPattern) {
    for (unsigned bits = 1; bits < (1u << 12); ++bits) {
        int lowest = 0, highest = 0;
        while (((bits >> lowest) & 1u) == 0) ++lowest;
        while ((bits >> highest) > 1u) ++highest;
        EXPECT_EQ(lowestSetBit(bits), lowest) << bits;
        EXPECT_EQ(highestSetBit(bits), highest) << bits;
    }
    EXPECT_EQ(lowestSetBit(0x80000000u), 31);
    EXPECT_EQ(highestSetBit(0xFFFFFFFFu), 31);
}

}  // namespace
}  // namespace zephrin
