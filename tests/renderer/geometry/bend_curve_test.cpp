#include "renderer/geometry/bend_curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "renderer/geometry/curve_sampler.h"

namespace zephrin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

BendControlPoint point(double x, double y, double slope = 0.0) {
    BendControlPoint p;
    p.x = x;
    p.y = y;
    p.slope = slope;
    p.outSlope = slope;
    p.inSlope = slope;
    return p;
}

// Arc length of a segment by a fine walk, for checking the 18-chord estimate.
double integratedLength(const BendControlPoint& a, const BendControlPoint& b) {
    constexpr int kSteps = 20000;
    double total = 0.0;
    CurvePoint previous = segmentPoint(a, b, 0.0);
    for (int i = 1; i <= kSteps; ++i) {
        CurvePoint p = segmentPoint(a, b, static_cast<double>(i) / kSteps);
        total += std::hypot(p.x - previous.x, p.y - previous.y);
        previous = p;
    }
    return total;
}

std::vector<BendControlPoint> circlePoints(int count, double radius, bool repeatFirst) {
    std::vector<BendControlPoint> points;
    for (int i = 0; i < count; ++i) {
        const double angle = 2.0 * std::numbers::pi * i / count;
        points.push_back(point(0.5 + radius * std::cos(angle), radius * std::sin(angle)));
    }
    if (repeatFirst) points.push_back(points.front());
    return points;
}

TEST(BendCurve, TwoFlatPointsAreStraight) {
    const std::vector<BendControlPoint> points{point(0.0, 0.0), point(1.0, 0.0)};
    EXPECT_TRUE(isStraight(points, false));
    EXPECT_FALSE(isStraight(points, true));
    const CurveSample s = evaluateByLength(points, 0.25, false);
    EXPECT_DOUBLE_EQ(s.x, 0.25);
    EXPECT_DOUBLE_EQ(s.y, 0.0);
    EXPECT_DOUBLE_EQ(s.tangentX, 1.0);
    EXPECT_DOUBLE_EQ(s.tangentY, 0.0);
}

TEST(BendCurve, NonFiniteHandlesActAsDefaults) {
    BendControlPoint a = point(0.0, 0.0, 1.0), b = point(1.0, 0.5, -1.0);
    const std::vector<BendControlPoint> plain{a, b};
    a.outLength = kNaN;
    b.inLength = std::numeric_limits<double>::infinity();
    a.outSlope = kNaN;
    b.inSlope = -std::numeric_limits<double>::infinity();
    const std::vector<BendControlPoint> broken{a, b};
    for (double t : {0.0, 0.3, 0.7, 1.0}) {
        const CurveSample p = evaluateByLength(plain, t, false), q = evaluateByLength(broken, t, false);
        EXPECT_DOUBLE_EQ(p.x, q.x) << t;
        EXPECT_DOUBLE_EQ(p.y, q.y) << t;
    }
}

TEST(BendCurve, SegmentLengthMatchesIntegratedLengthAndSegmentsMeetAtTheirLengthShare) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> y(-1.0, 1.0), slope(-3.0, 3.0), handle(0.01, 0.3);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<BendControlPoint> points;
        for (int i = 0; i < 3; ++i) {
            BendControlPoint p = point(i * 0.5, y(rng), slope(rng));
            p.outLength = handle(rng);
            p.inLength = handle(rng);
            points.push_back(p);
        }
        const double l0 = segmentLength(points[0], points[1]);
        const double l1 = segmentLength(points[1], points[2]);
        const double exact0 = integratedLength(points[0], points[1]);
        // Chords never exceed the arc, and 18 of them come within a few percent of it.
        EXPECT_LE(l0, exact0 * (1.0 + 1e-9)) << trial;
        EXPECT_GT(l0, exact0 * 0.97) << trial;
        const CurveSample joint = evaluateByLength(points, l0 / (l0 + l1), false);
        EXPECT_NEAR(joint.x, points[1].x, 1e-9) << trial;
        EXPECT_NEAR(joint.y, points[1].y, 1e-9) << trial;
    }
}

TEST(BendCurve, ScaledLengthMeasuresWithYSqueezed) {
    const BendControlPoint a = point(0.0, 0.0), b = point(0.0, 1.0);
    EXPECT_GT(segmentLength(a, b), 1.0);
    EXPECT_LT(segmentLengthScaled(a, b, 0.25), segmentLength(a, b) * 0.5);
}

TEST(BendCurve, ClosedLoopDropsADuplicateEndPoint) {
    // Three points with first = last: the two left form an open curve of one segment.
    const std::vector<BendControlPoint> three{point(0.0, 0.0, 0.5), point(1.0, 0.3), point(0.0, 0.0, 0.5)};
    const std::vector<BendControlPoint> open{three[0], three[1]};
    for (double t : {0.0, 0.4, 1.0}) {
        const CurveSample a = evaluateByLength(three, t, true), b = evaluateByLength(open, t, false);
        EXPECT_DOUBLE_EQ(a.x, b.x) << t;
        EXPECT_DOUBLE_EQ(a.y, b.y) << t;
    }
    // Four points with first = last: a loop of three segments that ends where it starts.
    const std::vector<BendControlPoint> four{point(0.0, 0.0), point(1.0, 0.5), point(0.5, -0.5), point(0.0, 0.0)};
    const CurveSample start = evaluateByLength(four, 0.0, true), end = evaluateByLength(four, 1.0, true);
    EXPECT_NEAR(start.x, end.x, 1e-12);
    EXPECT_NEAR(start.y, end.y, 1e-12);
    const CurveSample middle = evaluateByLength(four, 0.5, true);
    EXPECT_FALSE(std::fabs(middle.x) < 1e-9 && std::fabs(middle.y) < 1e-9);
}

TEST(BendCurve, DegenerateInputsStayFinite) {
    EXPECT_DOUBLE_EQ(evaluateByLength({}, 0.3, false).x, 0.3);
    const CurveSample one = evaluateByLength({point(0.2, 0.4)}, 0.9, false);
    EXPECT_DOUBLE_EQ(one.x, 0.2);
    EXPECT_DOUBLE_EQ(one.y, 0.4);
    // Twelve coincident points: no length at all, the first point stands.
    const std::vector<BendControlPoint> same(12, point(0.5, 0.1, 2.0));
    const CurveSample s = evaluateByLength(same, 0.5, true);
    EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.y) && std::isfinite(s.tangentX));
    EXPECT_TRUE(std::isfinite(evaluateByLength({point(0, 0, 1), point(1, 1)}, kNaN, false).x));
}

TEST(EllipseDetection, TwelvePointsOnACircleFormAnEllipse) {
    BendControls controls;
    controls.closeEndpoints = true;
    const auto points = circlePoints(12, 0.3, true);
    const AnalyticEllipse e = detectEllipse(controls, points);
    ASSERT_TRUE(e.valid);
    EXPECT_NEAR(e.centerX, 0.5, 1e-9);
    EXPECT_NEAR(e.centerY, 0.0, 1e-9);
    EXPECT_NEAR(e.radiusX, 0.3, 1e-9);
    EXPECT_NEAR(e.radiusY, 0.3, 1e-9);
    EXPECT_EQ(e.direction, 1.0);
    const CurveSample s = evaluateEllipse(e, 0.25);
    EXPECT_NEAR(s.x, 0.5, 1e-9);
    EXPECT_NEAR(s.y, 0.3, 1e-9);

    controls.closeEndpoints = false;
    EXPECT_FALSE(detectEllipse(controls, points).valid);
}

TEST(EllipseDetection, PerturbedPointBreaksItUnlessTheShapeIsCircle) {
    BendControls controls;
    controls.closeEndpoints = true;
    auto points = circlePoints(12, 0.3, true);
    points[3].y += 0.05 * 0.3;  // outward, at a quarter turn
    EXPECT_FALSE(detectEllipse(controls, points).valid);
    controls.shapePreset = 4;
    EXPECT_TRUE(detectEllipse(controls, points).valid);
}

TEST(EllipseDetection, SevenPointsNeverFormOne) {
    BendControls controls;
    controls.closeEndpoints = true;
    controls.shapePreset = 4;
    EXPECT_FALSE(detectEllipse(controls, circlePoints(7, 0.3, true)).valid);
    EXPECT_FALSE(detectEllipse(controls, circlePoints(7, 0.3, false)).valid);
}

TEST(PartialRange, CoversTheRequestedEndOfTheCurve) {
    EXPECT_EQ(partialRange(4, 0.5, false), (std::vector<double>{0.5, 0.75, 1.0}));
    EXPECT_EQ(partialRange(4, 0.0, true), (std::vector<double>{0.0}));
    EXPECT_EQ(partialRange(4, 1.0, true), (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(partialRange(4, 0.6, true), (std::vector<double>{0.0, 0.25, 0.5, 0.6}));
    EXPECT_EQ(partialRange(4, kNaN, true), (std::vector<double>{0.0}));
}

TEST(MotionShift, ScalesWithTheCopiesOfTheStrip) {
    BendControls controls;
    EXPECT_DOUBLE_EQ(motionShift(controls, 3), 0.0);
    controls.motion = 150.0;
    EXPECT_DOUBLE_EQ(motionShift(controls, 2), 2.5);
    controls.motionDirection = 2;
    EXPECT_DOUBLE_EQ(motionShift(controls, 2), -2.5);
    controls.motion = 1e9;
    EXPECT_DOUBLE_EQ(motionShift(controls, 0), -1.0);
}

TEST(CurveSampler, MotionMovesOpenCurvesAndWrapsLoops) {
    const std::vector<BendControlPoint> points{point(0.0, 0.0), point(1.0, 0.0)};
    CurveSampler sampler;
    sampler.points = &points;
    sampler.straight = true;
    sampler.motion = 30.0;
    EXPECT_NEAR(sample(sampler, 0.5).x, 0.8, 1e-12);
    EXPECT_NEAR(sample(sampler, 0.9).x, 1.0, 1e-12);
    sampler.motionDirection = 2;
    EXPECT_NEAR(sample(sampler, 0.1).x, 0.0, 1e-12);

    // Slide mode at 50 %, "->": the column parameter t lies on the first half of the curve.
    sampler.slideMode = true;
    sampler.motionDirection = 1;
    sampler.motion = 50.0;
    EXPECT_NEAR(sample(sampler, 0.5).x, 0.0, 1e-12);
    EXPECT_NEAR(sample(sampler, 1.0).x, 0.5, 1e-12);

    const std::vector<BendControlPoint> loop{point(0.0, 0.0), point(1.0, 0.5), point(0.5, -0.5)};
    CurveSampler closed;
    closed.points = &loop;
    closed.closedLoop = true;
    closed.motion = 0.0;
    const CurveSample start = sample(closed, 0.0), end = sample(closed, 1.0);
    EXPECT_DOUBLE_EQ(start.x, end.x);
    EXPECT_DOUBLE_EQ(start.y, end.y);
}

}  // namespace
}  // namespace zephrin
