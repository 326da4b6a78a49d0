// Keyframe evaluation as the host does it, for every value the host animates (layer properties and
// effect parameter streams alike, so the renderer and the effect see one interpolation).
//
// Between two keys a value follows a temporal curve: a cubic Bézier in (time, value) whose inner
// control points come from the keys' eases (see temporalValue). A spatial property instead follows a
// cubic Bézier path in space through the keys, and its temporal curve runs over the distance along
// that path, so a linear key moves at constant speed along a curve (see pathValue). A held segment
// keeps the first key's value until the second key's time. Before the first key and after the last
// the value is held.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "host/keyframe.h"

namespace zephrin::host {

// The segment from one key to the next is held (a step at the second key's time) when either side
// facing into it says hold.
inline bool segmentHolds(const KeyframeShape& from, const KeyframeShape& to) {
    return from.out == KeyInterpolation::Hold || to.in == KeyInterpolation::Hold;
}

// One segment of a temporal curve: its keys' times and the values at both ends (for a spatial
// property, the distances along the path: 0 and the segment's length).
struct TemporalSegment {
    double t0 = 0.0, t1 = 0.0;
    double v0 = 0.0, v1 = 0.0;
};

// The value at `seconds` (t0 < seconds < t1) on the temporal curve leaving `from` and entering `to`.
double temporalValue(const KeyframeShape& from, const KeyframeShape& to, const TemporalSegment& segment,
                     double seconds);

// The keys one segment of a spatial path depends on: its two ends and, for auto-Bézier tangents, their
// outer neighbours (null at the ends of the path).
struct PathSegmentKeys {
    const Keyframe<Vec3d>* beforeFrom = nullptr;
    const Keyframe<Vec3d>* from = nullptr;
    const Keyframe<Vec3d>* to = nullptr;
    const Keyframe<Vec3d>* afterTo = nullptr;
};

// The tangents a key of a spatial path leaves and arrives with, relative to its value.
struct KeyTangents {
    Vec3d in{}, out{};
};
KeyTangents keyTangents(const Keyframe<Vec3d>* previous, const Keyframe<Vec3d>& key, const Keyframe<Vec3d>* next);

// The point at `seconds` (from->time < seconds < to->time) on the path segment between two keys.
Vec3d pathValue(const PathSegmentKeys& keys, double seconds);

// Reads and writes the numeric components of a value type, for the evaluation below. `count` is at
// most 4; a spatial value uses its first three (missing ones read as 0).
template <typename T>
struct ValueComponents {
    std::size_t count = 1;
    double (*get)(const T&, std::size_t) = nullptr;
    void (*set)(T&, std::size_t, double) = nullptr;
};

// The value of keyframes at `seconds` (the keys ascend in time and there is at least one).
template <typename T>
T keyframedValue(const std::vector<Keyframe<T>>& keys, bool spatial, double seconds, const ValueComponents<T>& c) {
    // Written so that a NaN time holds the first key instead of reaching the search below.
    if (!(seconds > keys.front().time)) return keys.front().value;
    if (seconds >= keys.back().time) return keys.back().value;
    auto after = std::upper_bound(keys.begin(), keys.end(), seconds,
                                  [](double t, const Keyframe<T>& key) { return t < key.time; });
    const std::size_t i = static_cast<std::size_t>(after - keys.begin()) - 1;
    const Keyframe<T>& a = keys[i];
    const Keyframe<T>& b = keys[i + 1];
    // Two keys at one time are a jump, not a slope; the readers refuse them, but stay finite.
    if (!(b.time > a.time)) return b.value;
    if (segmentHolds(a.shape, b.shape)) return a.value;
    T out = a.value;
    if (!spatial) {
        for (std::size_t d = 0; d < c.count; ++d) {
            TemporalSegment segment{a.time, b.time, c.get(a.value, d), c.get(b.value, d)};
            c.set(out, d, temporalValue(a.shape, b.shape, segment, seconds));
        }
        return out;
    }
    auto point = [&c](const Keyframe<T>& key) {
        Keyframe<Vec3d> p{key.time, {}, key.shape};
        for (std::size_t d = 0; d < c.count && d < 3; ++d) p.value[d] = c.get(key.value, d);
        return p;
    };
    const Keyframe<Vec3d> from = point(a), to = point(b);
    Keyframe<Vec3d> beforeFrom, afterTo;
    PathSegmentKeys path{nullptr, &from, &to, nullptr};
    if (i > 0) {
        beforeFrom = point(keys[i - 1]);
        path.beforeFrom = &beforeFrom;
    }
    if (i + 2 < keys.size()) {
        afterTo = point(keys[i + 2]);
        path.afterTo = &afterTo;
    }
    const Vec3d p = pathValue(path, seconds);
    for (std::size_t d = 0; d < c.count && d < 3; ++d) c.set(out, d, p[d]);
    return out;
}

}  // namespace zephrin::host
