#include "effect/param_changes.h"

#include <algorithm>

#include "common/diagnostic_log.h"
#include "effect/control_points.h"
#include "effect/editor/shape_presets.h"
#include "effect/editor/top_view_editor.h"
#include "effect/localization.h"
#include "effect/mirrored_controls.h"
#include "effect/param_table.h"
#include "effect/quick_preview.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"

namespace zephrin {
namespace {

using namespace param;

constexpr PF_OutFlags kRerender = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;

bool inRange(int position, int first, int last) { return position >= first && position <= last; }

bool isPointFamily(int position) {
    return inRange(position, kFirstPoint, kFirstPoint + kPointSlots - 1) ||
           inRange(position, kFirstRotation, kFirstRotation + kPointSlots - 1) ||
           inRange(position, kFirstHandle, kFirstHandle + kPointSlots - 1);
}

// What the panel layout depends on; UPDATE_PARAMS_UI lays the panel out again only when it changes.
struct LayoutSignature {
    PF_ProgPtr effect = nullptr;
    int language = 0;
    int mode = 0;
    bool closed = false;
    int tiles = 0;
    int points = 0;
    int viewWidth = 0;
    int viewHeight = 0;
    bool operator==(const LayoutSignature&) const = default;
};

LayoutSignature gLastSignature{};
bool gHaveSignature = false;

LayoutSignature signatureOf(const EffectCall& call) {
    const TopViewEditor& editor = topViewEditor();
    LayoutSignature signature;
    signature.effect = call.in_data->effect_ref;
    signature.language = popupValue(call, kLanguage);
    signature.mode = modeOf(call);
    signature.closed = closedCurve(call);
    signature.tiles = std::clamp(visibilityStateOf(call).tileCountChoice - 1, 0, 10);
    signature.points = activePointCount(call);
    signature.viewWidth = editor.viewWidth;
    signature.viewHeight = editor.viewHeight;
    return signature;
}

PF_Err onPointCountChanged(EffectCall& call) {
    clearShapePreset(call, "point-count-clear-shape");
    const bool closed = closedCurve(call);
    if (closed) raiseToFourPoints(call, "point-count-min-close");
    const PF_Err err = refreshPoints(call);
    if (closed) syncClosedEnds(call, activePointCount(call), -1, "point-count-close");
    return err;
}

PF_Err onCloseEndpointsChanged(EffectCall& call) {
    if (!closedCurve(call)) {
        applyModeVisibility(call);
        return PF_Err_NONE;
    }
    raiseToFourPoints(call, "toggle-min-close");
    const PF_Err err = refreshPoints(call);
    syncClosedEnds(call, activePointCount(call), -1, "toggle-close");
    applyModeVisibility(call);
    return err;
}

PF_Err onShapeChanged(EffectCall& call) {
    PF_ParamDef& shape = paramAt(call, kShape);
    const int preset = std::clamp(static_cast<int>(shape.u.pd.value), kShapeNone, kShapeCircle);
    shape.u.pd.value = preset;
    markChanged(shape);
    sendParamUI(call, kShape, paramSpec(kShape).uiFlags | PF_PUI_INVISIBLE | PF_PUI_DISABLED);
    writeOneD(call, kShape, preset, "param-shape-preset");
    PF_Err err = PF_Err_NONE;
    if (closedCurve(call) && preset != kShapeNone) {
        applyShapePreset(call, preset, "param-shape-preset");
        err = refreshPoints(call);
    }
    applyModeVisibility(call);
    return err;
}

PF_Err onPointParamChanged(EffectCall& call, int position) {
    clearShapePreset(call, "control-param-clear-shape");
    clearGeneratedState(call);
    const int slot = position - kFirstPoint;
    const int count = activePointCount(call);
    if (closedCurve(call) && inRange(position, kFirstPoint, kFirstPoint + kPointSlots - 1) &&
        slot < std::max(count, 4)) {
        syncClosedEnds(call, count, slot, "param-point-close");
    }
    return PF_Err_NONE;
}

}  // namespace

bool isCurveShaping(int position) {
    return inRange(position, kCurveAmount, kPointCount) || position == kCloseEndpoints || position == kLoopMoveSpeed ||
           inRange(position, kPathLayerIndex, kPathMotionDirection) ||
           (inRange(position, kSyncLeftRight, kRightRadiusChange) && position != kLeftCurlGroupEnd &&
            position != kRightCurlGroup && position != kLeftCurlGroup) ||
           inRange(position, kSubdivisionX, kBackFlip) || inRange(position, kObjSourceLayer, kObjSmoothNormals) ||
           inRange(position, kTileCount, kAnimationDirection) || isPointFamily(position);
}

void forgetLayoutSignature() { gHaveSignature = false; }

PF_Err refreshPoints(EffectCall& call) {
    applyPointUIFlags(call);
    return applyPointStreamVisibility(call, activePointCount(call));
}

PF_Err generatePoints(EffectCall& call, bool reset) {
    logEffect(reset ? "CurveUI: inline reset button" : "CurveUI: inline generate button");
    clearGeneratedState(call);
    if (modeOf(call) != kModeFree) {
        applyModeVisibility(call);
        return PF_Err_NONE;
    }
    constexpr int kResetPointCount = 4;
    resetPointLayout(call, reset ? kResetPointCount : activePointCount(call));
    const PF_Err err = refreshPoints(call);
    call.out_data->out_flags |= kRerender;
    return err;
}

PF_Err onUserChangedParam(EffectCall& call, const PF_UserChangedParamExtra* extra) {
    if (!hasParams(call) || extra == nullptr) return PF_Err_NONE;
    const int position = extra->param_index;
    if (position < 1 || position >= kCount) return PF_Err_NONE;

    PF_OutFlags flags = PF_OutFlag_NONE;
    if (mirrorSetOf(position) != nullptr) {
        mirrorCommon(call, position);
        refreshCommonControls(call);
    }
    if (isCurveShaping(position)) {
        startQuickPreview(call);
        flags |= kRerender;
    }

    PF_Err err = PF_Err_NONE;
    bool handled = true;
    switch (position) {
        case kQuickPreview:
            if (checkboxOn(call, kQuickPreview)) {
                startQuickPreview(call);
            } else {
                endQuickPreview(call, true);
            }
            break;
        case kLanguage:
            onLanguageChanged(call);
            err = refreshPoints(call);
            // Relabelling changes nothing the renderer reads.
            call.out_data->out_flags |= PF_OutFlag_REFRESH_UI;
            return err;
        case kMode:
            applyModeVisibility(call);
            err = refreshPoints(call);
            break;
        case kPointCount:
            err = onPointCountChanged(call);
            break;
        case kGeneratePoints:
        case kResetPoints:
            err = generatePoints(call, position == kResetPoints);
            break;
        case kCloseEndpoints:
            err = onCloseEndpointsChanged(call);
            break;
        case kShape:
            err = onShapeChanged(call);
            break;
        case kFreeTileCount:
        case kTileCount:
            applyModeVisibility(call);
            break;
        default:
            if (isPointFamily(position)) {
                err = onPointParamChanged(call, position);
            } else {
                handled = isCurveShaping(position) || position == kGpuAcceleration;
            }
            break;
    }
    if (handled) flags |= kRerender;
    call.out_data->out_flags |= flags;
    return err;
}

PF_Err onUpdateParamsUI(EffectCall& call) {
    if (!hasParams(call)) return PF_Err_NONE;
    const bool endsChanged = runCloseSync(call, "update-ui-close-sync");
    refreshCommonControls(call);
    PF_Err err = PF_Err_NONE;
    const LayoutSignature signature = signatureOf(call);
    if (!gHaveSignature || !(signature == gLastSignature)) {
        gLastSignature = signature;
        gHaveSignature = true;
        applyModeVisibility(call);
        err = refreshPoints(call);
        sendParamUI(call, kTopView, uiFlagsFor(kTopView, visibilityStateOf(call)));
    }
    if (endsChanged) call.out_data->out_flags |= kRerender;
    return err;
}

}  // namespace zephrin
