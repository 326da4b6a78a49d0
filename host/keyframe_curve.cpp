#include "host/keyframe_curve.h"

#include <array>
#include <cmath>

#include "common/vec3.h"

namespace zephrin::host {
namespace {

// Bisection halves the parameter interval per step; 60 steps leave it below a double's resolution.
constexpr int kCurveSolveSteps = 60;
// Steps of the arc-length table of a path segment: enough that within one step the length is nearly
// linear in the parameter, so a few Newton steps settle it.
constexpr std::size_t kArcLengthSteps = 32;
constexpr int kNewtonSteps = 4;
// Pixels per unit of the curve parameter below which the curve is taken to stand still.
constexpr double kMinCurveSpeed = 1e-9;
// A tangent lies on its segment's chord when the sine of the angle between them is below this; the
// path is then the straight chord and takes the exact linear blend.
constexpr double kStraightSine = 1e-9;

Vec3 toVec(const Vec3d& v) { return Vec3{v[0], v[1], v[2]}; }
Vec3d toArray(const Vec3& v) { return Vec3d{v.x, v.y, v.z}; }

double lerp(double a, double b, double f) { return a + (b - a) * f; }

// One coordinate of a cubic Bézier with control values p0..p3 at parameter u.
double bezier(double p0, double p1, double p2, double p3, double u) {
    const double v = 1.0 - u;
    return v * v * v * p0 + 3.0 * v * v * u * p1 + 3.0 * v * u * u * p2 + u * u * u * p3;
}

Vec3 bezier(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double u) {
    return Vec3{bezier(p0.x, p1.x, p2.x, p3.x, u), bezier(p0.y, p1.y, p2.y, p3.y, u),
                bezier(p0.z, p1.z, p2.z, p3.z, u)};
}

bool linearInTime(const KeyframeShape& from, const KeyframeShape& to) {
    return from.out == KeyInterpolation::Linear && to.in == KeyInterpolation::Linear;
}

// Influence as a fraction of the segment's duration, kept inside the host's range.
double influenceFraction(const KeyEase& ease) {
    return std::clamp(ease.influence, kMinInfluence, kMaxInfluence) / 100.0;
}

// The path a spatial segment follows between two keys.
struct PathCurve {
    Vec3 p0, c1, c2, p3;
};

PathCurve pathCurve(const PathSegmentKeys& keys) {
    const KeyTangents from = keyTangents(keys.beforeFrom, *keys.from, keys.to);
    const KeyTangents to = keyTangents(keys.from, *keys.to, keys.afterTo);
    const Vec3 p0 = toVec(keys.from->value), p3 = toVec(keys.to->value);
    return PathCurve{p0, p0 + toVec(from.out), p3 + toVec(to.in), p3};
}

// Both inner control points on the chord between the ends: the curve is the chord itself, and since
// such a cubic never turns back, the point a distance s along it is the blend by s / length.
bool isStraight(const PathCurve& curve) {
    const Vec3 chord = curve.p3 - curve.p0;
    const double chordSquared = dot(chord, chord);
    for (const Vec3& control : {curve.c1, curve.c2}) {
        const Vec3 offset = control - curve.p0;
        // Keys at one place with tangents make a loop, not a point.
        if (!(chordSquared > 0.0) && length(offset) > 0.0) return false;
        const double along = dot(offset, chord);
        if (along < 0.0 || along > chordSquared) return false;
        if (length(cross(offset, chord)) > kStraightSine * length(offset) * std::sqrt(chordSquared)) return false;
    }
    return true;
}

// The curve's speed |B'(u)|, with B'(u) = 3·((1 − u)²·(c1 − p0) + 2u(1 − u)·(c2 − c1) + u²·(p3 − c2)).
double speedAt(const PathCurve& curve, double u) {
    const double v = 1.0 - u;
    const Vec3 d = (curve.c1 - curve.p0) * (3.0 * v * v) + (curve.c2 - curve.c1) * (6.0 * u * v) +
                   (curve.p3 - curve.c2) * (3.0 * u * u);
    return length(d);
}

// Arc length from u0 to u1: five-point Gauss–Legendre quadrature of the speed, exact for the
// polynomial part and far below a pixel's millionth over one table step.
double arcBetween(const PathCurve& curve, double u0, double u1) {
    static constexpr std::array<double, 5> kNodes{0.0, -0.5384693101056831, 0.5384693101056831, -0.9061798459386640,
                                                  0.9061798459386640};
    static constexpr std::array<double, 5> kWeights{0.5688888888888889, 0.4786286704993665, 0.4786286704993665,
                                                    0.2369268850561891, 0.2369268850561891};
    const double half = 0.5 * (u1 - u0), mid = 0.5 * (u1 + u0);
    double sum = 0.0;
    for (std::size_t i = 0; i < kNodes.size(); ++i) sum += kWeights[i] * speedAt(curve, mid + half * kNodes[i]);
    return sum * half;
}

// Arc lengths at u = i / kArcLengthSteps.
using ArcTable = std::array<double, kArcLengthSteps + 1>;

ArcTable arcTable(const PathCurve& curve) {
    ArcTable table{};
    for (std::size_t i = 1; i <= kArcLengthSteps; ++i) {
        table[i] = table[i - 1] + arcBetween(curve, static_cast<double>(i - 1) / kArcLengthSteps,
                                             static_cast<double>(i) / kArcLengthSteps);
    }
    return table;
}

// The point `distance` along the curve: the table brackets its parameter within one step, Newton's
// method on the arc length (whose derivative is the speed) finds it, so speeds along the path hold
// to the last pixel fraction and not only from one table step to the next.
Vec3 pointAtDistance(const PathCurve& curve, const ArcTable& table, double distance) {
    const double total = table.back();
    if (!(distance > 0.0)) return curve.p0;
    if (distance >= total) return curve.p3;
    const std::size_t j =
        static_cast<std::size_t>(std::upper_bound(table.begin(), table.end(), distance) - table.begin()) - 1;
    const double u0 = static_cast<double>(j) / kArcLengthSteps, u1 = static_cast<double>(j + 1) / kArcLengthSteps;
    const double want = distance - table[j];
    const double step = table[j + 1] - table[j];
    double u = step > 0.0 ? u0 + (u1 - u0) * (want / step) : u0;
    for (int i = 0; i < kNewtonSteps; ++i) {
        const double speed = speedAt(curve, u);
        // A cusp has no speed to divide by; the estimate so far stands.
        if (!(speed > kMinCurveSpeed)) break;
        u = std::clamp(u - (arcBetween(curve, u0, u) - want) / speed, u0, u1);
    }
    return bezier(curve.p0, curve.c1, curve.c2, curve.p3, u);
}

}  // namespace

// The temporal curve of a segment is the cubic Bézier P0 P1 P2 P3 in (time, value), with dt = t1 − t0:
//   P0 = (t0, v0)                               P3 = (t1, v1)
//   P1 = (t0 + a·dt, v0 + speedOut·a·dt)        P2 = (t1 − b·dt, v1 − speedIn·b·dt)
// where a and b are the out influence of the first key and the in influence of the second as fractions
// (0.001 to 1): the ease handles reach that far into the segment with the slope of the ease's speed.
// A linear side puts its handle on the straight line between the keys, a third of the way along
// (a = 1/3, value v0 + (v1 − v0)/3); with both sides linear the curve is that straight line. The time
// coordinate x(u) never decreases for influences up to 100 % each, so the u with x(u) = t is found by
// bisection and the value is y(u).
double temporalValue(const KeyframeShape& from, const KeyframeShape& to, const TemporalSegment& segment,
                     double seconds) {
    const double dt = segment.t1 - segment.t0;
    const double f = (seconds - segment.t0) / dt;
    if (linearInTime(from, to)) return lerp(segment.v0, segment.v1, f);

    const double change = segment.v1 - segment.v0;
    double a = 1.0 / 3.0, y1 = segment.v0 + change / 3.0;
    if (from.out == KeyInterpolation::Bezier) {
        a = influenceFraction(from.easeOut);
        y1 = segment.v0 + from.easeOut.speed * a * dt;
    }
    double b = 1.0 / 3.0, y2 = segment.v1 - change / 3.0;
    if (to.in == KeyInterpolation::Bezier) {
        b = influenceFraction(to.easeIn);
        y2 = segment.v1 - to.easeIn.speed * b * dt;
    }
    // In time normalised to the segment: x(u) = bezier(0, a, 1 − b, 1, u).
    const double target = std::clamp(f, 0.0, 1.0);
    double lo = 0.0, hi = 1.0;
    for (int step = 0; step < kCurveSolveSteps; ++step) {
        const double mid = 0.5 * (lo + hi);
        if (bezier(0.0, a, 1.0 - b, 1.0, mid) < target) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return bezier(segment.v0, y1, y2, segment.v1, 0.5 * (lo + hi));
}

// Auto-Bézier tangents: an inner key's tangents run parallel to the line from its previous to its next
// key, each a third as long as the distance to the key on its side, so the path passes smoothly through
// the key and bends more where the keys are close. An end key aims its one tangent at its neighbour, a
// third of the way. Linear keys have no tangents; Bézier keys keep the ones given.
KeyTangents keyTangents(const Keyframe<Vec3d>* previous, const Keyframe<Vec3d>& key, const Keyframe<Vec3d>* next) {
    switch (key.shape.spatial) {
        case SpatialInterpolation::Linear:
            return {};
        case SpatialInterpolation::Bezier:
            return KeyTangents{key.shape.inTangent, key.shape.outTangent};
        case SpatialInterpolation::Auto:
            break;
    }
    const Vec3 p = toVec(key.value);
    KeyTangents tangents;
    if (previous != nullptr && next != nullptr) {
        const Vec3 before = toVec(previous->value), after = toVec(next->value);
        const Vec3 across = after - before;
        const double acrossLength = length(across);
        if (!normalisableLength(acrossLength)) return {};
        const Vec3 direction = across * (1.0 / acrossLength);
        tangents.out = toArray(direction * (length(after - p) / 3.0));
        tangents.in = toArray(direction * (-length(p - before) / 3.0));
    } else if (next != nullptr) {
        tangents.out = toArray((toVec(next->value) - p) * (1.0 / 3.0));
    } else if (previous != nullptr) {
        tangents.in = toArray((toVec(previous->value) - p) * (1.0 / 3.0));
    }
    return tangents;
}

// The point at a time on a spatial segment. The temporal curve runs from distance 0 to the segment's
// arc length L (speeds in pixels per second along the path); the point is the one that far along the
// path. Both sides linear in time give distance = L·f, constant speed along the curve. The eases may
// overshoot the segment in distance; the path has no points beyond its keys, so the point stays at
// the end it passed.
Vec3d pathValue(const PathSegmentKeys& keys, double seconds) {
    const Keyframe<Vec3d>& from = *keys.from;
    const Keyframe<Vec3d>& to = *keys.to;
    const PathCurve curve = pathCurve(keys);
    const bool linear = linearInTime(from.shape, to.shape);
    const double f = (seconds - from.time) / (to.time - from.time);
    if (isStraight(curve)) {
        double fraction = f;
        if (!linear) {
            const double chord = length(curve.p3 - curve.p0);
            const double s = temporalValue(from.shape, to.shape, {from.time, to.time, 0.0, chord}, seconds);
            fraction = chord > 0.0 ? std::clamp(s / chord, 0.0, 1.0) : 0.0;
        }
        Vec3d p{};
        for (std::size_t d = 0; d < 3; ++d) p[d] = lerp(from.value[d], to.value[d], fraction);
        return p;
    }
    const ArcTable table = arcTable(curve);
    const double total = table.back();
    const double s =
        linear ? total * f : temporalValue(from.shape, to.shape, {from.time, to.time, 0.0, total}, seconds);
    return toArray(pointAtDistance(curve, table, s));
}

}  // namespace zephrin::host
