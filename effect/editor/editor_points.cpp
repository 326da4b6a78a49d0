#include "effect/editor/editor_points.h"

#include <algorithm>
#include <cmath>

#include "common/stored_points.h"

namespace zephrin {
namespace {

constexpr double kMinSeamCount = 4;

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

double squaredDistance(const ScreenPoint& a, double x, double y) {
    const double dx = a.x - x, dy = a.y - y;
    return dx * dx + dy * dy;
}

}  // namespace

std::vector<EditorPoint> buildEditorPoints(const EffectCall& call) {
    const int n = std::clamp(activePointCount(call), 2, param::kPointSlots);
    const LayerSize size = layerSizeOf(call);
    std::vector<Vec3> stored;
    std::vector<int32_t> indices;
    for (int i = 0; i < n; ++i) {
        const PF_Point3DDef& p = paramAt(call, param::pointPosition(i)).u.point3d_d;
        stored.push_back(Vec3{p.x_value, p.y_value, p.z_value});
        indices.push_back(i);
    }
    const ListConventions conventions = listConventions(stored, indices, n, size.width, size.height);
    std::vector<EditorPoint> points;
    for (int i = 0; i < n; ++i) {
        const PointConvention convention = classifyPoint(stored[i], i, n, i == 0, i == n - 1, conventions.allLegacy,
                                                         conventions.allLayerDefault, size.width, size.height);
        const NormalisedPosition position = normalisePosition(stored[i], convention, size.width, size.height);
        EditorPoint point;
        point.index = i;
        point.x = finiteOr(position.nx, 0.5);
        point.y = finiteOr(position.yCentered / 2 + 0.5, 0.5);
        const PF_Point3DDef& rotation = paramAt(call, param::rotationPosition(i)).u.point3d_d;
        point.slope = finiteOr(rotation.x_value / kStoredSlopeScale, 0.0);
        point.outSlope = point.slope;
        const PF_Point3DDef& handle = paramAt(call, param::handlePosition(i)).u.point3d_d;
        point.outLength = finiteOr(handle.x_value, kDefaultHandleLength);
        point.inLength = finiteOr(handle.y_value, kDefaultHandleLength);
        point.inSlope = inSlopeFromHandle(handle.z_value, point.slope);
        points.push_back(point);
    }
    if (closedCurve(call) && n >= 3) {
        points.back().x = points.front().x;
        points.back().y = points.front().y;
    }
    return points;
}

ScreenPoint normalizedOfStored(double x, double y, const LayerSize& size) {
    const NormalisedPosition position =
        normalisePosition(Vec3{x, y, 0}, PointConvention::center, size.width, size.height);
    return {finiteOr(position.nx, 0.5), finiteOr(position.yCentered / 2 + 0.5, 0.5)};
}

A_FloatPoint storedOfNormalized(double nx, double ny, const LayerSize& size) {
    const double w = std::max(size.width, 1.0), h = std::max(size.height, 1.0);
    return A_FloatPoint{(finiteOr(nx, 0.5) - 0.5) * w, (finiteOr(ny, 0.5) - 0.5) * h};
}

bool isSeamCopy(int index, int count, bool closed) { return closed && count >= kMinSeamCount && index == count - 1; }

EditorHit hitTest(const std::vector<EditorPoint>& points, const ContentBox& box, bool closed, double mx, double my) {
    EditorHit hit;
    const int n = static_cast<int>(points.size());
    for (const EditorPoint& p : points) {
        if (isSeamCopy(p.index, n, closed)) continue;
        const double d2 = squaredDistance(toScreen(box, p.x, p.y), mx, my);
        if (d2 < hit.pointD2) {
            hit.pointD2 = d2;
            hit.point = p.index;
        }
    }
    for (const EditorPoint& p : points) {
        if (isSeamCopy(p.index, n, closed)) continue;
        const ScreenPoint outEnd = outHandleOf(p), inEnd = inHandleOf(p);
        for (const auto& [end, side] : {std::pair{outEnd, 1}, std::pair{inEnd, -1}}) {
            const double d2 = squaredDistance(toScreen(box, end.x, end.y), mx, my);
            if (d2 < hit.handleD2) {
                hit.handleD2 = d2;
                hit.handlePoint = p.index;
                hit.handleSide = side;
            }
        }
    }
    return hit;
}

}  // namespace zephrin
