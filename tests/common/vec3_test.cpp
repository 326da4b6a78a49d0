// Lengths and normalisations worked out two at a time must be exactly the single-vector ones: the
// shading passes rely on it to give the same colours as before.
#include "common/vec3.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace zephrin {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameBits(const Vec3& a, const Vec3& b) { return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z); }

TEST(PairedNormalisation, GivesTheSingleVectorResultsBitForBit) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Vec3> vectors = {{0.0, 0.0, 0.0}, {1e-10, 0.0, 0.0}, {1e-9, 0.0, 0.0},  {0.0, 0.0, 2e-9},
                                 {1e300, 1e300, 0}, {inf, 0.0, 0.0},  {nan, 1.0, 1.0}, {-3.0, 4.0, 12.0}};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> exponent(-12.0, 12.0), unit(-1.0, 1.0);
    for (int i = 0; i < 2000; ++i) {
        const double scale = std::pow(10.0, exponent(rng));
        vectors.push_back(Vec3{unit(rng) * scale, unit(rng) * scale, unit(rng) * scale});
    }
    const Vec3 fallback{0.0, 0.0, -1.0};
    for (size_t i = 0; i + 1 < vectors.size(); ++i) {
        const Vec3& a = vectors[i];
        const Vec3& b = vectors[vectors.size() - 1 - i];
        const LengthPair lengths = lengthsOf(a, b);
        ASSERT_TRUE(sameBits(lengths.first, length(a))) << i;
        ASSERT_TRUE(sameBits(lengths.second, length(b))) << i;
        Vec3 unitA, unitB;
        normalizeBothOr(a, b, fallback, unitA, unitB);
        ASSERT_TRUE(sameBits(unitA, normalizeOr(a, fallback))) << i;
        ASSERT_TRUE(sameBits(unitB, normalizeOr(b, fallback))) << i;
    }
}

}  // namespace
}  // namespace zephrin
