// The motion path of another layer as a polyline in that layer's own space, with its arc lengths.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/matrix4.h"
#include "common/vec3.h"

namespace zephrin {

// Samples of a path: at least 2 and at most this many.
constexpr int32_t kMinPathSamples = 2;
constexpr int32_t kMaxPathSamples = 256;
// A sample this close to the previous one adds nothing to the path.
constexpr double kPathPointMergeDistance = 0.001;
// A layer that never moves is laid along a straight stretch this long.
constexpr double kStillPathExtension = 100.0;
// A path no longer than this cannot carry a layer.
constexpr double kMinPathLength = 1e-6;

struct PathSamples {
    std::vector<Vec3> points;
    std::vector<double> cumulative;  // arc length at every point, 0 at the first
    double length = 0.0;
    bool valid = false;
};

// How many samples a layer's "Subdivision X" asks for.
int32_t pathSampleCount(int32_t subdivisionX);

// The composition frame of sample i of count, over frameCount frames: the nearest whole frame.
int64_t pathSampleFrame(int32_t i, int32_t count, int64_t frameCount);

// Turns the path layer's world origins (in time order) into samples: unusable and repeated points
// dropped, `fallbackOrigin` used when nothing is left, the points carried by `worldToPathLayer` when
// given, a single point extended along x. The result is invalid (degenerate) with fewer than two
// points or no usable length.
PathSamples makePathSamples(const std::vector<Vec3>& worldOrigins, const std::optional<Vec3>& fallbackOrigin,
                            const std::optional<Matrix4>& worldToPathLayer);

// The point at arc length s, extended straight beyond either end.
Vec3 pathPointAt(const PathSamples& samples, double s);

// The unit direction of the path at arc length s.
Vec3 pathTangentAt(const PathSamples& samples, double s);

}  // namespace zephrin
