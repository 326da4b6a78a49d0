#include "effect/control_points.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/diagnostic_log.h"
#include "effect/editor/top_view_editor.h"
#include "effect/param_table.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"

namespace zephrin {
namespace {

constexpr int kUnsetPointCountChoice = 3;
constexpr int kMinClosedPoints = 4;
constexpr double kFallbackLayerWidth = 1920;
constexpr double kFallbackLayerHeight = 1080;

bool gSynchronising = false;

void setPoint(PF_ParamDef& def, double x, double y, double z) {
    def.u.point3d_d.x_value = x;
    def.u.point3d_d.y_value = y;
    def.u.point3d_d.z_value = z;
    markChanged(def);
}

}  // namespace

bool synchronising() { return gSynchronising; }

SyncScope::SyncScope() { gSynchronising = true; }
SyncScope::~SyncScope() { gSynchronising = false; }

int pointCountOfChoice(int choice) {
    if (choice < 1) choice = kUnsetPointCountChoice;
    return std::clamp(choice, 1, param::kPointSlots - 1) + 1;
}

int chosenPointCount(const EffectCall& call) { return pointCountOfChoice(popupValue(call, param::kPointCount)); }

bool closedCurve(const EffectCall& call) { return checkboxOn(call, param::kCloseEndpoints); }

int activePointCount(const EffectCall& call) {
    const int chosen = chosenPointCount(call);
    return closedCurve(call) ? std::max(chosen, kMinClosedPoints) : chosen;
}

LayerSize layerSizeOf(const EffectCall& call) {
    if (hasParams(call)) {
        const PF_LayerDef& input = paramAt(call, param::kInputLayer).u.ld;
        if (input.width > 0 && input.height > 0) return LayerSize{double(input.width), double(input.height)};
    }
    if (call.in_data != nullptr && call.in_data->width > 1 && call.in_data->height > 1) {
        return LayerSize{double(call.in_data->width), double(call.in_data->height)};
    }
    return LayerSize{kFallbackLayerWidth, kFallbackLayerHeight};
}

void resetPointLayout(EffectCall& call, int count) {
    const int k = std::clamp(count, 2, param::kPointSlots);
    const LayerSize size = layerSizeOf(call);
    resetEditorView(topViewEditor());
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        const double t = slot <= k - 1 ? double(slot) / double(k - 1) : 1.0;
        // Centred layer pixels on the flat line.
        setPoint(paramAt(call, param::pointPosition(slot)), (t - 0.5) * size.width, 0, 0);
        setPoint(paramAt(call, param::rotationPosition(slot)), 0, 0, 0);
        setPoint(paramAt(call, param::handlePosition(slot)), kDefaultHandleLength, kDefaultHandleLength, 0);
    }
    PF_ParamDef& pointCount = paramAt(call, param::kPointCount);
    pointCount.u.pd.value = k - 1;
    markChanged(pointCount);
}

bool raiseToFourPoints(EffectCall& call, const char* reason) {
    if (!closedCurve(call) || chosenPointCount(call) >= kMinClosedPoints) return false;
    constexpr int kFourPointsChoice = kMinClosedPoints - 1;
    PF_ParamDef& pointCount = paramAt(call, param::kPointCount);
    pointCount.u.pd.value = kFourPointsChoice;
    markChanged(pointCount);
    writeOneD(call, param::kPointCount, kFourPointsChoice, reason);
    logEffect("CurveUI: close endpoints raised point count to 4");
    return true;
}

bool syncClosedEnds(EffectCall& call, int givenCount, int changedSlot, const char* reason) {
    if (!closedCurve(call) || synchronising()) return false;
    SyncScope scope;
    const int count = std::min(std::max({givenCount, activePointCount(call), kMinClosedPoints}), param::kPointSlots);
    int source = 0;
    int target = count - 1;
    if (changedSlot == count - 1) std::swap(source, target);

    const PF_Point3DDef from = paramAt(call, param::pointPosition(source)).u.point3d_d;
    PF_ParamDef& to = paramAt(call, param::pointPosition(target));
    const PF_Point3DDef& old = to.u.point3d_d;
    const bool changed = std::abs(old.x_value - from.x_value) > kEndPointTolerance ||
                         std::abs(old.y_value - from.y_value) > kEndPointTolerance ||
                         std::abs(old.z_value - from.z_value) > kEndPointTolerance;
    if (changed) {
        setPoint(to, from.x_value, from.y_value, from.z_value);
        writePointParam(call, param::pointPosition(target), reason, false);
    }
    if (effectLogEnabled()) {
        logEffect("CurveUI: close endpoints sync source=" + std::to_string(source) + " target=" +
                  std::to_string(target) + " changed=" + std::to_string(changed ? 1 : 0) + " reason=" + reason);
    }
    return changed;
}

bool runCloseSync(EffectCall& call, const char* reason) {
    if (!closedCurve(call) || synchronising()) return false;
    const bool raised = raiseToFourPoints(call, reason);
    const bool synced = syncClosedEnds(call, activePointCount(call), -1, reason);
    return raised || synced;
}

void clearShapePreset(EffectCall& call, const char* reason) {
    PF_ParamDef& shape = paramAt(call, param::kShape);
    const int preset = shape.u.pd.value;
    if (preset != param::kShapeSquare && preset != param::kShapeRoundSquare && preset != param::kShapeCircle) return;
    shape.u.pd.value = param::kShapeNone;
    markChanged(shape);
    sendParamUI(call, param::kShape, paramSpec(param::kShape).uiFlags | PF_PUI_INVISIBLE | PF_PUI_DISABLED);
    writeOneD(call, param::kShape, param::kShapeNone, reason);
}

void clearGeneratedState(EffectCall& call) {
    PF_ParamDef& generated = paramAt(call, param::kGeneratedState);
    if (generated.u.bd.value == 0) return;
    generated.u.bd.value = 0;
    markChanged(generated);
}

}  // namespace zephrin
