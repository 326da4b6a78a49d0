// One keyframe as the host keeps it: a time, a value and how the value travels into and out of it.
// Temporal interpolation says how fast (linear, Bézier with an ease, or held); spatial interpolation,
// for properties that trace a path in space (position, anchor point, point of interest, 3D point
// parameters), says along which curve. The defaults are what the host gives a keyframe nobody has
// touched: linear in time, and an auto-Bézier path where the property is spatial.
#pragma once

#include <array>

namespace zephrin::host {

using Vec3d = std::array<double, 3>;

enum class KeyInterpolation { Linear, Bezier, Hold };

// The influence the host's Easy Ease sets, percent: a Bézier side that names no ease gets it with a
// speed of 0, which is how designers meet a Bézier key first.
constexpr double kEasyEaseInfluence = 100.0 / 3.0;
// The host's range for an influence, percent.
constexpr double kMinInfluence = 0.1;
constexpr double kMaxInfluence = 100.0;

// Speed in the property's units per second (pixels per second along the path for a spatial
// property); influence in percent of the segment's duration that the ease reaches into.
struct KeyEase {
    double speed = 0.0;
    double influence = kEasyEaseInfluence;
};

// Auto: tangents computed from the neighbouring keys; Linear: no tangents (straight segments meet at
// a corner); Bezier: the tangents given.
enum class SpatialInterpolation { Auto, Linear, Bezier };

struct KeyframeShape {
    KeyInterpolation in = KeyInterpolation::Linear;
    KeyInterpolation out = KeyInterpolation::Linear;
    KeyEase easeIn, easeOut;  // read only on a Bézier side
    SpatialInterpolation spatial = SpatialInterpolation::Auto;
    Vec3d inTangent{}, outTangent{};  // relative to the key's value; read only when spatial is Bezier
};

template <typename T>
struct Keyframe {
    double time = 0.0;  // seconds
    T value{};
    KeyframeShape shape{};
};

// Whether the shape is the one a keyframe gets when nothing is said about it (the scene file's
// short form, a keyframe the effect inserts).
inline bool isDefaultShape(const KeyframeShape& s) {
    return s.in == KeyInterpolation::Linear && s.out == KeyInterpolation::Linear &&
           s.spatial == SpatialInterpolation::Auto;
}

}  // namespace zephrin::host
