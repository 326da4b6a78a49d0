#include "renderer/geometry/bend_curve.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zephrin {

namespace {

// Fewer distinct points than this describe a polygon, not a round loop.
constexpr size_t kMinEllipsePoints = 8;
// Radial deviation, as a fraction of the radius, a point of a round loop may have.
constexpr double kEllipseRadiusTolerance = 0.025;
// Angular step deviation from an even spacing, radians.
constexpr double kEllipseAngleTolerance = 0.08;
constexpr double kMinEllipseRadius = 1e-6;
constexpr double kMinEllipseArea = 1e-10;

struct Bezier {
    CurvePoint b0, b1, b2, b3;
};

Bezier bezierOf(const BendControlPoint& p0, const BendControlPoint& p1) {
    const double h0 = effectiveOutLength(p0);
    const double h1 = effectiveInLength(p1);
    const double s0 = effectiveOutSlope(p0);
    const double s1 = effectiveInSlope(p1);
    return Bezier{{p0.x, p0.y}, {p0.x + h0, p0.y + s0 * h0}, {p1.x - h1, p1.y - s1 * h1}, {p1.x, p1.y}};
}

CurvePoint bezierPoint(const Bezier& b, double u) {
    const double v = 1.0 - u;
    const double w0 = v * v * v, w1 = 3.0 * v * v * u, w2 = 3.0 * v * u * u, w3 = u * u * u;
    return CurvePoint{w0 * b.b0.x + w1 * b.b1.x + w2 * b.b2.x + w3 * b.b3.x,
                      w0 * b.b0.y + w1 * b.b1.y + w2 * b.b2.y + w3 * b.b3.y};
}

CurvePoint unitOr(double x, double y, bool& ok) {
    const double len = std::hypot(x, y);
    ok = len >= kMinTangentLength && std::isfinite(len);
    return ok ? CurvePoint{x / len, y / len} : CurvePoint{1.0, 0.0};
}

CurvePoint bezierTangent(const Bezier& b, double u) {
    const double v = 1.0 - u;
    const double dx =
        3.0 * v * v * (b.b1.x - b.b0.x) + 6.0 * v * u * (b.b2.x - b.b1.x) + 3.0 * u * u * (b.b3.x - b.b2.x);
    const double dy =
        3.0 * v * v * (b.b1.y - b.b0.y) + 6.0 * v * u * (b.b2.y - b.b1.y) + 3.0 * u * u * (b.b3.y - b.b2.y);
    bool ok = false;
    CurvePoint t = unitOr(dx, dy, ok);
    if (ok) return t;
    t = unitOr(b.b3.x - b.b0.x, b.b3.y - b.b0.y, ok);
    return ok ? t : CurvePoint{1.0, 0.0};
}

double bezierLength(const Bezier& b, double yScale) {
    double total = 0.0;
    CurvePoint previous{b.b0.x, b.b0.y * yScale};
    for (int step = 1; step <= kSegmentLengthSteps; ++step) {
        CurvePoint p = bezierPoint(b, static_cast<double>(step) / kSegmentLengthSteps);
        p.y *= yScale;
        total += std::hypot(p.x - previous.x, p.y - previous.y);
        previous = p;
    }
    // A NaN length would stop the arc-length walk from ever choosing a segment.
    return std::isfinite(total) ? std::max(total, kMinSegmentLength) : kMinSegmentLength;
}

bool samePoint(const BendControlPoint& a, const BendControlPoint& b) {
    return std::fabs(a.x - b.x) <= kCoincidentPointTolerance && std::fabs(a.y - b.y) <= kCoincidentPointTolerance;
}

// How the points are joined: `used` points, segment i from point i to point (i + 1) mod used.
struct SegmentLayout {
    size_t used = 0;
    size_t segments = 0;
};

SegmentLayout layoutSegments(const std::vector<BendControlPoint>& points, bool closed) {
    const size_t m = points.size();
    if (closed && m >= 3) {
        const size_t used = samePoint(points.front(), points.back()) ? m - 1 : m;
        if (used >= 3) return SegmentLayout{used, used};
        return SegmentLayout{used, used - 1};
    }
    return SegmentLayout{m, m > 0 ? m - 1 : 0};
}

// The angle from a to b walked in `direction`, within [0, 2 pi).
double angularStep(double a, double b, double direction) {
    const double twoPi = 2.0 * std::numbers::pi;
    double step = (b - a) * direction;
    step = std::fmod(step, twoPi);
    return step < 0.0 ? step + twoPi : step;
}

}  // namespace

CurvePoint segmentPoint(const BendControlPoint& p0, const BendControlPoint& p1, double u) {
    return bezierPoint(bezierOf(p0, p1), u);
}

CurvePoint segmentTangent(const BendControlPoint& p0, const BendControlPoint& p1, double u) {
    return bezierTangent(bezierOf(p0, p1), u);
}

double segmentLength(const BendControlPoint& p0, const BendControlPoint& p1) {
    return bezierLength(bezierOf(p0, p1), 1.0);
}

double segmentLengthScaled(const BendControlPoint& p0, const BendControlPoint& p1, double yScale) {
    return bezierLength(bezierOf(p0, p1), yScale);
}

bool isStraight(const std::vector<BendControlPoint>& points, bool closed) {
    if (closed || points.size() < 2) return false;
    return std::all_of(points.begin(), points.end(), [](const BendControlPoint& p) {
        return std::fabs(p.y) <= kStraightTolerance && std::fabs(p.twist) <= kStraightTolerance &&
               std::fabs(p.slope) <= kStraightTolerance && std::fabs(p.outSlope) <= kStraightTolerance &&
               std::fabs(p.inSlope) <= kStraightTolerance;
    });
}

CurveMeasure measureCurve(const std::vector<BendControlPoint>& points, bool closed, double yScale) {
    CurveMeasure measure;
    if (points.size() < 2) return measure;
    measure.straight = isStraight(points, closed);
    if (measure.straight) return measure;
    const SegmentLayout layout = layoutSegments(points, closed);
    measure.usedPoints = layout.used;
    measure.lengths.resize(layout.segments);
    for (size_t i = 0; i < layout.segments; ++i) {
        measure.lengths[i] = bezierLength(bezierOf(points[i], points[(i + 1) % layout.used]), yScale);
        measure.total += measure.lengths[i];
    }
    return measure;
}

CurveSample evaluateMeasured(const std::vector<BendControlPoint>& points, const CurveMeasure& measure, double t) {
    if (points.empty()) return CurveSample{t, 0.0, 0.0, 1.0, 0.0};
    if (points.size() == 1) return CurveSample{points[0].x, points[0].y, points[0].twist, 1.0, 0.0};
    if (measure.straight) {
        const double f = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
        return CurveSample{points.front().x + (points.back().x - points.front().x) * f, 0.0, 0.0, 1.0, 0.0};
    }
    const std::vector<double>& lengths = measure.lengths;
    if (!(measure.total > kMinSegmentLength)) return CurveSample{points[0].x, points[0].y, points[0].twist, 1.0, 0.0};

    double s = (std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0)) * measure.total;
    size_t segment = 0;
    while (segment + 1 < lengths.size() && s > lengths[segment]) {
        s -= lengths[segment];
        ++segment;
    }
    const double u = std::clamp(s / std::max(lengths[segment], kMinSegmentLength), 0.0, 1.0);
    const BendControlPoint& p0 = points[segment];
    const BendControlPoint& p1 = points[(segment + 1) % measure.usedPoints];
    const Bezier b = bezierOf(p0, p1);
    const CurvePoint p = bezierPoint(b, u);
    const CurvePoint tangent = bezierTangent(b, u);
    return CurveSample{p.x, p.y, p0.twist + (p1.twist - p0.twist) * u, tangent.x, tangent.y};
}

CurveSample evaluateByLength(const std::vector<BendControlPoint>& points, double t, bool closed) {
    return evaluateMeasured(points, measureCurve(points, closed, 1.0), t);
}

CurveSample evaluateByScaledLength(const std::vector<BendControlPoint>& points, double t, bool closed, double yScale) {
    return evaluateMeasured(points, measureCurve(points, closed, yScale), t);
}

AnalyticEllipse detectEllipse(const BendControls& controls, const std::vector<BendControlPoint>& points) {
    AnalyticEllipse ellipse;
    if (!controls.closeEndpoints || points.size() < 4) return ellipse;
    size_t n = points.size();
    if (samePoint(points.front(), points.back())) --n;
    if (n < kMinEllipsePoints) return ellipse;
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) return ellipse;
    }

    double cx = 0.0, cy = 0.0;
    for (size_t i = 0; i < n; ++i) {
        cx += points[i].x;
        cy += points[i].y;
    }
    cx /= static_cast<double>(n);
    cy /= static_cast<double>(n);
    double area = 0.0, sxx = 0.0, syy = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const BendControlPoint& a = points[i];
        const BendControlPoint& b = points[(i + 1) % n];
        area += a.x * b.y - a.y * b.x;
        sxx += (a.x - cx) * (a.x - cx);
        syy += (a.y - cy) * (a.y - cy);
    }
    const double rx = std::sqrt(2.0 * sxx / static_cast<double>(n));
    const double ry = std::sqrt(2.0 * syy / static_cast<double>(n));
    if (!(rx > kMinEllipseRadius) || !(ry > kMinEllipseRadius) || !(std::fabs(area) > kMinEllipseArea)) return ellipse;

    const double direction = area >= 0.0 ? 1.0 : -1.0;
    if (controls.shapePreset != param::kShapeCircle) {
        const double evenStep = 2.0 * std::numbers::pi / static_cast<double>(n);
        for (size_t i = 0; i < n; ++i) {
            const double p = (points[i].x - cx) / rx, q = (points[i].y - cy) / ry;
            if (!(std::fabs(std::hypot(p, q) - 1.0) <= kEllipseRadiusTolerance)) return ellipse;
            const size_t next = (i + 1) % n;
            const double pn = (points[next].x - cx) / rx, qn = (points[next].y - cy) / ry;
            const double step = angularStep(std::atan2(q, p), std::atan2(qn, pn), direction);
            if (!(std::fabs(step - evenStep) <= kEllipseAngleTolerance)) return ellipse;
        }
    }
    ellipse.valid = true;
    ellipse.centerX = cx;
    ellipse.centerY = cy;
    ellipse.radiusX = rx;
    ellipse.radiusY = ry;
    ellipse.startAngle = std::atan2((points[0].y - cy) / ry, (points[0].x - cx) / rx);
    ellipse.direction = direction;
    return ellipse;
}

CurveSample evaluateEllipse(const AnalyticEllipse& e, double s) {
    const double f = std::isnan(s) ? 0.0 : std::clamp(s, 0.0, 1.0);
    const double theta = e.startAngle + 2.0 * std::numbers::pi * e.direction * f;
    const double c = std::cos(theta), sn = std::sin(theta);
    bool ok = false;
    const CurvePoint tangent = unitOr(-e.radiusX * sn * e.direction, e.radiusY * c * e.direction, ok);
    return CurveSample{e.centerX + e.radiusX * c, e.centerY + e.radiusY * sn, 0.0, tangent.x, tangent.y};
}

}  // namespace zephrin
