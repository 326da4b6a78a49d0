// Controls that exist once per mode and once in a common place hold one value: a change of any member
// is copied to the others, and the visible common controls are refreshed from whichever members are
// the source of truth ("Common Sync State").
#pragma once

#include <array>

#include "effect/effect_call.h"

namespace zephrin {

struct MirrorSet {
    std::array<int, 3> members{};
    int count = 0;
};

// The set holding the position, or null.
const MirrorSet* mirrorSetOf(int position);

// The position the common control at commonPosition takes its value from: itself when "Common Sync
// State" is on, otherwise its Free Mode copy in Free Mode and its Path Select copy in the other modes.
int commonSourcePosition(const EffectCall& call, int commonPosition);

// Sets a member's value from another member of its set (angles, popups, checkboxes and sliders).
void copyMirroredValue(PF_ParamDef& to, const PF_ParamDef& from);

// Copies the changed member's value to every other member of its set, in the parameter array and as
// streams ("common-effect-sync").
void mirrorCommon(EffectCall& call, int changedPosition);

// Re-sends the six common controls relabelled, with their sources' values.
void refreshCommonControls(EffectCall& call);

}  // namespace zephrin
