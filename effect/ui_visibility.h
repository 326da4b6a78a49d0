// Which parameters the Effect Controls panel shows, disables or hides, by mode, closed curve, scroll
// sync and tile count, and how a parameter's UI is re-sent to the host (relabelled for the current
// language). Point streams beyond the active count are hidden from the timeline as well.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

struct VisibilityState {
    int mode = param::kModeFree;
    bool closed = false;
    bool syncLeftRight = false;
    int tileCountChoice = 1;  // 1 means no tiles
};

VisibilityState visibilityStateOf(const EffectCall& call);

// The UI flags a parameter should carry in this state: the mode rules, the point rules, and the
// registered flags for every parameter no rule touches.
PF_ParamUIFlags uiFlagsFor(int position, const VisibilityState& state);

// A copy of the parameter's definition carrying the flags, its label for the current language, the
// leading member's value for a common control and, for "Top View", the editor's size.
PF_ParamDef uiCopy(const EffectCall& call, int position, PF_ParamUIFlags flags);
void sendParamUI(EffectCall& call, int position, PF_ParamUIFlags flags);

void applyModeVisibility(EffectCall& call);
// Point parameters hidden (the editor owns them), their rotations shown.
void applyPointUIFlags(EffectCall& call);
// Rotation streams of slots at or beyond the active count hidden, the others shown.
PF_Err applyPointStreamVisibility(EffectCall& call, int activeCount);

// The "Top View" control size as registered: the editor's size clamped to the control limits.
struct ControlSize {
    A_short width = 0;
    A_short height = 0;
};
ControlSize topViewControlSize();

}  // namespace zephrin
