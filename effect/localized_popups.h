// Clicks on the custom-drawn "Language" and "Mode" popups: a localized popup menu at the cursor, and the
// chosen value written back like any other edit.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

// Handles a PF_Event_DO_CLICK on position 1 ("Language") or 2 ("Mode").
PF_Err onLocalizedPopupClick(EffectCall& call, PF_EventExtra& event);

}  // namespace zephrin
