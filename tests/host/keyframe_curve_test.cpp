// Keyframes evaluated as the host does: values checked against Bézier points worked out by hand, the
// constant speed of linear keys along a curved path, eases with a known speed, holds, and the straight
// two-key paths that must stay exactly the linear blend they always were.
#include "host/keyframe_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/animated_value.h"

namespace zephrin::host {
namespace {

constexpr double kTolerance = 1e-6;

double distance(const Vec3d& a, const Vec3d& b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

void expectPoint(const Vec3d& actual, const Vec3d& expected, double tolerance = kTolerance) {
    EXPECT_NEAR(actual[0], expected[0], tolerance);
    EXPECT_NEAR(actual[1], expected[1], tolerance);
    EXPECT_NEAR(actual[2], expected[2], tolerance);
}

AnimatedVec3 path(std::vector<Keyframe<Vec3d>> keys) { return AnimatedVec3{keys.front().value, std::move(keys), true}; }

KeyframeShape bezierOut(double speed, double influence) {
    KeyframeShape shape;
    shape.out = KeyInterpolation::Bezier;
    shape.easeOut = {speed, influence};
    return shape;
}

KeyframeShape bezierIn(double speed, double influence) {
    KeyframeShape shape;
    shape.in = KeyInterpolation::Bezier;
    shape.easeIn = {speed, influence};
    return shape;
}

// A zig-zag a designer might click in: four keys a second apart.
AnimatedVec3 zigZag() {
    return path({{0.0, {0, 300, 0}}, {1.0, {200, 0, 0}}, {2.0, {400, 300, 100}}, {3.0, {600, 0, 0}}});
}

TEST(KeyframeCurve, AutoTangentsRunAlongTheNeighboursAThirdOfTheWayToEach) {
    const Keyframe<Vec3d> a{0.0, {0, 100, 0}}, b{1.0, {100, 0, 0}}, c{2.0, {200, 0, 0}};
    // Inner key b: parallel to c − a = (200, −100, 0), |(200, −100)| = 100·√5; a third of |c − b| = 100
    // out, a third of |b − a| = 100·√2 in.
    const KeyTangents inner = keyTangents(&a, b, &c);
    const double unitX = 2.0 / std::sqrt(5.0), unitY = -1.0 / std::sqrt(5.0);
    expectPoint(inner.out, {unitX * 100.0 / 3.0, unitY * 100.0 / 3.0, 0.0});
    expectPoint(inner.in, {-unitX * 100.0 * std::sqrt(2.0) / 3.0, -unitY * 100.0 * std::sqrt(2.0) / 3.0, 0.0});
    // The end keys aim straight at their one neighbour.
    expectPoint(keyTangents(nullptr, a, &b).out, {100.0 / 3.0, -100.0 / 3.0, 0.0});
    expectPoint(keyTangents(&b, c, nullptr).in, {-100.0 / 3.0, 0.0, 0.0});
    // A key between two keys at one place has no direction to follow.
    const Keyframe<Vec3d> back{2.0, {0, 100, 0}};
    expectPoint(keyTangents(&a, b, &back).out, {0, 0, 0});
}

TEST(KeyframeCurve, AutoBezierPathPassesTheMidpointWorkedOutByHand) {
    // The segment from (100, 0) to (200, 0) is mirror-symmetric about x = 150, so at half its time
    // (linear keys: half its length) it is at the Bézier's u = 0.5 point (p0 + 3·c1 + 3·c2 + p3) / 8.
    // Both handles are a third of 100 long along (±2, −1)/√5, so y = 6·(−100/(3√5))/8 = −5·√5.
    AnimatedVec3 position = path({{0.0, {0, 100, 0}}, {1.0, {100, 0, 0}}, {2.0, {200, 0, 0}}, {3.0, {300, 100, 0}}});
    expectPoint(valueAt(position, 1.5), {150.0, -5.0 * std::sqrt(5.0), 0.0});
    expectPoint(valueAt(position, 1.0), {100, 0, 0}, 0.0);
    expectPoint(valueAt(position, 2.0), {200, 0, 0}, 0.0);
    // The same keys on a property that is not spatial run straight, component by component.
    position.spatial = false;
    expectPoint(valueAt(position, 1.5), {150, 0, 0});
}

TEST(KeyframeCurve, ExplicitTangentsShapeTheSegment) {
    KeyframeShape out;
    out.spatial = SpatialInterpolation::Bezier;
    out.outTangent = {0, -100, 0};
    KeyframeShape in;
    in.spatial = SpatialInterpolation::Bezier;
    in.inTangent = {0, -100, 0};
    // An arch symmetric about x = 150: at half time, (0 + 3·(0, −100) + 3·(300, −100) + (300, 0)) / 8.
    const AnimatedVec3 arch = path({{0.0, {0, 0, 0}, out}, {2.0, {300, 0, 0}, in}});
    expectPoint(valueAt(arch, 1.0), {150, -75, 0});
    // Linear spatial keys meet at a corner: the path runs along the chords.
    KeyframeShape corner;
    corner.spatial = SpatialInterpolation::Linear;
    const AnimatedVec3 vee = path({{0.0, {0, 0, 0}, corner}, {1.0, {100, 100, 0}, corner}, {2.0, {200, 0, 0}, corner}});
    expectPoint(valueAt(vee, 0.25), {25, 25, 0});
    expectPoint(valueAt(vee, 1.5), {150, 50, 0});
}

TEST(KeyframeCurve, HoldKeepsTheValueUntilTheNextKey) {
    KeyframeShape hold;
    hold.out = KeyInterpolation::Hold;
    const AnimatedNumber opacity{0.0, {{0.0, 10.0, hold}, {1.0, 90.0}, {2.0, 50.0}}};
    EXPECT_EQ(valueAt(opacity, 0.999), 10.0);
    EXPECT_EQ(valueAt(opacity, 1.0), 90.0) << "the step is at the next key";
    EXPECT_DOUBLE_EQ(valueAt(opacity, 1.5), 70.0) << "the next segment is linear again";

    // A hold coming into a key holds the segment before it as well, also along a path.
    KeyframeShape holdIn;
    holdIn.in = KeyInterpolation::Hold;
    const AnimatedVec3 jump = path({{0.0, {0, 0, 0}}, {1.0, {100, 50, 0}, holdIn}, {2.0, {0, 100, 0}}});
    expectPoint(valueAt(jump, 0.9), {0, 0, 0}, 0.0);
    expectPoint(valueAt(jump, 1.0), {100, 50, 0}, 0.0);
}

TEST(KeyframeCurve, EaseLeavesAndArrivesWithItsSpeed) {
    // Out: 300 per second reaching 50 % in; in: speed 0 reaching 50 % back. The time handles meet at
    // t = 0.5, where x(u) = 1.5·u·(1 − u) + u³ gives u = 0.5 and the value (0 + 3·150 + 3·100 + 100) / 8.
    const AnimatedNumber value{0.0, {{0.0, 0.0, bezierOut(300, 50)}, {1.0, 100.0, bezierIn(0, 50)}}};
    EXPECT_NEAR(valueAt(value, 0.5), 106.25, kTolerance) << "a fast start overshoots";
    const double h = 1e-5;
    EXPECT_NEAR((valueAt(value, h) - valueAt(value, 0.0)) / h, 300.0, 0.1);
    EXPECT_NEAR((valueAt(value, 1.0) - valueAt(value, 1.0 - h)) / h, 0.0, 0.1);

    // Easy Ease on both sides of a ramp: symmetric, slow at both keys, through the middle at half time.
    const AnimatedNumber eased{
        0.0, {{0.0, 0.0, bezierOut(0, kEasyEaseInfluence)}, {2.0, 100.0, bezierIn(0, kEasyEaseInfluence)}}};
    EXPECT_NEAR(valueAt(eased, 1.0), 50.0, kTolerance);
    EXPECT_LT(valueAt(eased, 0.2), 10.0 * 0.5) << "slower than the linear ramp near the start";
    EXPECT_NEAR(valueAt(eased, 0.5) + valueAt(eased, 1.5), 100.0, kTolerance);
}

TEST(KeyframeCurve, LinearKeysMoveAtConstantSpeedAlongTheCurvedPath) {
    const AnimatedVec3 position = zigZag();
    constexpr int kFramesPerSecond = 30;
    for (int segment = 0; segment < 3; ++segment) {
        std::vector<double> steps;
        double travelled = 0.0;
        for (int frame = 0; frame < kFramesPerSecond; ++frame) {
            const double t = segment + static_cast<double>(frame) / kFramesPerSecond;
            const double step = distance(valueAt(position, t), valueAt(position, t + 1.0 / kFramesPerSecond));
            steps.push_back(step);
            travelled += step;
        }
        const double mean = travelled / kFramesPerSecond;
        for (int frame = 0; frame < kFramesPerSecond; ++frame) {
            EXPECT_NEAR(steps[static_cast<std::size_t>(frame)], mean, mean * 0.005)
                << "segment " << segment << " frame " << frame;
        }
        // The path through the keys is longer than the chord between them: it bends.
        const Vec3d from = position.keyframes[static_cast<std::size_t>(segment)].value;
        const Vec3d to = position.keyframes[static_cast<std::size_t>(segment) + 1].value;
        EXPECT_GT(travelled, distance(from, to) * 1.01) << "segment " << segment;
    }
}

TEST(KeyframeCurve, SpatialEaseSpeedIsPixelsPerSecondAlongThePath) {
    AnimatedVec3 position = zigZag();
    position.keyframes[1].shape = bezierOut(400, 40);
    position.keyframes[2].shape = bezierIn(0, 60);
    const double h = 1e-4;
    EXPECT_NEAR(distance(valueAt(position, 1.0 + h), valueAt(position, 1.0)) / h, 400.0, 0.5);
    EXPECT_LT(distance(valueAt(position, 2.0), valueAt(position, 2.0 - h)) / h, 0.5) << "arrives at rest";
    // Eases change when a point is reached, not where the path runs: the point at the middle of the
    // time is still on the linear path, only further along it.
    const AnimatedVec3 linear = zigZag();
    double nearest = 1e9;
    const Vec3d eased = valueAt(position, 1.5);
    for (int i = 0; i <= 3000; ++i) nearest = std::min(nearest, distance(eased, valueAt(linear, 1.0 + i / 3000.0)));
    EXPECT_LT(nearest, 0.2);
}

TEST(KeyframeCurve, TwoKeyPathIsExactlyTheLinearBlend) {
    // Auto tangents of two keys lie on their chord: the path is straight and the blend bit for bit the
    // one every straight move had, so scenes with straight moves render as before.
    const AnimatedVec3 position = path({{0.0, {420, 300, -220}}, {2.0, {860, 300, -220}}});
    for (double t : {0.1, 0.37, 1.0, 1.9}) {
        const double f = t / 2.0;
        const Vec3d p = valueAt(position, t);
        EXPECT_EQ(p[0], 420.0 + (860.0 - 420.0) * f);
        EXPECT_EQ(p[1], 300.0);
        EXPECT_EQ(p[2], -220.0);
    }
    // Keys at one place stay there whatever their eases; a loop through tangents does not.
    AnimatedVec3 still = path({{0.0, {5, 5, 5}, bezierOut(100, 50)}, {1.0, {5, 5, 5}}});
    expectPoint(valueAt(still, 0.5), {5, 5, 5}, 0.0);
    still.keyframes[0].shape.spatial = SpatialInterpolation::Bezier;
    still.keyframes[0].shape.outTangent = {0, 90, 0};
    EXPECT_GT(distance(valueAt(still, 0.5), {5, 5, 5}), 1.0);
}

}  // namespace
}  // namespace zephrin::host
