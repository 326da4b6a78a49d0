#include "renderer/geometry/control_points.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/diagnostic_log.h"
#include "renderer/texture/clamps.h"

namespace zephrin {

namespace {

// Below this magnitude in every component, no point has been written yet.
constexpr double kUnwrittenMagnitude = 1e-6;
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
constexpr double kEndpointSyncTolerance = 1e-6;
constexpr double kMaxTwist = 1e9;
constexpr size_t kLoggedPoints = 12;

const Vec3 kDefaultHandle{kDefaultHandleLength, kDefaultHandleLength, 0.0};

double holdCoordinate(double value) { return std::clamp(value, -kMaxCurveCoordinate, kMaxCurveCoordinate); }

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

bool unwritten(const Vec3& v) {
    return std::fabs(v.x) <= kUnwrittenMagnitude && std::fabs(v.y) <= kUnwrittenMagnitude &&
           std::fabs(v.z) <= kUnwrittenMagnitude;
}

const char* conventionName(PointConvention c) {
    switch (c) {
        case PointConvention::legacy:
            return "legacy";
        case PointConvention::layerDefault:
            return "layerDefault";
        default:
            return "center";
    }
}

double slopeFromStored(double stored) { return std::clamp(stored / kStoredSlopeScale, -kMaxSlope, kMaxSlope); }

double inSlopeFromHandle(double z, double slope) {
    if (!std::isfinite(z)) return slope;
    if (std::fabs(z - kExplicitZeroSlope) <= kZeroSlopeMarkerTolerance) return 0.0;
    if (std::fabs(z) < kUnsetSlopeMagnitude) return slope;
    return slopeFromStored(z);
}

}  // namespace

double defaultPointFraction(int32_t i, int32_t n) {
    static constexpr double kFourPoints[4] = {0.0, 0.33, 0.67, 1.0};
    if (n == 4 && i >= 0 && i < 4) return kFourPoints[i];
    if (n < 2) return 0.0;
    return static_cast<double>(i) / (n - 1);
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

std::vector<BendControlPoint> buildControlPoints(StoredControlPoints stored, const BendControls& controls, double width,
                                                 double height) {
    const int32_t n = stored.count;
    const double W = width, H = height;
    std::vector<StoredPoint>& list = stored.points;

    // A freshly applied effect has not written its points yet: spread them across the layer.
    if (list.size() >= 2 && std::all_of(list.begin(), list.end(), [](const StoredPoint& s) {
            return unwritten(s.point) && unwritten(s.rotation);
        })) {
        list.clear();
        for (int32_t i = 0; i < n; ++i) {
            list.push_back(StoredPoint{Vec3{(defaultPointFraction(i, n) - 0.5) * W, 0.0, 0.0}, Vec3{}, i});
        }
        logRender("RendererV2Mesh: startup default controls restored");
    }

    const bool allLegacy = list.size() >= 2 && std::all_of(list.begin(), list.end(), [&](const StoredPoint& s) {
                               return percentTest(s.point, W, H);
                           });
    const bool allLayerDefault = !allLegacy && std::all_of(list.begin(), list.end(), [&](const StoredPoint& s) {
        return layerDefaultTest(s.point, s.index, n, W, H);
    });

    std::vector<BendControlPoint> points;
    points.reserve(list.size());
    int32_t legacyCount = 0, layerDefaultCount = 0;
    double rawCurveMax = 0.0;
    for (size_t k = 0; k < list.size(); ++k) {
        const StoredPoint& s = list[k];
        const Vec3& p = s.point;
        const PointConvention convention =
            classifyPoint(p, s.index, n, k == 0, k + 1 == list.size(), allLegacy, allLayerDefault, W, H);
        double nx = 0.0, yCentered = 0.0;
        switch (convention) {
            case PointConvention::legacy:
                ++legacyCount;
                nx = p.x / 100.0;
                yCentered = 2.0 * (p.y / 100.0 - 0.5);
                break;
            case PointConvention::layerDefault:
                ++layerDefaultCount;
                nx = p.x / W;
                yCentered = 2.0 * (p.y / std::max(H, 1.0) - 0.5);
                break;
            case PointConvention::center:
                nx = p.x / W + 0.5;
                yCentered = p.y / std::max(H / 2.0, 1.0);
                break;
        }
        if (std::isfinite(p.y)) rawCurveMax = std::max(rawCurveMax, std::fabs(p.y));

        BendControlPoint cp;
        cp.x = holdCoordinate(finiteOr(nx, 0.5));
        cp.y = holdCoordinate(finiteOr(controls.curveAmount / 100.0 * yCentered, 0.0));
        const double twist =
            (finiteOr(s.rotation.z, 0.0) * 0.35 + finiteOr(s.rotation.y, 0.0)) * controls.twistAmount / 100.0;
        cp.twist = std::clamp(finiteOr(twist, 0.0), -kMaxTwist, kMaxTwist);
        cp.slope = slopeFromStored(finiteOr(s.rotation.x, 0.0));
        cp.outSlope = cp.slope;
        const Vec3 handle = s.index >= 0 && static_cast<size_t>(s.index) < stored.handles.size()
                                ? stored.handles[static_cast<size_t>(s.index)]
                                : kDefaultHandle;
        cp.outLength = holdCoordinate(finiteOr(handle.x, kDefaultHandle.x));
        cp.inLength = holdCoordinate(finiteOr(handle.y, kDefaultHandle.y));
        cp.inSlope = inSlopeFromHandle(handle.z, cp.slope);
        points.push_back(cp);

        if (k < kLoggedPoints && renderLogEnabled()) {
            std::ostringstream line;
            line << "RendererV2Mesh: control point=" << k << " raw=(" << p.x << "," << p.y << "," << p.z << ")"
                 << " mode=" << conventionName(convention) << " nx=" << nx << " yCentered=" << yCentered
                 << " cpY=" << cp.y << " slope=" << cp.slope << " h+=" << cp.outLength << " h-=" << cp.inLength
                 << " hs+=" << cp.outSlope << " hs-=" << cp.inSlope;
            logRender(line.str());
        }
    }

    if (points.empty()) {
        const int32_t count = std::max(n, 2);
        for (int32_t i = 0; i < count; ++i) {
            BendControlPoint cp;
            cp.x = defaultPointFraction(i, count);
            points.push_back(cp);
        }
    }

    int endpointSync = 0;
    if (controls.closeEndpoints && points.size() > 2) {
        BendControlPoint& lastPoint = points.back();
        if (std::fabs(lastPoint.x - points.front().x) > kEndpointSyncTolerance ||
            std::fabs(lastPoint.y - points.front().y) > kEndpointSyncTolerance) {
            endpointSync = 1;
        }
        lastPoint.x = points.front().x;
        lastPoint.y = points.front().y;
    }

    if (renderLogEnabled()) {
        double yMin = points.front().y, yMax = points.front().y;
        for (const BendControlPoint& cp : points) {
            yMin = std::min(yMin, cp.y);
            yMax = std::max(yMax, cp.y);
        }
        std::ostringstream line;
        line << "RendererV2Mesh: controls count=" << points.size() << " legacy=" << legacyCount
             << " layerDefault=" << layerDefaultCount << " closeEndpoints=" << (controls.closeEndpoints ? 1 : 0)
             << " shapePreset=" << controls.shapePreset << " quickPreview=" << (controls.quickPreview ? 1 : 0)
             << " endpointSync=" << endpointSync << " allLegacy=" << (allLegacy ? 1 : 0)
             << " allLayerDefault=" << (allLayerDefault ? 1 : 0) << " curveAmount=" << controls.curveAmount
             << " rawCurveMax=" << rawCurveMax << " yMin=" << yMin << " yMax=" << yMax << " firstX=" << points.front().x
             << " lastX=" << points.back().x << " layer=" << W << "x" << H;
        logRender(line.str());
    }
    return points;
}

}  // namespace zephrin
