#include "host/animated_value.h"

#include <gtest/gtest.h>

#include <limits>

namespace zephrin::host {
namespace {

TEST(AnimatedValue, WithoutKeyframesIsTheConstantValue) {
    AnimatedNumber constant{42.0, {}};
    EXPECT_DOUBLE_EQ(valueAt(constant, -5.0), 42.0);
    EXPECT_DOUBLE_EQ(valueAt(constant, 1e6), 42.0);
}

TEST(AnimatedValue, HeldBeforeTheFirstKeyAndAfterTheLast) {
    AnimatedNumber rotation{0.0, {{1.0, -20.0}, {3.0, 20.0}}};
    EXPECT_DOUBLE_EQ(valueAt(rotation, 0.0), -20.0);
    EXPECT_DOUBLE_EQ(valueAt(rotation, 1.0), -20.0);
    EXPECT_DOUBLE_EQ(valueAt(rotation, 3.0), 20.0);
    EXPECT_DOUBLE_EQ(valueAt(rotation, 10.0), 20.0);
    // A time that is not a number must not wander into the interpolation.
    EXPECT_DOUBLE_EQ(valueAt(rotation, std::numeric_limits<double>::quiet_NaN()), -20.0);
}

TEST(AnimatedValue, LinearWithinTheSegmentAroundTheTime) {
    AnimatedNumber ramp{0.0, {{0.0, 0.0}, {1.0, 10.0}, {3.0, 30.0}, {4.0, -10.0}}};
    EXPECT_DOUBLE_EQ(valueAt(ramp, 0.5), 5.0);
    EXPECT_DOUBLE_EQ(valueAt(ramp, 2.0), 20.0);
    EXPECT_DOUBLE_EQ(valueAt(ramp, 3.5), 10.0);

    AnimatedVec3 position{{0.0, 0.0, 0.0}, {{0.0, {0.0, 100.0, -50.0}}, {2.0, {200.0, 100.0, 50.0}}}};
    Vec3d p = valueAt(position, 0.5);
    EXPECT_DOUBLE_EQ(p[0], 50.0);
    EXPECT_DOUBLE_EQ(p[1], 100.0);
    EXPECT_DOUBLE_EQ(p[2], -25.0);
}

TEST(AnimatedValue, SingleKeyHoldsEverywhere) {
    AnimatedNumber single{0.0, {{2.0, 7.0}}};
    EXPECT_DOUBLE_EQ(valueAt(single, 0.0), 7.0);
    EXPECT_DOUBLE_EQ(valueAt(single, 2.0), 7.0);
    EXPECT_DOUBLE_EQ(valueAt(single, 5.0), 7.0);
}

}  // namespace
}  // namespace zephrin::host
