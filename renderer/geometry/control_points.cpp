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
constexpr double kEndpointSyncTolerance = 1e-6;
constexpr double kMaxTwist = 1e9;
constexpr size_t kLoggedPoints = 12;

const Vec3 kDefaultHandle{kDefaultHandleLength, kDefaultHandleLength, 0.0};

double holdCoordinate(double value) { return std::clamp(value, -kMaxCurveCoordinate, kMaxCurveCoordinate); }

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

// A freshly applied effect has not written its points yet: they are spread across the layer.
void restoreStartupDefaults(std::vector<StoredPoint>& list, int32_t n, double width) {
    if (list.size() < 2 || !std::all_of(list.begin(), list.end(), [](const StoredPoint& s) {
            return unwritten(s.point) && unwritten(s.rotation);
        })) {
        return;
    }
    list.clear();
    for (int32_t i = 0; i < n; ++i) {
        list.push_back(StoredPoint{Vec3{(defaultPointFraction(i, n) - 0.5) * width, 0.0, 0.0}, Vec3{}, i});
    }
    logRender("RendererV2Mesh: startup default controls restored");
}

// The control point of one stored point: curve amount and twist applied, slopes and handles unpacked,
// every value finite and held within its limits.
BendControlPoint controlPointOf(const StoredPoint& s, NormalisedPosition position, const std::vector<Vec3>& handles,
                                const BendControls& controls) {
    BendControlPoint cp;
    cp.x = holdCoordinate(finiteOr(position.nx, 0.5));
    cp.y = holdCoordinate(finiteOr(controls.curveAmount / 100.0 * position.yCentered, 0.0));
    const double twist =
        (finiteOr(s.rotation.z, 0.0) * 0.35 + finiteOr(s.rotation.y, 0.0)) * controls.twistAmount / 100.0;
    cp.twist = std::clamp(finiteOr(twist, 0.0), -kMaxTwist, kMaxTwist);
    cp.slope = slopeFromStored(finiteOr(s.rotation.x, 0.0));
    cp.outSlope = cp.slope;
    const Vec3 handle = s.index >= 0 && static_cast<size_t>(s.index) < handles.size()
                            ? handles[static_cast<size_t>(s.index)]
                            : kDefaultHandle;
    cp.outLength = holdCoordinate(finiteOr(handle.x, kDefaultHandle.x));
    cp.inLength = holdCoordinate(finiteOr(handle.y, kDefaultHandle.y));
    cp.inSlope = inSlopeFromHandle(handle.z, cp.slope);
    return cp;
}

void logControlPoint(size_t k, const Vec3& p, PointConvention convention, NormalisedPosition position,
                     const BendControlPoint& cp) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Mesh: control point=" << k << " raw=(" << p.x << "," << p.y << "," << p.z << ")"
         << " mode=" << conventionName(convention) << " nx=" << position.nx << " yCentered=" << position.yCentered
         << " cpY=" << cp.y << " slope=" << cp.slope << " h+=" << cp.outLength << " h-=" << cp.inLength
         << " hs+=" << cp.outSlope << " hs-=" << cp.inSlope;
    logRender(line.str());
}

// With no point readable the curve is straight through max(n, 2) evenly spread points.
void addFallbackPoints(std::vector<BendControlPoint>& points, int32_t n) {
    if (!points.empty()) return;
    const int32_t count = std::max(n, 2);
    for (int32_t i = 0; i < count; ++i) {
        BendControlPoint cp;
        cp.x = defaultPointFraction(i, count);
        points.push_back(cp);
    }
}

// A closed loop ends where it starts. Returns 1 when the last point had to be moved, else 0.
int closeLoop(std::vector<BendControlPoint>& points, const BendControls& controls) {
    if (!controls.closeEndpoints || points.size() <= 2) return 0;
    int endpointSync = 0;
    BendControlPoint& lastPoint = points.back();
    if (std::fabs(lastPoint.x - points.front().x) > kEndpointSyncTolerance ||
        std::fabs(lastPoint.y - points.front().y) > kEndpointSyncTolerance) {
        endpointSync = 1;
    }
    lastPoint.x = points.front().x;
    lastPoint.y = points.front().y;
    return endpointSync;
}

// What the conversion saw, for the summary line.
struct ConversionCounts {
    int32_t legacy = 0, layerDefault = 0;
    double rawCurveMax = 0.0;  // largest stored |y|
    int endpointSync = 0;
};

void logControls(const std::vector<BendControlPoint>& points, const BendControls& controls,
                 const ListConventions& conventions, const ConversionCounts& counts, double width, double height) {
    if (!renderLogEnabled()) return;
    double yMin = points.front().y, yMax = points.front().y;
    for (const BendControlPoint& cp : points) {
        yMin = std::min(yMin, cp.y);
        yMax = std::max(yMax, cp.y);
    }
    std::ostringstream line;
    line << "RendererV2Mesh: controls count=" << points.size() << " legacy=" << counts.legacy
         << " layerDefault=" << counts.layerDefault << " closeEndpoints=" << (controls.closeEndpoints ? 1 : 0)
         << " shapePreset=" << controls.shapePreset << " quickPreview=" << (controls.quickPreview ? 1 : 0)
         << " endpointSync=" << counts.endpointSync << " allLegacy=" << (conventions.allLegacy ? 1 : 0)
         << " allLayerDefault=" << (conventions.allLayerDefault ? 1 : 0) << " curveAmount=" << controls.curveAmount
         << " rawCurveMax=" << counts.rawCurveMax << " yMin=" << yMin << " yMax=" << yMax
         << " firstX=" << points.front().x << " lastX=" << points.back().x << " layer=" << width << "x" << height;
    logRender(line.str());
}

}  // namespace

std::vector<BendControlPoint> buildControlPoints(StoredControlPoints stored, const BendControls& controls, double width,
                                                 double height) {
    const int32_t n = stored.count;
    const double W = width, H = height;
    std::vector<StoredPoint>& list = stored.points;
    restoreStartupDefaults(list, n, W);
    std::vector<Vec3> raw;
    std::vector<int32_t> indices;
    for (const StoredPoint& s : list) {
        raw.push_back(s.point);
        indices.push_back(s.index);
    }
    const ListConventions conventions = listConventions(raw, indices, n, W, H);

    std::vector<BendControlPoint> points;
    points.reserve(list.size());
    ConversionCounts counts;
    for (size_t k = 0; k < list.size(); ++k) {
        const StoredPoint& s = list[k];
        const Vec3& p = s.point;
        const PointConvention convention = classifyPoint(p, s.index, n, k == 0, k + 1 == list.size(),
                                                         conventions.allLegacy, conventions.allLayerDefault, W, H);
        if (convention == PointConvention::legacy) ++counts.legacy;
        if (convention == PointConvention::layerDefault) ++counts.layerDefault;
        if (std::isfinite(p.y)) counts.rawCurveMax = std::max(counts.rawCurveMax, std::fabs(p.y));
        const NormalisedPosition position = normalisePosition(p, convention, W, H);
        points.push_back(controlPointOf(s, position, stored.handles, controls));
        if (k < kLoggedPoints) logControlPoint(k, p, convention, position, points.back());
    }

    addFallbackPoints(points, n);
    counts.endpointSync = closeLoop(points, controls);
    logControls(points, controls, conventions, counts, W, H);
    return points;
}

}  // namespace zephrin
