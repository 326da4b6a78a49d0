// PF_Cmd_EVENT: custom-UI events of the effect's custom-drawn controls, routed by control.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

// Events for controls the effect does not handle, or without parameters, are ignored (no error).
PF_Err onCustomUiEvent(EffectCall& call, PF_EventExtra* event);

}  // namespace zephrin
