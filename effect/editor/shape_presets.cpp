#include "effect/editor/shape_presets.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "common/diagnostic_log.h"
#include "common/effect_contract.h"
#include "effect/control_points.h"
#include "effect/stream_writing.h"

namespace zephrin {
namespace {

// The Top View's unit square is 404 × 120 pixels; stretching y by that ratio makes outlines square.
constexpr double kVerticalStretch = 3.3666666666666667;
constexpr double kVerticalTangentDx = 0.01;

struct Outline {
    std::vector<A_FloatPoint> points;  // distinct points; the closing repeat is added by the caller
    bool smooth = false;
    double factor = 0;
};

Outline outlineOf(int preset) {
    Outline outline;
    switch (preset) {
        case param::kShapeSquare:
            outline.points = {{0.25, 0.75}, {0.75, 0.75}, {0.75, 0.25}, {0.25, 0.25}};
            break;
        case param::kShapeRoundSquare:
            outline.points = {{0.34, 0.8}, {0.66, 0.8}, {0.8, 0.66}, {0.8, 0.34},
                              {0.66, 0.2}, {0.34, 0.2}, {0.2, 0.34}, {0.2, 0.66}};
            outline.smooth = true;
            outline.factor = 1.0 / 6.0;
            break;
        case param::kShapeCircle: {
            constexpr int kSamples = 11;
            constexpr double kRadius = 0.3;
            const double step = 2 * std::numbers::pi / kSamples;
            for (int i = 0; i < kSamples; ++i) {
                const double angle = std::numbers::pi / 2 - i * step;
                outline.points.push_back({0.5 + kRadius * std::cos(angle), 0.5 + kRadius * std::sin(angle)});
            }
            outline.smooth = true;
            // Bezier handles that follow a circle through samples 2π/11 apart.
            outline.factor = 2 * std::tan(std::numbers::pi / 22) / (3 * std::sin(step));
            break;
        }
        default:
            break;
    }
    return outline;
}

// Counter-clockwise in the y-up normalized plane: the first point stays first, the rest reverse.
void makeCounterClockwise(std::vector<A_FloatPoint>& points) {
    double area = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const A_FloatPoint& a = points[i];
        const A_FloatPoint& b = points[(i + 1) % points.size()];
        area += a.x * b.y - b.x * a.y;
    }
    if (0.5 * area < 0) std::reverse(points.begin() + 1, points.end());
}

}  // namespace

std::vector<PresetSlot> shapePresetSlots(int preset) {
    Outline outline = outlineOf(preset);
    if (outline.points.empty()) return {};
    makeCounterClockwise(outline.points);
    for (A_FloatPoint& p : outline.points) p.y = 0.5 + (p.y - 0.5) * kVerticalStretch;

    const int distinct = static_cast<int>(outline.points.size());
    const auto at = [&outline, distinct](int i) { return outline.points[((i % distinct) + distinct) % distinct]; };
    std::vector<PresetSlot> slots;
    for (int i = 0; i <= distinct; ++i) {
        PresetSlot slot;
        slot.nx = at(i).x;
        slot.ny = at(i).y;
        if (!outline.smooth) {
            slot.handle = A_FloatPoint3{0, 0, kExplicitZeroSlope};
            slots.push_back(slot);
            continue;
        }
        double dx = (at(i + 1).x - at(i - 1).x) * outline.factor;
        const double dy = (at(i + 1).y - at(i - 1).y) * outline.factor;
        if (std::abs(dx) < 1e-6 && std::abs(dy) > 1e-6) {
            dx = at(i + 1).x - at(i).x >= 0 ? kVerticalTangentDx : -kVerticalTangentDx;
        }
        double slope = dy / dx;
        if (std::abs(dx) < 1e-8 || !std::isfinite(slope)) slope = 0;
        slope = std::clamp(slope, -kMaxSlope, kMaxSlope);
        const double stored = slope * kStoredSlopeScale;
        const double length = std::isfinite(dx) ? dx : kDefaultHandleLength;
        slot.rotation = A_FloatPoint3{stored, 0, 0};
        slot.handle =
            A_FloatPoint3{length, length, std::abs(stored) < kUnsetSlopeMagnitude ? kExplicitZeroSlope : stored};
        slots.push_back(slot);
    }
    return slots;
}

bool applyShapePreset(EffectCall& call, int preset, const char* reason) {
    if (!closedCurve(call)) return false;
    const std::vector<PresetSlot> slots = shapePresetSlots(preset);
    if (slots.empty()) return false;
    const int count = static_cast<int>(slots.size());
    clearPointExpressions(call, count);

    const LayerSize size = layerSizeOf(call);
    PF_ParamDef& pointCount = paramAt(call, param::kPointCount);
    pointCount.u.pd.value = count - 1;
    markChanged(pointCount);
    clearGeneratedState(call);

    const auto store = [&call, reason](int position, const A_FloatPoint3& value) {
        storePointParam(call, position, value, reason);
    };
    for (int slot = 0; slot < count; ++slot) {
        const PresetSlot& s = slots[static_cast<std::size_t>(slot)];
        // Stored in centred layer pixels.
        store(param::pointPosition(slot), A_FloatPoint3{(s.nx - 0.5) * size.width, (s.ny - 0.5) * size.height, 0});
        store(param::rotationPosition(slot), s.rotation);
        store(param::handlePosition(slot), s.handle);
    }
    writeOneD(call, param::kPointCount, count - 1, reason);
    syncClosedEnds(call, count, -1, "shape-preset-close-sync");
    writeOneD(call, param::kGeneratedState, 0, reason);
    if (effectLogEnabled()) {
        logEffect("CurveUI: shape preset applied preset=" + std::to_string(preset) + " count=" + std::to_string(count));
    }
    return true;
}

}  // namespace zephrin
