#include "common/stored_points.h"

#include <algorithm>
#include <cmath>

#include "common/effect_contract.h"

namespace zephrin {
namespace {

// Percent points lie in 0..100 with this slack; only layers larger than this use them.
constexpr double kPercentSlack = 0.01;
constexpr double kPercentLayerMinimum = 150.0;
constexpr double kFlatZ = 1e-6;
// A percent point this close to its default place is a legacy point even among others.
constexpr double kLegacySnap = 1.25;
// Layer-default tolerance: a quarter percent of the layer, at least 1.5 pixels.
constexpr double kLayerDefaultTolerance = 0.0025;
constexpr double kLayerDefaultMinTolerance = 1.5;
// How exactly a handle z must match the effect's explicit-zero marker.
constexpr double kZeroSlopeMarkerTolerance = 1e-10;

bool percentTest(const Vec3& p, double width, double height) {
    return width > kPercentLayerMinimum && height > kPercentLayerMinimum && isFinite(p) && p.x >= -kPercentSlack &&
           p.x <= 100.0 + kPercentSlack && p.y >= -kPercentSlack && p.y <= 100.0 + kPercentSlack &&
           std::fabs(p.z) < kFlatZ;
}

bool layerDefaultTest(const Vec3& p, int32_t i, int32_t n, double width, double height) {
    if (n < 2 || !(width > 1.0) || !(height > 1.0)) return false;
    const double tolX = std::max(kLayerDefaultTolerance * width, kLayerDefaultMinTolerance);
    const double tolY = std::max(kLayerDefaultTolerance * height, kLayerDefaultMinTolerance);
    return std::fabs(p.x - defaultPointFraction(i, n) * width) <= tolX && std::fabs(p.y - height / 2.0) <= tolY &&
           (std::fabs(p.z - height / 2.0) <= tolY || std::fabs(p.z) <= kLayerDefaultMinTolerance);
}

}  // namespace

double defaultPointFraction(int32_t i, int32_t n) {
    static constexpr double kFourPoints[4] = {0.0, 0.33, 0.67, 1.0};
    if (n == 4 && i >= 0 && i < 4) return kFourPoints[i];
    if (n < 2) return 0.0;
    return static_cast<double>(i) / (n - 1);
}

ListConventions listConventions(const std::vector<Vec3>& points, const std::vector<int32_t>& indices, int32_t n,
                                double width, double height) {
    ListConventions c;
    c.allLegacy = points.size() >= 2 && std::all_of(points.begin(), points.end(), [&](const Vec3& p) {
                      return percentTest(p, width, height);
                  });
    if (c.allLegacy) return c;
    c.allLayerDefault = true;
    for (size_t k = 0; k < points.size(); ++k) {
        if (!layerDefaultTest(points[k], indices[k], n, width, height)) c.allLayerDefault = false;
    }
    return c;
}

PointConvention classifyPoint(const Vec3& p, int32_t i, int32_t n, bool first, bool last, bool allLegacy,
                              bool allLayerDefault, double width, double height) {
    if (allLegacy) return PointConvention::legacy;
    if (percentTest(p, width, height) && std::fabs(p.y - 50.0) <= kLegacySnap &&
        (std::fabs(p.x - 100.0 * defaultPointFraction(i, n)) <= kLegacySnap ||
         (first && std::fabs(p.x) <= kLegacySnap) || (last && std::fabs(p.x - 100.0) <= kLegacySnap))) {
        return PointConvention::legacy;
    }
    if (allLayerDefault && layerDefaultTest(p, i, n, width, height)) return PointConvention::layerDefault;
    return PointConvention::center;
}

NormalisedPosition normalisePosition(const Vec3& p, PointConvention convention, double width, double height) {
    switch (convention) {
        case PointConvention::legacy:
            return {p.x / 100.0, 2.0 * (p.y / 100.0 - 0.5)};
        case PointConvention::layerDefault:
            return {p.x / width, 2.0 * (p.y / std::max(height, 1.0) - 0.5)};
        case PointConvention::center:
            break;
    }
    return {p.x / width + 0.5, p.y / std::max(height / 2.0, 1.0)};
}

double slopeFromStored(double stored) { return std::clamp(stored / kStoredSlopeScale, -kMaxSlope, kMaxSlope); }

double inSlopeFromHandle(double z, double slope) {
    if (!std::isfinite(z)) return slope;
    if (std::fabs(z - kExplicitZeroSlope) <= kZeroSlopeMarkerTolerance) return 0.0;
    if (std::fabs(z) < kUnsetSlopeMagnitude) return slope;
    return slopeFromStored(z);
}

}  // namespace zephrin
