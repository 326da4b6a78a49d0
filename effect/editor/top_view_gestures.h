// Mouse gestures in the "Top View" control and in the "Generate Points" buttons, turned into edits of
// the point parameters. Every edit goes into the event's parameter array (so the next draw sees it)
// and out as a stream write with its reason (so the host has an undoable change).
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

// PF_Event_DO_CLICK on "Top View": starts a gesture (its state goes into the click record) or
// completes a toolbar click, a delete or an add.
PF_Err onTopViewClick(EffectCall& call, PF_EventExtra& event);
// PF_Event_DRAG with the click record of a gesture the click started.
PF_Err onTopViewDrag(EffectCall& call, PF_EventExtra& event);
// PF_Event_DO_CLICK on "Generate Points": the inline "Generate" and "Reset" buttons.
PF_Err onGeneratePointsClick(EffectCall& call, PF_EventExtra& event);

// The event answered as handled and repainted: 11 for every gesture but handle drags, which use 9.
constexpr PF_EventOutFlags kHandledRepaint = PF_EO_HANDLED_EVENT | PF_EO_ALWAYS_UPDATE | PF_EO_UPDATE_NOW;
constexpr PF_EventOutFlags kHandledHandleDrag = PF_EO_HANDLED_EVENT | PF_EO_UPDATE_NOW;

}  // namespace zephrin
