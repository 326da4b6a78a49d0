// What the effect does when the user changes a supervised parameter (PF_Cmd_USER_CHANGED_PARAM) and
// before the host shows or refreshes the panel (PF_Cmd_UPDATE_PARAMS_UI).
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

PF_Err onUserChangedParam(EffectCall& call, const PF_UserChangedParamExtra* extra);
PF_Err onUpdateParamsUI(EffectCall& call);

// Point parameters' UI flags and the rotation streams' visibility for the active count.
PF_Err refreshPoints(EffectCall& call);

// The inline "Generate" and "Reset" buttons of "Generate Points": in Free Mode the points are laid out
// again (the current count, or four for Reset); in the other modes only their panel is refreshed.
PF_Err generatePoints(EffectCall& call, bool reset);

// Whether a change at the position alters the rendered surface (and so starts Quick Preview).
bool isCurveShaping(int position);

// The panel layout last laid out by PF_Cmd_UPDATE_PARAMS_UI is forgotten, so the next one lays it out.
void forgetLayoutSignature();

}  // namespace zephrin
