#include "effect/ui_visibility.h"

#include <algorithm>
#include <string>

#include "common/diagnostic_log.h"
#include "effect/editor/top_view_editor.h"
#include "effect/localization.h"
#include "effect/mirrored_controls.h"
#include "effect/param_table.h"
#include "effect/stream_writing.h"

namespace zephrin {
namespace {

using namespace param;

constexpr PF_ParamUIFlags kVisibilityBits = PF_PUI_INVISIBLE | PF_PUI_DISABLED | PF_PUI_NO_ECW_UI;

bool inRange(int position, int first, int last) { return position >= first && position <= last; }

bool alwaysHidden(int position) {
    return position == kPathLayerIndex || position == kPathLayer || position == kResetPoints ||
           position == kCloseEndpoints || position == kLeftDirection || position == kRightDirection ||
           inRange(position, kObjModelGroup, kObjModelGroupEnd);
}

// Per-mode copies of the mirrored controls: the user edits the common ones.
bool hiddenMirrorCopy(int position) {
    return inRange(position, kFreeBendDirection, kFreeMotionDirection) ||
           inRange(position, kPathBendDirection, kPathMotionDirection);
}

bool inFreeModeList(int position) {
    return inRange(position, kFreeModeGroup, kLoopMoveSpeed) || position == kPointRotationGroup ||
           position == kPointRotationGroupEnd || position == kShape;
}

bool inPathSelectList(int position) {
    return position == kPathSelectGroup || position == kPathLayerPicker || position == kFitPathLength;
}

bool inScrollModeList(int position) {
    return inRange(position, kScrollModeGroup, kRightRadiusChange) && position != kLeftCurlGroupEnd;
}

bool inTileAnimationList(int position) { return inRange(position, kTileAnimationGroup, kAnimationDirection); }

// Every parameter the mode visibility re-sends, in position order.
bool modeManaged(int position) {
    return inRange(position, kFreeModeGroup, kLoopMoveSpeed) || position == kPointRotationGroup ||
           position == kPointRotationGroupEnd || inRange(position, kPathSelectGroup, kPathMotionDirection) ||
           (inRange(position, kScrollModeGroup, kRightRadiusChange) && position != kLeftCurlGroupEnd) ||
           inRange(position, kObjModelGroup, kAnimationDirection);
}

}  // namespace

VisibilityState visibilityStateOf(const EffectCall& call) {
    VisibilityState state;
    state.mode = modeOf(call);
    state.closed = checkboxOn(call, kCloseEndpoints);
    state.syncLeftRight = checkboxOn(call, kSyncLeftRight);
    state.tileCountChoice = popupValue(call, commonSourcePosition(call, kTileCount));
    return state;
}

PF_ParamUIFlags uiFlagsFor(int position, const VisibilityState& state) {
    const PF_ParamUIFlags registered = paramSpec(position).uiFlags;
    const PF_ParamUIFlags shown = registered & ~kVisibilityBits;
    const PF_ParamUIFlags disabled = shown | PF_PUI_DISABLED;
    const PF_ParamUIFlags hidden = shown | PF_PUI_INVISIBLE | PF_PUI_DISABLED;
    const bool free = state.mode == kModeFree;

    if (inRange(position, kFirstPoint, kFirstPoint + kPointSlots - 1)) return hidden;
    if (inRange(position, kFirstRotation, kFirstRotation + kPointSlots - 1)) return shown;
    if (alwaysHidden(position)) return hidden;
    if (hiddenMirrorCopy(position)) return hidden | PF_PUI_NO_ECW_UI;
    if (position == kLoopMoveSpeed) return free && state.closed ? shown : hidden;
    if (inFreeModeList(position)) return free ? shown : disabled;
    if (inPathSelectList(position)) return free ? disabled : shown;
    if (inScrollModeList(position)) {
        if (state.mode != kModeScroll) return hidden;
        return state.syncLeftRight && inRange(position, kRightEnabled, kRightRadiusChange) ? disabled : shown;
    }
    if (inTileAnimationList(position)) {
        if (state.mode == kModeScroll) return hidden;
        // Mirror and offset mean nothing without at least one tile.
        const bool needsTiles = position == kTileMirror || position == kTileOffset;
        return needsTiles && state.tileCountChoice <= 1 ? disabled : shown;
    }
    return registered;
}

ControlSize topViewControlSize() {
    const TopViewEditor& editor = topViewEditor();
    const int width =
        editor.viewWidth < kTopViewMinWidth ? kTopViewMinWidth : std::min(kTopViewMaxWidth, editor.viewWidth);
    const int height =
        editor.viewHeight < kTopViewMinHeight ? kTopViewMinHeight : std::min(kTopViewMaxHeight, editor.viewHeight);
    return ControlSize{static_cast<A_short>(width), static_cast<A_short>(height)};
}

PF_ParamDef uiCopy(const EffectCall& call, int position, PF_ParamUIFlags flags) {
    PF_ParamDef def = paramAt(call, position);
    relabel(def, position, chineseSelected(call));
    def.ui_flags = flags;
    // A common control shows the value of whichever member leads its set.
    const int source = commonSourcePosition(call, position);
    if (source != position) copyMirroredValue(def, paramAt(call, source));
    if (position == kTopView) {
        const ControlSize size = topViewControlSize();
        def.ui_width = size.width;
        def.ui_height = size.height;
    }
    return def;
}

void sendParamUI(EffectCall& call, int position, PF_ParamUIFlags flags) {
    updateParamUI(call, position, uiCopy(call, position, flags));
}

void applyModeVisibility(EffectCall& call) {
    const VisibilityState state = visibilityStateOf(call);
    for (int position = 1; position < kCount; ++position) {
        if (modeManaged(position)) sendParamUI(call, position, uiFlagsFor(position, state));
    }
}

void applyPointUIFlags(EffectCall& call) {
    const VisibilityState state = visibilityStateOf(call);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        sendParamUI(call, pointPosition(slot), uiFlagsFor(pointPosition(slot), state));
        sendParamUI(call, rotationPosition(slot), uiFlagsFor(rotationPosition(slot), state));
    }
}

PF_Err applyPointStreamVisibility(EffectCall& call, int activeCount) {
    const AEGP_PluginID pluginId = pluginIdOf(call);
    if (pluginId == 0) return PF_Err_NONE;
    const StreamSuites suites = streamSuites(call.suites);
    PF_Err firstErr = PF_Err_NONE;
    for (int slot = 0; slot < kPointSlots; ++slot) {
        const int position = rotationPosition(slot);
        const bool hide = slot >= activeCount;
        EffectStream target(suites, pluginId, call.in_data->effect_ref, position);
        A_Err err = target.effectErr != A_Err_NONE ? target.effectErr : target.streamErr;
        if (target.ok()) {
            // Not undoable: showing and hiding follows the point count, it is not an edit of its own.
            err = suites.dynamicStream.AEGP_SetDynamicStreamFlag(target.stream, AEGP_DynStreamFlag_HIDDEN, false, hide);
        }
        if (effectLogEnabled()) {
            logEffect("CurveUI: point stream visibility index=" + std::to_string(position) + " active=" +
                      std::to_string(activeCount) + (hide ? " hide=1" : "") + " err=" + std::to_string(err));
        }
        if (firstErr == PF_Err_NONE) firstErr = err;
    }
    return firstErr;
}

}  // namespace zephrin
