#include "effect/mirrored_controls.h"

#include <cmath>

#include "effect/control_points.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"

namespace zephrin {
namespace {

using namespace param;

constexpr MirrorSet kMirrorSets[] = {
    {{kFreeBendDirection, kPathBendDirection, kBendDirection}, 3},
    {{kFreeTileCount, kTileCount, 0}, 2},
    {{kFreeTileMirror, kTileMirror, 0}, 2},
    {{kFreeTileOffset, kTileOffset, 0}, 2},
    {{kFreeMotion, kPathMotion, kAnimation}, 3},
    {{kFreeMotionDirection, kPathMotionDirection, kAnimationDirection}, 3},
};

constexpr std::array<int, 6> kCommonControls = {kBendDirection, kTileCount, kTileMirror,
                                                kTileOffset,    kAnimation, kAnimationDirection};
constexpr std::array<int, 6> kFreeModeSources = {kFreeBendDirection, kFreeTileCount, kFreeTileMirror,
                                                 kFreeTileOffset,    kFreeMotion,    kFreeMotionDirection};
constexpr std::array<int, 6> kOtherModeSources = {kPathBendDirection, kFreeTileCount, kFreeTileMirror,
                                                  kFreeTileOffset,    kPathMotion,    kPathMotionDirection};

// "Animation" shows the full range the renderer accepts.
constexpr PF_FpShort kAnimationMax = 200;

double mirrorValue(const PF_ParamDef& def) {
    switch (def.param_type) {
        case PF_Param_ANGLE:
            return def.u.ad.value / kFixedOne;
        case PF_Param_POPUP:
            return def.u.pd.value;
        case PF_Param_CHECKBOX:
            return def.u.bd.value != 0 ? 1.0 : 0.0;
        default:
            return def.u.fs_d.value;
    }
}

void setMirrorValue(PF_ParamDef& def, double value) {
    switch (def.param_type) {
        case PF_Param_ANGLE:
            def.u.ad.value = static_cast<PF_Fixed>(std::trunc(value * kFixedOne));
            break;
        case PF_Param_POPUP:
            def.u.pd.value = static_cast<PF_ParamValue>(std::trunc(value + 0.5));
            break;
        case PF_Param_CHECKBOX:
            def.u.bd.value = value >= 0.5 ? 1 : 0;
            break;
        default:
            def.u.fs_d.value = value;
            break;
    }
}

int indexOfCommon(int commonPosition) {
    for (std::size_t i = 0; i < kCommonControls.size(); ++i) {
        if (kCommonControls[i] == commonPosition) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

void copyMirroredValue(PF_ParamDef& to, const PF_ParamDef& from) { setMirrorValue(to, mirrorValue(from)); }

const MirrorSet* mirrorSetOf(int position) {
    for (const MirrorSet& set : kMirrorSets) {
        for (int i = 0; i < set.count; ++i) {
            if (set.members[i] == position) return &set;
        }
    }
    return nullptr;
}

int commonSourcePosition(const EffectCall& call, int commonPosition) {
    const int index = indexOfCommon(commonPosition);
    if (index < 0 || checkboxOn(call, kCommonSyncState)) return commonPosition;
    return modeOf(call) == kModeFree ? kFreeModeSources[index] : kOtherModeSources[index];
}

void mirrorCommon(EffectCall& call, int changedPosition) {
    const MirrorSet* set = mirrorSetOf(changedPosition);
    if (set == nullptr || synchronising()) return;
    SyncScope scope;
    const double value = mirrorValue(paramAt(call, changedPosition));
    for (int i = 0; i < set->count; ++i) {
        const int member = set->members[i];
        if (member == changedPosition) continue;
        PF_ParamDef& def = paramAt(call, member);
        setMirrorValue(def, value);
        markChanged(def);
        writeOneD(call, member, value, "common-effect-sync");
    }
}

void refreshCommonControls(EffectCall& call) {
    const VisibilityState state = visibilityStateOf(call);
    for (const int common : kCommonControls) {
        PF_ParamDef def = uiCopy(call, common, uiFlagsFor(common, state));
        if (common == kAnimation) {
            def.u.fs_d.valid_min = 0;
            def.u.fs_d.valid_max = kAnimationMax;
            def.u.fs_d.slider_max = kAnimationMax;
        }
        updateParamUI(call, common, def);
    }
}

}  // namespace zephrin
