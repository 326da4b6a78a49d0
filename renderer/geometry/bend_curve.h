// The bend curve: cubic Bezier segments between neighbouring control points, evaluated by arc
// length, optionally closed into a loop, with a straight-line fast path and an analytic ellipse for
// round closed loops.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "renderer/scene/bend_controls.h"

namespace zephrin {

// Chords walked per segment when measuring its length.
constexpr int kSegmentLengthSteps = 18;
// No segment is shorter than this, so a zero-length segment can still be divided by.
constexpr double kMinSegmentLength = 1e-6;
// Derivatives and chords shorter than this have no direction.
constexpr double kMinTangentLength = 1e-8;
// Closing points closer than this in x and y are the same point.
constexpr double kCoincidentPointTolerance = 1e-6;
// Values within this of zero count as flat for the straight-line test.
constexpr double kStraightTolerance = 1e-6;

struct CurvePoint {
    double x = 0.0, y = 0.0;
};

// Every evaluation's result; the tangent is a unit vector in the (x, y) plane.
struct CurveSample {
    double x = 0.0, y = 0.0, twist = 0.0;
    double tangentX = 1.0, tangentY = 0.0;
};

struct AnalyticEllipse {
    bool valid = false;
    double centerX = 0.5, centerY = 0.0;
    double radiusX = 0.0, radiusY = 0.0;
    double startAngle = 0.0;  // radians, of the first point
    double direction = 1.0;   // +1 or -1
};

// Stored handle values that are not finite stand for the defaults.
inline double effectiveOutLength(const BendControlPoint& p) {
    return std::isfinite(p.outLength) ? p.outLength : kDefaultHandleLength;
}
inline double effectiveInLength(const BendControlPoint& p) {
    return std::isfinite(p.inLength) ? p.inLength : kDefaultHandleLength;
}
inline double effectiveOutSlope(const BendControlPoint& p) { return std::isfinite(p.outSlope) ? p.outSlope : p.slope; }
inline double effectiveInSlope(const BendControlPoint& p) { return std::isfinite(p.inSlope) ? p.inSlope : p.slope; }

CurvePoint segmentPoint(const BendControlPoint& p0, const BendControlPoint& p1, double u);
// Unit tangent; the chord where the derivative vanishes, (1, 0) where both do.
CurvePoint segmentTangent(const BendControlPoint& p0, const BendControlPoint& p1, double u);
double segmentLength(const BendControlPoint& p0, const BendControlPoint& p1);
// Length with every y multiplied by yScale (an aspect-corrected measure).
double segmentLengthScaled(const BendControlPoint& p0, const BendControlPoint& p1, double yScale);

// Open over at least two points, every y, twist and slope flat.
bool isStraight(const std::vector<BendControlPoint>& points, bool closed);

// A curve's segments and their arc lengths, measured once for evaluating it at many parameters.
struct CurveMeasure {
    bool straight = false;
    size_t usedPoints = 0;  // segment i runs from point i to point (i + 1) mod usedPoints
    std::vector<double> lengths;
    double total = 0.0;
};

CurveMeasure measureCurve(const std::vector<BendControlPoint>& points, bool closed, double yScale);
// As evaluateByScaledLength, with the measure taken of the same points, closed flag and yScale.
CurveSample evaluateMeasured(const std::vector<BendControlPoint>& points, const CurveMeasure& measure, double t);

// The curve point at the fraction t of the total arc length.
CurveSample evaluateByLength(const std::vector<BendControlPoint>& points, double t, bool closed);
// As evaluateByLength, with the lengths measured with y scaled; positions and tangents are unscaled.
CurveSample evaluateByScaledLength(const std::vector<BendControlPoint>& points, double t, bool closed, double yScale);

// The ellipse a closed loop of at least eight points lies on (any such loop for the Circle shape).
AnalyticEllipse detectEllipse(const BendControls& controls, const std::vector<BendControlPoint>& points);
CurveSample evaluateEllipse(const AnalyticEllipse& ellipse, double s);

}  // namespace zephrin
